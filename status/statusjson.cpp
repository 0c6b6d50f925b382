#include "status/statusjson.h"

#include "status/statushealth.h"
#include "status/statussnapshot.h"
#include "status/statustimeline.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QJsonValue time(const QDateTime& t) {
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

// The same judgement as /healthz and /metrics.
QJsonObject health(const StatusSnapshot& snapshot, qint64 nowMs) {
    const MonitoringHealth h = StatusHealth::check(snapshot, nowMs);
    QJsonArray problems;
    for (const MonitoringHealth::Problem& p : h.problems)
        problems.append(QJsonObject{{QStringLiteral("kind"), MonitoringHealth::kindName(p.kind)},
                                    {QStringLiteral("text"), p.text}});
    return QJsonObject{{QStringLiteral("ok"), h.ok()},
                       {QStringLiteral("monitoring"), h.canMonitor()},
                       {QStringLiteral("problems"), problems}};
}

QJsonObject channel(const StationState& s, int ch) {
    return QJsonObject{{QStringLiteral("lost"), s.channels.lost[ch]}};
}

// The reason of the standing or last alarm; none before the first.
QJsonValue alarmReason(const StationState& s) {
    return s.alarmSeen() ? QJsonValue(alarmReasonName(s.alarmReason)) : QJsonValue();
}

QString sourceOfMode(qint16 mode) {
    StationState s;
    s.modes.Mode = mode;
    return s.source();
}

} // namespace

QString StatusJson::capturePhaseName(int phase) {
    switch (CapturePhase(phase)) {
    case CapturePhase::Capturing:
        return QStringLiteral("capturing");
    case CapturePhase::Lost:
        return QStringLiteral("lost");
    case CapturePhase::Waiting:
        break;
    }
    return QStringLiteral("waiting");
}

