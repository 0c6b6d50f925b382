// Faults around a running sondral: its log turns unwritable, the server is
// unreachable or cannot be found when the alarm fires, the capture device
// vanishes, the sound server restarts or comes up only after sondral, the
// local port is taken at start.
// Monitoring must go on through each, and pick up again when the fault ends.

#include "robustness/processprobe.h"
#include "support/privatepulse.h"
#include "support/serverpeer.h"
#include "support/sondralinstance.h"
#include "support/toneplayer.h"
#include "support/udpports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {
// AUTO alarms on the third silent tick: about 3 s after silence begins.
const QByteArray Audio = "[Audio]\r\nAutoVol=20\r\nAutoTime=2\r\nLog=1\r\n";
const QString Activated = QStringLiteral("SONDRAL ACTIVATED");
// Beyond the 5 s between tries of a taken port: the start of the wait and
// the status page's 100 ms copies.
constexpr int UdpLinkRetrySlackMs = 3000;
} // namespace

class TstFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void logReplacedByDirectory();
    void alarmIntoClosedPortThenServerBack();
    void unresolvableServerKeepsAnswering();
    void captureSourceUnloadedAndBack();
    void soundServerRestarts();
    void soundServerAwayLong();
    void startedBeforeSoundServer();
    void localPortTakenThenFreed();

private:
    SondralInstance* launch(const QString& name, const QByteArray& ini);
    QByteArray linkTo(quint16 remotePort, const QString& remoteName = "127.0.0.1") const;
    int pactl(const QStringList& args, QByteArray* output = nullptr) const;
    int captureStreams() const;
    // The capture device of the private server, as pulse-private.sh makes it.
    int loadSource() const;
    void stopSoundServer();
    bool startSoundServer();
    bool startPlayer();
    bool waitForCapture(int timeoutMs) const;
    qsizetype alarmsDuring(int ms);
    // The status line and body of GET /healthz on loopback (status 0: no answer).
    static QPair<int, QByteArray> healthz(quint16 port);

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/sondral-faults.XXXXXX")};
    PrivatePulse m_pulse;
    // A fresh player for each server: a player is started once.
    std::unique_ptr<TonePlayer> m_player;
    TonePlayer& programme() { return *m_player; }
    ServerPeer m_peer;
    quint16 m_hostPort = 0;
    std::unique_ptr<SondralInstance> m_sondral;
    int m_runs = 0;
};

void TstFaults::initTestCase() {
    for (const char* tool : {"pulseaudio", "pacat", "pactl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("PulseAudio tools are not installed");
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_pulse.start(m_dir.filePath(QStringLiteral("pulse"))), qPrintable(m_pulse.error()));
    QVERIFY(startPlayer());
    QVERIFY(m_peer.bind());
}

void TstFaults::cleanup() {
    if (m_sondral) {
        m_sondral->terminate(5000);
        m_sondral.reset();
    }
    // A failed test may have left the sound server or the device away.
    QByteArray sources;
    if (pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")},
              &sources) != 0) {
        stopSoundServer();
        QVERIFY(startSoundServer());
    } else if (!sources.contains("programme_in")) {
        QCOMPARE(loadSource(), 0);
    }
    if (!programme().isRunning())
        QVERIFY(startPlayer());
    programme().tone(-12);
}

int TstFaults::loadSource() const {
    const int rc = pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
                          QStringLiteral("source_name=programme_in"),
                          QStringLiteral("master=programme.monitor"),
                          QStringLiteral("source_properties=device.description=Programme-ingang")});
    pactl({QStringLiteral("set-default-source"), QStringLiteral("programme_in")});
    return rc;
}

SondralInstance* TstFaults::launch(const QString& name, const QByteArray& ini) {
    const QString dir = m_dir.filePath(QStringLiteral("%1-%2").arg(name).arg(++m_runs));
    QDir().mkpath(dir);
    m_sondral = std::make_unique<SondralInstance>(dir);
    m_sondral->writeIni(ini);
    if (!m_sondral->start(m_pulse.environment()))
        return nullptr;
    if (!m_sondral->waitForMessage(QStringLiteral("Program started Up"), 0, 20000)) {
        qWarning("%s", qPrintable(m_sondral->output()));
        return nullptr;
    }
    return m_sondral.get();
}

