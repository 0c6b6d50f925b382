#include "status/statusclips.h"

#include "clips/clipfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

StatusClips::StatusClips(const QString& folder) : m_folder(folder) {}

std::optional<QString> StatusClips::pathOf(const QString& name) const {
    // The pattern admits digits, '-', '_', the source's keyword and
    // ".flac" only: no separator, no "..", nothing absolute.
    if (m_folder.isEmpty() || !ClipFolder::isClipName(name))
        return std::nullopt;
    const QString path = QDir(m_folder).filePath(name);
    const QFileInfo info(path);
    // A link could point anywhere: only the files the writer made count.
    if (info.isSymLink() || !info.isFile())
        return std::nullopt;
    return path;
}

QList<StatusClips::Clip> StatusClips::list() const {
    QList<Clip> out;
    if (m_folder.isEmpty())
        return out;
    // Clip names and no links only, oldest first.
    const QStringList names = ClipFolder(m_folder).clips();
    const QDir dir(m_folder);
    for (auto it = names.crbegin(); it != names.crend() && out.size() < maxListed; ++it) {
        const QFileInfo info(dir.filePath(*it));
        if (info.isFile()) // not pruned since the listing
            out.append(Clip{*it, info.size(), info.lastModified()});
    }
    return out;
}

std::unique_ptr<QFile> StatusClips::open(const QString& name) const {
    const std::optional<QString> path = pathOf(name);
    if (!path)
        return nullptr;
    auto file = std::make_unique<QFile>(*path);
    if (!file->open(QIODevice::ReadOnly) || file->size() > maxBytes)
        return nullptr;
    return file;
}
