#pragma once

#include <QByteArray>
#include <QString>

// The small files Sondral keeps beside sondral.ini (sondral.state, the
// settings file itself), read and replaced so that nothing outside can make
// the program hang, write somewhere it was not meant to, or leave a
// truncated file behind:
//
// * Only a regular file is read. It is opened without blocking and looked at
//   through the open descriptor, so a FIFO, a device or a directory put in
//   its place is named and left alone, never waited on.
// * A replacement is written to a new file of its own in the same folder
//   (created exclusively, never through an existing name), every write
//   checked, synced to the disk (a full disk that only shows at the sync
//   fails here too), then renamed over the old name. Until that rename the
//   old file stays exactly as it was.
// * The name being replaced must be a regular file, a symbolic link (see
//   Links) or nothing; anything else is named and left alone.
// * A replaced regular file keeps its permission bits and, where the process
//   may, its owner and group. A new file gets the mode asked for, less the
//   umask.
//
// Plain POSIX file work, on whichever thread calls it; Linux only.
class RegularFile {
public:
    enum class Read {
        Ok,      // data holds the whole file
        Missing, // no such name
        Refused, // not a regular file, too big, or unreadable; error says which
    };
    // Reads the whole file when it is a regular file of at most maxBytes.
    static Read read(const QString& path, qint64 maxBytes, QByteArray* data, QString* error);

    enum class Links {
        // A symbolic link at the path is replaced by the new file: the link
        // goes, its target is never touched.
        ReplaceLink,
        // The file a symbolic link points to is replaced, in its own folder,
        // as an editor saving through the link would.
        ReplaceTarget,
    };
    // Replaces (or creates) the file with these bytes; false with the
    // reason in error when it could not, the file on disk then unchanged.
    static bool replace(const QString& path, const QByteArray& bytes, Links links, int newFileMode,
                        QString* error);

    // "a FIFO", "a directory", ... for a st_mode that is not a regular file.
    static QString kindName(unsigned int mode);
};
