// What every output relies on: whether the monitoring works, and the
// operator's texts for the monitor's failures, and the event kinds.
#include "core/datagramkeywords.h"
#include "core/failuretexts.h"
#include "core/monitoringhealth.h"
#include "core/station.h"
#include "core/stationstate.h"

#include <QSet>
#include <QTest>

class tst_Station : public QObject {
    Q_OBJECT
private slots:
    void health_data();
    void health();
    void failureTexts();
    void everyKindCounted();
    void oneOrderWhateverTheConnectOrder_data();
    void oneOrderWhateverTheConnectOrder();
    void statusTextDerived_data();
    void statusTextDerived();
    void everySourceRowComplete();
};

// The one judgement: which kinds of problem a state has, and which part
// (monitoring, programme) each one fails.
void tst_Station::health_data() {
    QTest::addColumn<bool>("tickRunning");
    QTest::addColumn<qint64>("sinceTick");
    QTest::addColumn<int>("phase");
    QTest::addColumn<qint64>("inPhase");
    QTest::addColumn<qint64>("sinceBlock");
    QTest::addColumn<int>("hostPort"); // 0: no link configured
    QTest::addColumn<bool>("bound");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("kinds"); // the problems' kinds, in order
    const int capturing = int(CapturePhase::Capturing);
    const int lost = int(CapturePhase::Lost);
    const int waiting = int(CapturePhase::Waiting);
    QTest::newRow("idle, capturing") << false << qint64(60000) << capturing << qint64(9000)
                                     << qint64(20) << 0 << false << false << "";
    QTest::newRow("tick on time") << true << qint64(1100) << capturing << qint64(9000) << qint64(20)
                                  << 4001 << true << false << "";
    QTest::newRow("tick overdue") << true << qint64(2500) << capturing << qint64(9000) << qint64(20)
                                  << 4001 << true << false << "check";
    QTest::newRow("stopped tick never overdue")
        << false << qint64(999999) << capturing << qint64(9000) << qint64(20) << 0 << false << false
        << "";
    QTest::newRow("blocks stopped, not reported")
        << false << qint64(0) << capturing << qint64(9000) << qint64(3500) << 0 << false << false
        << "capture";
    QTest::newRow("loss reported, source on air")
        << true << qint64(500) << lost << qint64(100) << qint64(60000) << 4001 << true << false
        << "capture";
    QTest::newRow("just started, no block yet") << true << qint64(500) << waiting << qint64(2000)
                                                << qint64(99999) << 0 << false << false << "";
    QTest::newRow("no sound server") << true << qint64(500) << waiting << qint64(3500)
                                     << qint64(99999) << 0 << false << false << "capture";
    QTest::newRow("port taken") << false << qint64(0) << capturing << qint64(9000) << qint64(20)
                                << 4001 << false << false << "link";
    QTest::newRow("dead air only") << false << qint64(0) << capturing << qint64(9000) << qint64(20)
                                   << 4001 << true << true << "alarm";
    QTest::newRow("everything") << true << qint64(5000) << lost << qint64(100) << qint64(9000)
                                << 4001 << false << true << "link capture check alarm";
}

void tst_Station::health() {
    QFETCH(bool, tickRunning);
    QFETCH(qint64, sinceTick);
    QFETCH(int, phase);
    QFETCH(qint64, inPhase);
    QFETCH(qint64, sinceBlock);
    QFETCH(int, hostPort);
    QFETCH(bool, bound);
    QFETCH(bool, alarm);
    QFETCH(QString, kinds);
    StationState s;
    const qint64 now = 1'000'000;
    s.tickRunning = tickRunning;
    s.lastTickMs = now - sinceTick;
    s.capture.phase = CapturePhase(phase);
    s.capture.sinceMs = now - inPhase;
    s.link.hostPort = hostPort;
    s.link.bound = bound;
    s.shown.phase = alarm ? StationPhase::Alarm : StationPhase::Watching;
    const MonitoringHealth h = MonitoringHealth::judge(s, now, now - sinceBlock);
    QStringList names;
    for (const MonitoringHealth::Problem& p : h.problems) {
        names << MonitoringHealth::kindName(p.kind);
        QVERIFY(!p.text.isEmpty());
    }
    QCOMPARE(names.join(u' '), kinds);
    QCOMPARE(h.ok(), kinds.isEmpty());
    QCOMPARE(h.programmeFine(), !alarm);
    QCOMPARE(h.canMonitor(), kinds.isEmpty() || kinds == u"alarm");
    // Only a stuck loop stops the watchdog: a restart cures nothing else.
    QCOMPARE(h.loopRuns(), !kinds.contains(u"check"));
}

void tst_Station::failureTexts() {
    QCOMPARE(FailureTexts::datagram(10054), QStringList{});
    QCOMPARE(FailureTexts::datagram(10040), QStringList{"Onbekende fout, foutcode : 10040"});
    QCOMPARE(FailureTexts::tick(10054), QStringList{"Fout : 10054"});
    QCOMPARE(FailureTexts::tick(6), (QStringList{"Fout : 6", "Onbekende fout, foutcode : 6"}));
    // An empty reason still gives a box: the line is lost.
    QCOMPARE(FailureTexts::log(QString()), QString("Kan niet schrijven naar het logbestand."));
    QCOMPARE(FailureTexts::log("Kan logbestand x niet openen"),
             QString("Kan logbestand x niet openen"));
}

