// The once-a-second silence check, driven tick by tick: the half-threshold
// comparison, the count and gauge, the alarm and its order, the datagrams
// handled in a tick's middle, and the failure paths of a tick.
#include "rig.h"

#include <QTest>

namespace {
const QStringList AlarmSteps{"send SN_ALARM", "log SONDRAL ACTIVATED", "tick stop"};
using Kind = StationEvent::Kind;
} // namespace

class tst_Detector : public QObject {
    Q_OBJECT
private slots:
    void halfThreshold_data();
    void halfThreshold();
    void gaugeCountsUpAndAlarmsAfterLimit();
    void oneChannelSilenceNeverAlarms_data();
    void oneChannelSilenceNeverAlarms();
    void loudTickRestartsCount();
    void datagramDuringTickDecides_data();
    void datagramDuringTickDecides();
    void pendingDatagramsInOrderThenNothingElse();
    void readFailureDuringTickStopsReading();
    void floodAtTheTickDecidesOnTime();
    void alarmRestartsOnlyByDatagram();
    void zeroTimeLimitAlarmsOnFirstSilentTick();
    void failedSendIsRetriedNextTick();
    void tickErrorTexts_data();
    void tickErrorTexts();
    void counterOverflowIsFailureSix();
    void stoppedTickDoesNothing();
};

void tst_Detector::halfThreshold_data() {
    QTest::addColumn<int>("vol");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<bool>("silent");
    QTest::newRow("50: 24/10 silent") << 50 << 24 << 10 << true;
    QTest::newRow("50: 25/10 loud") << 50 << 25 << 10 << false;
    QTest::newRow("50: 10/25 loud") << 50 << 10 << 25 << false;
    QTest::newRow("25: 12/12 silent") << 25 << 12 << 12 << true;
    QTest::newRow("25: 13/0 loud") << 25 << 13 << 0 << false;
    QTest::newRow("25: 0/13 loud") << 25 << 0 << 13 << false;
    QTest::newRow("0: 0/0 never silent") << 0 << 0 << 0 << false;
    QTest::newRow("1: 0/0 silent") << 1 << 0 << 0 << true;
    QTest::newRow("1: 1/0 loud") << 1 << 1 << 0 << false;
    QTest::newRow("1: 0/1 loud") << 1 << 0 << 1 << false;
    QTest::newRow("100: 49/49 silent") << 100 << 49 << 49 << true;
    QTest::newRow("100: 50/0 loud") << 100 << 50 << 0 << false;
    QTest::newRow("negative level silent") << 20 << -1 << -5 << true;
}

void tst_Detector::halfThreshold() {
    QFETCH(int, vol);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(bool, silent);
    Rig r;
    r.settings.Feed1Vol = 40;
    r.settings.Feed1time = 100;
    r.send("SN_FEED_1"); // starts the tick even for AutoVol 0
    r.settings.AutoVol = qint16(vol);
    r.settings.Autotime = 100;
    r.send("SN_AUTO");

    r.tick(left, right);

    QCOMPARE(r.state().SilenceCount, silent ? 1 : 0);
    QCOMPARE(r.st().gaugePosition, silent ? 1 : 0);
    // What the tick read is kept for the outputs.
    QCOMPARE(r.st().leftLevel, left);
    QCOMPARE(r.st().rightLevel, right);
}

void tst_Detector::gaugeCountsUpAndAlarmsAfterLimit() {
    Rig r;
    r.send("SN_AUTO"); // AutoVol 20, Autotime 3
    r.journal.clear();

    r.silentTicks(3);
    QCOMPARE(r.events.gaugePositions, (QList<int>{1, 2, 3}));
    QVERIFY(r.link.sent.isEmpty());
    QVERIFY(r.timer.active);
    QVERIFY(!r.st().alarmActive());

    r.silentTicks(1);
    QCOMPARE(r.events.gaugePositions, (QList<int>{1, 2, 3, 4}));
    // Status first, then the datagram, the log line and the stop.
    QCOMPARE(r.status(), QString("SONDRAL GEACTIVEERD!"));
    QCOMPARE(r.journal, AlarmSteps);
    QCOMPARE(r.link.sent, QList<QByteArray>{"SN_ALARM"});
    QCOMPARE(r.link.sent.first().size(), 8);
    QVERIFY(r.events.boxes.isEmpty());
    QVERIFY(r.st().alarmActive());
    QCOMPARE(r.st().alarmCount, 1);
    QVERIFY(r.st().lastAlarm.isValid());
    QVERIFY(!r.st().tickRunning);
}

void tst_Detector::oneChannelSilenceNeverAlarms_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("left silent") << 0 << 50;
    QTest::newRow("right silent") << 50 << 0;
    QTest::newRow("right at half") << 0 << 10;
}

