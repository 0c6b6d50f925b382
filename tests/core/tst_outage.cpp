// The outage after an alarm: its length, its one alarm however often the
// alarm repeats, and the threshold its restore is judged against.
#include "core/outagetracker.h"
#include "core/programmesecond.h"
#include "rig.h"

#include <QTest>

namespace {
struct OutageRig : Rig {
    FakeTimer outageTimer;
    OutageTracker tracker{station, outageTimer, 3};
    OutageRig() {
        // Last, as the program connects it: every reader sees the alarm
        // before the outage it begins.
        QObject::connect(
            &station, &Station::eventPublished, &station,
            [this](const StationEvent& e, const StationState& s) { tracker.observe(e, s); });
    }
    // Seconds on the tracker's timer, while it runs.
    void seconds(int n, int level) {
        for (int i = 0; i < n && outageTimer.active; ++i)
            tracker.second(level, level);
    }
};
} // namespace

class tst_Outage : public QObject {
    Q_OBJECT
private slots:
    void length_data();
    void length();
    void oneOutageForRepeatedAlarms();
    void unsentAlarmBeginsOutage();
    void restoreJudgedByAlarmingThreshold();
    void repeatedWhileItLasts();
    void steadyRestore_data();
    void steadyRestore();
};

void tst_Outage::length_data() {
    QTest::addColumn<QList<int>>("levels"); // one a second after the alarm, until restored
    QTest::addColumn<int>("length");
    // AutoTime 3: the alarm on the 4th silent second; 8 s of dead air.
    QTest::newRow("8 s dead air") << QList<int>{0, 0, 0, 0, 50, 50, 50} << 8;
    QTest::newRow("back at once") << QList<int>{50, 50, 50} << 4;
    // A loud blip shorter than the restore time is still the outage.
    QTest::newRow("blip") << QList<int>{0, 50, 50, 0, 0, 50, 50, 50} << 9;
    // Exactly half the threshold (20 / 2) is loud.
    QTest::newRow("at half threshold") << QList<int>{0, 10, 10, 10} << 5;
}

void tst_Outage::length() {
    QFETCH(QList<int>, levels);
    QFETCH(int, length);
    OutageRig r;
    r.send("SN_AUTO");
    r.silentTicks(4);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageBegan), 1);
    QVERIFY(r.outageTimer.active);
    QCOMPARE(r.st().outage.silenceAtAlarm, 4);
    for (qsizetype i = 0; i < levels.size(); ++i) {
        QVERIFY2(r.st().outage.active, qPrintable(QString("restored early, at %1").arg(i)));
        r.tracker.second(levels[i], levels[i]);
    }
    QVERIFY(!r.st().outage.active);
    QVERIFY(!r.outageTimer.active);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageRestored), 1);
    QCOMPARE(r.st().outage.seconds, length);
    QCOMPARE(r.events.events.last().text, QString("SONDRAL RESTORED after %1 s").arg(length));
    // The silence check's state is the alarm's: no status, gauge or tick of its.
    QCOMPARE(r.status(), QString("SONDRAL GEACTIVEERD!"));
    QVERIFY(!r.timer.active);
    QCOMPARE(r.st().gaugePosition, 4);
}

void tst_Outage::oneOutageForRepeatedAlarms() {
    OutageRig r;
    r.send("SN_AUTO");
    r.silentTicks(4);
    r.seconds(2, 0);
    // The server re-arms; the silence goes on and alarms again.
    r.send("SN_AUTO");
    r.silentTicks(4);
    QCOMPARE(r.events.count(StationEvent::Kind::AlarmRaised), 2);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageBegan), 1);
    r.seconds(3, 0);
    QCOMPARE(r.st().outage.seconds, 4 + 3 + 1 + 1);
    r.seconds(10, 60);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageRestored), 1);
    QCOMPARE(r.st().outage.seconds, 4 + 5);
    // A new silence after the restore is a new outage.
    r.send("SN_AUTO");
    r.silentTicks(4);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageBegan), 2);
    QCOMPARE(r.st().outage.seconds, 4);
}