QByteArray StatusJson::status(const StatusSnapshot& snapshot, qint64 nowMs) {
    const StationState& s = snapshot.state;
    QJsonArray events;
    for (const StationEvent& e : snapshot.events) {
        events.append(QJsonObject{{QStringLiteral("time"), time(e.time)},
                                  {QStringLiteral("kind"), StationEvent::kindName(e.kind)},
                                  {QStringLiteral("text"), e.text},
                                  {QStringLiteral("code"), e.code}});
    }
    const QJsonObject doc{
        {QStringLiteral("name"), snapshot.name},
        {QStringLiteral("version"), snapshot.version},
        {QStringLiteral("started"), time(s.started)},
        {QStringLiteral("mode"), s.modes.Mode},
        {QStringLiteral("source"), s.source()},
        {QStringLiteral("status_text"), s.statusText()},
        {QStringLiteral("paused"), s.paused()},
        {QStringLiteral("armed_threshold"), s.modes.ArmedVol},
        {QStringLiteral("armed_time"), s.modes.ArmedTime},
        {QStringLiteral("silence_count"), s.modes.SilenceCount},
        {QStringLiteral("gauge"), s.gaugePosition},
        {QStringLiteral("tick_running"), s.tickRunning},
        {QStringLiteral("levels"), QJsonObject{{QStringLiteral("left"), snapshot.levels.left},
                                               {QStringLiteral("right"), snapshot.levels.right}}},
        {QStringLiteral("meters"),
         QJsonObject{{QStringLiteral("left"), snapshot.levels.meterLeft},
                     {QStringLiteral("right"), snapshot.levels.meterRight}}},
        {QStringLiteral("alarm"), QJsonObject{{QStringLiteral("active"), s.alarmActive()},
                                              {QStringLiteral("last"), time(s.lastAlarm)},
                                              {QStringLiteral("count"), s.alarmCount},
                                              {QStringLiteral("reason"), alarmReason(s)}}},
        {QStringLiteral("outage"),
         QJsonObject{{QStringLiteral("active"), s.outage.active},
                     {QStringLiteral("seconds"), s.outage.seconds},
                     {QStringLiteral("source"), s.outage.source},
                     {QStringLiteral("last_restored_seconds"), s.outage.lastRestoredSeconds}}},
        {QStringLiteral("programme"),
         QJsonObject{{QStringLiteral("measured"), s.programme.last.measured},
                     {QStringLiteral("steady"), s.programme.last.steady},
                     {QStringLiteral("level_dbfs"), s.programme.last.measured
                                                        ? QJsonValue(s.programme.last.peakDbfs)
                                                        : QJsonValue()},
                     {QStringLiteral("flat_count"), s.programme.flatCount},
                     {QStringLiteral("flat_limit"), s.programme.flatLimit}}},
        {QStringLiteral("channels"), QJsonObject{{QStringLiteral("left"), channel(s, 0)},
                                                 {QStringLiteral("right"), channel(s, 1)}}},
        {QStringLiteral("clips_saved"),
         qint64(s.eventCounts[std::size_t(StationEvent::Kind::ClipSaved)])},
        {QStringLiteral("capture"),
         QJsonObject{{QStringLiteral("device"), s.capture.device},
                     {QStringLiteral("state"), capturePhaseName(int(s.capture.phase))},
                     {QStringLiteral("kind"), s.capture.kind},
                     {QStringLiteral("url"),
                      s.capture.isStream() ? QJsonValue(s.capture.url) : QJsonValue()},
                     {QStringLiteral("up"), s.capture.phase == CapturePhase::Capturing},
                     {QStringLiteral("reconnects"), s.capture.reconnects},
                     {QStringLiteral("codec"),
                      s.capture.codec.isEmpty() ? QJsonValue() : QJsonValue(s.capture.codec)},
                     {QStringLiteral("sample_rate"),
                      s.capture.sampleRate > 0 ? QJsonValue(s.capture.sampleRate) : QJsonValue()},
                     {QStringLiteral("last_lost"), time(s.capture.lastLost)},
                     {QStringLiteral("lost_reason"), s.capture.lostReason.isEmpty()
                                                         ? QJsonValue()
                                                         : QJsonValue(s.capture.lostReason)}}},
        {QStringLiteral("link"),
         QJsonObject{{QStringLiteral("bound"), s.link.bound},
                     {QStringLiteral("host_port"), s.link.hostPort},
                     {QStringLiteral("remote_name"), s.link.remoteName},
                     {QStringLiteral("remote_port"), s.link.remotePort},
                     {QStringLiteral("last_datagram"), time(s.lastDatagram)},
                     {QStringLiteral("bind_error"), s.link.bindError}}},
        {QStringLiteral("health"), health(snapshot, nowMs < 0 ? snapshot.publishedMs : nowMs)},
        {QStringLiteral("state_file"), QJsonObject{{QStringLiteral("ok"), s.stateFile.ok},
                                                   {QStringLiteral("error"), s.stateFile.error}}},
        {QStringLiteral("events"), events},
    };
    return QJsonDocument(doc).toJson(QJsonDocument::Compact);
}

QByteArray StatusJson::clips(const QList<StatusClips::Clip>& clips) {
    QJsonArray list;
    for (const StatusClips::Clip& c : clips) {
        list.append(QJsonObject{{QStringLiteral("name"), c.name},
                                {QStringLiteral("bytes"), c.bytes},
                                {QStringLiteral("saved"), time(c.saved)},
                                {QStringLiteral("url"), QStringLiteral("clips/") + c.name}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("clips"), list}})
        .toJson(QJsonDocument::Compact);
}

QByteArray StatusJson::timeline(const StatusTimeline& timeline, qint64 nowMinute) {
    QJsonArray minutes;
    for (const StatusTimeline::Minute& m : timeline.window(nowMinute)) {
        // A minute marked before its first sample has no levels yet.
        const int minLeft = std::min(m.minLeft, m.maxLeft);
        const int minRight = std::min(m.minRight, m.maxRight);
        QJsonObject o{{QStringLiteral("t"), m.minute * 60},
                      {QStringLiteral("l"), QJsonArray{minLeft, m.maxLeft}},
                      {QStringLiteral("r"), QJsonArray{minRight, m.maxRight}},
                      {QStringLiteral("source"), sourceOfMode(m.mode)}};
        if (m.monitored)
            o.insert(QStringLiteral("half"), m.armedVol / 2.0);
        if (m.alarm)
            o.insert(QStringLiteral("alarm"), true);
        if (m.raised)
            o.insert(QStringLiteral("raised"), true);
        if (m.restored)
            o.insert(QStringLiteral("restored"), true);
        minutes.append(o);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("minutes"), minutes}})
        .toJson(QJsonDocument::Compact);
}
