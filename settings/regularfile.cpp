#include "settings/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(const QString& path, int error) {
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

QString notRegular(const QString& path, mode_t mode) {
    return QStringLiteral("%1 is %2, not a regular file: left alone")
        .arg(path, RegularFile::kindName(mode));
}

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now and says whether the close succeeded (an NFS write error
    // can show only here).
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray& bytes, int* error) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A short write is followed by one that fails and names the
            // reason; a write of nothing would never end.
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// The temporary file beside the target: hidden, never a name Sondral reads,
// unique in this process and (through the pid) among processes.
QString temporaryName(const QString& target) {
    static std::atomic<unsigned> serial{0};
    const QFileInfo info(target);
    return info.dir().filePath(QStringLiteral(".%1.%2-%3.tmp")
                                   .arg(info.fileName())
                                   .arg(::getpid())
                                   .arg(serial.fetch_add(1)));
}

} // namespace

QString RegularFile::kindName(unsigned int mode) {
    switch (mode & S_IFMT) {
    case S_IFIFO:
        return QStringLiteral("a FIFO");
    case S_IFDIR:
        return QStringLiteral("a directory");
    case S_IFCHR:
        return QStringLiteral("a character device");
    case S_IFBLK:
        return QStringLiteral("a block device");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFREG:
        return QStringLiteral("a regular file");
    default:
        return QStringLiteral("not a file");
    }
}

RegularFile::Read RegularFile::read(const QString& path, qint64 maxBytes, QByteArray* data,
                                    QString* error) {
    data->clear();
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer for ever. What was opened is judged by fstat on the descriptor,
    // so nothing can be swapped in between a look and the open.
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT)
            return Read::Missing;
        *error = systemError(path, errno);
        return Read::Refused;
    }
    Descriptor file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = systemError(path, errno);
        return Read::Refused;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = notRegular(path, st.st_mode);
        return Read::Refused;
    }
    if (st.st_size > maxBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
        return Read::Refused;
    }
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(path, errno);
            return Read::Refused;
        }
        if (n == 0)
            break; // shrunk meanwhile: what is there
        got += n;
    }
    bytes.truncate(got);
    *data = bytes;
    return Read::Ok;
}

bool RegularFile::replace(const QString& path, const QByteArray& bytes, Links links,
                          int newFileMode, QString* error) {
    QString target = path;
    struct stat old {};
    bool exists = ::lstat(QFile::encodeName(target).constData(), &old) == 0;
    if (!exists && errno != ENOENT) {
        *error = systemError(target, errno);
        return false;
    }
    if (exists && S_ISLNK(old.st_mode) && links == Links::ReplaceTarget) {
        const QFileInfo link(path);
        // The whole chain resolved; a dangling link names the file to create.
        const QString resolved = link.canonicalFilePath();
        target = resolved.isEmpty() ? link.symLinkTarget() : resolved;
        exists = ::lstat(QFile::encodeName(target).constData(), &old) == 0;
        if (!exists && errno != ENOENT) {
            *error = systemError(target, errno);
            return false;
        }
    }
    if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) {
        *error = notRegular(target, old.st_mode);
        return false;
    }
    const bool keepMode = exists && S_ISREG(old.st_mode);

    const QString temporary = temporaryName(target);
    const QByteArray temporaryPath = QFile::encodeName(temporary);
    // Created here and now (O_EXCL), never through a name that was there;
    // owner-only until its mode is set below.
    const int fd =
        ::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
               keepMode ? 0600 : mode_t(newFileMode));
    if (fd < 0) {
        *error = systemError(temporary, errno);
        return false;
    }
    Descriptor file(fd);
    int failure = 0;
    if (keepMode) {
        // Owner first: changing it may clear set-id bits that the mode then
        // restores. Only root may give a file away; anyone else keeps the
        // file as their own, which is what an editor does too.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
            failure = errno;
        else if (::fchmod(fd, old.st_mode & 07777) != 0)
            failure = errno;
    }
    // The sync is checked too: on a file system that allocates late, a full
    // disk shows only there, and renaming an unsynced file would commit an
    // empty one.
    const bool written = failure == 0 && writeAll(fd, bytes, &failure) &&
                         (::fsync(fd) == 0 || (failure = errno, false));
    const bool closed = file.close() || (failure == 0 && (failure = errno, false));
    if (!written || !closed ||
        ::rename(temporaryPath.constData(), QFile::encodeName(target).constData()) != 0) {
        if (failure == 0)
            failure = errno;
        ::unlink(temporaryPath.constData());
        *error = systemError(target, failure);
        return false;
    }
    // The rename itself reaches the disk with the folder's sync; when that
    // fails the new name may still be lost in a power cut, but the file is
    // whole either way, so it is not a failure of the write.
    const int folder = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}