void tst_Outage::unsentAlarmBeginsOutage() {
    OutageRig r;
    r.link.result = 10065;
    r.settings.Feed1Vol = 20;
    r.settings.Feed1time = 2;
    r.send("SN_FEED_1");
    r.silentTicks(3);
    QCOMPARE(r.events.count(StationEvent::Kind::AlarmRaised), 1);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageBegan), 1);
    QCOMPARE(r.st().outage.source, QString("FEED_1"));
    // The tick retries the send on each silent second: still one outage.
    r.link.result = 0;
    r.silentTicks(1);
    QCOMPARE(r.events.count(StationEvent::Kind::AlarmSent), 1);
    QCOMPARE(r.events.count(StationEvent::Kind::AlarmRaised), 1);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageBegan), 1);
}

void tst_Outage::restoreJudgedByAlarmingThreshold() {
    OutageRig r;
    r.settings.Feed2Vol = 80;
    r.settings.Feed2time = 5;
    r.send("SN_AUTO"); // AutoVol 20
    r.silentTicks(4);
    // A source with a higher threshold comes on air; 15 is loud for the
    // alarm's threshold (half of 20 is 10), though silent for FEED 2's.
    r.send("SN_FEED_2");
    r.seconds(3, 15);
    QVERIFY(!r.st().outage.active);
    QCOMPARE(r.st().outage.source, QString("AUTO"));
}

void tst_Outage::repeatedWhileItLasts() {
    Rig r;
    FakeTimer outageTimer;
    OutageTracker tracker(r.station, outageTimer, 3, 120);
    QObject::connect(&r.station, &Station::eventPublished, &r.station,
                     [&](const StationEvent& e, const StationState& s) { tracker.observe(e, s); });
    r.send("SN_AUTO");
    r.silentTicks(4);
    QList<int> lengths;
    QObject::connect(&r.station, &Station::eventPublished, &r.station,
                     [&](const StationEvent& e, const StationState& s) {
                         if (e.kind == StationEvent::Kind::OutageRepeated)
                             lengths << s.outage.seconds;
                     });
    for (int i = 0; i < 250; ++i)
        tracker.second(0, 0);
    // Every 120 s after the alarm, with the length so far.
    QCOMPARE(lengths, (QList<int>{124, 244}));
    // Not once it is over.
    for (int i = 0; i < 200; ++i)
        tracker.second(50, 50);
    QCOMPARE(lengths.size(), 2);
    QVERIFY(!r.st().outage.active);
}

void tst_Outage::steadyRestore_data() {
    // After a steady-signal alarm (AutoFlat 10, the alarm on the 11th steady
    // second): S loud and steady, M loud with dynamics, U loud but not
    // measured, Q silent.
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("length"); // 0: not restored
    QTest::newRow("steady loud never restores") << "SSSSSSSSSSSSSSSSSSSS" << 0;
    QTest::newRow("unmeasured never restores") << "UUUUUU" << 0;
    QTest::newRow("dynamics restore") << "SSMMM" << 11 + 2;
    QTest::newRow("steady second breaks the run") << "MMSMMM" << 11 + 3;
    QTest::newRow("silent but moving is not back") << "QQQMMM" << 11 + 3;
}

void tst_Outage::steadyRestore() {
    QFETCH(QString, seconds);
    QFETCH(int, length);
    const ProgrammeSecond steady{true, true, -30, 0.1, 0.0};
    const ProgrammeSecond moving{true, false, -6, 12.0, 2.5};
    OutageRig r;
    r.settings.Autotime = 100;
    r.settings.AutoFlat = 10;
    r.send("SN_AUTO");
    for (int i = 0; i < 11; ++i)
        r.m.tmrSN_Timer(60, 60, steady);
    QCOMPARE(r.events.count(StationEvent::Kind::OutageBegan), 1);
    QCOMPARE(r.st().outage.reason, AlarmReason::SteadySignal);
    QCOMPARE(r.st().outage.silenceAtAlarm, 11);
    for (const QChar c : seconds) {
        switch (c.toLatin1()) {
        case 'S':
            r.tracker.second(60, 60, steady);
            break;
        case 'M':
            r.tracker.second(60, 60, moving);
            break;
        case 'U':
            r.tracker.second(60, 60, ProgrammeSecond{});
            break;
        case 'Q':
            r.tracker.second(0, 0, moving);
            break;
        }
    }
    QCOMPARE(r.events.count(StationEvent::Kind::OutageRestored), length ? 1 : 0);
    QCOMPARE(r.st().outage.active, length == 0);
    if (length)
        QCOMPARE(r.st().outage.seconds, length);
}

QTEST_GUILESS_MAIN(tst_Outage)
#include "tst_outage.moc"
