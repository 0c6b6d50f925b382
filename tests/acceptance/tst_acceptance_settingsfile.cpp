// What the settings file decides, seen from outside: incomplete link settings
// bind nothing, section and key names in any letter case, the log switch, a
// first start without a file, and a later run appending to the log.
#include "acceptance/stationscript.h"
#include "support/udpports.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QUdpSocket>

class TestAcceptanceSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void incompleteLinkBindsNoSocket_data();
    void incompleteLinkBindsNoSocket();
    void namesMatchInAnyLetterCase_data();
    void namesMatchInAnyLetterCase();
    void aLaterRunAppendsToTheLog();
    void logSwitchOffWritesNothingButStillAlarms_data();
    void logSwitchOffWritesNothingButStillAlarms();
    void noSettingsFileLogsNothing();
    void hostPortInUseDoesNotStopTheProgram();

private:
    // Spins until Sondral holds HostPort (start-up has bound the socket).
    bool waitUntilBound(int timeoutMs);

    Station m_station;
    StationScript m_script{m_station};
};

bool TestAcceptanceSettingsFile::waitUntilBound(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    // ss only looks; a bind probe could take the port from Sondral in the
    // very moment it binds.
    const bool haveSs = !QStandardPaths::findExecutable(QStringLiteral("ss")).isEmpty();
    while (timer.elapsed() < timeoutMs) {
        if (haveSs ? UdpPorts::listedBySs(m_station.hostPort())
                   : !UdpPorts::canBind(m_station.hostPort()))
            return true;
        QTest::qWait(20);
    }
    return false;
}

void TestAcceptanceSettingsFile::initTestCase() {
    if (m_script.bringUp())
        m_station.programme().silence();
}

void TestAcceptanceSettingsFile::incompleteLinkBindsNoSocket_data() {
    QTest::addColumn<QString>("link");
    QTest::newRow("remote port 0") << QStringLiteral("RemoteName=127.0.0.1\r\nRemotePort=0\r\n");
    QTest::newRow("remote port missing") << QStringLiteral("RemoteName=127.0.0.1\r\n");
    QTest::newRow("remote name empty") << QStringLiteral("RemoteName=\r\nRemotePort=%1\r\n");
    QTest::newRow("remote port negative")
        << QStringLiteral("RemoteName=127.0.0.1\r\nRemotePort=-%1\r\n");
}

void TestAcceptanceSettingsFile::incompleteLinkBindsNoSocket() {
    QFETCH(QString, link);
    if (link.contains(QLatin1String("%1")))
        link = link.arg(m_station.peer().port());
    const QByteArray ini = "[Audio]\r\nAutoVol=20\r\nAutoTime=1\r\nLog=1\r\n[InterPC]\r\n" +
                           link.toLatin1() +
                           "HostPort=" + QByteArray::number(m_station.hostPort()) + "\r\n";
    SondralInstance* sondral =
        m_station.launch(QStringLiteral("link-%1").arg(QTest::currentDataTag()), ini);
    QVERIFY2(sondral, qPrintable(m_station.error()));

    // Start-up has finished ("Program started Up" is its last step): nothing
    // listens on HostPort, so the server's datagram reaches no one.
    m_station.send("SN_AUTO");
    QCOMPARE(m_station.arrivalsDuring(2500), 0);
    QCOMPARE(sondral->messages(), QStringList({"Program started Up"}));
    QVERIFY(UdpPorts::canBind(m_station.hostPort()));
    if (!QStandardPaths::findExecutable(QStringLiteral("ss")).isEmpty())
        QVERIFY(!UdpPorts::listedBySs(m_station.hostPort()));

    QVERIFY(sondral->terminate());
    QCOMPARE(sondral->messages(), QStringList({"Program started Up", "Program Closed"}));
}

void TestAcceptanceSettingsFile::namesMatchInAnyLetterCase_data() {
    // LF line ends here; the program's own files use CR LF.
    QTest::addColumn<QString>("ini");
    QTest::newRow("lower case") << QStringLiteral(
        "[audio]\ncard=0\nautovol=20\nautotime=2\nlog=1\n"
        "[interpc]\nremotename=127.0.0.1\nremoteport=%1\nhostport=%2\n");
    QTest::newRow("upper case") << QStringLiteral(
        "[AUDIO]\nCARD=0\nAUTOVOL=20\nAUTOTIME=2\nLOG=1\n"
        "[INTERPC]\nREMOTENAME=127.0.0.1\nREMOTEPORT=%1\nHOSTPORT=%2\n");
}

