// The once-a-second silence check, driven tick by tick: the half-threshold
// comparison, the count and gauge, the alarm and its order, and the failure
// paths of a tick.
#include "rig.h"

#include <QTest>

namespace {
const QStringList AlarmSteps{"status SONDRAL GEACTIVEERD!", "send SN_ALARM",
                             "log SONDRAL ACTIVATED", "tick stop"};
}

class tst_Detector : public QObject {
    Q_OBJECT
private slots:
    void halfThreshold_data();
    void halfThreshold();
    void gaugeCountsUpAndAlarmsAfterLimit_data();
    void gaugeCountsUpAndAlarmsAfterLimit();
    void oneChannelSilenceNeverAlarms_data();
    void oneChannelSilenceNeverAlarms();
    void loudTickRestartsCount();
    void datagramDuringPumpDecides_data();
    void datagramDuringPumpDecides();
    void alarmRestartsOnlyByDatagram();
    void zeroTimeLimitAlarmsOnFirstSilentTick();
    void failedSendIsRetriedNextTick();
    void tickErrorTexts_data();
    void tickErrorTexts();
    void counterOverflowIsFailureSix();
    void levelFailureAbandonsTick();
    void logFailureDoesNotKeepAlarmGoing();
    void reentrantTickIsIgnored();
    void closeDuringPumpEndsTheTick();
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
    r.f.meters.setLevels(left, right);

    r.tick();

    QCOMPARE(r.state().SilenceCount, silent ? 1 : 0);
    QCOMPARE(r.f.gauge.position, silent ? 1 : 0);
    // Both levels are read every tick, whatever the first one said.
    QCOMPARE(r.f.meters.leftReads, 1);
    QCOMPARE(r.f.meters.rightReads, 1);
}

void tst_Detector::gaugeCountsUpAndAlarmsAfterLimit_data() {
    QTest::addColumn<bool>("log");
    QTest::newRow("logging on") << true;
    QTest::newRow("logging off") << false;
}

void tst_Detector::gaugeCountsUpAndAlarmsAfterLimit() {
    QFETCH(bool, log);
    Rig r;
    r.settings.Log = log;
    r.send("SN_AUTO"); // AutoVol 20, Autotime 3
    r.f.journal.entries.clear();

    r.silentTicks(3);
    QCOMPARE(r.f.gauge.positions, (QList<int>{1, 2, 3}));
    QVERIFY(r.f.sender.sent.isEmpty());
    QVERIFY(r.f.timer.active);
    QCOMPARE(r.f.pump.calls, 3);

    r.f.journal.entries.clear();
    r.silentTicks(1);
    QStringList expected = QStringList{"gauge pos 4"} + AlarmSteps;
    if (!log)
        expected.removeAll("log SONDRAL ACTIVATED");
    QCOMPARE(r.f.journal.entries, expected);
    QCOMPARE(r.f.sender.sent, QList<QByteArray>{"SN_ALARM"});
    QCOMPARE(r.f.sender.sent.first().size(), 8);
    QVERIFY(r.f.presenter.sequences.isEmpty());
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
    r.f.meters.setLevels(left, right);
    for (int i = 0; i < 20; ++i)
        r.tick();
    QCOMPARE(r.state().SilenceCount, 0);
    QVERIFY(r.f.sender.sent.isEmpty());
    QVERIFY(r.f.timer.active);
}

void tst_Detector::loudTickRestartsCount() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.f.meters.setLevels(10, 10); // exactly half of 20: loud
    r.tick();
    QCOMPARE(r.f.gauge.position, 0);
    r.silentTicks(3);
    QCOMPARE(r.f.gauge.positions, (QList<int>{1, 2, 3, 0, 1, 2, 3}));
    QVERIFY(r.f.sender.sent.isEmpty());
}

void tst_Detector::datagramDuringPumpDecides_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("status");
    QTest::newRow("live prevents") << QByteArray("SN_LIVE") << false << "LIVE";
    QTest::newRow("repeat clears count") << QByteArray("SN_AUTO") << false << "AUTOMAAT";
    QTest::newRow("longer limit") << QByteArray("SN_FEED_1") << false << "FEED 1";
    QTest::newRow("ignored payload") << QByteArray("SN_AUTO\n") << true << "SONDRAL GEACTIVEERD!";
}

void tst_Detector::datagramDuringPumpDecides() {
    QFETCH(QByteArray, datagram);
    QFETCH(bool, alarm);
    QFETCH(QString, status);
    Rig r;
    r.settings.Feed1Vol = 20;
    r.settings.Feed1time = 10;
    r.send("SN_AUTO");
    r.silentTicks(3);
    // The fourth tick would reach the limit; the server speaks in its middle.
    r.f.pump.onPump = [&] { r.send(datagram); };
    r.silentTicks(1);

    // The gauge showed 4 before the events ran.
    QCOMPARE(r.f.gauge.positions.mid(0, 4), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(r.f.sender.sent.size(), alarm ? 1 : 0);
    QCOMPARE(r.f.status.statusText(), status);
    QCOMPARE(r.f.timer.active, !alarm && datagram != "SN_LIVE");
}

void tst_Detector::alarmRestartsOnlyByDatagram() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(4);
    QVERIFY(!r.f.timer.active);
    QCOMPARE(r.f.gauge.position, 4); // stays until a datagram changes it

    r.send("SN_AUTO");
    QVERIFY(r.f.timer.active);
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.f.status.statusText(), QString("AUTOMAAT"));
    r.silentTicks(4);
    QCOMPARE(r.f.sender.sent.size(), 2);
    QCOMPARE(r.f.gauge.positions, (QList<int>{1, 2, 3, 4, 1, 2, 3, 4}));
}

