#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

class QFile;

// The alarm clips as the status server hands them out: read-only, and only
// files in the one clip folder whose names are clip names exactly (so never
// a path, "..", a partial clip or anything else kept there). Plain file
// work: the server calls it on its own thread, never the UI thread.
class StatusClips {
public:
    struct Clip {
        QString name;
        qint64 bytes = 0;
        QDateTime saved; // the file's last change
    };

    // Larger files are not served: a clip is about twenty seconds of FLAC,
    // a few megabytes. The server streams a clip from its file in chunks, so
    // this bounds how long one answer may run, not memory.
    static constexpr qint64 maxBytes = qint64(64) * 1024 * 1024;

    // folder empty: there are no clips.
    explicit StatusClips(const QString& folder = {});

    // The clips in the folder now, newest first: those of earlier runs too,
    // since an alarm before a restart is the one most worth hearing. At most
    // maxListed, the writer's own default limit.
    QList<Clip> list() const;
    static constexpr int maxListed = 200;
    // The clip of that name opened for reading (its size is the answer's
    // length: a clip is never written again once named); nothing when the
    // name is not a clip name, no such regular file is in the folder, or it
    // is larger than maxBytes.
    std::unique_ptr<QFile> open(const QString& name) const;

private:
    // The clip's file, when name is a clip name and it is one.
    std::optional<QString> pathOf(const QString& name) const;

    QString m_folder;
};
