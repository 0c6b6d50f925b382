// sondral-sim as an engineer uses it: exact payloads out, every arrival
// printed with escapes, expect succeeding and timing out, scripts, and
// usage errors refused before anything is sent.
#include "support/udpports.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <QUdpSocket>

class TestSondralSim : public QObject {
    Q_OBJECT
private slots:
    void init();
    void sendsExactlyThePayload_data();
    void sendsExactlyThePayload();
    void printsArrivalsEscaped();
    void expectMatchesAnEarlierArrival();
    void expectTimesOut();
    void playsAScriptInOrder();
    void refusesBadUsage_data();
    void refusesBadUsage();
    void helpExplainsTheCommands();

private:
    // Runs the simulator to its end; returns its exit code (-1 on a crash or hang).
    int runSim(const QStringList& arguments, int timeoutMs = 10000);
    QList<QByteArray> received(int atLeast, int timeoutMs);

    QUdpSocket m_peer; // plays Sondral's end
    QByteArray m_output;
};

void TestSondralSim::init() {
    m_peer.close();
    QVERIFY(m_peer.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
    m_output.clear();
}

int TestSondralSim::runSim(const QStringList& arguments, int timeoutMs) {
    QProcess sim;
    sim.start(QStringLiteral(SONDRAL_SIM), arguments);
    if (!sim.waitForFinished(timeoutMs)) {
        sim.kill();
        sim.waitForFinished();
        return -1;
    }
    m_output = sim.readAllStandardOutput() + sim.readAllStandardError();
    return sim.exitStatus() == QProcess::NormalExit ? sim.exitCode() : -1;
}

QList<QByteArray> TestSondralSim::received(int atLeast, int timeoutMs) {
    QList<QByteArray> payloads;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        while (m_peer.hasPendingDatagrams())
            payloads.append(m_peer.receiveDatagram().data());
        if (payloads.size() >= atLeast)
            break;
        QTest::qWait(5);
    }
    return payloads;
}

void TestSondralSim::sendsExactlyThePayload_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("keyword") << QStringList{"send", "SN_AUTO"} << QByteArray("SN_AUTO");
    QTest::newRow("keyword in one argument")
        << QStringList{"send SN_FEED_2"} << QByteArray("SN_FEED_2");
    QTest::newRow("hex with CR LF")
        << QStringList{"send-hex", "534e5f4155544f0d0a"} << QByteArray("SN_AUTO\r\n");
    QTest::newRow("hex with blanks and prefix")
        << QStringList{"send-hex 0x53 4E 5F 00"} << QByteArray("SN_\0", 4);
}

void TestSondralSim::sendsExactlyThePayload() {
    QFETCH(QStringList, command);
    QFETCH(QByteArray, payload);
    QCOMPARE(runSim(QStringList{"--port", QString::number(m_peer.localPort())} + command), 0);
    QCOMPARE(received(1, 2000), QList<QByteArray>{payload});
}

