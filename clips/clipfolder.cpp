#include "clips/clipfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>
#include <sys/stat.h>

namespace {

const QString Extension = QStringLiteral(".flac");

const QRegularExpression& clipPattern() {
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}_(AUTO|FEED_[1-4]|LIVE|NONE)(-[0-9]+)?\.flac$)"));
    return pattern;
}

QString stem(const QDateTime& time, const QString& source) {
    return time.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss_")) +
           (source.isEmpty() ? QStringLiteral("NONE") : source);
}

// Oldest first: the name starts with the date and time; within the same
// second the plain name came before "-2", "-2" before "-3".
bool olderName(const QString& a, const QString& b) {
    const qsizetype stemLength = 20; // "yyyy-MM-dd_HH-mm-ss_"
    const int byTime = QStringView(a).left(stemLength).compare(QStringView(b).left(stemLength));
    if (byTime != 0)
        return byTime < 0;
    auto suffix = [](const QString& name) {
        const QRegularExpressionMatch m = clipPattern().match(name);
        return m.captured(2).isEmpty() ? 1 : m.captured(2).mid(1).toInt();
    };
    const int sa = suffix(a);
    const int sb = suffix(b);
    return sa != sb ? sa < sb : a < b;
}

// Looked at again right before a deletion: only a regular file of a clip's
// name is ever removed, never a link (unlink would remove only the link, but
// a link in the list means the folder is not as Sondral left it), a FIFO or a
// folder that took the name since the list was made.
bool isRegularFile(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool hasEntry(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

ClipFolder::ClipFolder(const QString& path) : ClipFolder(path, Limits{}) {}

ClipFolder::ClipFolder(const QString& path, const Limits& limits)
    : m_path(path), m_limits(limits) {}

QString ClipFolder::fileName(const QDateTime& time, const QString& source) {
    return stem(time, source) + Extension;
}

bool ClipFolder::isClipName(const QString& name) {
    return clipPattern().match(name).hasMatch();
}

bool ClipFolder::prepare(QString* error) const {
    const QFileInfo info(m_path);
    if (info.isDir())
        return true;
    if (info.exists() || !QDir().mkpath(m_path)) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(m_path);
        return false;
    }
    return true;
}

QString ClipFolder::partialPath(const QString& clipPath) {
    return clipPath + QStringLiteral(".part");
}

QString ClipFolder::freePath(const QDateTime& time, const QString& source) const {
    const QDir dir(m_path);
    // Any entry holds a name, a link to nothing included: a clip is never
    // written through one.
    auto taken = [&dir](const QString& name) {
        return hasEntry(dir.filePath(name)) || hasEntry(partialPath(dir.filePath(name)));
    };
    QString name = fileName(time, source);
    for (int n = 2; taken(name); ++n)
        name = stem(time, source) + QStringLiteral("-%1").arg(n) + Extension;
    return dir.filePath(name);
}

bool ClipFolder::hasRoom(qint64 bytes, QString* error) const {
    QStorageInfo volume(m_path);
    volume.refresh();
    if (!volume.isValid() || !volume.isReady()) {
        if (error)
            *error = QStringLiteral("cannot tell the free space of %1").arg(m_path);
        return false;
    }
    const qint64 reserve = std::min(m_limits.reserveBytes,
                                    volume.bytesTotal() / 100 * qint64(m_limits.reservePercent));
    const qint64 available = volume.bytesAvailable();
    if (available - bytes >= reserve)
        return true;
    if (error)
        *error = QStringLiteral("only %1 MB free on the volume of %2, %3 MB must stay free")
                     .arg(available / 1000000)
                     .arg(m_path)
                     .arg(reserve / 1000000);
    return false;
}

QStringList ClipFolder::clips() const {
    QStringList names;
    const QDir dir(m_path);
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
        if (!info.isSymLink() && isClipName(info.fileName()))
            names.append(info.fileName());
    }
    std::sort(names.begin(), names.end(), olderName);
    return names;
}

QStringList ClipFolder::prune() const {
    QDir dir(m_path);
    QStringList names = clips();
    qint64 total = 0;
    QList<qint64> sizes;
    for (const QString& name : names) {
        sizes.append(QFileInfo(dir.filePath(name)).size());
        total += sizes.last();
    }
    QStringList deleted;
    qsizetype left = names.size();
    // The newest is never a candidate. One that cannot be deleted still
    // counts, and the next oldest goes in its place.
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        if (left <= m_limits.maxFiles && total <= m_limits.maxBytes)
            break;
        if (isRegularFile(dir.filePath(names.at(i))) && dir.remove(names.at(i))) {
            deleted.append(names.at(i));
            total -= sizes.at(i);
            --left;
        }
    }
    return deleted;
}
