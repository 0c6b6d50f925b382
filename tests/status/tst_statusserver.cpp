#include "core/station.h"
#include "status/statusboard.h"
#include "status/statuspublisher.h"
#include "status/statusservice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

namespace {

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Reply {
    int status = 0; // 0: no answer, the connection closed
    QByteArray head;
    QByteArray body;
};

// Reads one answer: the head, then Content-Length bytes (none for HEAD).
Reply readReply(QTcpSocket& socket, bool headOnly = false, int timeoutMs = 3000) {
    QByteArray buffer;
    Reply r;
    QElapsedTimer clock;
    clock.start();
    qsizetype headEnd = -1;
    qint64 length = -1;
    while (clock.elapsed() < timeoutMs) {
        if (headEnd < 0 && (headEnd = buffer.indexOf("\r\n\r\n")) >= 0) {
            r.head = buffer.left(headEnd);
            r.status = r.head.mid(9, 3).toInt();
            length = 0;
            for (const QByteArray& line : r.head.split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (headOnly)
                length = 0;
        }
        if (headEnd >= 0 && buffer.size() - headEnd - 4 >= length) {
            r.body = buffer.mid(headEnd + 4, length);
            return r;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        socket.waitForReadyRead(100);
        buffer += socket.readAll();
    }
    return {};
}

Reply request(quint16 port, const QByteArray& raw, bool headOnly = false) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write(raw);
    socket.waitForBytesWritten(2000);
    return readReply(socket, headOnly);
}

QByteArray get(const QByteArray& method, const QByteArray& path) {
    return method + ' ' + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

} // namespace

class TestStatusServer : public QObject {
    Q_OBJECT

    StatusBoard m_board;
    StatusService m_service{m_board};
    // The clip folder served: two clips, and what else may lie beside them.
    QTemporaryDir m_clips;
    const QByteArray m_clipBytes = QByteArray("fLaC") + QByteArray(100000, '\x5a');

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(QDir(m_clips.path()).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    void publishFresh() {
        StatusSnapshot snap;
        snap.name = QStringLiteral("Noord");
        snap.publishedMs = monotonicMs();
        snap.state.capture.sinceMs = snap.publishedMs; // just started, not late yet
        m_board.publish(snap, QDateTime::currentMSecsSinceEpoch());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_clips.isValid());
        writeFile(QStringLiteral("2026-12-09_03-12-45_AUTO.flac"), m_clipBytes);
        writeFile(QStringLiteral("2026-12-09_03-12-45_FEED_2-2.flac"), "fLaC2");
        writeFile(QStringLiteral("2026-12-10_01-00-00_LIVE.flac.part"), "half");
        writeFile(QStringLiteral("notes.flac"), "x");
        QVERIFY(QFile::link(
            QStringLiteral("/etc/hostname"),
            QDir(m_clips.path()).filePath(QStringLiteral("2026-12-11_00-00-00_AUTO.flac"))));
        m_service.setClipFolder(m_clips.path());
        QVERIFY2(m_service.start(QStringLiteral("127.0.0.1"), 0),
                 qPrintable(m_service.errorString()));
        QVERIFY(m_service.port() > 0);
    }

    void init() { publishFresh(); }

    // Read-only: GET and HEAD on its paths; any other method 405 with
    // Allow, any other path 404, the query ignored, nothing from files.
    void requests_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body"); // a part of it
        QTest::newRow("page") << QByteArray("GET") << QByteArray("/") << 200
                              << QByteArray("text/html") << QByteArray("status.json");
        QTest::newRow("json") << QByteArray("GET") << QByteArray("/status.json?x=1") << 200
                              << QByteArray("application/json") << QByteArray("\"Noord\"");
        QTest::newRow("timeline") << QByteArray("GET") << QByteArray("/timeline.json") << 200
                                  << QByteArray("application/json") << QByteArray("minutes");
        QTest::newRow("metrics") << QByteArray("GET") << QByteArray("/metrics") << 200
                                 << QByteArray("text/plain; version=0.0.4")
                                 << QByteArray("# TYPE sondral_alarm_active gauge");
        QTest::newRow("health") << QByteArray("GET") << QByteArray("/healthz") << 200
                                << QByteArray("text/plain") << QByteArray("ok");
        QTest::newRow("post") << QByteArray("POST") << QByteArray("/metrics") << 405
                              << QByteArray("text/plain") << QByteArray();
        QTest::newRow("put") << QByteArray("PUT") << QByteArray("/healthz") << 405
                             << QByteArray("text/plain") << QByteArray();
        QTest::newRow("delete") << QByteArray("DELETE") << QByteArray("/") << 405
                                << QByteArray("text/plain") << QByteArray();
        QTest::newRow("unknown") << QByteArray("GET") << QByteArray("/sondral.ini") << 404
                                 << QByteArray("text/plain") << QByteArray();
        QTest::newRow("climbing out") << QByteArray("GET") << QByteArray("/../../etc/passwd") << 404
                                      << QByteArray("text/plain") << QByteArray();
        QTest::newRow("post elsewhere") << QByteArray("POST") << QByteArray("/x") << 404
                                        << QByteArray("text/plain") << QByteArray();
    }

    void requests() {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        const Reply r = request(m_service.port(), get(method, path));
        QCOMPARE(r.status, status);
        QVERIFY2(r.head.contains("Content-Type: " + type), r.head.constData());
        QVERIFY(r.body.contains(body));
        if (status == 405)
            QVERIFY(r.head.contains("Allow: GET, HEAD"));
    }

    // The clips are served as they lie on disk, and nothing else from the
    // folder is: not a clip being written, not a file of another name, not a
    // link (it may point anywhere), not a path that climbs out.
    void clipRequests_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("clip") << QByteArray("GET")
                              << QByteArray("/clips/2026-12-09_03-12-45_AUTO.flac") << 200;
        QTest::newRow("clip head")
            << QByteArray("HEAD") << QByteArray("/clips/2026-12-09_03-12-45_AUTO.flac") << 200;
        QTest::newRow("post") << QByteArray("POST")
                              << QByteArray("/clips/2026-12-09_03-12-45_AUTO.flac") << 405;
        QTest::newRow("delete") << QByteArray("DELETE")
                                << QByteArray("/clips/2026-12-09_03-12-45_AUTO.flac") << 405;
        QTest::newRow("no such clip")
            << QByteArray("GET") << QByteArray("/clips/2026-12-09_03-12-46_AUTO.flac") << 404;
        QTest::newRow("being written")
            << QByteArray("GET") << QByteArray("/clips/2026-12-10_01-00-00_LIVE.flac.part") << 404;
        QTest::newRow("other name") << QByteArray("GET") << QByteArray("/clips/notes.flac") << 404;
        QTest::newRow("link") << QByteArray("GET")
                              << QByteArray("/clips/2026-12-11_00-00-00_AUTO.flac") << 404;
        QTest::newRow("climbing out")
            << QByteArray("GET") << QByteArray("/clips/../2026-12-09_03-12-45_AUTO.flac") << 404;
        QTest::newRow("encoded climb")
            << QByteArray("GET") << QByteArray("/clips/..%2F..%2Fetc%2Fpasswd") << 404;
        QTest::newRow("the folder") << QByteArray("GET") << QByteArray("/clips/") << 404;
    }