void tst_Detector::oneChannelSilenceNeverAlarms() {
    QFETCH(int, left);
    QFETCH(int, right);
    Rig r;
    r.send("SN_AUTO");
    for (int i = 0; i < 20; ++i)
        r.tick(left, right);
    QCOMPARE(r.state().SilenceCount, 0);
    QVERIFY(r.link.sent.isEmpty());
    QVERIFY(r.timer.active);
}

void tst_Detector::loudTickRestartsCount() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.tick(10, 10); // exactly half of 20: loud
    QCOMPARE(r.st().gaugePosition, 0);
    r.silentTicks(3);
    QCOMPARE(r.events.gaugePositions, (QList<int>{1, 2, 3, 0, 1, 2, 3}));
    QVERIFY(r.link.sent.isEmpty());
}

void tst_Detector::datagramDuringTickDecides_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("status");
    QTest::newRow("live prevents") << QByteArray("SN_LIVE") << false << "LIVE";
    QTest::newRow("repeat clears count") << QByteArray("SN_AUTO") << false << "AUTOMAAT";
    QTest::newRow("longer limit") << QByteArray("SN_FEED_1") << false << "FEED 1";
    QTest::newRow("ignored payload") << QByteArray("SN_AUTO\n") << true << "SONDRAL GEACTIVEERD!";
}

void tst_Detector::datagramDuringTickDecides() {
    QFETCH(QByteArray, datagram);
    QFETCH(bool, alarm);
    QFETCH(QString, status);
    Rig r;
    r.settings.Feed1Vol = 20;
    r.settings.Feed1time = 10;
    r.send("SN_AUTO");
    r.silentTicks(3);
    // The fourth tick would reach the limit; the server's datagram waits on
    // the socket when the tick looks.
    r.link.pending << DatagramLink::Received{datagram, 0};
    r.silentTicks(1);

    // The gauge showed 4 before the datagram was handled.
    QCOMPARE(r.events.gaugePositions.mid(0, 4), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(r.link.sent.size(), alarm ? 1 : 0);
    QCOMPARE(r.status(), status);
    QCOMPARE(r.timer.active, !alarm && datagram != "SN_LIVE");
    QCOMPARE(r.state().LastDatagram, QString::fromLatin1(datagram));
}

// Every datagram waiting is handled, in order, before the decision; the
// tick asks the socket and nothing else.
void tst_Detector::pendingDatagramsInOrderThenNothingElse() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.link.pending << DatagramLink::Received{"SN_LIVE", 0} << DatagramLink::Received{"junk", 0}
                   << DatagramLink::Received{"SN_AUTO", 0};
    r.journal.clear();
    r.silentTicks(1);
    QVERIFY(r.link.pending.isEmpty());
    QCOMPARE(r.journal, (QStringList{"tick stop", "log Server Running LIVE",
                                     "log Server Running AUTO", "tick start"}));
    QCOMPARE(r.state().SilenceCount, 0);
    QVERIFY(r.link.sent.isEmpty());
    QVERIFY(r.timer.active);
}

void tst_Detector::readFailureDuringTickStopsReading() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.link.pending << DatagramLink::Received{{}, 10040} << DatagramLink::Received{"SN_LIVE", 0};
    r.silentTicks(1);
    // The failure is reported, what follows it waits for the socket's next
    // turn, and the alarm is decided on the state as it stands.
    QCOMPARE(r.events.boxes, QList<QStringList>{{"Onbekende fout, foutcode : 10040"}});
    QCOMPARE(r.link.pending.size(), 1);
    QCOMPARE(r.link.sent, QList<QByteArray>{"SN_ALARM"});
}

// A flood waiting when the tick looks: one slice is handled, in order, and
// the alarm is decided on time; the rest waits for the socket's own turns.
void tst_Detector::floodAtTheTickDecidesOnTime() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    for (int i = 0; i < 10 * DatagramLink::maxPerTurn; ++i)
        r.link.pending << DatagramLink::Received{"junk", 0};
    r.link.pending << DatagramLink::Received{"SN_LIVE", 0};
    const int takes = r.link.takes;
    r.silentTicks(1);
    QCOMPARE(r.link.takes - takes, DatagramLink::maxPerTurn);
    QCOMPARE(r.link.pending.size(), 9 * DatagramLink::maxPerTurn + 1);
    QCOMPARE(r.link.sent, QList<QByteArray>{"SN_ALARM"});
    QCOMPARE(r.st().datagramCounts.back(), quint64(DatagramLink::maxPerTurn));
    QCOMPARE(r.status(), QStringLiteral("SONDRAL GEACTIVEERD!"));
}