QByteArray TstFaults::linkTo(quint16 remotePort, const QString& remoteName) const {
    return QStringLiteral("[InterPC]\r\nRemoteName=%1\r\nRemotePort=%2\r\nHostPort=%3\r\n")
        .arg(remoteName)
        .arg(remotePort)
        .arg(m_hostPort)
        .toLatin1();
}

int TstFaults::pactl(const QStringList& args, QByteArray* output) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(m_pulse.environment());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("pactl"), args);
    if (!p.waitForFinished(10000))
        return -1;
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitCode();
}

int TstFaults::captureStreams() const {
    QByteArray out;
    if (pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")},
              &out) != 0)
        return -1;
    // Only clients count: the remapped source itself records from the sink's
    // monitor through a source output of its own (module-remap-source.c).
    return int(out.count("protocol-native"));
}

bool TstFaults::waitForCapture(int timeoutMs) const {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (captureStreams() > 0)
            return true;
        QTest::qWait(200);
    }
    return false;
}

qsizetype TstFaults::alarmsDuring(int ms) {
    const qsizetype before = m_peer.arrivals().size();
    QTest::qWait(ms);
    return m_peer.arrivals().size() - before;
}

void TstFaults::logReplacedByDirectory() {
    // Running as root, a read-only directory would not stop the writes; a
    // directory where the log file should be does.
    m_hostPort = UdpPorts::freePort();
    programme().silence();
    SondralInstance* sondral = launch(QStringLiteral("log"), Audio + linkTo(m_peer.port()));
    QVERIFY(sondral);
    const QString log = sondral->logPath();
    QVERIFY(QFile::rename(log, log + QStringLiteral(".old")));
    QVERIFY(QDir().mkdir(log));

    // Two alarms in a row with the log gone: each reaches the server.
    for (int i = 0; i < 2; ++i) {
        const qsizetype arrivals = m_peer.arrivals().size();
        m_peer.send("SN_AUTO", m_hostPort);
        QVERIFY2(m_peer.waitForArrivals(arrivals + 1, 8000), "no alarm while the log is gone");
        QCOMPARE(m_peer.arrivals().last().m_payload, QByteArray("SN_ALARM"));
    }
    QVERIFY(sondral->isRunning());

    // The log comes back: the next events are written again.
    QVERIFY(QDir().rmdir(log));
    m_peer.send("SN_AUTO", m_hostPort);
    QVERIFY(sondral->waitForMessage(Activated, 0, 8000));
    QCOMPARE(sondral->messages(), (QStringList{QStringLiteral("Server Running AUTO"), Activated}));
    programme().tone(-12);
}

void TstFaults::alarmIntoClosedPortThenServerBack() {
    // Nobody listens on the server's port when the alarm goes out. UDP gives
    // no delivery report, so that alarm is gone; the point is that Sondral
    // carries on and the next alarm reaches the server once it is back.
    m_hostPort = UdpPorts::freePort();
    const quint16 closed = UdpPorts::freePort();
    programme().silence();
    SondralInstance* sondral = launch(QStringLiteral("closed"), Audio + linkTo(closed));
    QVERIFY(sondral);
    m_peer.send("SN_AUTO", m_hostPort);
    QVERIFY(sondral->waitForMessage(Activated, 0, 8000));

    QUdpSocket probe; // the server is back: its port is bound again
    QVERIFY(probe.bind(QHostAddress::LocalHost, closed));
    qsizetype received = 0;
    connect(&probe, &QUdpSocket::readyRead, this, [&] {
        while (probe.hasPendingDatagrams())
            if (probe.receiveDatagram().data() == "SN_ALARM")
                ++received;
    });
    m_peer.send("SN_AUTO", m_hostPort);
    QTRY_COMPARE_WITH_TIMEOUT(received, qsizetype(1), 8000);
    // Sent once: the tick stopped after the alarm went out.
    QTest::qWait(2000);
    QCOMPARE(received, qsizetype(1));
    QVERIFY(sondral->isRunning());
    programme().tone(-12);
}

