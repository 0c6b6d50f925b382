// The server's control datagrams: which keyword does what, in which order,
// and what is left alone.
#include "rig.h"

#include <QTest>

namespace {
QByteArray bytes(const char* data, int size) {
    return QByteArray(data, size);
}
} // namespace

class tst_Modes : public QObject {
    Q_OBJECT
private slots:
    void monitoredSourceArmsAndStartsTick_data();
    void monitoredSourceArmsAndStartsTick();
    void zeroSettingLeavesTickAsItWas_data();
    void zeroSettingLeavesTickAsItWas();
    void newSourceWhileRunningRearms();
    void liveStopsAndClearsButKeepsMarkers();
    void nearMissesLeaveNoTrace_data();
    void nearMissesLeaveNoTrace();
    void pauseAndResumeKeepCountAndStatus();
    void pauseWithStoppedTickChangesNothing();
    void resumeWithoutPauseRestoresEmptyStatus();
    void pauseOutsideAutomationIgnored_data();
    void pauseOutsideAutomationIgnored();
    void receiveErrorPath_data();
    void receiveErrorPath();
    void sourceAndPauseAsOutputsReadThem();
    void nothingAfterTheRunEnded();
};

void tst_Modes::monitoredSourceArmsAndStartsTick_data() {
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("vol");
    QTest::addColumn<int>("time");
    QTest::addColumn<QString>("logText");
    // Each source has settings of its own (see below) so a mixed-up table
    // row shows.
    QTest::newRow("auto") << QByteArray("SN_AUTO") << 2 << "AUTOMAAT" << 11 << 21
                          << "Server Running AUTO";
    QTest::newRow("feed1") << QByteArray("SN_FEED_1") << 3 << "FEED 1" << 12 << 22
                           << "Server Running FEED 1";
    QTest::newRow("feed2") << QByteArray("SN_FEED_2") << 4 << "FEED 2" << 13 << 23
                           << "Server Running FEED 2";
    QTest::newRow("feed3") << QByteArray("SN_FEED_3") << 5 << "FEED 3" << 14 << 24
                           << "Server Running FEED 3";
    QTest::newRow("feed4") << QByteArray("SN_FEED_4") << 6 << "FEED 4" << 15 << 25
                           << "Server Running FEED 4";
}

void tst_Modes::monitoredSourceArmsAndStartsTick() {
    QFETCH(QByteArray, keyword);
    QFETCH(int, mode);
    QFETCH(QString, status);
    QFETCH(int, vol);
    QFETCH(int, time);
    QFETCH(QString, logText);

    Rig r;
    Settings& s = r.settings;
    s.AutoVol = 11, s.Feed1Vol = 12, s.Feed2Vol = 13, s.Feed3Vol = 14, s.Feed4Vol = 15;
    s.Autotime = 21, s.Feed1time = 22, s.Feed2time = 23, s.Feed3time = 24, s.Feed4time = 25;

    r.send(keyword);

    QCOMPARE(r.state().Mode, mode);
    QCOMPARE(r.state().LastDatagram, QString::fromLatin1(keyword));
    QCOMPARE(r.state().ArmedVol, vol);
    QCOMPARE(r.state().ArmedTime, time);
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.status(), status);
    QVERIFY(r.timer.active && r.st().tickRunning);
    // The gauge position is left to the next tick.
    QCOMPARE(r.st().gaugePosition, 0);
    // Logged before the tick starts.
    QCOMPARE(r.journal, (QStringList{"log " + logText, "tick start"}));
}

void tst_Modes::zeroSettingLeavesTickAsItWas_data() {
    QTest::addColumn<int>("vol");
    QTest::addColumn<int>("time");
    QTest::addColumn<bool>("runningBefore");
    QTest::newRow("vol 0, stopped") << 0 << 5 << false;
    QTest::newRow("time 0, stopped") << 30 << 0 << false;
    QTest::newRow("both 0, stopped") << 0 << 0 << false;
    QTest::newRow("vol 0, running") << 0 << 5 << true;
    QTest::newRow("time 0, running") << 30 << 0 << true;
    QTest::newRow("negative time, stopped") << 30 << -1 << false;
}

void tst_Modes::zeroSettingLeavesTickAsItWas() {
    QFETCH(int, vol);
    QFETCH(int, time);
    QFETCH(bool, runningBefore);
    Rig r;
    r.settings.Feed1Vol = 40;
    r.settings.Feed1time = 7;
    if (runningBefore)
        r.send("SN_FEED_1");
    r.settings.AutoVol = qint16(vol);
    r.settings.Autotime = qint16(time);
    const int startsBefore = r.timer.starts;

    r.send("SN_AUTO");

    QCOMPARE(r.timer.active, runningBefore);
    QCOMPARE(r.st().tickRunning, runningBefore);
    QCOMPARE(r.timer.starts, startsBefore);
    // Everything else is armed as usual.
    QCOMPARE(r.status(), QString("AUTOMAAT"));
    QCOMPARE(r.state().ArmedVol, vol);
    QCOMPARE(r.state().ArmedTime, time);
    QCOMPARE(r.events.logLines.last(), QString("Server Running AUTO"));
}

