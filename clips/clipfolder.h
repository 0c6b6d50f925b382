#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The folder of alarm clips: their names, what may stay, and whether the
// volume has room for one more. Only files whose names it gives out
// ("2026-12-09_03-12-45_AUTO.flac", a "-2" before the dot when that second
// is taken) are ever counted or deleted, and only when they are regular
// files: a link, a FIFO or a folder under such a name is left alone, and so is
// anything else in the folder, wherever the folder itself leads. Plain file
// work, on whichever thread calls it.
class ClipFolder {
public:
    struct Limits {
        int maxFiles = 200;
        qint64 maxBytes = qint64(500) * 1000 * 1000;
        // Free space that must remain on the volume after a clip: the
        // smaller of these, so that a small volume is not refused outright.
        qint64 reserveBytes = qint64(1) << 30;
        int reservePercent = 5;
    };

    explicit ClipFolder(const QString& path);
    ClipFolder(const QString& path, const Limits& limits);

    QString path() const { return m_path; }
    const Limits& limits() const { return m_limits; }

    // The name of a clip of the alarm at this local time of this source
    // (the keyword without "SN_").
    static QString fileName(const QDateTime& time, const QString& source);
    static bool isClipName(const QString& name);

    // Creates the folder when missing; false with the reason otherwise.
    bool prepare(QString* error) const;
    // Where a clip is written before it is complete: a name never counted.
    static QString partialPath(const QString& clipPath);
    // A path for a new clip that no file has yet, nor a clip being written.
    QString freePath(const QDateTime& time, const QString& source) const;
    // Whether bytes more fit with the reserve left free; the reason if not.
    bool hasRoom(qint64 bytes, QString* error) const;
    // The clips, oldest first.
    QStringList clips() const;
    // Deletes the oldest clips until at most maxFiles are left and they
    // take at most maxBytes together; the newest clip always stays.
    // Returns the names deleted.
    QStringList prune() const;

private:
    QString m_path;
    Limits m_limits;
};
