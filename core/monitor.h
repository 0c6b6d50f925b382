#pragma once

#include <QByteArray>
#include <QString>

enum class AlarmReason;
class DatagramLink;
class Station;
class TickTimer;
struct MonitoredSource;
struct ProgrammeSecond;
struct Settings;
struct ShownStatus;

// The monitoring rules: the handler of the server's datagrams and the
// once-a-second silence check, over the one station state. It takes its
// inputs (a datagram's bytes, a tick with the two levels read for it, a
// failure's code), changes the state, starts and stops the tick, sends the
// alarm and publishes what happened, in the order the rules give. It needs no
// window, sound card, socket or clock of its own.
//
// Settings are held by reference, so they may be filled after the Monitor is
// built (start-up reads them before the first datagram or tick can arrive).
class Monitor {
public:
    Monitor(const Settings& settings, Station& station, TickTimer& timer, DatagramLink& link);
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    // One datagram from the server, the whole payload.
    void Winsock1_DataArrival(const QByteArray& payload);
    // The socket failed to deliver a datagram (Windows Sockets code): the
    // datagram handler's error path, silent for 10054 in what is shown.
    void Winsock1_Error(int code);
    // The one-second tick, with the levels (percent) read for it: left, then
    // right.
    void tmrSN_Timer(int leftLevel, int rightLevel);
    // The same, with what the capture's dynamics meter said of the second:
    // with the armed source's Flat time set, a second loud enough but steady
    // counts toward it, one with programme's dynamics clears the count, and a
    // silent one holds it.
    void tmrSN_Timer(int leftLevel, int rightLevel, const ProgrammeSecond& programme);

    // Carries on with what the last run had on air: keyword ("SN_AUTO" ..
    // "SN_FEED_4", "SN_LIVE") sets mode, status text, markers, armed values
    // and the tick as its datagram would, the count from 0; paused then
    // pauses it as "SN_PAUSE_ON" would. Nothing of the datagrams' own is
    // published: one Resumed event says what was resumed and how long ago
    // (endedSecsAgo) the last run ended. False for an unknown keyword.
    bool resume(const QString& keyword, bool paused, qint64 endedSecsAgo);

private:
    // Whether a step publishes its own event (a datagram) or not (a resume,
    // which publishes one event of its own).
    enum class Announce { No, Yes };
    void handle(const QByteArray& payload);
    void armSource(const MonitoredSource& source, Announce announce);
    void goLive(Announce announce);
    void pauseOn(Announce announce);
    // Step 5 of a tick: every datagram already waiting on the socket, in
    // order, and nothing else.
    void handlePendingDatagrams();
    void raiseAlarm(AlarmReason reason);
    void countSteady(bool silent, const ProgrammeSecond& programme);
    // One channel below the half threshold while the other is not.
    void watchChannels(bool leftSilent, bool rightSilent);
    // What the status line shows; the alarm stands exactly while it shows
    // the alarm.
    void show(const ShownStatus& shown);
    void startTick();
    void stopTick();

    const Settings& m_settings;
    Station& m_station;
    TickTimer& m_timer;
    DatagramLink& m_link;
};