// The counts per kind are sized by kindCount, written by hand as the last
// kind plus one: a kind added after it would be counted out of bounds. Every
// kind below it has a name of its own, and the first value past it none.
void tst_Station::everyKindCounted() {
    QSet<QString> names;
    for (int k = 0; k < StationEvent::kindCount; ++k) {
        const QString name = StationEvent::kindName(StationEvent::Kind(k));
        QVERIFY2(name != u"unknown", qPrintable(QString::number(k)));
        names.insert(name);
    }
    QCOMPARE(names.size(), StationEvent::kindCount);
    QCOMPARE(StationEvent::kindName(StationEvent::Kind(StationEvent::kindCount)),
             QStringLiteral("unknown"));
}

void tst_Station::oneOrderWhateverTheConnectOrder_data() {
    // Where the reader that publishes stands among the two that only read:
    // its position, and the order of the other two.
    QTest::addColumn<int>("publisherAt");
    QTest::addColumn<bool>("reversed");
    for (int at = 0; at < 3; ++at) {
        QTest::addRow("publisher %d, forward", at) << at << false;
        QTest::addRow("publisher %d, reversed", at) << at << true;
    }
}

// A reader that publishes while it handles an event (as the outage does at
// an alarm) must not let the readers after it see its event first: each
// reader sees every event in the order published, with the state as it
// stood then.
void tst_Station::oneOrderWhateverTheConnectOrder() {
    QFETCH(int, publisherAt);
    QFETCH(bool, reversed);
    using Kind = StationEvent::Kind;
    Station station;
    QStringList seen[2];
    auto reader = [&](int n) {
        QObject::connect(&station, &Station::eventPublished, &station,
                         [&, n](const StationEvent& e, const StationState& s) {
                             seen[n] << StationEvent::kindName(e.kind) + u'/' +
                                            QString::number(s.outage.active);
                         });
    };
    auto publisher = [&] {
        QObject::connect(&station, &Station::eventPublished, &station, [&](const StationEvent& e) {
            if (e.kind != Kind::AlarmRaised)
                return;
            station.edit().outage.active = true;
            station.publish(Kind::OutageBegan);
        });
    };
    const int order[2] = {reversed ? 1 : 0, reversed ? 0 : 1};
    for (int i = 0, r = 0; i < 3; ++i) {
        if (i == publisherAt)
            publisher();
        else
            reader(order[r++]);
    }

    station.publish(Kind::TickCounted);
    station.publish(Kind::AlarmRaised, "SONDRAL ACTIVATED");
    station.publish(Kind::TickCounted);

    const QStringList expected{"tick/0", "alarm/0", "outage/1", "tick/1"};
    QCOMPARE(seen[0], expected);
    QCOMPARE(seen[1], expected);
    QCOMPARE(station.state().eventCounts[std::size_t(Kind::OutageBegan)], 1u);
}

void tst_Station::statusTextDerived_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("blank");
    QTest::addColumn<QString>("text");
    const int watching = int(StationPhase::Watching);
    QTest::newRow("nothing yet") << 0 << watching << false << "";
    QTest::newRow("live") << 1 << watching << false << "LIVE";
    QTest::newRow("automation") << 2 << watching << false << "AUTOMAAT";
    QTest::newRow("feed 4") << 6 << watching << false << "FEED 4";
    QTest::newRow("restored from no pause") << 2 << watching << true << "";
    QTest::newRow("alarm") << 3 << int(StationPhase::Alarm) << false << "SONDRAL GEACTIVEERD!";
    QTest::newRow("pause") << 2 << int(StationPhase::Paused) << false << "PAUSE";
    QTest::newRow("unknown code") << 99 << watching << false << "";
}

void tst_Station::statusTextDerived() {
    QFETCH(int, mode);
    QFETCH(int, phase);
    QFETCH(bool, blank);
    QFETCH(QString, text);
    StationState s;
    s.modes.Mode = qint16(mode);
    s.shown = {StationPhase(phase), blank};
    QCOMPARE(s.statusText(), text);
}

// A source is one row of the table: whatever row is added, its keyword is
// counted, its mode names it and shows its text, and its keys and fields
// are its own.
void tst_Station::everySourceRowComplete() {
    QSet<QString> keys;
    QSet<int> modes{ModeNone, ModeLive};
    for (const MonitoredSource& row : MonitoredSources) {
        QVERIFY(std::find(DatagramKeywords.begin(), DatagramKeywords.end(), row.keyword) !=
                DatagramKeywords.end());
        QCOMPARE(QString(row.keyword), "SN_" + QString(row.name));
        QVERIFY2(!modes.contains(row.mode), row.keyword.data());
        modes.insert(row.mode);
        QCOMPARE(monitoredSourceOf(row.mode), &row);
        StationState s;
        s.modes.Mode = row.mode;
        QCOMPARE(s.source(), QString(row.name));
        QCOMPARE(s.statusText(), QString(row.statusText));
        for (const QLatin1StringView key : {row.thresholdKey, row.timeKeyRead, row.flatKey})
            QVERIFY2(!keys.contains(key.toString().toLower()), key.data());
        keys << row.thresholdKey.toString().toLower() << row.timeKeyRead.toString().toLower()
             << row.flatKey.toString().toLower();
        QCOMPARE(row.timeKeyWritten.compare(row.timeKeyRead, Qt::CaseInsensitive), 0);
        Settings settings;
        settings.*row.threshold = 1;
        settings.*row.timeLimit = 2;
        settings.*row.flatSeconds = 3;
        QCOMPARE(settings.*row.threshold + settings.*row.timeLimit + settings.*row.flatSeconds, 6);
    }
    // The server's keywords once each, the alarm, and nothing else.
    QCOMPARE(QSet<QLatin1StringView>(DatagramKeywords.begin(), DatagramKeywords.end()).size(),
             qsizetype(DatagramKeywords.size()));
    QCOMPARE(DatagramKeywords.size(), MonitoredSourceCount + 4);
}

QTEST_APPLESS_MAIN(tst_Station)
#include "tst_station.moc"
