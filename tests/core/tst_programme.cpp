// The steady-signal rule and the lost channel, tick by tick over fakes: a
// loud but steady second counts toward the source's Flat time, a second with
// dynamics clears it, a silent one holds it; past the limit the alarm comes
// in the silence alarm's order, then its reason. One channel below the half
// threshold for ChannelTime is reported once, and its return once.
#include "core/programmesecond.h"
#include "rig.h"

#include <QTest>

namespace {
using Kind = StationEvent::Kind;
const ProgrammeSecond Steady{true, true, -30, 0.1, 0.0};
const ProgrammeSecond Moving{true, false, -6, 12.0, 2.5};
const ProgrammeSecond Unmeasured{};
} // namespace

class tst_Programme : public QObject {
    Q_OBJECT
private slots:
    void steadySeconds_data();
    void steadySeconds();
    void alarmOrderAndReason();
    void flatTimeOfTheSourceOnAir();
    void silenceStillAlarmsFirst();
    void failedSendRetriesWhileSteady();
    void channelLostOnce_data();
    void channelLostOnce();
    void channelBackWhenItPlays();
};

void tst_Programme::steadySeconds_data() {
    // S steady and loud, M moving and loud, Q silent (both channels below
    // half) and steady, U loud but not measured.
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("flat");
    QTest::addColumn<int>("alarmAt"); // 1-based tick of the alarm; 0 none
    QTest::newRow("11 steady, Flat 10") << "SSSSSSSSSSS" << 10 << 11;
    QTest::newRow("10 steady, Flat 10") << "SSSSSSSSSS" << 10 << 0;
    QTest::newRow("one moving second clears") << "SSSSSSSSSSMSSSSSSSSSS" << 10 << 0;
    QTest::newRow("silent seconds hold the count") << "SSSSSQQSSSSSS" << 10 << 13;
    QTest::newRow("unmeasured second clears") << "SSSSSUSSSSSS" << 10 << 0;
    QTest::newRow("Flat 0 is off") << "SSSSSSSSSSSSSSSSSSSSSSSSS" << 0 << 0;
    QTest::newRow("Flat 1") << "SS" << 1 << 2;
}

void tst_Programme::steadySeconds() {
    QFETCH(QString, seconds);
    QFETCH(int, flat);
    QFETCH(int, alarmAt);
    Rig r;
    r.settings.Autotime = 100; // the silence rule stays out of the way
    r.settings.AutoFlat = qint16(flat);
    r.send("SN_AUTO");
    int alarmTick = 0;
    for (int i = 0; i < seconds.size() && r.timer.active; ++i) {
        switch (seconds.at(i).toLatin1()) {
        case 'S':
            r.m.tmrSN_Timer(60, 60, Steady);
            break;
        case 'M':
            r.m.tmrSN_Timer(60, 60, Moving);
            break;
        case 'Q':
            r.m.tmrSN_Timer(0, 0, Steady);
            break;
        case 'U':
            r.m.tmrSN_Timer(60, 60, Unmeasured);
            break;
        }
        if (r.st().alarmActive() && alarmTick == 0)
            alarmTick = i + 1;
    }
    QCOMPARE(alarmTick, alarmAt);
    QCOMPARE(r.events.count(Kind::AlarmRaised), alarmAt ? 1 : 0);
    QCOMPARE(r.events.count(Kind::NoProgramme), alarmAt ? 1 : 0);
}