void TestSondralSim::printsArrivalsEscaped() {
    // The simulator listens on a port of its own; the test sends to it once
    // it has said so.
    const quint16 port = UdpPorts::freePort();
    QProcess sim;
    sim.start(QStringLiteral(SONDRAL_SIM),
              {"--listen", QString::number(port), "--bind", "127.0.0.1", "listen", "1.5"});
    QVERIFY(sim.waitForReadyRead(5000));
    QVERIFY(sim.readLine().contains("listening on 127.0.0.1:" + QByteArray::number(port)));
    m_peer.writeDatagram(QByteArray("A\r\n\x01\"\\", 6), QHostAddress::LocalHost, port);
    m_peer.writeDatagram(QByteArray("SN_ALARM"), QHostAddress::LocalHost, port);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    const QList<QByteArray> lines = sim.readAllStandardOutput().split('\n');
    QCOMPARE(lines.size(), 3); // two arrivals and the empty rest after the last line end
    const QByteArray from = "  from 127.0.0.1:" + QByteArray::number(m_peer.localPort()) + "  ";
    const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  from "));
    QVERIFY2(stamp.match(QString::fromLatin1(lines.at(0))).hasMatch(), lines.at(0));
    QVERIFY2(lines.at(0).endsWith(from + R"("A\r\n\x01\"\\")"), lines.at(0));
    QVERIFY2(lines.at(1).endsWith(from + "\"SN_ALARM\""), lines.at(1));
}

void TestSondralSim::expectMatchesAnEarlierArrival() {
    // The alarm may come while a wait runs; expect still finds it, and only once.
    const QString port = QString::number(UdpPorts::freePort());
    QCOMPARE(runSim({"--port", port, "--listen", port, "--bind", "127.0.0.1", "send", "SN_ALARM,",
                     "wait", "0.3,", "expect", "SN_ALARM", "0.1"}),
             0);
    QVERIFY2(m_output.contains("expect \"SN_ALARM\": matched"), m_output);
    QCOMPARE(runSim({"--port", port, "--listen", port, "--bind", "127.0.0.1",
                     "send SN_ALARM, expect SN_ALARM 1, expect SN_ALARM 0.2"}),
             1);
}

void TestSondralSim::expectTimesOut() {
    const QString port = QString::number(UdpPorts::freePort());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runSim({"--listen", port, "--bind", "127.0.0.1", "expect", "SN_ALARM", "0.4"}), 1);
    QVERIFY(timer.elapsed() >= 400);
    QVERIFY2(m_output.contains("nothing within 0.4 s"), m_output);
}

void TestSondralSim::playsAScriptInOrder() {
    QTemporaryFile script;
    QVERIFY(script.open());
    script.write("# commissioning check\n"
                 "send SN_AUTO   # the automation is on air\n"
                 "\n"
                 "wait 0.3\n"
                 "send-hex 534e5f50415553455f4f4e\n"
                 "SEND SN_PAUSE_OFF\n");
    script.close();
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runSim({"--port", QString::number(m_peer.localPort()), "--script", script.fileName()}),
             0);
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(received(3, 2000), QList<QByteArray>({"SN_AUTO", "SN_PAUSE_ON", "SN_PAUSE_OFF"}));
}

void TestSondralSim::refusesBadUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown command") << QStringList{"bogus"};
    QTest::newRow("send without keyword") << QStringList{"send"};
    QTest::newRow("send with two words") << QStringList{"send", "SN_AUTO", "x"};
    QTest::newRow("odd hex") << QStringList{"send-hex", "534"};
    QTest::newRow("not hex") << QStringList{"send-hex", "zz"};
    QTest::newRow("negative wait") << QStringList{"wait", "-1"};
    QTest::newRow("wait without number") << QStringList{"wait", "x"};
    QTest::newRow("empty between commas") << QStringList{"send SN_AUTO,,send SN_LIVE"};
    QTest::newRow("expect without listen") << QStringList{"expect", "SN_ALARM", "0.1"};
    QTest::newRow("port 0") << QStringList{"--port", "0", "send", "SN_AUTO"};
    QTest::newRow("port too big") << QStringList{"--port", "70000", "send", "SN_AUTO"};
    QTest::newRow("nothing to do") << QStringList{};
    QTest::newRow("script and commands") << QStringList{"--script", "/dev/null", "send", "SN_AUTO"};
}

void TestSondralSim::refusesBadUsage() {
    QFETCH(QStringList, arguments);
    // Aimed at the peer: whatever the mistake, nothing may be sent.
    QStringList all = arguments;
    if (!all.contains(QStringLiteral("--port")))
        all = QStringList{"--port", QString::number(m_peer.localPort())} + all;
    QCOMPARE(runSim(all), 2);
    QVERIFY(!m_output.isEmpty());
    QCOMPARE(received(1, 200), QList<QByteArray>());
}

void TestSondralSim::helpExplainsTheCommands() {
    QCOMPARE(runSim({"--help"}), 0);
    for (const char* word : {"send KEYWORD", "send-hex", "wait", "listen", "expect", "--script",
                             "RemotePort", "HostPort"})
        QVERIFY2(m_output.contains(word), word);
}

QTEST_GUILESS_MAIN(TestSondralSim)
#include "tst_sondral_sim.moc"
