#include "core/monitor.h"

#include "core/datagramlink.h"
#include "core/failurecodes.h"
#include "core/programmesecond.h"
#include "core/silencerule.h"
#include "core/station.h"
#include "core/ticktimer.h"
#include "settings/monitoredsources.h"
#include "settings/settings.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace {
// 8 ASCII bytes, no terminator.
const QByteArray AlarmDatagram = QByteArray(AlarmKeyword.data(), AlarmKeyword.size());

// Pause and resume act only on a source that can pause: the automation.
bool pausable(qint16 mode) {
    const MonitoredSource* source = monitoredSourceOf(mode);
    return source && source->pausable;
}

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

Monitor::Monitor(const Settings& settings, Station& station, TickTimer& timer, DatagramLink& link)
    : m_settings(settings), m_station(station), m_timer(timer), m_link(link) {}

void Monitor::Winsock1_DataArrival(const QByteArray& payload) {
    if (m_station.ended())
        return;
    handle(payload);
    m_station.notifyChanged();
}

void Monitor::Winsock1_Error(int code) {
    if (m_station.ended())
        return;
    // Nothing of the state changes; the operator hears of it (not of 10054).
    m_station.publish(StationEvent::Kind::DatagramFailed, {}, code);
}

void Monitor::handle(const QByteArray& payload) {
    m_station.countDatagram(payload);
    ModeState& modes = m_station.edit().modes;
    // One 8-bit character per byte; the whole payload, embedded NULs and
    // line ends included, so near misses match nothing.
    modes.LastDatagram = QString::fromLatin1(payload);
    const QString& d = modes.LastDatagram;

    // Every keyword is tested in turn; at most one can match.
    for (const MonitoredSource& source : MonitoredSources) {
        if (d == source.keyword)
            armSource(source, Announce::Yes);
    }

    if (d == LiveKeyword)
        goLive(Announce::Yes);

    // Pause and resume only act on the automation. Pause is the combination
    // of the automation, the tick stopped and the paused phase; the count
    // survives it.
    if (d == PauseOnKeyword && pausable(modes.Mode))
        pauseOn(Announce::Yes);

    if (d == PauseOffKeyword && pausable(modes.Mode)) {
        if (m_station.state().shown.phase == StationPhase::Paused) {
            startTick();
            m_station.publish(StationEvent::Kind::PauseOff, QStringLiteral("Server PAUSE OFF"));
        }
        // What the pause saved, also when there was none: then nothing.
        show(modes.SavedStatus);
    }
}

bool Monitor::resume(const QString& keyword, bool paused, qint64 endedSecsAgo) {
    if (m_station.ended())
        return false;
    QString name;
    for (const MonitoredSource& source : MonitoredSources) {
        if (keyword == source.keyword) {
            armSource(source, Announce::No);
            // A pause as "SN_PAUSE_ON" would leave it: only for the
            // automation, and only over a running tick (a source with a zero
            // setting has none to pause).
            if (paused && source.pausable)
                pauseOn(Announce::No);
            name = source.name;
        }
    }
    if (keyword == LiveKeyword) {
        goLive(Announce::No);
        name = LiveName;
    }
    if (name.isEmpty())
        return false;
    const QString pausedText = m_station.state().paused() ? QStringLiteral(", paused,") : QString();
    m_station.publish(StationEvent::Kind::Resumed,
                      QStringLiteral("Resumed %1%2 from the last run (ended %3 s ago)")
                          .arg(name, pausedText)
                          .arg(endedSecsAgo));
    m_station.notifyChanged();
    return true;
}

void Monitor::goLive(Announce announce) {
    ModeState& modes = m_station.edit().modes;
    // Threshold, time limit, markers and gauge maximum keep their values.
    show({StationPhase::Watching, false});
    modes.Mode = ModeLive;
    stopTick();
    modes.SilenceCount = 0;
    m_station.edit().gaugePosition = 0;
    m_station.edit().programme.flatCount = 0;
    if (announce == Announce::Yes)
        m_station.publish(StationEvent::Kind::SourceChanged, LiveLogText);
}

void Monitor::pauseOn(Announce announce) {
    ModeState& modes = m_station.edit().modes;
    if (!m_station.state().tickRunning)
        return;
    modes.SavedStatus = m_station.state().shown;
    show({StationPhase::Paused, false});
    if (announce == Announce::Yes)
        m_station.publish(StationEvent::Kind::PauseOn, QStringLiteral("Server PAUSE ON"));
    stopTick();
}

void Monitor::armSource(const MonitoredSource& source, Announce announce) {
    StationState& s = m_station.edit();
    const qint16 vol = m_settings.*source.threshold;
    const qint16 time = m_settings.*source.timeLimit;
    s.modes.Mode = source.mode;
    show({StationPhase::Watching, false});
    // The meters' markers follow ArmedVol and the gauge's maximum ArmedTime;
    // the gauge's position is left to the next tick.
    s.modes.SilenceCount = 0;
    s.modes.ArmedVol = vol;
    s.modes.ArmedTime = time;
    s.programme.flatLimit = m_settings.*source.flatSeconds;
    s.programme.flatCount = 0;
    if (announce == Announce::Yes)
        m_station.publish(StationEvent::Kind::SourceChanged, source.logText);
    // A source with a zero (or negative) setting is shown but leaves the
    // tick as it was, running or stopped.
    if (time > 0 && vol > 0)
        startTick();
}

void Monitor::tmrSN_Timer(int leftLevel, int rightLevel) {
    tmrSN_Timer(leftLevel, rightLevel, ProgrammeSecond{});
}