void TstFaults::unresolvableServerKeepsAnswering() {
    // The alarm cannot be sent: the tick stays on and retries each second,
    // boxes appear one sequence at a time, and datagrams are still handled.
    m_hostPort = UdpPorts::freePort();
    programme().silence();
    SondralInstance* sondral =
        launch(QStringLiteral("unresolvable"),
               Audio + linkTo(m_peer.port(), QStringLiteral("sondral-no-such-server.invalid")));
    QVERIFY(sondral);
    m_peer.send("SN_AUTO", m_hostPort);
    // The alarm is decided and its send fails; the tick goes on retrying
    // (tst_acceptance_restart counts the journal line over the retries).
    QVERIFY2(
        sondral->waitForOutput(QStringLiteral("SONDRAL ACTIVATED: SN_ALARM could not be sent to "
                                              "sondral-no-such-server.invalid:%1")
                                   .arg(m_peer.port()),
                               10000),
        qPrintable(sondral->output()));
    QVERIFY(sondral->isRunning());
    QVERIFY(!sondral->messages().contains(Activated));
    m_peer.send("SN_LIVE", m_hostPort);
    QVERIFY(sondral->waitForMessage(QStringLiteral("Server Running LIVE"), 0, 3000));
    QCOMPARE(sondral->messages(), (QStringList{QStringLiteral("Program started Up"),
                                               QStringLiteral("Server Running AUTO"),
                                               QStringLiteral("Server Running LIVE")}));
    programme().tone(-12);
}

void TstFaults::captureSourceUnloadedAndBack() {
    m_hostPort = UdpPorts::freePort();
    programme().tone(-12);
    SondralInstance* sondral = launch(QStringLiteral("unload"), Audio + linkTo(m_peer.port()));
    QVERIFY(sondral);
    QVERIFY(waitForCapture(5000));
    m_peer.send("SN_AUTO", m_hostPort);
    QCOMPARE(alarmsDuring(4500), qsizetype(0)); // the programme is loud

    // The device goes: levels fall to 0 and the armed alarm fires although
    // the programme still plays into the sink.
    QCOMPARE(pactl({QStringLiteral("unload-module"), QStringLiteral("module-remap-source")}), 0);
    const qsizetype arrivals = m_peer.arrivals().size();
    QVERIFY2(m_peer.waitForArrivals(arrivals + 1, 10000), "no alarm after the device went");

    // The device comes back: capture resumes by itself and the loud
    // programme keeps the next alarm away.
    QCOMPARE(loadSource(), 0);
    QVERIFY2(waitForCapture(20000), "capture did not resume after the device came back");
    QTest::qWait(1500);
    m_peer.send("SN_AUTO", m_hostPort);
    QCOMPARE(alarmsDuring(5000), qsizetype(0));
    QVERIFY(sondral->isRunning());
}

void TstFaults::soundServerRestarts() {
    m_hostPort = UdpPorts::freePort();
    programme().tone(-12);
    SondralInstance* sondral = launch(QStringLiteral("restart"), Audio + linkTo(m_peer.port()));
    QVERIFY(sondral);
    QVERIFY(waitForCapture(5000));

    // A restart of the sound server, as a package upgrade does it: capture
    // comes back by itself and the loud programme keeps the alarm away.
    stopSoundServer();
    QTest::qWait(500);
    QVERIFY(startSoundServer());
    QVERIFY2(waitForCapture(20000), "capture did not resume after the sound server restarted");
    QTest::qWait(1500);
    m_peer.send("SN_AUTO", m_hostPort);
    QCOMPARE(alarmsDuring(5000), qsizetype(0));

    // The server stays away: the levels fall to 0 and the armed alarm fires.
    stopSoundServer();
    const qsizetype arrivals = m_peer.arrivals().size();
    QVERIFY2(m_peer.waitForArrivals(arrivals + 1, 10000), "no alarm with the sound server gone");
    QVERIFY(sondral->isRunning());
}

void TstFaults::soundServerAwayLong() {
    m_hostPort = UdpPorts::freePort();
    programme().tone(-12);
    SondralInstance* sondral = launch(QStringLiteral("away"), Audio + linkTo(m_peer.port()));
    QVERIFY(sondral);
    QVERIFY(waitForCapture(5000));
    m_peer.send("SN_AUTO", m_hostPort);

    // The sound server is away far longer than a restart takes (a crash, a
    // hung session): the armed alarm fires, and when the server is back
    // capture resumes by itself and the loud programme keeps alarms away.
    stopSoundServer();
    const qsizetype arrivals = m_peer.arrivals().size();
    QVERIFY2(m_peer.waitForArrivals(arrivals + 1, 10000), "no alarm with the sound server gone");
    QTest::qWait(6000);
    QVERIFY(startSoundServer());
    QVERIFY2(waitForCapture(20000), "capture did not resume after a long sound-server outage");
    QTest::qWait(1500);
    m_peer.send("SN_AUTO", m_hostPort);
    QCOMPARE(alarmsDuring(5000), qsizetype(0));
    QVERIFY(sondral->isRunning());
}

