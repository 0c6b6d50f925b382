// A start that carries on with the last run's source: the state must be the
// one that source's datagram (and "SN_PAUSE_ON") would have left, with one
// Resumed event instead of the datagrams' own.
#include "rig.h"

#include <QTest>

namespace {
void setDistinctSettings(Settings& s) {
    s.AutoVol = 11, s.Feed1Vol = 12, s.Feed2Vol = 13, s.Feed3Vol = 14, s.Feed4Vol = 15;
    s.Autotime = 21, s.Feed1time = 22, s.Feed2time = 23, s.Feed3time = 24, s.Feed4time = 25;
}
} // namespace

class tst_Resume : public QObject {
    Q_OBJECT
private slots:
    void resumeLeavesWhatTheDatagramsWould_data();
    void resumeLeavesWhatTheDatagramsWould();
    void unknownKeywordChangesNothing_data();
    void unknownKeywordChangesNothing();
    void resumedAutomationAlarmsWithoutAnyDatagram();
    void resumedPauseEndsWithPauseOff();
};

void tst_Resume::resumeLeavesWhatTheDatagramsWould_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("autoVol"); // AutoVol for this row (0: a source the tick ignores)
    QTest::addColumn<QString>("eventText");
    QTest::newRow("auto") << "SN_AUTO" << false << 11
                          << "Resumed AUTO from the last run (ended 42 s ago)";
    QTest::newRow("auto paused") << "SN_AUTO" << true << 11
                                 << "Resumed AUTO, paused, from the last run (ended 42 s ago)";
    // No running tick to pause: "SN_PAUSE_ON" would change nothing either.
    QTest::newRow("auto paused, AutoVol 0")
        << "SN_AUTO" << true << 0 << "Resumed AUTO from the last run (ended 42 s ago)";
    QTest::newRow("feed 1") << "SN_FEED_1" << false << 11
                            << "Resumed FEED_1 from the last run (ended 42 s ago)";
    QTest::newRow("feed 4") << "SN_FEED_4" << false << 11
                            << "Resumed FEED_4 from the last run (ended 42 s ago)";
    // The pause only acts on the automation.
    QTest::newRow("feed 3 paused")
        << "SN_FEED_3" << true << 11 << "Resumed FEED_3 from the last run (ended 42 s ago)";
    QTest::newRow("live") << "SN_LIVE" << false << 11
                          << "Resumed LIVE from the last run (ended 42 s ago)";
}

void tst_Resume::resumeLeavesWhatTheDatagramsWould() {
    QFETCH(QString, keyword);
    QFETCH(bool, paused);
    QFETCH(int, autoVol);
    QFETCH(QString, eventText);

    Rig byDatagram;
    setDistinctSettings(byDatagram.settings);
    byDatagram.settings.AutoVol = qint16(autoVol);
    byDatagram.send(keyword.toLatin1());
    if (paused)
        byDatagram.send("SN_PAUSE_ON");

    Rig resumed;
    setDistinctSettings(resumed.settings);
    resumed.settings.AutoVol = qint16(autoVol);
    QVERIFY(resumed.m.resume(keyword, paused, 42));

    const StationState& want = byDatagram.st();
    const StationState& got = resumed.st();
    QCOMPARE(got.modes.Mode, want.modes.Mode);
    QCOMPARE(got.modes.ArmedVol, want.modes.ArmedVol);
    QCOMPARE(got.modes.ArmedTime, want.modes.ArmedTime);
    QCOMPARE(got.modes.SilenceCount, 0);
    QCOMPARE(got.modes.SavedStatus, want.modes.SavedStatus);
    QCOMPARE(got.statusText(), want.statusText());
    QCOMPARE(got.shown, want.shown);
    QCOMPARE(got.tickRunning, want.tickRunning);
    QCOMPARE(resumed.timer.active, byDatagram.timer.active);
    QCOMPARE(got.paused(), want.paused());
    QCOMPARE(got.gaugePosition, 0);

    // One event of its own, logged; none of the datagrams' lines.
    QCOMPARE(resumed.events.logLines, QStringList{eventText});
    QCOMPARE(resumed.events.count(StationEvent::Kind::Resumed), 1);
    QCOMPARE(resumed.events.count(StationEvent::Kind::SourceChanged), 0);
    QCOMPARE(resumed.events.count(StationEvent::Kind::PauseOn), 0);
    QVERIFY(resumed.link.sent.isEmpty());
}

void tst_Resume::unknownKeywordChangesNothing_data() {
    QTest::addColumn<QString>("keyword");
    QTest::newRow("empty") << "";
    QTest::newRow("pause keyword") << "SN_PAUSE_ON";
    QTest::newRow("own alarm") << "SN_ALARM";
    QTest::newRow("lower case") << "sn_auto";
    QTest::newRow("feed 5") << "SN_FEED_5";
}

void tst_Resume::unknownKeywordChangesNothing() {
    QFETCH(QString, keyword);
    Rig r;
    QVERIFY(!r.m.resume(keyword, true, 5));
    QCOMPARE(r.state().Mode, 0);
    QVERIFY(r.status().isEmpty());
    QVERIFY(!r.timer.active);
    QVERIFY(r.events.events.isEmpty());
}

void tst_Resume::resumedAutomationAlarmsWithoutAnyDatagram() {
    Rig r; // AutoVol 20, Autotime 3
    QVERIFY(r.m.resume("SN_AUTO", false, 3));
    r.silentTicks(3);
    QVERIFY(r.link.sent.isEmpty());
    r.silentTicks(1);
    QCOMPARE(r.link.sent, QList<QByteArray>{"SN_ALARM"});
    QCOMPARE(r.status(), QString("SONDRAL GEACTIVEERD!"));
    QVERIFY(!r.timer.active);
}

void tst_Resume::resumedPauseEndsWithPauseOff() {
    Rig r;
    QVERIFY(r.m.resume("SN_AUTO", true, 3));
    QVERIFY(r.st().paused());
    QVERIFY(!r.timer.active);
    r.journal.clear();
    r.send("SN_PAUSE_OFF");
    QCOMPARE(r.status(), QString("AUTOMAAT"));
    QVERIFY(r.timer.active);
    QCOMPARE(r.journal, (QStringList{"tick start", "log Server PAUSE OFF"}));
}

QTEST_GUILESS_MAIN(tst_Resume)
#include "tst_resume.moc"