    void clipRequests() {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        const bool head = method == "HEAD";
        const Reply r = request(m_service.port(), get(method, path), head);
        QCOMPARE(r.status, status);
        if (status != 200)
            return;
        QVERIFY2(r.head.contains("Content-Type: audio/flac"), r.head.constData());
        QVERIFY(r.head.contains("Content-Length: " + QByteArray::number(m_clipBytes.size())));
        QCOMPARE(r.body, head ? QByteArray() : m_clipBytes);
    }

    // /clips.json lists the clip files only, newest first, with a path the
    // page can fetch; a clip deleted since is gone from it.
    void clipList() {
        const auto names = [this] {
            const Reply r = request(m_service.port(), get("GET", "/clips.json"));
            QStringList out;
            for (const QJsonValue& v :
                 QJsonDocument::fromJson(r.body).object().value(u"clips").toArray())
                out << v.toObject().value(u"url").toString();
            return out;
        };
        QCOMPARE(names(), QStringList({QStringLiteral("clips/2026-12-09_03-12-45_FEED_2-2.flac"),
                                       QStringLiteral("clips/2026-12-09_03-12-45_AUTO.flac")}));
        writeFile(QStringLiteral("2026-12-12_08-00-00_FEED_1.flac"), "fLaC3");
        QCOMPARE(names().size(), 3);
        QVERIFY(QFile::remove(
            QDir(m_clips.path()).filePath(QStringLiteral("2026-12-12_08-00-00_FEED_1.flac"))));
        QCOMPARE(names().size(), 2);
    }

