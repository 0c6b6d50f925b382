// The real sondral under a stand-in service manager: a notification socket of
// the test's own (NOTIFY_SOCKET) and a 2 s watchdog (WATCHDOG_USEC). It must
// say READY=1 once after start-up, ping WATCHDOG=1 well within the interval,
// and say STOPPING=1 on SIGTERM; a program that stands still (stopped by
// SIGSTOP, every thread at once) sends no ping, and pings again once it
// goes on. It runs without DISPLAY and without QT_QPA_PLATFORM, as a user
// service does, and its event-log lines must reach standard error with their
// journal priorities.

#include "support/sondralinstance.h"
#include "support/udpports.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int WatchdogMs = 2000;

struct Notification {
    qint64 atMs;
    QByteArray state; // one "KEY=value" line
};

// A datagram socket bound to a path, as the service manager's is.
class NotifySocket {
public:
    ~NotifySocket() {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool bind(const QString& path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        if (m_fd < 0 || size_t(p.size()) >= sizeof(address.sun_path))
            return false;
        std::memcpy(address.sun_path, p.constData(), size_t(p.size()));
        m_clock.start();
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            return false;
        // Read as datagrams arrive, so that each gets its arrival time.
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { read(); });
        return true;
    }
    void read() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (n < 0)
                return;
            for (const QByteArray& line : QByteArray(buffer, n).split('\n')) {
                if (!line.isEmpty())
                    m_received.append({m_clock.elapsed(), line});
            }
        }
    }
    QList<Notification> received(const QByteArray& state) {
        read();
        QList<Notification> result;
        for (const Notification& n : m_received) {
            if (n.state == state)
                result.append(n);
        }
        return result;
    }
    // Spins the event loop until `state` has come `count` times.
    bool waitFor(const QByteArray& state, qsizetype count, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (received(state).size() < count && timer.elapsed() < timeoutMs)
            QTest::qWait(20);
        return received(state).size() >= count;
    }
    qint64 nowMs() const { return m_clock.elapsed(); }

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QElapsedTimer m_clock;
    QList<Notification> m_received;
};

// The longest time without a ping between `fromMs` and `toMs`.
qint64 longestGap(const QList<Notification>& pings, qint64 fromMs, qint64 toMs) {
    qint64 last = fromMs;
    qint64 gap = 0;
    for (const Notification& n : pings) {
        if (n.atMs < fromMs || n.atMs > toMs)
            continue;
        gap = qMax(gap, n.atMs - last);
        last = n.atMs;
    }
    return qMax(gap, toMs - last);
}

} // namespace

class TstServiceNotify : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readyWatchdogStoppingAndJournal();
    void stoppedProgramSendsNoPings();

private:
    // Starts sondral in a folder of its own with a sondral.ini linked to
    // m_peer, under the stand-in manager, and waits for READY=1; returns
    // the time it came.
    qint64 startUntilReady();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<NotifySocket> m_notify;
    std::unique_ptr<SondralInstance> m_sondral;
    QUdpSocket m_peer; // stands in for the server: receives the alarm
    quint16 m_hostPort = 0;
};

void TstServiceNotify::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_notify = std::make_unique<NotifySocket>();
    QVERIFY(m_peer.bind(QHostAddress::LocalHost, 0));
    m_hostPort = UdpPorts::freePort();
    QVERIFY(m_hostPort != 0);
}

void TstServiceNotify::cleanup() {
    if (m_sondral) {
        if (QTest::currentTestFailed())
            qWarning("sondral printed:\n%s", qPrintable(m_sondral->output()));
        m_sondral->sendSignal(SIGCONT); // a failed check may leave it stopped
        m_sondral.reset();
    }
    m_peer.close();
    m_notify.reset();
    m_dir.reset();
}

qint64 TstServiceNotify::startUntilReady() {
    m_sondral = std::make_unique<SondralInstance>(m_dir->path());
    m_sondral->writeIni(
        QStringLiteral("[Audio]\r\nLog=1\r\nAutoVol=20\r\nAutoTime=1\r\n[InterPC]\r\n"
                       "RemoteName=127.0.0.1\r\nRemotePort=%1\r\nHostPort=%2\r\n")
            .arg(m_peer.localPort())
            .arg(m_hostPort)
            .toLatin1());
    const QString socketPath = m_dir->filePath(QStringLiteral("notify"));
    if (!m_notify->bind(socketPath))
        return -1;
    // As under a user service manager: no display, no Qt platform chosen.
    QProcessEnvironment manager;
    manager.insert(QStringLiteral("NOTIFY_SOCKET"), socketPath);
    manager.insert(QStringLiteral("WATCHDOG_USEC"), QString::number(WatchdogMs * 1000));
    if (!m_sondral->start(manager, SondralInstance::Platform::Unchosen) ||
        !m_notify->waitFor("READY=1", 1, 15000))
        return -1;
    return m_notify->received("READY=1").first().atMs;
}

