#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// sondral.state beside sondral.ini: what was on air when the last run ended,
// so that a restart (a crash, a kill by the watchdog, an update, a power cut)
// carries on watching instead of waiting for the playout to name the source
// again. A few lines of text, replaced as a whole (RegularFile: a new file
// in the same folder, synced, then renamed over the old name), so a run
// killed in the middle of a write, or a full disk, leaves the previous
// version:
//
//   Source=SN_AUTO
//   Paused=0
//   Written=2026-01-31T12:00:00Z
//
// Written is refreshed about once a minute while the program runs, so the end
// of a run that was killed is known to within a minute.
class StateFile {
public:
    struct Saved {
        // The keyword of the source on air ("SN_AUTO", "SN_FEED_1" ..
        // "SN_LIVE"); empty before the first datagram.
        QString keyword;
        // The automation was paused ("SN_PAUSE_ON").
        bool paused = false;
        // When this was written, UTC.
        QDateTime written;
    };

    explicit StateFile(QString path);
    QString path() const { return m_path; }

    // The saved state; nothing when the file is missing, unreadable, too
    // big to be ours, or without a valid time stamp. Only a regular file is
    // read, without ever waiting (a FIFO in its place is left alone);
    // problem gets why a file that is there was not read.
    std::optional<Saved> read(QString* problem = nullptr) const;

    // Replaces the file. Returns false with the reason in errorString();
    // the previous file then stays as it was. A symbolic link of this name
    // is replaced itself, never its target; anything else that is not a
    // regular file is left alone and the write fails.
    bool write(const Saved& saved);
    QString errorString() const { return m_error; }

    // The saved state when it is recent enough to carry on with: written
    // less than maxAgeSecs before now and not after it (a clock set back
    // gives no reliable age). ageSecs gets the age.
    static bool isRecent(const Saved& saved, const QDateTime& now, qint64 maxAgeSecs,
                         qint64* ageSecs = nullptr);

    // A start this long after the last run's end still carries on with it.
    static constexpr qint64 resumeWithinSecs = 10 * 60;
    // How often a running program refreshes the time stamp.
    static constexpr int refreshMs = 60 * 1000;

private:
    QString m_path;
    QString m_error;
};