    // HEAD: the head a GET would get, and no body on the wire; the next
    // request on the same connection is answered.
    void headThenGetOnOneConnection() {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_service.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(get("HEAD", "/metrics"));
        const Reply head = readReply(socket, true);
        QCOMPARE(head.status, 200);
        socket.write(get("GET", "/metrics"));
        const Reply full = readReply(socket);
        QCOMPARE(full.status, 200);
        QVERIFY(full.body.startsWith("# HELP")); // nothing of the HEAD came before it
        QVERIFY(head.head.contains("Content-Length: " + QByteArray::number(full.body.size())));
    }

    // A client that reads to the end of the connection (check_http speaks
    // HTTP/1.0) gets it ended with the answer, not after the idle time.
    void closeAfterAnswer_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("closes");
        QTest::newRow("HTTP/1.0") << QByteArray("GET /healthz HTTP/1.0\r\n\r\n") << true;
        QTest::newRow("HTTP/1.0 keep-alive")
            << QByteArray("GET /healthz HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << false;
        QTest::newRow("HTTP/1.1 close")
            << QByteArray("GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n") << true;
        QTest::newRow("HTTP/1.1") << QByteArray("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n")
                                  << false;
    }

    void closeAfterAnswer() {
        QFETCH(QByteArray, raw);
        QFETCH(bool, closes);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_service.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(raw);
        const Reply r = readReply(socket);
        QCOMPARE(r.status, 200);
        QCOMPARE(r.head.contains("Connection: close"), closes);
        const bool ended =
            socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(1000);
        QCOMPARE(ended, closes);
    }

    // The health check turns 503 with the reason while the alarm stands.
    void healthOnAlarm() {
        StatusSnapshot snap;
        snap.publishedMs = monotonicMs();
        snap.state.capture.sinceMs = snap.publishedMs;
        snap.state.shown.phase = StationPhase::Alarm;
        snap.state.lastAlarm = QDateTime::currentDateTimeUtc();
        m_board.publish(snap, QDateTime::currentMSecsSinceEpoch());
        const Reply r = request(m_service.port(), get("GET", "/healthz"));
        QCOMPARE(r.status, 503);
        QVERIFY(r.body.startsWith("dead air: the alarm stands since "));
    }

    void requestHeadLimit_data() {
        QTest::addColumn<int>("padding");
        QTest::addColumn<int>("status");
        QTest::newRow("7 KB head") << 7000 << 200;
        QTest::newRow("9 KB head") << 9000 << 431;
    }

    void requestHeadLimit() {
        QFETCH(int, padding);
        QFETCH(int, status);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_service.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write("GET /healthz HTTP/1.1\r\nX-Pad: " + QByteArray(padding, 'a') + "\r\n\r\n");
        const Reply r = readReply(socket);
        QCOMPARE(r.status, status);
        if (status == 431) {
            // and closed
            QVERIFY(socket.state() == QAbstractSocket::UnconnectedState ||
                    socket.waitForDisconnected(2000));
        }
    }