void tst_Detector::zeroTimeLimitAlarmsOnFirstSilentTick() {
    Rig r;
    r.settings.Feed1Vol = 20;
    r.settings.Feed1time = 5;
    r.send("SN_FEED_1");
    r.settings.Autotime = 0;
    r.send("SN_AUTO"); // leaves the running tick running with limit 0
    QVERIFY(r.f.timer.active);

    r.f.meters.setLevels(50, 50);
    r.tick();
    QVERIFY(r.f.sender.sent.isEmpty()); // 0 > 0 is false
    r.silentTicks(1);
    QCOMPARE(r.f.sender.sent.size(), 1);
    QVERIFY(!r.f.timer.active);
}

void tst_Detector::failedSendIsRetriedNextTick() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.f.sender.result = 10065;
    r.silentTicks(1);

    // The status stands, nothing logged, the tick goes on.
    QCOMPARE(r.f.status.statusText(), QString("SONDRAL GEACTIVEERD!"));
    QVERIFY(r.f.logger.lines.filter("SONDRAL").isEmpty());
    QVERIFY(r.f.timer.active);
    QCOMPARE(r.f.presenter.sequences,
             (QList<QStringList>{{"Fout : 10065", "Onbekende fout, foutcode : 10065"}}));

    // Failing again: reported again (the presenter drops the repeat).
    r.silentTicks(1);
    QCOMPARE(r.f.sender.sent.size(), 2);
    QCOMPARE(r.f.presenter.sequences.size(), 2);

    r.f.sender.result = 0;
    r.f.journal.entries.clear();
    r.silentTicks(1);
    QCOMPARE(r.f.journal.entries, QStringList{"gauge pos 6"} + AlarmSteps);
    QCOMPARE(r.f.sender.sent.size(), 3);
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
    r.f.sender.result = code;
    r.silentTicks(1);
    QCOMPARE(r.f.presenter.sequences, QList<QStringList>{texts});
}

void tst_Detector::counterOverflowIsFailureSix() {
    Rig r;
    r.settings.Autotime = 32767;
    r.send("SN_AUTO");
    r.silentTicks(32767);
    QCOMPARE(r.state().SilenceCount, 32767);
    QVERIFY(r.f.sender.sent.isEmpty()); // 32767 > 32767 is false
    const int pumps = r.f.pump.calls;
    r.f.journal.entries.clear();

    r.silentTicks(1);
    QCOMPARE(r.state().SilenceCount, 32767);
    QCOMPARE(r.f.presenter.sequences,
             (QList<QStringList>{{"Fout : 6", "Onbekende fout, foutcode : 6"}}));
    // The rest of the tick is abandoned: no gauge update, no event pump.
    QVERIFY(r.f.journal.entries.isEmpty());
    QCOMPARE(r.f.pump.calls, pumps);
    QVERIFY(r.f.timer.active);

    // A loud tick recovers.
    r.f.meters.setLevels(50, 50);
    r.tick();
    QCOMPARE(r.state().SilenceCount, 0);
}

void tst_Detector::levelFailureAbandonsTick() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(2);
    r.f.meters.levelFailure = 5;
    r.f.journal.entries.clear();
    r.tick();
    QCOMPARE(r.state().SilenceCount, 2);
    QVERIFY(r.f.journal.entries.isEmpty());
    QCOMPARE(r.f.presenter.sequences,
             (QList<QStringList>{{"Fout : 5", "Onbekende fout, foutcode : 5"}}));
    QVERIFY(!r.m.inTick());
}

void tst_Detector::logFailureDoesNotKeepAlarmGoing() {
    Rig r;
    r.f.logger.fail = true;
    r.send("SN_AUTO");
    QVERIFY(r.f.timer.active);
    QCOMPARE(r.f.presenter.sequences.size(), 1);

    r.silentTicks(4);
    // The alarm went out once and the tick stopped although the line was lost.
    QCOMPARE(r.f.sender.sent.size(), 1);
    QVERIFY(!r.f.timer.active);
    QCOMPARE(r.f.presenter.sequences.size(), 2);
    QCOMPARE(r.f.presenter.sequences.last(),
             QStringList{"Kan niet schrijven naar het logbestand /x/sondral.log: disk full"});
}

void tst_Detector::reentrantTickIsIgnored() {
    Rig r;
    r.send("SN_AUTO");
    int nested = 0;
    r.f.pump.onPump = [&] {
        if (nested++ < 3)
            r.tick();
    };
    r.silentTicks(1);
    // Only the outer tick counted and read the levels.
    QCOMPARE(r.state().SilenceCount, 1);
    QCOMPARE(r.f.meters.leftReads, 1);
    QCOMPARE(r.f.pump.calls, 1);
    QVERIFY(!r.m.inTick());

    // The guard is released: the next tick runs normally.
    r.f.pump.onPump = nullptr;
    r.silentTicks(1);
    QCOMPARE(r.state().SilenceCount, 2);
}

// A close request handled while the tick lets events run: the alarm that the
// tick was about to raise is neither sent nor logged after "Program Closed".
void tst_Detector::closeDuringPumpEndsTheTick() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(3);
    r.f.journal.entries.clear();
    r.f.pump.onPump = [&] { r.m.shutDown(); };
    r.tick();
    QVERIFY(r.f.sender.sent.isEmpty());
    QVERIFY(r.f.journal.entries.filter("log ").isEmpty());
    QVERIFY(r.f.journal.entries.filter("status ").isEmpty());
    r.f.pump.onPump = nullptr;
    r.tick();
    r.send("SN_LIVE");
    QCOMPARE(r.f.journal.entries, QStringList{"gauge pos 4"});
}

QTEST_APPLESS_MAIN(tst_Detector)
#include "tst_detector.moc"