void Monitor::tmrSN_Timer(int leftLevel, int rightLevel, const ProgrammeSecond& programme) {
    // A tick that was already queued when the tick stopped does nothing.
    if (m_station.ended() || !m_station.state().tickRunning)
        return;
    StationState& s = m_station.edit();
    ModeState& modes = s.modes;
    s.leftLevel = leftLevel;
    s.rightLevel = rightLevel;
    s.lastTickMs = monotonicMs();

    // Both levels are always judged.
    const bool leftSilent = isSilentLevel(modes.ArmedVol, leftLevel);
    const bool rightSilent = isSilentLevel(modes.ArmedVol, rightLevel);
    if (leftSilent && rightSilent) {
        if (modes.SilenceCount == std::numeric_limits<qint16>::max()) {
            // The rest of this tick is abandoned; the count stays.
            m_station.publish(StationEvent::Kind::TickFailed, {}, FailureCode::Overflow);
            m_station.notifyChanged();
            return;
        }
        ++modes.SilenceCount;
    } else {
        modes.SilenceCount = 0;
    }
    countSteady(leftSilent && rightSilent, programme);
    s.gaugePosition = modes.SilenceCount;
    m_station.publish(StationEvent::Kind::TickCounted);
    watchChannels(leftSilent, rightSilent);

    // A datagram handled here may clear the count, re-arm the limit or stop
    // the tick; the comparison below reads the state as it now stands.
    handlePendingDatagrams();

    if (modes.SilenceCount > modes.ArmedTime)
        raiseAlarm(AlarmReason::Silence);
    else if (s.programme.flatLimit > 0 && s.programme.flatCount > s.programme.flatLimit)
        raiseAlarm(AlarmReason::SteadySignal);
    m_station.notifyChanged();
}

void Monitor::handlePendingDatagrams() {
    // What waits, in order, up to one turn's slice: under a flood the
    // decision below must not wait for the socket to empty.
    for (int n = 0; n < DatagramLink::maxPerTurn; ++n) {
        const auto received = m_link.takePending();
        if (!received)
            return;
        if (received->error != 0) {
            // Reading on would only repeat the same failure.
            Winsock1_Error(received->error);
            return;
        }
        handle(received->payload);
    }
}

void Monitor::countSteady(bool silent, const ProgrammeSecond& programme) {
    StationState::Programme& p = m_station.edit().programme;
    p.last = programme;
    if (p.flatLimit <= 0 || silent)
        return; // a silent second is the silence rule's, and no programme either
    if (programme.measured && programme.steady)
        p.flatCount = std::min(p.flatCount + 1, int(std::numeric_limits<qint16>::max()));
    else
        p.flatCount = 0;
}

void Monitor::watchChannels(bool leftSilent, bool rightSilent) {
    const int limit = m_settings.ChannelTime;
    StationState::Channels& c = m_station.edit().channels;
    const bool silent[2] = {leftSilent, rightSilent};
    for (int ch = 0; ch < 2; ++ch) {
        const QString name = ch == 0 ? QStringLiteral("left") : QStringLiteral("right");
        if (c.lost[ch] && !silent[ch]) {
            c.lost[ch] = false;
            m_station.publish(StationEvent::Kind::ChannelBack,
                              QStringLiteral("%1 channel back").arg(name), ch);
        }
        if (!silent[ch] || silent[1 - ch]) {
            c.quietTicks[ch] = 0;
            continue;
        }
        c.quietTicks[ch] = std::min(c.quietTicks[ch] + 1, std::max(limit, 1));
        if (limit > 0 && !c.lost[ch] && c.quietTicks[ch] >= limit) {
            c.lost[ch] = true;
            m_station.publish(
                StationEvent::Kind::ChannelLost,
                QStringLiteral("%1 channel lost: below half the threshold for %2 s, the other "
                               "channel plays")
                    .arg(name)
                    .arg(limit),
                ch);
        }
    }
}

void Monitor::raiseAlarm(AlarmReason reason) {
    StationState& s = m_station.edit();
    // A standing alarm whose send failed is retried: the same alarm.
    const bool decided = !s.alarmActive();
    if (decided) {
        ++s.alarmCount;
        s.lastAlarm = QDateTime::currentDateTime();
    }
    s.alarmReason = reason;
    show({StationPhase::Alarm, false});
    const int code = m_link.sendDatagram(AlarmDatagram);
    const QString logText = QStringLiteral("SONDRAL ACTIVATED");
    if (decided)
        m_station.publish(StationEvent::Kind::AlarmRaised, logText, code);
    else if (code != 0)
        m_station.publish(StationEvent::Kind::AlarmSendFailed, {}, code);
    else
        m_station.publish(StationEvent::Kind::AlarmSent, logText);
    // After a failed send what was done stays: the status stands and the
    // tick runs on, so the next tick tries the alarm again.
    if (code != 0)
        return;
    stopTick();
    if (reason == AlarmReason::SteadySignal)
        m_station.publish(StationEvent::Kind::NoProgramme,
                          QStringLiteral("no programme: steady signal at %1 dBFS for %2 s")
                              .arg(s.programme.last.peakDbfs)
                              .arg(s.programme.flatCount));
}

void Monitor::show(const ShownStatus& shown) {
    StationState& s = m_station.edit();
    s.shown = shown;
}

void Monitor::startTick() {
    m_timer.start();
    StationState& s = m_station.edit();
    // A tick that starts counts as alive; its first second is still to come.
    if (!s.tickRunning)
        s.lastTickMs = monotonicMs();
    s.tickRunning = true;
}

void Monitor::stopTick() {
    m_timer.stop();
    m_station.edit().tickRunning = false;
}
