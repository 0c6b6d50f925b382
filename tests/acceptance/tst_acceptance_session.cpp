// A whole logged session against one Sondral: start-up, datagrams that must
// be ignored, the automation's alarm on the (AutoTime + 1)-th silent second,
// a close request by SIGTERM, and the exact form of every log line.
#include "acceptance/stationscript.h"
#include "support/udpports.h"

#include <QStandardPaths>
#include <QTest>

namespace {
constexpr int autoTime = 3;
}

class TestAcceptanceSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void hostPortIsBound();
    void nearMissDatagramsAreIgnored_data();
    void nearMissDatagramsAreIgnored();
    void alarmOnTheSilentSecondAfterAutoTime();
    void sigtermClosesAndTheLogHasItsExactForm();

private:
    Station m_station;
    StationScript m_script{m_station};
};

void TestAcceptanceSession::initTestCase() {
    // Written the way the audio dialog writes it: capital T in the time keys.
    const QByteArray audio = "[Audio]\r\nCard=0\r\nAutoVol=20\r\nFeed1Vol=0\r\nFeed2Vol=0\r\n"
                             "Feed3Vol=0\r\nFeed4Vol=0\r\nAutoTime=" +
                             QByteArray::number(autoTime) +
                             "\r\nFeed1Time=0\r\nFeed2Time=0\r\nFeed3Time=0\r\nFeed4Time=0\r\n"
                             "Log=1\r\n";
    m_script.bringUpAndLaunch(QStringLiteral("session"), audio, -12.0);
}

void TestAcceptanceSession::hostPortIsBound() {
    QVERIFY(!UdpPorts::canBind(m_station.hostPort()));
    if (!QStandardPaths::findExecutable(QStringLiteral("ss")).isEmpty())
        QVERIFY(UdpPorts::listedBySs(m_station.hostPort()));
}

void TestAcceptanceSession::nearMissDatagramsAreIgnored_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("lower case") << QByteArray("sn_auto");
    QTest::newRow("trailing space") << QByteArray("SN_AUTO ");
    QTest::newRow("leading space") << QByteArray(" SN_AUTO");
    QTest::newRow("CR LF") << QByteArray("SN_AUTO\r\n");
    QTest::newRow("LF") << QByteArray("SN_AUTO\n");
    QTest::newRow("NUL terminated") << QByteArray("SN_AUTO\0", 8);
    QTest::newRow("prefix") << QByteArray("SN_AUT");
    QTest::newRow("two keywords") << QByteArray("SN_AUTOSN_LIVE");
    QTest::newRow("feed 5") << QByteArray("SN_FEED_5");
    QTest::newRow("feed 0") << QByteArray("SN_FEED_0");
    QTest::newRow("mixed case live") << QByteArray("SN_Live");
    QTest::newRow("own alarm keyword") << QByteArray("SN_ALARM");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("binary") << QByteArray("\xff\xfe\x00\x80", 4);
    // Before any mode datagram, pause and resume have nothing to act on.
    QTest::newRow("pause on, no mode yet") << QByteArray("SN_PAUSE_ON");
    QTest::newRow("pause off, no mode yet") << QByteArray("SN_PAUSE_OFF");
}

void TestAcceptanceSession::nearMissDatagramsAreIgnored() {
    QFETCH(QByteArray, payload);
    const qsizetype before = m_station.sondral().messages().size();
    m_station.send(payload);
    QCOMPARE(m_station.arrivalsDuring(250), 0);
    QVERIFY2(m_station.sondral().isRunning(), qPrintable(m_station.sondral().output()));
    QCOMPARE(m_station.sondral().messagesSince(before), QStringList());
}

void TestAcceptanceSession::alarmOnTheSilentSecondAfterAutoTime() {
    const qsizetype before = m_station.sondral().messages().size();
    m_station.send("SN_AUTO");
    QVERIFY(
        m_station.sondral().waitForMessage(QStringLiteral("Server Running AUTO"), before, 3000));

    // Programme present: the tick runs and counts nothing.
    QCOMPARE(m_station.arrivalsDuring(2500), 0);

    m_station.programme().silence();
    const qint64 onset = m_station.programme().lastChangeMs();
    QVERIFY2(m_station.peer().waitForArrivals(1, 10000), "no SN_ALARM within 10 s of silence");
    const ServerPeer::Arrival alarm = m_station.peer().arrivals().constFirst();
    const double seconds = (alarm.m_atMs - onset) / 1000.0;
    qInfo("AUTO, AutoTime %d: SN_ALARM %.3f s after the silence began", autoTime, seconds);
    QCOMPARE(alarm.m_payload, QByteArray("SN_ALARM"));
    // The alarm leaves through the socket bound to HostPort.
    QCOMPARE(alarm.m_fromPort, m_station.hostPort());
    // Silent ticks fall at whole seconds after SN_AUTO; the first one needs a
    // whole second without programme, so the alarm comes between
    // AutoTime + 1 and AutoTime + 2 seconds after the onset.
    QVERIFY2(seconds >= autoTime + 0.5 && seconds <= autoTime + 2.5,
             qPrintable(QString::number(seconds)));
    QVERIFY(m_station.sondral().waitForMessage(QStringLiteral("SONDRAL ACTIVATED"), before, 2000));

    // Declared once: the tick stands still until the next mode datagram.
    QCOMPARE(m_station.arrivalsDuring(2500), 0);
    QCOMPARE(m_station.sondral().messagesSince(before),
             QStringList({"Server Running AUTO", "SONDRAL ACTIVATED"}));
}

void TestAcceptanceSession::sigtermClosesAndTheLogHasItsExactForm() {
    const QDateTime startedBefore = QDateTime::currentDateTime().addSecs(-120);
    QVERIFY2(m_station.sondral().terminate(), "sondral did not end within 10 s of SIGTERM");
    QCOMPARE(m_station.sondral().exitStatus(), QProcess::NormalExit);

    const QByteArray bytes = m_station.sondral().logBytes();
    QVERIFY(bytes.endsWith("\r\n"));
    // Every line end is CR LF: no bare LF or CR anywhere.
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));

    const QList<SondralInstance::LogLine> lines = m_station.sondral().logLines();
    QStringList messages;
    for (const SondralInstance::LogLine& line : lines) {
        QVERIFY2(line.m_stamp.isValid(), qPrintable(line.m_raw));
        // Fixed-width head: the message begins at the 23rd character.
        QCOMPARE(line.m_raw.mid(22), line.m_message);
        QVERIFY2(line.m_stamp >= startedBefore.addSecs(-1) &&
                     line.m_stamp <= QDateTime::currentDateTime().addSecs(1),
                 qPrintable(line.m_raw));
        messages.append(line.m_message);
    }
    QCOMPARE(messages, QStringList({"Program started Up", "Server Running AUTO",
                                    "SONDRAL ACTIVATED", "Program Closed"}));
    for (qsizetype i = 1; i < lines.size(); ++i)
        QVERIFY(lines.at(i - 1).m_stamp <= lines.at(i).m_stamp);
    // 2.5 s of programme, then AutoTime + 1 to + 2.5 s of silence.
    const qint64 armedToAlarm = lines.at(1).m_stamp.secsTo(lines.at(2).m_stamp);
    QVERIFY2(armedToAlarm >= 5 && armedToAlarm <= 9, qPrintable(QString::number(armedToAlarm)));
}

QTEST_GUILESS_MAIN(TestAcceptanceSession)
#include "tst_acceptance_session.moc"