void tst_Detector::alarmRestartsOnlyByDatagram() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(4);
    QVERIFY(!r.timer.active);
    QCOMPARE(r.st().gaugePosition, 4); // stays until a datagram changes it

    r.send("SN_AUTO");
    QVERIFY(r.timer.active);
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.status(), QString("AUTOMAAT"));
    QVERIFY(!r.st().alarmActive());
    r.silentTicks(4);
    QCOMPARE(r.link.sent.size(), 2);
    QCOMPARE(r.events.gaugePositions, (QList<int>{1, 2, 3, 4, 1, 2, 3, 4}));
    QCOMPARE(r.st().alarmCount, 2);
}

void tst_Detector::zeroTimeLimitAlarmsOnFirstSilentTick() {
    Rig r;
    r.settings.Feed1Vol = 20;
    r.settings.Feed1time = 5;
    r.send("SN_FEED_1");
    r.settings.Autotime = 0;
    r.send("SN_AUTO"); // leaves the running tick running with limit 0
    QVERIFY(r.timer.active);

    r.tick(50, 50);
    QVERIFY(r.link.sent.isEmpty()); // 0 > 0 is false
    r.silentTicks(1);
    QCOMPARE(r.link.sent.size(), 1);
    QVERIFY(!r.timer.active);
}

void tst_Detector::failedSendIsRetriedNextTick() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.link.result = 10065;
    r.silentTicks(1);

    // The status stands, nothing logged, the tick goes on.
    QCOMPARE(r.status(), QString("SONDRAL GEACTIVEERD!"));
    QVERIFY(r.events.logLines.filter("SONDRAL").isEmpty());
    QVERIFY(r.timer.active);
    QCOMPARE(r.events.boxes,
             (QList<QStringList>{{"Fout : 10065", "Onbekende fout, foutcode : 10065"}}));
    QCOMPARE(r.events.events.last().kind, Kind::AlarmRaised);
    QCOMPARE(r.events.events.last().code, 10065);

    // Failing again: reported again (the queue drops the repeated box).
    r.silentTicks(1);
    QCOMPARE(r.link.attempts, 2);
    QCOMPARE(r.events.boxes.size(), 2);
    QCOMPARE(r.events.events.last().kind, Kind::AlarmSendFailed);

    r.link.result = 0;
    r.journal.clear();
    r.silentTicks(1);
    QCOMPARE(r.journal, AlarmSteps);
    QCOMPARE(r.link.sent.size(), 1);
    QCOMPARE(r.st().gaugePosition, 6);
    // One alarm, however many sends it took.
    QCOMPARE(r.st().alarmCount, 1);
}

void tst_Detector::tickErrorTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("reset: first box only") << 10054 << QStringList{"Fout : 10054"};
    QTest::newRow("not found") << 11001
                               << QStringList{"Fout : 11001", "Onbekende fout, foutcode : 11001"};
    QTest::newRow("too large") << 10040
                               << QStringList{"Fout : 10040", "Onbekende fout, foutcode : 10040"};
}

void tst_Detector::tickErrorTexts() {
    QFETCH(int, code);
    QFETCH(QStringList, texts);
    Rig r;
    r.settings.Autotime = 0;
    r.settings.Feed1Vol = r.settings.Feed1time = 5;
    r.send("SN_FEED_1");
    r.send("SN_AUTO");
    r.link.result = code;
    r.silentTicks(1);
    QCOMPARE(r.events.boxes, QList<QStringList>{texts});
}

void tst_Detector::counterOverflowIsFailureSix() {
    Rig r;
    r.settings.Autotime = 32767;
    r.send("SN_AUTO");
    r.silentTicks(32767);
    QCOMPARE(r.state().SilenceCount, 32767);
    QVERIFY(r.link.sent.isEmpty()); // 32767 > 32767 is false
    const int takes = r.link.takes;
    const auto ticks = r.events.gaugePositions.size();

    r.silentTicks(1);
    QCOMPARE(r.state().SilenceCount, 32767);
    QCOMPARE(r.events.boxes, (QList<QStringList>{{"Fout : 6", "Onbekende fout, foutcode : 6"}}));
    // The rest of the tick is abandoned: no gauge update, no datagrams read.
    QCOMPARE(r.events.gaugePositions.size(), ticks);
    QCOMPARE(r.link.takes, takes);
    QVERIFY(r.timer.active);

    // A loud tick recovers.
    r.tick(50, 50);
    QCOMPARE(r.state().SilenceCount, 0);
}

void tst_Detector::stoppedTickDoesNothing() {
    Rig r;
    r.silentTicks(3);
    QVERIFY(r.events.events.isEmpty());
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.st().lastTickMs, 0);
}

QTEST_GUILESS_MAIN(tst_Detector)
#include "tst_detector.moc"