void TstFaults::startedBeforeSoundServer() {
    // A monitoring PC that starts sondral at boot, ahead of the sound
    // server: start-up goes on without a word, and capture begins by itself
    // once the server answers.
    m_hostPort = UdpPorts::freePort();
    stopSoundServer();
    SondralInstance* sondral = launch(QStringLiteral("early"), Audio + linkTo(m_peer.port()));
    QVERIFY(sondral);
    QTest::qWait(5000);
    QVERIFY(startSoundServer());
    QVERIFY2(waitForCapture(10000), "capture did not start when the sound server appeared");
    QTest::qWait(1500);
    m_peer.send("SN_AUTO", m_hostPort);
    QCOMPARE(alarmsDuring(5000), qsizetype(0)); // the programme is loud

    // And it watches: dead air raises the alarm.
    programme().silence();
    const qsizetype arrivals = m_peer.arrivals().size();
    QVERIFY2(m_peer.waitForArrivals(arrivals + 1, 8000), "no alarm on dead air");
    QVERIFY(sondral->isRunning());
    QCOMPARE(sondral->messages().first(), QStringLiteral("Program started Up"));
}

void TstFaults::stopSoundServer() {
    programme().stop();
    QFile pidFile(m_dir.filePath(QStringLiteral("pulse/pulse.pid")));
    const qint64 pid =
        pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toLongLong() : 0;
    m_pulse.stop();
    // The next server must not find the old one still holding the socket.
    QElapsedTimer t;
    t.start();
    while (pid > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid)) && t.elapsed() < 5000)
        QTest::qWait(50);
}

bool TstFaults::startSoundServer() {
    if (!m_pulse.start(m_dir.filePath(QStringLiteral("pulse"))))
        return false;
    return startPlayer();
}

bool TstFaults::startPlayer() {
    m_player = std::make_unique<TonePlayer>();
    if (!m_player->start(m_pulse.environment()))
        return false;
    m_player->tone(-12);
    return true;
}

QPair<int, QByteArray> TstFaults::healthz(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {0, {}};
    socket.write("GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(2000))
        answer += socket.readAll();
    const qsizetype body = answer.indexOf("\r\n\r\n");
    if (!answer.startsWith("HTTP/1.1 ") || body < 0)
        return {0, answer};
    return {answer.mid(9, 3).toInt(), answer.mid(body + 4)};
}

// Another program holds HostPort at the start: Sondral captures and says why
// it cannot monitor (/healthz 503 with the port), tries the port again by
// itself, and once the other program lets go it receives and is healthy.
void TstFaults::localPortTakenThenFreed() {
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress));
    m_hostPort = other.localPort();
    QTcpServer probe; // a TCP port for the status page that is free now
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 statusPort = probe.serverPort();
    probe.close();
    SondralInstance* sondral =
        launch(QStringLiteral("port"), Audio + linkTo(m_peer.port()) + "[Status]\r\nPort=" +
                                           QByteArray::number(statusPort) + "\r\n");
    QVERIFY2(sondral, "start-up did not go on with the port taken");
    // The meters run: the capture stream is open on the sound server.
    QVERIFY(waitForCapture(5000));
    QVERIFY(sondral->output().contains(QStringLiteral("trying again every 5 s")));
    const QByteArray taken = "the UDP port " + QByteArray::number(m_hostPort) +
                             " for the server's datagrams cannot be bound";
    QTRY_VERIFY_WITH_TIMEOUT(healthz(statusPort).second.contains(taken), 5000);
    QCOMPARE(healthz(statusPort).first, 503);

    other.close();
    QTRY_COMPARE_WITH_TIMEOUT(healthz(statusPort).first, 200, 5000 + UdpLinkRetrySlackMs);
    QVERIFY(sondral->output().contains(QStringLiteral("bound after all")));
    m_peer.send("SN_AUTO", m_hostPort);
    QVERIFY(sondral->waitForMessage(QStringLiteral("Server Running AUTO"), 1, 5000));
    QVERIFY(sondral->terminate());
    QCOMPARE(sondral->messages(), (QStringList{QStringLiteral("Program started Up"),
                                               QStringLiteral("Server Running AUTO"),
                                               QStringLiteral("Program Closed")}));
}

QTEST_GUILESS_MAIN(TstFaults)
#include "tst_faults.moc"