void tst_Programme::alarmOrderAndReason() {
    Rig r;
    r.settings.Autotime = 100;
    r.settings.AutoFlat = 10;
    r.send("SN_AUTO");
    for (int i = 0; i < 10; ++i)
        r.m.tmrSN_Timer(70, 71, Steady);
    r.journal.clear();
    r.events.events.clear();
    r.m.tmrSN_Timer(70, 71, Steady);
    // The silence alarm's steps, in its order; the reason comes last.
    QCOMPARE(r.journal, (QStringList{"send SN_ALARM", "log SONDRAL ACTIVATED", "tick stop"}));
    QCOMPARE(r.status(), QStringLiteral("SONDRAL GEACTIVEERD!"));
    QCOMPARE(r.events.events.size(), 3);
    QCOMPARE(r.events.events.at(0).kind, Kind::TickCounted);
    QCOMPARE(r.events.events.at(1).kind, Kind::AlarmRaised);
    QCOMPARE(r.events.events.at(2).kind, Kind::NoProgramme);
    QCOMPARE(r.events.events.at(2).text,
             QStringLiteral("no programme: steady signal at -30 dBFS for 11 s"));
    QVERIFY(!StationEvent::isLogged(Kind::NoProgramme));
    QCOMPARE(r.st().alarmReason, AlarmReason::SteadySignal);
    QCOMPARE(r.st().alarmCount, 1);
    // The gauge shows the silence count, which the loud seconds kept at 0.
    QCOMPARE(r.st().gaugePosition, 0);
    // A mode datagram re-arms: the count starts again.
    r.send("SN_AUTO");
    QCOMPARE(r.st().programme.flatCount, 0);
    QVERIFY(r.timer.active);
}

void tst_Programme::flatTimeOfTheSourceOnAir() {
    Rig r;
    r.settings.Autotime = 100;
    r.settings.Feed2Vol = 20;
    r.settings.Feed2time = 100;
    r.settings.AutoFlat = 50;
    r.settings.Feed2Flat = 2;
    r.send("SN_AUTO");
    QCOMPARE(r.st().programme.flatLimit, 50);
    r.m.tmrSN_Timer(60, 60, Steady);
    r.m.tmrSN_Timer(60, 60, Steady);
    r.send("SN_FEED_2");
    QCOMPARE(r.st().programme.flatLimit, 2);
    QCOMPARE(r.st().programme.flatCount, 0);
    r.m.tmrSN_Timer(60, 60, Steady);
    r.m.tmrSN_Timer(60, 60, Steady);
    QVERIFY(!r.st().alarmActive());
    r.m.tmrSN_Timer(60, 60, Steady);
    QVERIFY(r.st().alarmActive());
    // LIVE is never watched, whatever it sounds like.
    r.send("SN_LIVE");
    QCOMPARE(r.st().programme.flatCount, 0);
    QVERIFY(!r.timer.active);
}

void tst_Programme::silenceStillAlarmsFirst() {
    // Both rules due in the same tick: one alarm, for silence.
    Rig r;
    r.settings.Autotime = 3;
    r.settings.AutoFlat = 2;
    r.send("SN_AUTO");
    r.m.tmrSN_Timer(60, 60, Steady);
    r.m.tmrSN_Timer(60, 60, Steady);
    QVERIFY(!r.st().alarmActive());
    for (int i = 0; i < 4; ++i)
        r.m.tmrSN_Timer(0, 0, Steady);
    QVERIFY(r.st().alarmActive());
    QCOMPARE(r.st().alarmReason, AlarmReason::Silence);
    QCOMPARE(r.events.count(Kind::AlarmRaised), 1);
    QCOMPARE(r.events.count(Kind::NoProgramme), 0);
}

void tst_Programme::failedSendRetriesWhileSteady() {
    Rig r;
    r.settings.Autotime = 100;
    r.settings.AutoFlat = 2;
    r.send("SN_AUTO");
    r.link.result = 10065;
    for (int i = 0; i < 3; ++i)
        r.m.tmrSN_Timer(60, 60, Steady);
    QCOMPARE(r.events.count(Kind::AlarmRaised), 1); // on the third, not sent
    QCOMPARE(r.events.events.last().code, 10065);
    QCOMPARE(r.events.count(Kind::NoProgramme), 0);
    QVERIFY(r.timer.active);
    r.link.result = 0;
    r.m.tmrSN_Timer(60, 60, Steady);
    QCOMPARE(r.events.count(Kind::AlarmRaised), 1);
    QCOMPARE(r.events.count(Kind::AlarmSent), 1);
    QCOMPARE(r.events.count(Kind::NoProgramme), 1);
    QCOMPARE(r.events.events.last().text,
             QStringLiteral("no programme: steady signal at -30 dBFS for 4 s"));
    QCOMPARE(r.st().alarmCount, 1);
}

