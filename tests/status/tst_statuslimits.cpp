#include "status/statusboard.h"
#include "status/statusservice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <vector>

// The status server against hostile clients, over loopback: what it holds
// per connection stays bounded, slow clients are closed at their deadlines,
// every error answer ends the connection, and a new client is answered at
// once whatever the other connections do.

namespace {

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const QString ClipName = QStringLiteral("2026-12-09_03-12-45_AUTO.flac");
constexpr qint64 ClipBytes = qint64(8) * 1024 * 1024;

// The test process's peak resident memory, in bytes.
qint64 peakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// A client that never reads: a plain socket with a small receive buffer, so
// that what the server sends soon waits on it.
struct RawClient {
    int fd = -1;
    quint16 localPort = 0;

    explicit RawClient(quint16 port) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int size = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            return;
        sockaddr_in self{};
        socklen_t length = sizeof self;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length);
        localPort = ntohs(self.sin_port);
    }
    ~RawClient() { ::close(fd); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const QByteArray& bytes) const {
        return ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    // Whether the server's end of this connection is still established, as
    // the kernel lists it: the client never reads, so it cannot see the end.
    bool openAtServer(quint16 serverPort) const {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local =
            ':' + QByteArray::number(serverPort, 16).toUpper().rightJustified(4, '0');
        const QByteArray remote =
            ':' + QByteArray::number(localPort, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 3 && f[1].endsWith(local) && f[2].endsWith(remote))
                return f[3] == "01";
        }
        return false;
    }
};

struct Reply {
    int status = 0; // 0: none
    QByteArray body;
};

// Reads one answer with its Content-Length body.
Reply readReply(QTcpSocket& socket, int timeoutMs = 3000) {
    QByteArray buffer;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = buffer.left(end);
            qint64 length = 0;
            for (const QByteArray& line : head.split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (buffer.size() - end - 4 >= length)
                return {head.mid(9, 3).toInt(), buffer.mid(end + 4, length)};
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        socket.waitForReadyRead(50);
        buffer += socket.readAll();
    }
    return {};
}

QByteArray get(const QByteArray& method, const QByteArray& path) {
    return method + ' ' + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

} // namespace

class TestStatusLimits : public QObject {
    Q_OBJECT

    StatusBoard m_board;
    QTemporaryDir m_clips;
    std::unique_ptr<StatusService> m_service;