void tst_Modes::newSourceWhileRunningRearms() {
    Rig r;
    r.settings.Feed1Vol = 60;
    r.settings.Feed1time = 9;
    r.send("SN_AUTO");
    r.silentTicks(2);
    QCOMPARE(r.state().SilenceCount, 2);

    r.send("SN_FEED_1");
    QVERIFY(r.timer.active);
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.state().ArmedVol, 60);
    QCOMPARE(r.state().ArmedTime, 9);
    // The gauge keeps showing 2 until the next tick.
    QCOMPARE(r.st().gaugePosition, 2);

    // A repeat of the source on air runs the whole sequence again.
    r.silentTicks(2);
    r.send("SN_FEED_1");
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.events.logLines.count("Server Running FEED 1"), 2);
}

void tst_Modes::liveStopsAndClearsButKeepsMarkers() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(2);
    QCOMPARE(r.st().gaugePosition, 2);
    r.journal.clear();

    r.send("SN_LIVE");

    QCOMPARE(r.state().Mode, 1);
    QCOMPARE(r.status(), QString("LIVE"));
    QCOMPARE(r.state().SilenceCount, 0);
    QCOMPARE(r.st().gaugePosition, 0);
    QVERIFY(!r.timer.active && !r.st().tickRunning);
    QCOMPARE(r.journal, (QStringList{"tick stop", "log Server Running LIVE"}));
    // What the previous source armed (markers and gauge maximum follow it)
    // stays.
    QCOMPARE(r.state().ArmedVol, 20);
    QCOMPARE(r.state().ArmedTime, 3);
}

void tst_Modes::nearMissesLeaveNoTrace_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("lower case") << QByteArray("sn_auto");
    QTest::newRow("trailing space") << QByteArray("SN_AUTO ");
    QTest::newRow("leading space") << QByteArray(" SN_AUTO");
    QTest::newRow("CR LF") << QByteArray("SN_AUTO\r\n");
    QTest::newRow("LF") << QByteArray("SN_LIVE\n");
    QTest::newRow("NUL") << bytes("SN_AUTO\0", 8);
    QTest::newRow("NUL inside") << bytes("SN_\0AUTO", 8);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("own alarm") << QByteArray("SN_ALARM");
    QTest::newRow("feed 5") << QByteArray("SN_FEED_5");
    QTest::newRow("pause prefix") << QByteArray("SN_PAUSE");
    QTest::newRow("high bytes") << QByteArray("SN_AUTO\xe9");
}

void tst_Modes::nearMissesLeaveNoTrace() {
    QFETCH(QByteArray, payload);
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(1);
    const StationState before = r.st();
    const auto eventsBefore = r.events.events.size();
    r.journal.clear();

    r.send(payload);

    QVERIFY2(r.journal.isEmpty(), qPrintable(r.journal.join(", ")));
    QCOMPARE(r.events.events.size(), eventsBefore);
    QCOMPARE(r.state().LastDatagram, QString::fromLatin1(payload));
    QCOMPARE(r.state().LastDatagram.size(), payload.size());
    QCOMPARE(r.state().Mode, before.modes.Mode);
    QCOMPARE(r.state().SilenceCount, before.modes.SilenceCount);
    QCOMPARE(r.state().SavedStatus, before.modes.SavedStatus);
    QCOMPARE(r.status(), before.statusText());
    QCOMPARE(r.st().tickRunning, before.tickRunning);
}

void tst_Modes::pauseAndResumeKeepCountAndStatus() {
    Rig r;
    r.settings.Autotime = 10;
    r.send("SN_AUTO");
    r.silentTicks(2);
    r.journal.clear();

    r.send("SN_PAUSE_ON");
    QCOMPARE(r.state().SavedStatus, (ShownStatus{StationPhase::Watching, false}));
    QCOMPARE(r.status(), QString("PAUSE"));
    QVERIFY(r.st().paused());
    QCOMPARE(r.journal, (QStringList{"log Server PAUSE ON", "tick stop"}));
    QCOMPARE(r.state().SilenceCount, 2);
    QCOMPARE(r.st().gaugePosition, 2);
    r.journal.clear();

    r.send("SN_PAUSE_OFF");
    QVERIFY(r.timer.active);
    QVERIFY(!r.st().paused());
    QCOMPARE(r.status(), QString("AUTOMAAT"));
    QCOMPARE(r.journal, (QStringList{"tick start", "log Server PAUSE OFF"}));

    // Counting goes on from where it stood.
    r.silentTicks(1);
    QCOMPARE(r.state().SilenceCount, 3);
    QCOMPARE(r.st().gaugePosition, 3);
}

void tst_Modes::pauseWithStoppedTickChangesNothing() {
    Rig r;
    r.send("SN_AUTO");
    r.silentTicks(4); // the alarm stops the tick
    QVERIFY(!r.timer.active);
    r.journal.clear();

    r.send("SN_PAUSE_ON");
    QVERIFY(r.journal.isEmpty());
    QVERIFY(r.state().SavedStatus.blank);
    QCOMPARE(r.status(), QString("SONDRAL GEACTIVEERD!"));
    QVERIFY(!r.st().paused());
}

