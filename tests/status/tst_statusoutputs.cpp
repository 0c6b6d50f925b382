#include "core/station.h"
#include "status/statusboard.h"
#include "status/statushealth.h"
#include "status/statusjson.h"
#include "status/statusmetrics.h"
#include "status/statustimeline.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr qint64 Now = 1'000'000; // monotonic ms

// What an output sees of a station that ran: an alarm raised on AUTO, after
// a few datagrams of every kind.
StatusSnapshot ranStation() {
    Station station;
    station.countDatagram("SN_AUTO");
    station.countDatagram("SN_AUTO");
    station.countDatagram("SN_AUTO\n"); // a near miss is another payload
    station.countDatagram("garbage");
    station.countDatagram("SN_PAUSE_OFF");
    station.publish(StationEvent::Kind::RunStarted, QStringLiteral("Program started Up"));
    station.publish(StationEvent::Kind::TickCounted);
    station.publish(StationEvent::Kind::TickCounted);
    station.publish(StationEvent::Kind::AlarmRaised, QStringLiteral("SONDRAL ACTIVATED"));
    station.publish(StationEvent::Kind::ClipSaved, QStringLiteral("2026-03-01_13-00-05_AUTO.flac"));
    StationState& s = station.edit();
    s.modes.Mode = 2;
    s.modes.ArmedVol = 15;
    s.modes.ArmedTime = 30;
    s.modes.SilenceCount = 31;
    s.shown.phase = StationPhase::Alarm;
    s.alarmCount = 1;
    s.lastAlarm = QDateTime(QDate(2026, 3, 1), QTime(12, 0, 5), Qt::UTC);
    s.started = QDateTime(QDate(2026, 3, 1), QTime(11, 0), Qt::UTC);
    s.capture = {QStringLiteral("Programme-ingang"), CapturePhase::Lost};
    s.link = {true, 4001, QStringLiteral("playout"), 4000, {}, 7};
    // A hum raised it, an outage stands, and an earlier one was restored.
    s.alarmReason = AlarmReason::SteadySignal;
    s.outage.active = true;
    s.outage.seconds = 42;
    s.outage.source = QStringLiteral("AUTO");
    s.outage.lastRestoredSeconds = 17;
    s.programme.last = {true, true, -30, 0.2, 3.0};
    s.programme.flatCount = 12;
    s.programme.flatLimit = 10;
    s.channels.lost[1] = true;
    StatusSnapshot snap;
    snap.state = station.state();
    snap.levels = {3, 4, 5, 6, Now - 10};
    snap.name = QStringLiteral("FM \"Noord\"\\1\nx");
    snap.version = QStringLiteral("1.0");
    snap.events = {StationEvent{StationEvent::Kind::AlarmRaised, s.lastAlarm,
                                QStringLiteral("SONDRAL ACTIVATED"), 0}};
    snap.publishedMs = Now - 50;
    return snap;
}

// The sample lines of one family: "name{labels} value".
QMap<QString, double> samples(const QByteArray& text, const QString& family) {
    QMap<QString, double> out;
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(family.toUtf8() + '{') || line.startsWith(family.toUtf8() + ' ')) {
            const qsizetype space = line.lastIndexOf(' ');
            out.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1).toDouble());
        }
    }
    return out;
}

} // namespace

