// The real sondral under a stand-in service manager: a notification socket of
// the test's own (NOTIFY_SOCKET) and a 2 s watchdog (WATCHDOG_USEC). It must
// say READY=1 once after start-up, ping WATCHDOG=1 well within the interval,
// and say STOPPING=1 on SIGTERM; a UI thread blocked on purpose (the test
// build's hook) must stop the pings. It runs without DISPLAY and without
// QT_QPA_PLATFORM, as a user service does, and its event-log lines must reach
// standard error with their journal priorities.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

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

quint16 freeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

} // namespace

class TstServiceNotify : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readyWatchdogStoppingAndJournal();
    void blockedUiThreadStopsThePings();

private:
    // Copies the programs (or the test build as sondral) into a folder of its
    // own with a sondral.ini and starts it under the stand-in manager.
    bool start(const QString& sondral, const QStringList& extraEnvironment = {});
    QByteArray standardError() {
        m_stderr += m_process.readAllStandardError();
        return m_stderr;
    }
    bool waitForStandardError(const QByteArray& text, int timeoutMs);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<NotifySocket> m_notify;
    QProcess m_process;
    QByteArray m_stderr;
    QUdpSocket m_peer; // stands in for the server: receives the alarm
    quint16 m_hostPort = 0;
};

void TstServiceNotify::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_notify = std::make_unique<NotifySocket>();
    m_stderr.clear();
    QVERIFY(m_peer.bind(QHostAddress::LocalHost, 0));
    m_hostPort = freeUdpPort();
}

void TstServiceNotify::cleanup() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    m_peer.close();
    m_notify.reset();
    m_dir.reset();
}

bool TstServiceNotify::start(const QString& sondral, const QStringList& extraEnvironment) {
    const QString dir = m_dir->path();
    QFile list(QStringLiteral(SONDRAL_BUILD_DIR "/programs.txt"));
    if (!list.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : list.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line.trimmed());
        const QString from = name == QLatin1String("sondral")
                                 ? sondral
                                 : QStringLiteral(SONDRAL_BUILD_DIR "/") + name;
        if (!name.isEmpty() && QFile::exists(from) && !QFile::copy(from, dir + u'/' + name))
            return false;
    }
    QFile ini(dir + QStringLiteral("/sondral.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write(QStringLiteral("[Audio]\r\nLog=1\r\nAutoVol=20\r\nAutoTime=1\r\n[InterPC]\r\n"
                             "RemoteName=127.0.0.1\r\nRemotePort=%1\r\nHostPort=%2\r\n")
                  .arg(m_peer.localPort())
                  .arg(m_hostPort)
                  .toLatin1());
    ini.close();
    const QString socketPath = dir + QStringLiteral("/notify");
    if (!m_notify->bind(socketPath))
        return false;

    // As under a user service manager: no display, no Qt platform chosen.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WATCHDOG_PID"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), socketPath);
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QString::number(WatchdogMs * 1000));
    for (const QString& pair : extraEnvironment)
        environment.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(dir);
    m_process.start(dir + QStringLiteral("/sondral"), {});
    return m_process.waitForStarted(10000);
}

bool TstServiceNotify::waitForStandardError(const QByteArray& text, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!standardError().contains(text) && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return standardError().contains(text);
}

void TstServiceNotify::readyWatchdogStoppingAndJournal() {
    QVERIFY(start(QStringLiteral(SONDRAL_BUILD_DIR "/sondral")));
    QVERIFY2(m_notify->waitFor("READY=1", 1, 15000), standardError().constData());
    const qint64 readyAt = m_notify->received("READY=1").first().atMs;

    // The event-log lines on standard error, with the priority the journal
    // reads: start-up a notice, a source change informational, the alarm
    // (the programme is silent: no capture source plays anything) critical.
    QVERIFY2(waitForStandardError("  Program started Up\n", 5000), standardError().constData());
    QUdpSocket server;
    server.writeDatagram("SN_AUTO", QHostAddress::LocalHost, m_hostPort);
    QVERIFY2(waitForStandardError("  Server Running AUTO\n", 5000), standardError().constData());
    QVERIFY2(waitForStandardError("  SONDRAL ACTIVATED\n", 10000), standardError().constData());
    for (const QByteArray& line : standardError().split('\n')) {
        if (line.endsWith("  Program started Up"))
            QVERIFY2(line.startsWith("<5>"), line.constData());
        if (line.endsWith("  Server Running AUTO"))
            QVERIFY2(line.startsWith("<6>"), line.constData());
        if (line.endsWith("  SONDRAL ACTIVATED"))
            QVERIFY2(line.startsWith("<2>"), line.constData());
    }

    // Pings for a few intervals: never a gap the manager would kill for,
    // and about one per half interval.
    QTest::qWait(3 * WatchdogMs);
    const QList<Notification> pings = m_notify->received("WATCHDOG=1");
    const qint64 now = m_notify->nowMs();
    QVERIFY2(longestGap(pings, readyAt, now) < WatchdogMs,
             qPrintable(QStringLiteral("gap %1 ms").arg(longestGap(pings, readyAt, now))));
    QVERIFY(pings.size() >= (now - readyAt) / (WatchdogMs / 2) - 1);

    m_process.terminate();
    QVERIFY(m_process.waitForFinished(10000));
    QCOMPARE(m_process.exitStatus(), QProcess::NormalExit);
    QVERIFY(m_notify->waitFor("STOPPING=1", 1, 1000));
    QCOMPARE(m_notify->received("READY=1").size(), 1);
    QCOMPARE(m_notify->received("STOPPING=1").size(), 1);
    // Nothing after the stop announcement.
    const qint64 stoppingAt = m_notify->received("STOPPING=1").first().atMs;
    for (const Notification& n : m_notify->received("WATCHDOG=1"))
        QVERIFY(n.atMs <= stoppingAt);
}

void TstServiceNotify::blockedUiThreadStopsThePings() {
    // The test build blocks the UI thread 2 s after start-up, for 5 s.
    QVERIFY(start(QStringLiteral(SONDRAL_TESTHOOKS_EXECUTABLE),
                  {QStringLiteral("SONDRAL_TEST_BLOCK_UI_MS=5000")}));
    QVERIFY2(m_notify->waitFor("READY=1", 1, 15000), standardError().constData());
    const qint64 readyAt = m_notify->received("READY=1").first().atMs;
    QTest::qWait(9000);
    const QList<Notification> pings = m_notify->received("WATCHDOG=1");
    // The block is longer than the interval, so the manager would have
    // killed it; afterwards the pings resume, so it was the block.
    QVERIFY2(longestGap(pings, readyAt, m_notify->nowMs()) > WatchdogMs,
             qPrintable(QStringLiteral("longest gap %1 ms")
                            .arg(longestGap(pings, readyAt, m_notify->nowMs()))));
    QVERIFY(!pings.isEmpty() && pings.last().atMs > readyAt + 7000);
}

QTEST_GUILESS_MAIN(TstServiceNotify)
#include "tst_servicenotify.moc"