void tst_Modes::resumeWithoutPauseRestoresEmptyStatus() {
    Rig r;
    r.send("SN_AUTO");
    const int starts = r.timer.starts;
    r.journal.clear();

    r.send("SN_PAUSE_OFF");
    // SavedStatus is still empty; the tick is not started again.
    QVERIFY(r.journal.isEmpty());
    QCOMPARE(r.status(), QString());
    QCOMPARE(r.timer.starts, starts);
}

void tst_Modes::pauseOutsideAutomationIgnored_data() {
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("pause");
    const QList<QByteArray> sources{"",          "SN_LIVE",   "SN_FEED_1",
                                    "SN_FEED_2", "SN_FEED_3", "SN_FEED_4"};
    for (const QByteArray& source : sources) {
        const QByteArray name = source.isEmpty() ? QByteArray("no mode") : source;
        QTest::newRow(name + " on") << source << QByteArray("SN_PAUSE_ON");
        QTest::newRow(name + " off") << source << QByteArray("SN_PAUSE_OFF");
    }
}

void tst_Modes::pauseOutsideAutomationIgnored() {
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, pause);
    Rig r;
    Settings& s = r.settings;
    s.Feed1Vol = s.Feed2Vol = s.Feed3Vol = s.Feed4Vol = 30;
    s.Feed1time = s.Feed2time = s.Feed3time = s.Feed4time = 5;
    if (!source.isEmpty())
        r.send(source);
    // A status of "PAUSE" left from an earlier pause must not count either.
    r.station.edit().shown = {StationPhase::Paused, false};
    const bool active = r.timer.active;
    r.journal.clear();

    r.send(pause);

    QVERIFY2(r.journal.isEmpty(), qPrintable(r.journal.join(", ")));
    QCOMPARE(r.timer.active, active);
    QCOMPARE(r.status(), QString("PAUSE"));
    QVERIFY(r.state().SavedStatus.blank);
}

void tst_Modes::receiveErrorPath_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<QStringList>>("boxes");
    QTest::newRow("reset is silent") << 10054 << QList<QStringList>{};
    QTest::newRow("too large") << 10040 << QList<QStringList>{{"Onbekende fout, foutcode : 10040"}};
    QTest::newRow("host not found")
        << 11001 << QList<QStringList>{{"Onbekende fout, foutcode : 11001"}};
}

void tst_Modes::receiveErrorPath() {
    QFETCH(int, code);
    QFETCH(QList<QStringList>, boxes);
    Rig r;
    r.send("SN_AUTO");
    r.journal.clear();

    r.m.Winsock1_Error(code);

    QCOMPARE(r.events.boxes, boxes);
    QCOMPARE(r.events.events.last().kind, StationEvent::Kind::DatagramFailed);
    QCOMPARE(r.events.events.last().code, code);
    QVERIFY(r.journal.isEmpty()); // nothing logged, nothing changed
    QVERIFY(r.timer.active);
}

// What an output reads off the state: the source's name, whether the
// automation is paused, and the event of each change.
void tst_Modes::sourceAndPauseAsOutputsReadThem() {
    Rig r;
    r.settings.Feed3Vol = r.settings.Feed3time = 5;
    QCOMPARE(r.st().source(), QString());
    const QList<QPair<QByteArray, QString>> steps{{"SN_AUTO", "AUTO"},      {"SN_PAUSE_ON", "AUTO"},
                                                  {"SN_PAUSE_OFF", "AUTO"}, {"SN_FEED_3", "FEED_3"},
                                                  {"SN_LIVE", "LIVE"},      {"junk", "LIVE"}};
    for (const auto& [datagram, source] : steps) {
        r.send(datagram);
        QCOMPARE(r.st().source(), source);
    }
    using Kind = StationEvent::Kind;
    QList<Kind> kinds;
    for (const StationEvent& e : r.events.events)
        kinds << e.kind;
    QCOMPARE(kinds, (QList<Kind>{Kind::SourceChanged, Kind::PauseOn, Kind::PauseOff,
                                 Kind::SourceChanged, Kind::SourceChanged}));
}

void tst_Modes::nothingAfterTheRunEnded() {
    Rig r;
    r.send("SN_AUTO");
    QVERIFY(r.station.end());
    QVERIFY(!r.station.end()); // once
    QCOMPARE(r.events.events.last().kind, StationEvent::Kind::RunEnded);
    QCOMPARE(r.events.logLines.last(), QString("Program Closed"));
    const auto events = r.events.events.size();
    r.journal.clear();

    r.send("SN_LIVE");
    r.silentTicks(5);
    r.m.Winsock1_Error(10040);
    QVERIFY(r.journal.isEmpty());
    QCOMPARE(r.events.events.size(), events);
    QCOMPARE(r.status(), QString("AUTOMAAT"));
}

QTEST_GUILESS_MAIN(tst_Modes)
#include "tst_modes.moc"