void TstServiceNotify::readyWatchdogStoppingAndJournal() {
    const qint64 readyAt = startUntilReady();
    QVERIFY(readyAt >= 0);

    // The event-log lines on standard error, with the priority the journal
    // reads: start-up a notice, a source change informational, the alarm
    // (the programme is silent: no capture source plays anything) critical.
    QVERIFY(m_sondral->waitForOutput(QStringLiteral("  Program started Up\n"), 5000));
    QUdpSocket server;
    server.writeDatagram("SN_AUTO", QHostAddress::LocalHost, m_hostPort);
    QVERIFY(m_sondral->waitForOutput(QStringLiteral("  Server Running AUTO\n"), 5000));
    QVERIFY(m_sondral->waitForOutput(QStringLiteral("  SONDRAL ACTIVATED\n"), 10000));
    for (const QString& line : m_sondral->output().split(u'\n')) {
        if (line.endsWith(QLatin1String("  Program started Up")))
            QVERIFY2(line.startsWith(QLatin1String("<5>")), qPrintable(line));
        if (line.endsWith(QLatin1String("  Server Running AUTO")))
            QVERIFY2(line.startsWith(QLatin1String("<6>")), qPrintable(line));
        if (line.endsWith(QLatin1String("  SONDRAL ACTIVATED")))
            QVERIFY2(line.startsWith(QLatin1String("<2>")), qPrintable(line));
    }

    // Pings for a few intervals: never a gap the manager would kill for,
    // and about one per half interval.
    QTest::qWait(3 * WatchdogMs);
    const QList<Notification> pings = m_notify->received("WATCHDOG=1");
    const qint64 now = m_notify->nowMs();
    QVERIFY2(longestGap(pings, readyAt, now) < WatchdogMs,
             qPrintable(QStringLiteral("gap %1 ms").arg(longestGap(pings, readyAt, now))));
    QVERIFY(pings.size() >= (now - readyAt) / (WatchdogMs / 2) - 1);

    QVERIFY(m_sondral->terminate(10000));
    QCOMPARE(m_sondral->exitStatus(), QProcess::NormalExit);
    QVERIFY(m_notify->waitFor("STOPPING=1", 1, 1000));
    QCOMPARE(m_notify->received("READY=1").size(), 1);
    QCOMPARE(m_notify->received("STOPPING=1").size(), 1);
    // Nothing after the stop announcement.
    const qint64 stoppingAt = m_notify->received("STOPPING=1").first().atMs;
    for (const Notification& n : m_notify->received("WATCHDOG=1"))
        QVERIFY(n.atMs <= stoppingAt);
}

void TstServiceNotify::stoppedProgramSendsNoPings() {
    const qint64 readyAt = startUntilReady();
    QVERIFY(readyAt >= 0);
    QVERIFY(m_notify->waitFor("WATCHDOG=1", 2, 3 * WatchdogMs));

    // Standing still for twice the interval, as a hung program would: the
    // manager would kill it. Nothing in it runs, so nothing may ping.
    QVERIFY(m_sondral->sendSignal(SIGSTOP));
    const qint64 stoppedAt = m_notify->nowMs();
    QTest::qWait(2 * WatchdogMs);
    const qint64 continuedAt = m_notify->nowMs();
    QVERIFY(m_sondral->sendSignal(SIGCONT));
    QTest::qWait(2 * WatchdogMs);
    const qint64 now = m_notify->nowMs();

    const QList<Notification> pings = m_notify->received("WATCHDOG=1");
    qsizetype whileStopped = 0;
    for (const Notification& n : pings) {
        // A ping already on its way when the signal came may still land.
        if (n.atMs > stoppedAt + 100 && n.atMs < continuedAt)
            ++whileStopped;
    }
    QCOMPARE(whileStopped, 0);
    // Going on, it pings again before the manager's interval is out, and
    // keeps pinging: its timers survived the stand-still.
    QVERIFY2(
        longestGap(pings, continuedAt, now) < WatchdogMs,
        qPrintable(
            QStringLiteral("gap %1 ms after SIGCONT").arg(longestGap(pings, continuedAt, now))));
    QVERIFY(m_sondral->isRunning());
}

QTEST_GUILESS_MAIN(TstServiceNotify)
#include "tst_servicenotify.moc"