class TestStatusOutputs : public QObject {
    Q_OBJECT

private slots:
    // Each family has its HELP and TYPE right before its samples, and the
    // counts come from the station, not from what the outputs saw.
    void metrics_data() {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<double>("value");
        QTest::newRow("left") << "sondral_level_percent{channel=\"left\"}" << 3.0;
        QTest::newRow("right") << "sondral_level_percent{channel=\"right\"}" << 4.0;
        QTest::newRow("mode") << "sondral_mode" << 2.0;
        QTest::newRow("source") << "sondral_source_info{source=\"AUTO\"}" << 1.0;
        QTest::newRow("threshold") << "sondral_armed_threshold_percent" << 15.0;
        QTest::newRow("time") << "sondral_armed_time_seconds" << 30.0;
        QTest::newRow("silence") << "sondral_silence_seconds" << 31.0;
        QTest::newRow("alarm") << "sondral_alarm_active" << 1.0;
        QTest::newRow("alarms") << "sondral_alarms_total" << 1.0;
        QTest::newRow("ticks") << "sondral_events_total{kind=\"tick\"}" << 2.0;
        QTest::newRow("alarm events") << "sondral_events_total{kind=\"alarm\"}" << 1.0;
        QTest::newRow("never") << "sondral_events_total{kind=\"capture_back\"}" << 0.0;
        QTest::newRow("capture lost") << "sondral_capture_up" << 0.0;
        QTest::newRow("link") << "sondral_link_up" << 1.0;
        QTest::newRow("SN_AUTO twice") << "sondral_datagrams_total{keyword=\"SN_AUTO\"}" << 2.0;
        QTest::newRow("near miss and garbage")
            << "sondral_datagrams_total{keyword=\"other\"}" << 2.0;
        QTest::newRow("resume") << "sondral_datagrams_total{keyword=\"SN_PAUSE_OFF\"}" << 1.0;
        QTest::newRow("start")
            << "sondral_start_time_seconds"
            << double(QDateTime(QDate(2026, 3, 1), QTime(11, 0), Qt::UTC).toSecsSinceEpoch());
        QTest::newRow("reason steady") << "sondral_alarm_reason{reason=\"steady_signal\"}" << 1.0;
        QTest::newRow("reason not silence") << "sondral_alarm_reason{reason=\"silence\"}" << 0.0;
        QTest::newRow("left up") << "sondral_channel_up{channel=\"left\"}" << 1.0;
        QTest::newRow("right lost") << "sondral_channel_up{channel=\"right\"}" << 0.0;
        QTest::newRow("outage") << "sondral_outage_active" << 1.0;
        QTest::newRow("outage length") << "sondral_outage_seconds" << 42.0;
        QTest::newRow("last restored") << "sondral_outage_last_restored_seconds" << 17.0;
        QTest::newRow("steady") << "sondral_steady_seconds" << 12.0;
        QTest::newRow("steady limit") << "sondral_steady_limit_seconds" << 10.0;
        QTest::newRow("clip events") << "sondral_events_total{kind=\"clip_saved\"}" << 1.0;
        QTest::newRow("cannot monitor") << "sondral_monitoring_ok" << 0.0;
        QTest::newRow("problem capture") << "sondral_problem{kind=\"capture\"}" << 1.0;
        QTest::newRow("problem alarm") << "sondral_problem{kind=\"alarm\"}" << 1.0;
        QTest::newRow("no problem link") << "sondral_problem{kind=\"link\"}" << 0.0;
        QTest::newRow("no problem check") << "sondral_problem{kind=\"check\"}" << 0.0;
        QTest::newRow("dropped") << "sondral_datagrams_dropped_total" << 7.0;
        QTest::newRow("name escaped")
            << "sondral_station_info{name=\"FM \\\"Noord\\\"\\\\1\\nx\",version=\"1.0\"}" << 1.0;
    }

    void metrics() {
        QFETCH(QString, sample);
        QFETCH(double, value);
        const QByteArray text = StatusMetrics::render(ranStation(), Now);
        const QString family = sample.section(QLatin1Char('{'), 0, 0);
        const QMap<QString, double> found = samples(text, family);
        QVERIFY2(found.contains(sample), qPrintable(QStringList(found.keys()).join(u' ')));
        QCOMPARE(found.value(sample), value);
        const QRegularExpression head(
            QStringLiteral("# HELP %1 [^\\n]+\\n# TYPE %1 (gauge|counter)\\n%1[ {]")
                .arg(QRegularExpression::escape(family)));
        QVERIFY(head.match(QString::fromUtf8(text)).hasMatch());
    }

    // Every kind of event and every keyword has its line, zero or not, so a
    // rate over them never starts from nothing.
    void metricsLabelsBounded() {
        const QByteArray text = StatusMetrics::render(StatusSnapshot{}, Now);
        QCOMPARE(samples(text, QStringLiteral("sondral_events_total")).size(),
                 StationEvent::kindCount);
        // One series per kind of problem, 0 or 1, so an alert can name it.
        QCOMPARE(samples(text, QStringLiteral("sondral_problem")).size(),
                 MonitoringHealth::kindCount);
        // A drop count not known is no series at all rather than a false 0.
        QVERIFY(!text.contains("sondral_datagrams_dropped_total"));
        QCOMPARE(samples(text, QStringLiteral("sondral_datagrams_total")).size(), 10);
        QVERIFY(text.endsWith('\n'));
        QCOMPARE(samples(text, QStringLiteral("sondral_last_datagram_timestamp_seconds"))
                     .value(QStringLiteral("sondral_last_datagram_timestamp_seconds")),
                 0.0);
    }