    // A service of its own with these limits, serving the clip folder.
    std::unique_ptr<StatusService> serve(StatusListener::Limits limits) {
        auto service = std::make_unique<StatusService>(m_board, limits);
        service->setClipFolder(m_clips.path());
        if (!service->start(QStringLiteral("127.0.0.1"), 0))
            return nullptr;
        return service;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_clips.isValid());
        // Written a piece at a time: the test's own peak memory stays low.
        QFile clip(QDir(m_clips.path()).filePath(ClipName));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        const QByteArray piece(64 * 1024, '\x5a');
        for (qint64 written = 0; written < ClipBytes; written += piece.size())
            QCOMPARE(clip.write(piece), piece.size());
        clip.close();
        StatusSnapshot snap;
        snap.publishedMs = monotonicMs();
        m_board.publish(snap, QDateTime::currentMSecsSinceEpoch());
    }

    void init() {
        // A capture that has just started: /healthz answers 200 for the
        // next 3 s, long enough for each case.
        StatusSnapshot snap;
        snap.publishedMs = monotonicMs();
        snap.state.capture.sinceMs = snap.publishedMs;
        m_board.publish(snap, QDateTime::currentMSecsSinceEpoch());
    }

    // Each error answer is the last on its connection.
    void errorAnswerCloses_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("status");
        QTest::newRow("head too long")
            << "GET /healthz HTTP/1.1\r\nX-Pad: " + QByteArray(9000, 'a') + "\r\n\r\n"
            << 431;
        QTest::newRow("no request line") << QByteArray("HELLO\r\n\r\n") << 400;
        QTest::newRow("not HTTP/1") << QByteArray("GET / SPDY/3\r\n\r\n") << 400;
        QTest::newRow("header without colon")
            << QByteArray("GET / HTTP/1.1\r\nHost x\r\n\r\n") << 400;
        QTest::newRow("chunked body")
            << QByteArray("POST /metrics HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << 400;
        QTest::newRow("body too large")
            << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 100000\r\n\r\n") << 413;
        QTest::newRow("head never ends")
            << QByteArray("GET /healthz HTTP/1.1\r\nHost: x\r\n") << 408;
    }

    void errorAnswerCloses() {
        QFETCH(QByteArray, raw);
        QFETCH(int, status);
        const auto service = serve({64, 8192, 5000, 400});
        QVERIFY(service);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service->port());
        QVERIFY(socket.waitForConnected(2000));
        // and a request after it, which is never answered (a head that never
        // ends takes it in)
        socket.write(status == 408 ? raw : raw + get("GET", "/healthz"));
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT(
            (answer += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState),
            3000);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status)), answer.constData());
        QCOMPARE(answer.count("HTTP/1.1"), 1);
        QVERIFY(answer.contains("Connection: close"));
    }

    // Clip requests pipelined on a connection that never reads: the server
    // holds a bounded buffer, never the clips, and closes the connection
    // once it makes no progress.
    void clipsToAClientThatNeverReads_data() {
        QTest::addColumn<int>("requests");
        QTest::newRow("4 clips") << 4;
        QTest::newRow("60 clips") << 60;
    }

    void clipsToAClientThatNeverReads() {
        QFETCH(int, requests);
        const auto service = serve({64, 8192, 500, 500});
        QVERIFY(service);
        const qint64 before = peakResidentBytes();
        RawClient client(service->port());
        QVERIFY(client.localPort != 0);
        QByteArray pipeline;
        for (int i = 0; i < requests; ++i)
            pipeline += get("GET", "/clips/" + ClipName.toLatin1());
        QVERIFY(client.send(pipeline));
        QTRY_VERIFY_WITH_TIMEOUT(client.openAtServer(service->port()), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!client.openAtServer(service->port()), 5000);
        [[maybe_unused]] const qint64 grown = peakResidentBytes() - before;
#ifndef __SANITIZE_ADDRESS__
        // (AddressSanitizer keeps freed memory in quarantine: there the peak
        // says nothing about what a connection holds.)
        QVERIFY2(grown < ClipBytes, qPrintable(QString::number(grown)));
#endif
    }

    // A head sent a byte at a time is answered 408 at its deadline from the
    // first byte, however short the pauses between its bytes.
    void tricklingHeadMeetsItsDeadline_data() {
        QTest::addColumn<int>("everyMs");
        QTest::newRow("a byte every 30 ms") << 30;
        QTest::newRow("a byte every 150 ms") << 150;
    }

    void tricklingHeadMeetsItsDeadline() {
        QFETCH(int, everyMs);
        const qint64 deadlineMs = 800;
        const auto service = serve({64, 8192, 600, deadlineMs});
        QVERIFY(service);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service->port());
        QVERIFY(socket.waitForConnected(2000));
        const QByteArray head = "GET /healthz HTTP/1.1\r\nX-Slow: " + QByteArray(200, 'a');
        qsizetype sent = 0;
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, &socket, [&] {
            if (sent < head.size() && socket.state() == QAbstractSocket::ConnectedState)
                socket.write(head.mid(sent++, 1));
        });
        QElapsedTimer clock;
        clock.start();
        trickle.start(everyMs);
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT(
            (answer += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState),
            5000);
        const qint64 closedAfterMs = clock.elapsed();
        QVERIFY2(answer.startsWith("HTTP/1.1 408"), answer.constData());
        QVERIFY2(closedAfterMs >= deadlineMs && closedAfterMs < deadlineMs + 700,
                 qPrintable(QString::number(closedAfterMs)));
    }

    // Pipelined requests are answered one after another, in order, a small
    // body skipped; a clip among them streams whole before the next, while
    // the 30 KB of requests behind it wait unread and are answered after.
    void pipelinedAnsweredInOrder() {
        const auto service = serve({});
        QVERIFY(service);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service->port());
        QVERIFY(socket.waitForConnected(2000));
        const QByteArray padded =
            "GET /healthz HTTP/1.1\r\nX-Pad: " + QByteArray(1000, 'p') + "\r\n\r\n";
        socket.write(get("GET", "/healthz") +
                     "POST /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello" +
                     get("GET", "/clips/" + ClipName.toLatin1()) + get("HEAD", "/metrics") +
                     get("GET", "/nothing") + padded.repeated(30));
        QByteArray all;
        QTRY_VERIFY_WITH_TIMEOUT((all += socket.readAll(), all.count("HTTP/1.1 ") >= 35), 20000);
        QList<int> statuses;
        for (qsizetype at = 0; (at = all.indexOf("HTTP/1.1 ", at)) >= 0; at += 9)
            statuses << all.mid(at + 9, 3).toInt();
        QCOMPARE(statuses, QList<int>({200, 405, 200, 200, 404}) + QList<int>(30, 200));
        const qsizetype clipAt = all.indexOf("audio/flac");
        QCOMPARE(all.indexOf("HTTP/1.1 200", clipAt) - all.indexOf("\r\n\r\n", clipAt) - 4,
                 ClipBytes);
    }

    // 64 hostile connections open: a new client gets /healthz at once.
    void newClientAnsweredBesideHostileOnes_data() {
        QTest::addColumn<QByteArray>("hostile");
        QTest::newRow("silent") << QByteArray();
        QTest::newRow("half a head") << QByteArray("GET /healthz HTTP/1.1\r\nX-Slow: a");
        QTest::newRow("clips never read")
            << QByteArray(get("GET", "/clips/" + ClipName.toLatin1()).repeated(20));
    }

    void newClientAnsweredBesideHostileOnes() {
        QFETCH(QByteArray, hostile);
        const auto service = serve({});
        QVERIFY(service);
        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 0; i < 64; ++i) {
            clients.push_back(std::make_unique<RawClient>(service->port()));
            QVERIFY(clients.back()->localPort != 0);
            if (!hostile.isEmpty())
                QVERIFY(clients.back()->send(hostile));
        }
        QTRY_VERIFY_WITH_TIMEOUT(clients.back()->openAtServer(service->port()), 2000);
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer clock;
            clock.start();
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, service->port());
            QVERIFY(socket.waitForConnected(1000));
            socket.write(get("GET", "/healthz"));
            QCOMPARE(readReply(socket, 1000).status, 200);
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        }
    }

    // A burst of new connections that send nothing pushes out each other,
    // not a client that is being served.
    void servedClientOutlastsABurst() {
        const auto service = serve({4});
        QVERIFY(service);
        QTcpSocket served;
        served.connectToHost(QHostAddress::LocalHost, service->port());
        QVERIFY(served.waitForConnected(2000));
        served.write(get("GET", "/healthz"));
        QCOMPARE(readReply(served).status, 200);
        std::vector<std::unique_ptr<RawClient>> burst;
        for (int i = 0; i < 12; ++i)
            burst.push_back(std::make_unique<RawClient>(service->port()));
        QTRY_VERIFY_WITH_TIMEOUT(!burst.front()->openAtServer(service->port()), 2000);
        served.write(get("GET", "/healthz"));
        QCOMPARE(readReply(served).status, 200);
    }
};

QTEST_GUILESS_MAIN(TestStatusLimits)
#include "tst_statuslimits.moc"