    // The server's thread answers while the UI thread does not run its
    // event loop at all.
    void answersWhileUiThreadIsBusy() {
        qint64 answeredAfterMs = -1;
        int status = 0;
        QElapsedTimer clock;
        clock.start();
        std::thread client([&] {
            status = request(m_service.port(), get("GET", "/status.json")).status;
            answeredAfterMs = clock.elapsed();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the UI thread, held
        client.join();
        QCOMPARE(status, 200);
        QVERIFY2(answeredAfterMs < 1000, qPrintable(QString::number(answeredAfterMs)));
    }

    void bindFailures() {
        StatusBoard board;
        StatusService second(board);
        QVERIFY(!second.start(QStringLiteral("127.0.0.1"), m_service.port()));
        QVERIFY(!second.errorString().isEmpty());
        QVERIFY(!second.start(QStringLiteral("status.example"), 0));
        QCOMPARE(second.errorString(), QStringLiteral("\"status.example\" is not an address"));
        // The first one serves on.
        QCOMPARE(request(m_service.port(), get("GET", "/healthz")).status, 200);
    }

    // One more connection than the limit takes the place of the one that
    // made progress longest ago; silent connections go after idleMs.
    void connectionLimitAndIdle() {
        StatusBoard board;
        StatusService small(board, StatusListener::Limits{3, 8192, 600});
        QVERIFY(small.start(QStringLiteral("127.0.0.1"), 0));
        std::vector<std::unique_ptr<QTcpSocket>> open;
        for (int i = 0; i < 3; ++i) {
            open.push_back(std::make_unique<QTcpSocket>());
            open.back()->connectToHost(QHostAddress::LocalHost, small.port());
            QVERIFY(open.back()->waitForConnected(2000));
            open.back()->write(get("GET", "/metrics"));
            QCOMPARE(readReply(*open.back()).status, 200);
        }
        QCOMPARE(request(small.port(), get("GET", "/metrics")).status, 200);
        QVERIFY(open[0]->state() == QAbstractSocket::UnconnectedState ||
                open[0]->waitForDisconnected(1000));
        QCOMPARE(open[1]->state(), QAbstractSocket::ConnectedState);

        // The two left, silent since their answers, are closed by the server.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(open[1]->state() == QAbstractSocket::UnconnectedState ||
                open[1]->waitForDisconnected(3000));
        QVERIFY(clock.elapsed() < 3000);
    }

    // The page fetching its state at its own pace counts as someone
    // watching the meters; a scrape of the metrics, or one look at the
    // JSON, does not.
    void pageFetchesAreWatching() {
        Station station;
        StatusBoard board;
        StatusService service(board);
        QVERIFY(service.start(QStringLiteral("127.0.0.1"), 0));
        StatusPublisher publisher(station, board, QStringLiteral("Noord"), {});
        QSignalSpy watched(&publisher, &StatusPublisher::watchedChanged);
        publisher.start();
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(request(service.port(), get("GET", "/metrics")).status, 200);
            QTest::qWait(150);
        }
        QCOMPARE(request(service.port(), get("GET", "/status.json")).status, 200);
        QTest::qWait(300);
        QVERIFY(watched.isEmpty());
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(request(service.port(), get("GET", "/status.json")).status, 200);
            QTest::qWait(150);
        }
        QCOMPARE(watched.size(), 1);
        QCOMPARE(watched.last().at(0).toBool(), true);
        QVERIFY(watched.wait(2000));
        QCOMPARE(watched.last().at(0).toBool(), false);
        // What the page got came from the station through the publisher.
        station.publish(StationEvent::Kind::RunStarted, QStringLiteral("Program started Up"));
        const Reply r = request(service.port(), get("GET", "/status.json"));
        QVERIFY(r.body.contains("Program started Up"));
    }
};

QTEST_GUILESS_MAIN(TestStatusServer)
#include "tst_statusserver.moc"