    void json() {
        const QJsonObject o = QJsonDocument::fromJson(StatusJson::status(ranStation())).object();
        QCOMPARE(o.value(u"name").toString(), QStringLiteral("FM \"Noord\"\\1\nx"));
        QCOMPARE(o.value(u"mode").toInt(), 2);
        QCOMPARE(o.value(u"source").toString(), QStringLiteral("AUTO"));
        QCOMPARE(o.value(u"status_text").toString(), QStringLiteral("SONDRAL GEACTIVEERD!"));
        QCOMPARE(o.value(u"paused").toBool(true), false);
        QCOMPARE(o.value(u"armed_threshold").toInt(), 15);
        QCOMPARE(o.value(u"armed_time").toInt(), 30);
        QCOMPARE(o.value(u"silence_count").toInt(), 31);
        QCOMPARE(o.value(u"levels").toObject().value(u"right").toInt(), 4);
        QCOMPARE(o.value(u"meters").toObject().value(u"left").toInt(), 5);
        const QJsonObject alarm = o.value(u"alarm").toObject();
        QCOMPARE(alarm.value(u"active").toBool(), true);
        QCOMPARE(alarm.value(u"count").toInt(), 1);
        QCOMPARE(alarm.value(u"last").toString(), QStringLiteral("2026-03-01T12:00:05.000Z"));
        QCOMPARE(alarm.value(u"reason").toString(), QStringLiteral("steady_signal"));
        const QJsonObject outage = o.value(u"outage").toObject();
        QCOMPARE(outage.value(u"active").toBool(), true);
        QCOMPARE(outage.value(u"seconds").toInt(), 42);
        QCOMPARE(outage.value(u"source").toString(), QStringLiteral("AUTO"));
        QCOMPARE(outage.value(u"last_restored_seconds").toInt(), 17);
        const QJsonObject programme = o.value(u"programme").toObject();
        QCOMPARE(programme.value(u"steady").toBool(), true);
        QCOMPARE(programme.value(u"level_dbfs").toInt(), -30);
        QCOMPARE(programme.value(u"flat_count").toInt(), 12);
        QCOMPARE(programme.value(u"flat_limit").toInt(), 10);
        const QJsonObject channels = o.value(u"channels").toObject();
        QCOMPARE(channels.value(u"left").toObject().value(u"lost").toBool(true), false);
        QCOMPARE(channels.value(u"right").toObject().value(u"lost").toBool(), true);
        QCOMPARE(o.value(u"clips_saved").toInt(), 1);
        QCOMPARE(o.value(u"capture").toObject().value(u"state").toString(), QStringLiteral("lost"));
        const QJsonObject link = o.value(u"link").toObject();
        QCOMPARE(link.value(u"remote_name").toString(), QStringLiteral("playout"));
        QCOMPARE(link.value(u"host_port").toInt(), 4001);
        QVERIFY(link.value(u"last_datagram").isString());
        const QJsonArray events = o.value(u"events").toArray();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].toObject().value(u"kind").toString(), QStringLiteral("alarm"));
        // Before anything happened: no times made up.
        const QJsonObject empty = QJsonDocument::fromJson(StatusJson::status({})).object();
        QVERIFY(empty.value(u"started").isNull());
        QVERIFY(empty.value(u"alarm").toObject().value(u"last").isNull());
        QCOMPARE(empty.value(u"source").toString(QStringLiteral("x")), QString());
        // No reason before the first alarm, and no level of a second not measured.
        QVERIFY(empty.value(u"alarm").toObject().value(u"reason").isNull());
        QVERIFY(empty.value(u"programme").toObject().value(u"level_dbfs").isNull());
        QCOMPARE(empty.value(u"capture").toObject().value(u"state").toString(),
                 QStringLiteral("waiting"));
    }

    // The same judgement answers /healthz, the metrics and the JSON: every reason one
    // line, monitoring problems before the programme's.
    void health_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("reasons"); // empty: ok
        QTest::addColumn<bool>("monitoringOk");
        QTest::newRow("fresh and quiet") << 0 << QString() << true;
        QTest::newRow("alarm stands")
            << 1 << "dead air: the alarm stands since 2026-03-01T12:00:05Z" << true;
        QTest::newRow("UI thread stopped publishing")
            << 2 << "the monitoring has not published its state for 3 s" << false;
        QTest::newRow("tick overdue") << 3 << "the silence check has not run for 5 s" << false;
        QTest::newRow("capture silent, loss not reported")
            << 4 << "the capture has delivered nothing for 4 s and has not reported a loss"
            << false;
        QTest::newRow("nothing published yet")
            << 5 << "the monitoring has not published its state yet" << false;
        QTest::newRow("capture lost during the alarm")
            << 6
            << "the capture input is lost (12 s)\n"
               "dead air: the alarm stands since 2026-03-01T12:00:05Z"
            << false;
    }

    void health() {
        QFETCH(int, change);
        QFETCH(QString, reasons);
        QFETCH(bool, monitoringOk);
        StatusSnapshot snap = ranStation();
        snap.state.shown.phase =
            (change == 1 || change == 6) ? StationPhase::Alarm : StationPhase::Watching;
        snap.state.capture.phase = change == 6 ? CapturePhase::Lost : CapturePhase::Capturing;
        snap.state.capture.sinceMs = Now - 12'000;
        if (change == 2)
            snap.publishedMs = Now - 3000;
        snap.state.tickRunning = true;
        snap.state.lastTickMs = change == 3 ? Now - 5000 : Now - 500;
        if (change == 4)
            snap.levels.lastBlockMs = Now - 4000;
        if (change == 5)
            snap.publishedMs = 0;
        const MonitoringHealth h = StatusHealth::check(snap, Now);
        QCOMPARE(h.ok(), reasons.isEmpty());
        QCOMPARE(h.reasons().join(u'\n'), reasons);
        QCOMPARE(h.canMonitor(), monitoringOk);
        // The metrics say the same.
        const QMap<QString, double> ok =
            samples(StatusMetrics::render(snap, Now), QStringLiteral("sondral_monitoring_ok"));
        QCOMPARE(ok.value(QStringLiteral("sondral_monitoring_ok")), monitoringOk ? 1.0 : 0.0);
        // And so does the JSON.
        const QJsonObject json = QJsonDocument::fromJson(StatusJson::status(snap, Now))
                                     .object()
                                     .value(u"health")
                                     .toObject();
        QCOMPARE(json.value(u"ok").toBool(), reasons.isEmpty());
        QCOMPARE(json.value(u"monitoring").toBool(), monitoringOk);
        QCOMPARE(json.value(u"problems").toArray().size(), h.problems.size());
    }

    // Each minute keeps its lowest and highest level per channel; a day
    // later its slot holds the new minute only.
    void timelineMinutes() {
        StatusTimeline t;
        StationState s;
        s.modes.Mode = 3;
        s.modes.ArmedVol = 9;
        const qint64 m0 = 29'000'000;
        t.add(m0, 40, 60, s);
        t.add(m0, 10, 70, s);
        s.tickRunning = true;
        t.add(m0, 30, 5, s);
        t.add(m0 + 1, 50, 50, s);
        t.add(m0, 0, 0, s); // an earlier minute than the latest: the clock went back
        QList<StatusTimeline::Minute> w = t.window(m0 + 1);
        QCOMPARE(w.size(), 2);
        QCOMPARE(w[0].minLeft, quint8(10));
        QCOMPARE(w[0].maxLeft, quint8(40));
        QCOMPARE(w[0].minRight, quint8(5));
        QCOMPARE(w[0].maxRight, quint8(70));
        QVERIFY(w[0].monitored);
        QCOMPARE(w[0].armedVol, qint16(9));

        t.add(m0 + StatusTimeline::minutes, 20, 20, s);
        w = t.window(m0 + StatusTimeline::minutes);
        QCOMPARE(w.size(), 2); // m0 + 1 and the new one; m0 fell out
        QCOMPARE(w[0].minute, m0 + 1);
        QCOMPARE(w[1].minLeft, quint8(20));

        const QJsonArray minutes =
            QJsonDocument::fromJson(StatusJson::timeline(t, m0 + StatusTimeline::minutes))
                .object()
                .value(u"minutes")
                .toArray();
        QCOMPARE(minutes.size(), 2);
        QCOMPARE(minutes[1].toObject().value(u"half").toDouble(), 4.5);
        QCOMPARE(minutes[1].toObject().value(u"source").toString(), QStringLiteral("FEED_1"));
    }

    // The board marks an alarm decided and an alarm cleared in their minute,
    // from the copies it is given.
    void boardMarksAlarms() {
        StatusBoard board;
        StatusSnapshot snap;
        const qint64 minuteMs = 60'000;
        const qint64 t0 = 1'800'000'000'000;
        board.publish(snap, t0);
        snap.state.shown.phase = StationPhase::Alarm;
        snap.state.alarmCount = 1;
        board.publish(snap, t0 + minuteMs);
        board.publish(snap, t0 + 2 * minuteMs);
        snap.state.shown.phase = StationPhase::Watching;
        board.publish(snap, t0 + 3 * minuteMs);
        const QList<StatusTimeline::Minute> w = board.timeline().window(t0 / minuteMs + 3);
        QCOMPARE(w.size(), 4);
        QCOMPARE(w[0].alarm, false);
        QCOMPARE(w[1].raised, true);
        QCOMPARE(w[2].raised, false);
        QCOMPARE(w[2].alarm, true);
        QCOMPARE(w[3].restored, true);
        QCOMPARE(w[3].alarm, false);
    }
};

QTEST_GUILESS_MAIN(TestStatusOutputs)
#include "tst_statusoutputs.moc"
