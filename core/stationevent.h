#pragma once

#include <QDateTime>
#include <QString>

// Something that happened to the station, in the order it happened. Readers
// take what they need: the event log its lines, the journal its priority,
// the operator's message queue the failures and the capture's news.
struct StationEvent {
    enum class Kind {
        RunStarted,    // start-up done; text "Program started Up"
        RunEnded,      // the run ends; text "Program Closed"; nothing follows
        SourceChanged, // a source keyword or "SN_LIVE"; text its log line
        PauseOn,       // text "Server PAUSE ON"
        PauseOff,      // text "Server PAUSE OFF"
        TickCounted,   // a tick judged its second; the count is in the state
        // An alarm was decided, once per alarm, after its first try to send
        // "SN_ALARM"; text "SONDRAL ACTIVATED", code 0 when it went out, else
        // the send's failure (the tick then retries the send every second).
        AlarmRaised,
        AlarmSendFailed, // a retried send of the standing alarm failed again; code
        TickFailed,      // a tick abandoned (the count would pass 32767); code
        DatagramFailed,  // a datagram could not be read; code
        CaptureLost,     // the input stopped delivering; text the input's name
        CaptureBack,     // it delivers again; text the input's name
        LinkFailed,      // the socket or the server's name failed; text the reason
        Resumed,         // start-up carried on with the last run's source; text says which
        OutageBegan,     // the first alarm of an outage; the outage is in the state
        OutageRestored,  // the programme is back; text "SONDRAL RESTORED after N s"
        NotifyTest,      // a test through the paths that tell people; nothing else
        OutageRepeated,  // the outage lasts another repeat interval; length so far in the state
        // Published after AlarmRaised when the alarm's reason is a steady
        // signal; text "no programme: steady signal at -NN dBFS for N s".
        NoProgramme,
        // One channel below the half threshold while the other is not, for
        // ChannelTime; code the channel (0 left, 1 right), text what happened.
        ChannelLost,
        // That channel is at or above the half threshold again; code, text.
        ChannelBack,
        ClipSaved, // the sound of an alarm is on disk; text the file's name
        AlarmSent, // a retried send got "SN_ALARM" out; text "SONDRAL ACTIVATED"
        // sondral.state could not be written (the first failure after a
        // good write); text the reason. The state's stateFile says it too.
        StateFileFailed,
        // It is written again after a failure; text the file's path.
        StateFileBack,
    };

    // How many kinds there are: counts per kind are indexed by the kind.
    // The last kind above plus one.
    static constexpr int kindCount = static_cast<int>(Kind::StateFileBack) + 1;

    Kind kind = Kind::RunStarted;
    QDateTime time;
    // The event log's message for the kinds it records, the input's name for
    // the capture's kinds, the operator's text for a link failure.
    QString text;
    // The failure code (Windows Sockets numbering for the socket) of the
    // failure kinds, 0 otherwise.
    int code = 0;

    // Whether the event log records events of this kind (when logging is
    // on), and this event: an alarm only once "SN_ALARM" went out.
    static bool isLogged(Kind kind);
    static bool isLogged(const StationEvent& event);
    // A short lower-case English name for machine-read outputs ("alarm",
    // "source_changed", ...).
    static QString kindName(Kind kind);
};