void tst_Programme::channelLostOnce_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("channelTime");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("lostAt"); // 1-based tick; 0 never
    QTest::addColumn<int>("channel");
    QTest::newRow("left dead 30 s") << 0 << 60 << 30 << 40 << 30 << 0;
    QTest::newRow("right dead 30 s") << 60 << 3 << 30 << 40 << 30 << 1;
    QTest::newRow("29 s is not yet") << 0 << 60 << 30 << 29 << 0 << 0;
    QTest::newRow("ChannelTime 0 is off") << 0 << 60 << 0 << 200 << 0 << 0;
    QTest::newRow("both silent is silence, not a lost channel") << 0 << 0 << 30 << 40 << 0 << 0;
    QTest::newRow("both loud") << 60 << 60 << 30 << 40 << 0 << 0;
    // 10 is exactly half the threshold of 20: not below it.
    QTest::newRow("at the half threshold plays") << 10 << 60 << 30 << 40 << 0 << 0;
}

void tst_Programme::channelLostOnce() {
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(int, channelTime);
    QFETCH(int, ticks);
    QFETCH(int, lostAt);
    QFETCH(int, channel);
    Rig r;
    r.settings.Autotime = 100;
    r.settings.ChannelTime = qint16(channelTime);
    r.send("SN_AUTO");
    int at = 0;
    for (int i = 0; i < ticks && r.timer.active; ++i) {
        r.tick(left, right);
        if (at == 0 && r.events.count(Kind::ChannelLost) > 0)
            at = i + 1;
    }
    QCOMPARE(at, lostAt);
    QCOMPARE(r.events.count(Kind::ChannelLost), lostAt ? 1 : 0);
    QCOMPARE(r.events.count(Kind::ChannelBack), 0);
    // Never the alarm, nor a log line.
    QCOMPARE(r.events.count(Kind::AlarmRaised), 0);
    QVERIFY(!StationEvent::isLogged(Kind::ChannelLost));
    if (lostAt) {
        for (const StationEvent& e : r.events.events)
            if (e.kind == Kind::ChannelLost)
                QCOMPARE(e.code, channel);
        QVERIFY(r.st().channels.lost[channel]);
    }
}

void tst_Programme::channelBackWhenItPlays() {
    Rig r;
    r.settings.Autotime = 100;
    r.settings.ChannelTime = 5;
    r.send("SN_AUTO");
    for (int i = 0; i < 8; ++i)
        r.tick(0, 60);
    QCOMPARE(r.events.count(Kind::ChannelLost), 1);
    // Both silent a while: still lost, no news.
    for (int i = 0; i < 3; ++i)
        r.tick(0, 0);
    QCOMPARE(r.events.count(Kind::ChannelBack), 0);
    r.tick(40, 60);
    QCOMPARE(r.events.count(Kind::ChannelBack), 1);
    QCOMPARE(r.events.events.last().kind, Kind::ChannelBack);
    QCOMPARE(r.events.events.last().text, QStringLiteral("left channel back"));
    QVERIFY(!r.st().channels.lost[0]);
    // Then the right one goes: its own count from zero.
    for (int i = 0; i < 4; ++i)
        r.tick(60, 0);
    QCOMPARE(r.events.count(Kind::ChannelLost), 1);
    r.tick(60, 0);
    QCOMPARE(r.events.count(Kind::ChannelLost), 2);
    QCOMPARE(r.events.events.last().code, 1);
    QCOMPARE(r.events.events.last().text,
             QStringLiteral("right channel lost: below half the threshold for 5 s, the other "
                            "channel plays"));
}

QTEST_GUILESS_MAIN(tst_Programme)
#include "tst_programme.moc"
