#pragma once

#include "core/datagramkeywords.h"
#include "core/modestate.h"
#include "core/programmesecond.h"
#include "core/stationevent.h"

#include <QDateTime>
#include <QString>

#include <array>

// How the capture input is doing, as the station reports it.
enum class CapturePhase {
    Waiting,   // not delivering yet: no sound server, or the input not listed yet
    Capturing, // blocks arrive
    Lost,      // delivered, then stopped; the loss has been reported
};

// Why an alarm was raised.
enum class AlarmReason {
    Silence,      // both channels below half the threshold for longer than the time limit
    SteadySignal, // loud enough, but a steady signal without programme for longer than Flat
};

// The reason as the machine-read outputs name it: "silence", "steady_signal".
QString alarmReasonName(AlarmReason reason);

// Everything an output needs to know about what the monitor is doing, in one
// value: the window, the event log, the journal, the operator's messages and
// every later output read this and nothing else. Written only on the UI
// thread (by the monitor, the capture's and the link's wiring); a copy may be
// handed to another thread.
struct StationState {
    // The state the server's datagrams and the tick drive.
    ModeState modes;
    // What the status line shows; its text is statusText().
    ShownStatus shown;
    bool tickRunning = false;
    // Where the gauge stands: the count as of the last tick (0 after
    // "SN_LIVE"); a re-armed source clears the count but leaves the gauge to
    // the next tick.
    int gaugePosition = 0;

    // The two levels the last tick read, percent 0..100.
    int leftLevel = 0;
    int rightLevel = 0;
    // When the tick last ran or was started, milliseconds on the monotonic
    // clock; 0 before either.
    qint64 lastTickMs = 0;

    // count and last count alarms decided, a retried send of the same alarm
    // included once.
    int alarmCount = 0;
    QDateTime lastAlarm;

    struct Capture {
        QString device; // the input's name as the operator sees it; empty until known
        CapturePhase phase = CapturePhase::Waiting;
        // When the phase began (the start, for Waiting), milliseconds on the
        // monotonic clock of lastTickMs.
        qint64 sinceMs = 0;
        // "card", or a stream's protocol: "http", "hls", "srt", "udp", "rtp".
        QString kind = QStringLiteral("card");
        QString url; // a stream's URL without credentials; empty for a card
        // Why it was last lost ("refused", "stalled", …); empty before a loss.
        QString lostReason;
        QDateTime lastLost; // invalid before a loss
        // Times a stream came back after a loss.
        int reconnects = 0;
        QString codec;      // a stream's codec, once audio came
        int sampleRate = 0; // a stream's decoded rate, once audio came
        bool isStream() const { return !url.isEmpty(); }
    } capture;

    struct Link {
        bool bound = false; // HostPort is bound: the server's datagrams can arrive
        int hostPort = 0;   // 0: no link configured
        QString remoteName;
        int remotePort = 0;
        // Why HostPort cannot be bound, in English, while it is not (the
        // bind is retried).
        QString bindError;
        // Datagrams the kernel dropped on HostPort's socket (a full receive
        // buffer); -1 while not known.
        qint64 droppedDatagrams = -1;
    } link;

    QDateTime started;

    // The dead air from the first alarm until the programme is back, which
    // may outlast the alarm's status text and several re-armed sources.
    struct Outage {
        bool active = false;
        // The source whose silence raised the alarm, as source() gives it.
        QString source;
        // The silent seconds counted when the alarm was decided.
        int silenceAtAlarm = 0;
        // Seconds from the first silent second of the alarm's count: so far
        // while active, the whole outage once restored.
        int seconds = 0;
        // The threshold (percent) of the source that raised the alarm: the
        // programme is back when a channel reaches half of it again.
        int armedVol = 0;
        // Why it began. A steady signal's outage is over only when the
        // programme's dynamics are back, not merely its level; an outage
        // that alarmed for a steady signal at any time stays one.
        AlarmReason reason = AlarmReason::Silence;
        // The length of the last outage that ended with the programme back,
        // seconds; 0 before the first. Kept while a later outage lasts.
        int lastRestoredSeconds = 0;
    } outage;
    // Events published so far, per kind (indexed by StationEvent::Kind),
    // the one being published included.
    std::array<quint64, StationEvent::kindCount> eventCounts{};
    // Datagrams received from the server, per keyword in DatagramKeywords
    // order; the last entry counts every other payload.
    std::array<quint64, DatagramKeywords.size() + 1> datagramCounts{};
    // When the last datagram arrived (UTC); invalid before the first.
    QDateTime lastDatagram;
    // --- The programme's dynamics and the two channels, as the ticks judge
    // them.
    struct Programme {
        ProgrammeSecond last; // the second the last tick judged
        int flatLimit = 0;    // the armed source's Flat time, seconds; 0 off
        int flatCount = 0;    // consecutive steady seconds; a silent one holds it
    } programme;
    // Why the standing (or last) alarm was raised.
    AlarmReason alarmReason = AlarmReason::Silence;
    struct Channels {
        // Left [0] and right [1]: reported lost (below the half threshold
        // while the other was not, for ChannelTime), not back yet.
        bool lost[2] = {false, false};
        // Consecutive ticks with only this channel below the half threshold.
        int quietTicks[2] = {0, 0};
    } channels;

    // sondral.state, the state a restart carries on with: whether the last
    // write succeeded, and the reason of the failure while it does not.
    struct StateFile {
        bool ok = true;
        QString error;
    } stateFile;

    // The status line, derived for display from the source on air and the
    // phase: the source's text, "LIVE", "SONDRAL GEACTIVEERD!", "PAUSE", or
    // nothing. Nothing reads it back.
    QString statusText() const;
    // Paused: the automation on air, its tick stopped by "SN_PAUSE_ON".
    bool paused() const;
    // The source on air as its keyword without "SN_" ("AUTO", "FEED_1" ..
    // "FEED_4", "LIVE"); empty before the first datagram.
    QString source() const;
    // Whether an alarm has been raised in this run, so that alarmReason
    // means something.
    bool alarmSeen() const { return alarmCount > 0 || alarmActive(); }
    // The alarm stands from its decision until a datagram replaces it.
    bool alarmActive() const { return shown.phase == StationPhase::Alarm; }
};
