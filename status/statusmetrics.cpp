#include "status/statusmetrics.h"

#include "core/datagramkeywords.h"
#include "status/statushealth.h"
#include "status/statussnapshot.h"

namespace {

// A label value: backslash, double quote and line feed escaped.
QByteArray labelValue(const QString& value) {
    QByteArray out;
    for (char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

class Writer {
public:
    void family(const char* name, const char* type, const char* help) {
        m_out += "# HELP ";
        m_out += name;
        m_out += ' ';
        m_out += help;
        m_out += "\n# TYPE ";
        m_out += name;
        m_out += ' ';
        m_out += type;
        m_out += '\n';
    }
    void sample(const char* name, double value, const QByteArray& labels = {}) {
        m_out += name;
        if (!labels.isEmpty()) {
            m_out += '{';
            m_out += labels;
            m_out += '}';
        }
        m_out += ' ';
        m_out += QByteArray::number(value, 'g', 15);
        m_out += '\n';
    }
    void gauge(const char* name, const char* help, double value) {
        family(name, "gauge", help);
        sample(name, value);
    }
    QByteArray text() const { return m_out; }

private:
    QByteArray m_out;
};

QByteArray label(const char* name, const QString& value) {
    return QByteArray(name) + "=\"" + labelValue(value) + '"';
}

double seconds(const QDateTime& t) {
    return t.isValid() ? double(t.toMSecsSinceEpoch()) / 1000.0 : 0.0;
}

} // namespace

QByteArray StatusMetrics::render(const StatusSnapshot& snapshot, qint64 nowMs) {
    const StationState& s = snapshot.state;
    Writer w;
    w.family("sondral_level_percent", "gauge",
             "Level the silence check reads now: the highest peak of the last second, percent "
             "of the 60 dB meter scale.");
    w.sample("sondral_level_percent", snapshot.levels.left,
             label("channel", QStringLiteral("left")));
    w.sample("sondral_level_percent", snapshot.levels.right,
             label("channel", QStringLiteral("right")));
    w.gauge("sondral_mode", "Operating mode: 0 none yet, 1 LIVE, 2 AUTO, 3 to 6 FEED 1 to FEED 4.",
            s.modes.Mode);
    w.family("sondral_source_info", "gauge",
             "The source on air as the server named it last (empty before the first datagram).");
    w.sample("sondral_source_info", 1, label("source", s.source()));
    w.gauge("sondral_armed_threshold_percent",
            "Level threshold of the source on air; silent is below half of it.", s.modes.ArmedVol);
    w.gauge("sondral_armed_time_seconds",
            "Time limit of the source on air: the alarm follows once the silence exceeds it.",
            s.modes.ArmedTime);
    w.gauge("sondral_silence_seconds", "Consecutive silent seconds counted so far.",
            s.modes.SilenceCount);
    w.gauge("sondral_tick_running", "1 while the silence check runs (a monitored source on air).",
            s.tickRunning ? 1 : 0);
    w.gauge("sondral_alarm_active",
            "1 while the dead-air alarm stands, until the server names a source again.",
            s.alarmActive() ? 1 : 0);
    w.family("sondral_alarm_reason", "gauge",
             "Why the standing or last alarm was raised: 1 on its reason, 0 on the other; both 0 "
             "before the first alarm.");
    for (const AlarmReason reason : {AlarmReason::Silence, AlarmReason::SteadySignal}) {
        w.sample("sondral_alarm_reason", s.alarmSeen() && s.alarmReason == reason ? 1 : 0,
                 label("reason", alarmReasonName(reason)));
    }
    w.family("sondral_alarms_total", "counter", "Dead-air alarms raised since the start.");
    w.sample("sondral_alarms_total", s.alarmCount);
    w.family("sondral_events_total", "counter",
             "Station events published since the start, by kind.");
    for (int k = 0; k < StationEvent::kindCount; ++k) {
        w.sample("sondral_events_total", double(s.eventCounts[std::size_t(k)]),
                 label("kind", StationEvent::kindName(StationEvent::Kind(k))));
    }
    // The same judgement as /healthz, so that the two never disagree.
    const MonitoringHealth health = StatusHealth::check(snapshot, nowMs);
    w.gauge("sondral_capture_up", "1 while the capture input delivers audio.",
            s.capture.phase == CapturePhase::Capturing &&
                    !health.has(MonitoringHealth::Kind::Capture)
                ? 1
                : 0);
    w.family("sondral_capture_reconnects_total", "counter",
             "Times the stream input came back after a loss since the start.");
    w.sample("sondral_capture_reconnects_total", s.capture.reconnects);
    w.gauge("sondral_link_up", "1 while the local UDP port for the server's datagrams is bound.",
            s.link.bound ? 1 : 0);
    w.gauge("sondral_monitoring_ok",
            "1 while Sondral can monitor: the link receives (when configured), the capture "
            "delivers and the silence check runs on its second. Dead air does not make it 0.",
            health.canMonitor() ? 1 : 0);
    w.family("sondral_problem", "gauge",
             "1 while this kind of problem makes /healthz answer 503: link (the UDP port cannot "
             "be bound), capture (no audio), check (the silence check is late), alarm (dead "
             "air).");
    for (int k = 0; k < MonitoringHealth::kindCount; ++k) {
        const auto kind = MonitoringHealth::Kind(k);
        w.sample("sondral_problem", health.has(kind) ? 1 : 0,
                 label("kind", MonitoringHealth::kindName(kind)));
    }
    if (s.link.droppedDatagrams >= 0) {
        w.family("sondral_datagrams_dropped_total", "counter",
                 "Datagrams the kernel dropped on the UDP port because Sondral's receive buffer "
                 "was full (a flood); keywords among them are lost.");
        w.sample("sondral_datagrams_dropped_total", double(s.link.droppedDatagrams));
    }
    w.family("sondral_datagrams_total", "counter",
             "Datagrams received from the server, by keyword; other payloads as \"other\".");
    for (std::size_t i = 0; i < DatagramKeywords.size(); ++i) {
        w.sample("sondral_datagrams_total", double(s.datagramCounts[i]),
                 label("keyword", QString(DatagramKeywords[i])));
    }
    w.sample("sondral_datagrams_total", double(s.datagramCounts[DatagramKeywords.size()]),
             label("keyword", QStringLiteral("other")));
    w.gauge("sondral_last_datagram_timestamp_seconds",
            "When the last datagram arrived, Unix time; 0 before the first.",
            seconds(s.lastDatagram));
    w.gauge("sondral_start_time_seconds", "When this run started, Unix time.", seconds(s.started));
    w.family("sondral_channel_up", "gauge",
             "0 while the channel is reported lost (below half the threshold while the other "
             "plays), 1 otherwise.");
    w.sample("sondral_channel_up", s.channels.lost[0] ? 0 : 1,
             label("channel", QStringLiteral("left")));
    w.sample("sondral_channel_up", s.channels.lost[1] ? 0 : 1,
             label("channel", QStringLiteral("right")));
    w.gauge("sondral_outage_active",
            "1 from the first alarm of a dead-air outage until the programme is back.",
            s.outage.active ? 1 : 0);
    w.gauge("sondral_outage_seconds",
            "Length of the outage that stands, from its first silent second; 0 while none does.",
            s.outage.active ? s.outage.seconds : 0);
    w.gauge("sondral_outage_last_restored_seconds",
            "Length of the last outage that ended with the programme back; 0 before the first.",
            s.outage.lastRestoredSeconds);
    w.gauge("sondral_steady_seconds",
            "Consecutive seconds of a steady signal without programme counted so far.",
            s.programme.flatCount);
    w.gauge("sondral_steady_limit_seconds",
            "Steady-signal time limit of the source on air; 0 while that check is off.",
            s.programme.flatLimit);
    w.family("sondral_station_info", "gauge", "The station's name and the program's version.");
    w.sample("sondral_station_info", 1,
             label("name", snapshot.name) + ',' + label("version", snapshot.version));
    return w.text();
}