void TestAcceptanceSettingsFile::namesMatchInAnyLetterCase() {
    QFETCH(QString, ini);
    ini = ini.arg(m_station.peer().port()).arg(m_station.hostPort());
    SondralInstance* sondral =
        m_station.launch(QStringLiteral("case-%1").arg(QTest::currentDataTag()), ini.toLatin1());
    QVERIFY2(sondral, qPrintable(m_station.error()));
    QTest::qWait(1200);
    const qint64 sent = m_station.send("SN_AUTO");
    const double seconds = m_station.secondsToAlarm(sent, 8000);
    qInfo("%s settings, autotime 2: SN_ALARM %.3f s after SN_AUTO", QTest::currentDataTag(),
          seconds);
    // autotime=2 read: the third silent tick. Read as 0 it would be the first.
    QVERIFY2(seconds >= 2.7 && seconds <= 3.9, qPrintable(QString::number(seconds)));
    QVERIFY(sondral->waitForMessage(QStringLiteral("SONDRAL ACTIVATED"), 0, 2000));
    QVERIFY(sondral->terminate());
    QCOMPARE(sondral->messages(), QStringList({"Program started Up", "Server Running AUTO",
                                               "SONDRAL ACTIVATED", "Program Closed"}));
}

void TestAcceptanceSettingsFile::aLaterRunAppendsToTheLog() {
    const QByteArray ini = QStringLiteral("[audio]\nautovol=20\nautotime=2\nlog=1\n"
                                          "[interpc]\nremotename=127.0.0.1\nremoteport=%1\n"
                                          "hostport=%2\n")
                               .arg(m_station.peer().port())
                               .arg(m_station.hostPort())
                               .toLatin1();
    SondralInstance* sondral = m_station.launch(QStringLiteral("case-lower case"), ini);
    QVERIFY2(sondral, qPrintable(m_station.error()));
    QVERIFY(sondral->terminate());
    QStringList messages = sondral->messages();
    // Started again within minutes of the last run, it carries on with the
    // automation that was on air.
    QVERIFY(messages.size() == 7 &&
            messages.at(5).startsWith(QStringLiteral("Resumed AUTO from the last run (ended ")));
    messages.removeAt(5);
    QCOMPARE(messages,
             QStringList({"Program started Up", "Server Running AUTO", "SONDRAL ACTIVATED",
                          "Program Closed", "Program started Up", "Program Closed"}));
}

void TestAcceptanceSettingsFile::logSwitchOffWritesNothingButStillAlarms_data() {
    QTest::addColumn<QByteArray>("log");
    QTest::newRow("0") << QByteArray("Log=0\r\n");
    QTest::newRow("2") << QByteArray("Log=2\r\n");
    QTest::newRow("-1") << QByteArray("Log=-1\r\n");
    QTest::newRow("empty") << QByteArray("Log=\r\n");
}

void TestAcceptanceSettingsFile::logSwitchOffWritesNothingButStillAlarms() {
    QFETCH(QByteArray, log);
    const QByteArray ini =
        "[Audio]\r\nAutoVol=20\r\nAutoTime=1\r\n" + log + m_station.linkSection();
    const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    SondralInstance* sondral =
        m_station.launch(QStringLiteral("log-%1").arg(QTest::currentDataTag()), ini, false);
    QVERIFY2(sondral, qPrintable(m_station.error()));
    QVERIFY2(waitUntilBound(20000), "HostPort not bound within 20 s");
    qInfo("Log %s: HostPort bound %lld ms after the process was started", QTest::currentDataTag(),
          started.elapsed());
    QTest::qWait(1200);
    const qint64 sent = m_station.send("SN_AUTO");
    const double seconds = m_station.secondsToAlarm(sent, 6000);
    QVERIFY2(seconds >= 1.7 && seconds <= 2.9, qPrintable(QString::number(seconds)));
    QVERIFY(sondral->terminate());
    QVERIFY(!QFile::exists(sondral->logPath()));
}

void TestAcceptanceSettingsFile::noSettingsFileLogsNothing() {
    SondralInstance* sondral = m_station.launch(QStringLiteral("bare"), QByteArray(), false);
    QVERIFY2(sondral, qPrintable(m_station.error()));
    QTest::qWait(2500);
    QVERIFY2(sondral->isRunning(), qPrintable(sondral->output()));
    QVERIFY(sondral->terminate());
    QCOMPARE(sondral->exitStatus(), QProcess::NormalExit);
    QVERIFY(!QFile::exists(sondral->logPath()));
}

void TestAcceptanceSettingsFile::hostPortInUseDoesNotStopTheProgram() {
    // Another program holds HostPort: Sondral says so and runs on without a link.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, m_station.hostPort(),
                        QAbstractSocket::DontShareAddress));
    const QByteArray ini =
        "[Audio]\r\nAutoVol=20\r\nAutoTime=1\r\nLog=1\r\n" + m_station.linkSection();
    SondralInstance* sondral = m_station.launch(QStringLiteral("port-in-use"), ini);
    QVERIFY2(sondral, qPrintable(m_station.error()));
    m_station.send("SN_AUTO"); // lands on the holder, not on Sondral
    QCOMPARE(m_station.arrivalsDuring(2500), 0);
    QVERIFY2(sondral->isRunning(), qPrintable(sondral->output()));
    QVERIFY(sondral->terminate());
    QCOMPARE(sondral->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sondral->messages(), QStringList({"Program started Up", "Program Closed"}));
}

QTEST_GUILESS_MAIN(TestAcceptanceSettingsFile)
#include "tst_acceptance_settingsfile.moc"
