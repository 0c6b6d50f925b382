// The stream input with real components on loopback: an Icecast server of
// the test's own (its configuration, ports and passwords written here, run
// as nobody through <changeowner>), fed by ffmpeg from lavfi, and tiny
// servers that misbehave. WaveIn captures the stream as the program does.

#include "audio/streamcapture.h"
#include "audio/wavein.h"
#include "support/icecastserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Answers every connection with a response's head, then the bytes given,
// then nothing more while the connection stays open (a server that hangs
// mid-stream), or closes it (a web server's page).
class StallingServer : public QTcpServer {
public:
    explicit StallingServer(QByteArray body, QByteArray type = "audio/mpeg", bool close = false)
        : m_body(std::move(body)), m_type(std::move(type)), m_close(close) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->property("answered").toBool()) {
                        socket->setProperty("answered", true);
                        socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + m_type + "\r\n\r\n");
                        socket->write(m_body);
                        if (m_close)
                            socket->disconnectFromHost();
                    }
                    socket->readAll();
                });
            }
        });
    }

private:
    QByteArray m_body;
    QByteArray m_type;
    bool m_close;
};

} // namespace

class TstStreamCapture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void icecastToneSilenceLossAndReturn();
    void oggOpusGivesLevels();
    void hlsGivesLevelsAndAStoppedPlaylistIsALoss();
    void udpMpegTsGivesLevelsAndSilenceOnTheWireIsALoss();
    void srtCallerGivesLevelsLosesTheListenerAndComesBack();
    void rtpL24DescribedBySdpGivesLevels();
    void badInputIsALossWithItsReason_data();
    void badInputIsALossWithItsReason();
    void stallAfterAudio();
    void closingDoesNotWaitOnTheNetwork();

private:
    QTemporaryDir m_dir;
};

void TstStreamCapture::initTestCase() {
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable(QStringLiteral("icecast2")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        QFAIL("icecast2 and ffmpeg are needed (scripts/packages.txt)");
}

void TstStreamCapture::icecastToneSilenceLossAndReturn() {
    QTemporaryDir folder;
    IcecastServer icecast(folder.path());
    QVERIFY(icecast.start());
    // Programme, then dead air in the same stream: 8 s of tone, then silence.
    QVERIFY(icecast.feed(QStringLiteral("sine=frequency=1000:sample_rate=48000:duration=8,apad")));

    WaveIn in;
    QSignalSpy started(&in, &WaveIn::deliveryStarted);
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    QSignalSpy restored(&in, &WaveIn::deviceRestored);
    // An account in the URL: the name shown has none of it.
    const QString withAccount =
        icecast.url(QStringLiteral("live.mp3"))
            .replace(QStringLiteral("http://"), QStringLiteral("http://listener:pw@"));
    // The mount exists once ffmpeg connected.
    QTRY_VERIFY_WITH_TIMEOUT(icecast.mountPlays(QStringLiteral("live.mp3")), 5000);
    QElapsedTimer sinceStart;
    sinceStart.start();
    in.startStream(withAccount);
    QCOMPARE(in.deviceName(), icecast.url(QStringLiteral("live.mp3")));
    // A sine at lavfi's default 1/8 amplitude: -18 dBFS, 70 on the scale.
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60 && in.level(1) >= 60, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 1000);
    QCOMPARE(in.streamFormat().codec, QStringLiteral("mp3"));
    QCOMPARE(in.streamFormat().sampleRate, 48000);
    qInfo("first levels %lld ms after the start", sinceStart.elapsed());

    // Dead air in the stream: still delivering, the levels fall to 0.
    QTRY_VERIFY_WITH_TIMEOUT(in.isDelivering() && in.level(0) == 0 && in.level(1) == 0, 15000);
    QCOMPARE(lost.count(), 0);

    // The server goes: a loss, levels 0.
    QElapsedTimer sinceKill;
    sinceKill.start();
    icecast.stopFeed();
    icecast.stop();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 6000);
    QVERIFY(sinceKill.elapsed() <= StreamCapture::lossAfterMs + 1500);
    QVERIFY(!in.isDelivering());
    QCOMPARE(in.level(0), 0);

    // Back without a restart of the capture, at the next try.
    QVERIFY(icecast.start());
    QVERIFY(icecast.feed(QStringLiteral("sine=frequency=440:sample_rate=48000")));
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 1, 40000);
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60, 5000);
    QCOMPARE(lost.count(), 1);
}

void TstStreamCapture::oggOpusGivesLevels() {
    QTemporaryDir folder;
    IcecastServer icecast(folder.path());
    QVERIFY(icecast.start());
    QVERIFY(icecast.feed(QStringLiteral("sine=frequency=1000:sample_rate=48000"),
                         QStringLiteral("live.ogg")));
    WaveIn in;
    in.startStream(icecast.url(QStringLiteral("live.ogg")));
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60 && in.level(1) >= 60, 15000);
    QCOMPARE(in.streamFormat().codec, QStringLiteral("opus"));
}

void TstStreamCapture::hlsGivesLevelsAndAStoppedPlaylistIsALoss() {
    // ffmpeg writes 1 s segments and the playlist into a folder that a
    // small local web server serves; the playlist stops moving when the
    // segmenter stops.
    QTemporaryDir folder;
    const quint16 port = IcecastServer::freeTcpPort();
    QProcess web;
    web.start(QStringLiteral("python3"),
              {QStringLiteral("-m"), QStringLiteral("http.server"), QString::number(port),
               QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--directory"),
               folder.path()});
    QVERIFY(web.waitForStarted(5000));
    QProcess segmenter;
    segmenter.start(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
         QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("sine=frequency=1000:sample_rate=48000"), QStringLiteral("-c:a"),
         QStringLiteral("aac"), QStringLiteral("-f"), QStringLiteral("hls"),
         QStringLiteral("-hls_time"), QStringLiteral("1"), QStringLiteral("-hls_list_size"),
         QStringLiteral("4"), folder.filePath(QStringLiteral("live.m3u8"))});
    QVERIFY(segmenter.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.filePath(QStringLiteral("live.m3u8"))) &&
                                 IcecastServer::accepts(port),
                             10000);

    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    in.startStream(QStringLiteral("http://127.0.0.1:%1/live.m3u8").arg(port));
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60 && in.level(1) >= 60, 15000);
    QCOMPARE(in.streamFormat().codec, QStringLiteral("aac"));

    segmenter.kill();
    segmenter.waitForFinished(5000);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 20000);
    QCOMPARE(in.level(0), 0);
    web.kill();
    web.waitForFinished(5000);
}

void TstStreamCapture::udpMpegTsGivesLevelsAndSilenceOnTheWireIsALoss() {
    // MPEG-TS pushed over UDP to a loopback port the capture listens on;
    // when the sender stops, nothing arrives: stalled.
    const quint16 port = IcecastServer::freeTcpPort();
    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    in.startStream(QStringLiteral("udp://127.0.0.1:%1").arg(port));
    QProcess sender;
    sender.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                  QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                  QStringLiteral("-i"), QStringLiteral("sine=frequency=1000:sample_rate=48000"),
                  QStringLiteral("-c:a"), QStringLiteral("mp2"), QStringLiteral("-f"),
                  QStringLiteral("mpegts"),
                  QStringLiteral("udp://127.0.0.1:%1?pkt_size=1316").arg(port)});
    QVERIFY(sender.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60 && in.level(1) >= 60, 15000);
    const qsizetype before = lost.count(); // a first try may miss the stream's start
    sender.kill();
    sender.waitForFinished(5000);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), before + 1, StreamCapture::lossAfterMs + 3000);
    QCOMPARE(in.lossReason(), CaptureLoss::Stalled);
    QCOMPARE(in.level(0), 0);
}

// ffmpeg sending a 1 kHz tone in real time to `target`, with the output
// options given (codec, container) before it.
static void startToneSender(QProcess& sender, const QStringList& output, const QString& target) {
    sender.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                             QStringLiteral("error"), QStringLiteral("-re"), QStringLiteral("-f"),
                             QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=frequency=1000:sample_rate=48000")} +
                     output + QStringList{target});
}

void TstStreamCapture::srtCallerGivesLevelsLosesTheListenerAndComesBack() {
    // The studio's encoder listens (ffmpeg in SRT listener mode) and the
    // capture calls it, as at a transmitter site.
    const quint16 port = IcecastServer::freeTcpPort();
    const QString listener = QStringLiteral("srt://127.0.0.1:%1?mode=listener").arg(port);
    const QStringList mpegTs{QStringLiteral("-c:a"), QStringLiteral("mp2"), QStringLiteral("-f"),
                             QStringLiteral("mpegts")};
    QProcess sender;
    startToneSender(sender, mpegTs, listener);
    QVERIFY(sender.waitForStarted(5000));
    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    QSignalSpy restored(&in, &WaveIn::deviceRestored);
    in.startStream(QStringLiteral("srt://127.0.0.1:%1").arg(port));
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60 && in.level(1) >= 60, 15000);
    QCOMPARE(in.streamFormat().codec, QStringLiteral("mp2"));

    const qsizetype before = lost.count(); // a first call may come before the listener
    sender.kill();
    sender.waitForFinished(5000);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), before + 1, StreamCapture::lossAfterMs + 3000);
    QCOMPARE(in.level(0), 0);

    const qsizetype back = restored.count();
    startToneSender(sender, mpegTs, listener);
    QVERIFY(sender.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(restored.count() > back && in.level(0) >= 60, 40000);
    sender.kill();
    sender.waitForFinished(5000);
}

void TstStreamCapture::rtpL24DescribedBySdpGivesLevels() {
    // AES67-style: uncompressed 24-bit audio over RTP, the session described
    // by an .sdp file that the sender writes.
    const quint16 port = IcecastServer::freeTcpPort() & ~1; // RTP takes the even port
    const QString sdp = m_dir.filePath(QStringLiteral("aes67.sdp"));
    QProcess sender;
    startToneSender(sender,
                    {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                     QStringLiteral("pcm_s24be"), QStringLiteral("-sdp_file"), sdp,
                     QStringLiteral("-f"), QStringLiteral("rtp")},
                    QStringLiteral("rtp://127.0.0.1:%1").arg(port));
    QVERIFY(sender.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(sdp).size() > 0, 5000);
    WaveIn in;
    in.startStream(sdp);
    QTRY_VERIFY_WITH_TIMEOUT(in.level(0) >= 60 && in.level(1) >= 60, 15000);
    QCOMPARE(in.streamFormat().codec, QStringLiteral("pcm_s24be"));
    QCOMPARE(in.streamFormat().sampleRate, 48000);
    sender.kill();
    sender.waitForFinished(5000);
}

void TstStreamCapture::badInputIsALossWithItsReason_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("loss");
    QTest::newRow("refused") << "refused" << int(CaptureLoss::Refused);
    QTest::newRow("404") << "missing mount" << int(CaptureLoss::NotFound);
    QTest::newRow("unknown scheme") << "nosuch" << int(CaptureLoss::BadUrl);
    QTest::newRow("html page") << "html" << int(CaptureLoss::NotAudio);
    QTest::newRow("head then nothing") << "silent server" << int(CaptureLoss::TimedOut);
}

void TstStreamCapture::badInputIsALossWithItsReason() {
    QFETCH(QString, kind);
    QFETCH(int, loss);
    QTemporaryDir folder;
    IcecastServer icecast(folder.path());
    std::unique_ptr<QTcpServer> server;
    QString url;
    if (kind == u"refused") {
        url = QStringLiteral("http://127.0.0.1:%1/live").arg(IcecastServer::freeTcpPort());
    } else if (kind == u"missing mount") {
        QVERIFY(icecast.start());
        url = icecast.url(QStringLiteral("nothing-here.mp3"));
    } else if (kind == u"nosuch") {
        url = QStringLiteral("nosuch://127.0.0.1/x");
    } else {
        const QByteArray body = kind == u"html" ? QByteArray("<!DOCTYPE html><html><body>") +
                                                      QByteArray(40000, 'x') + "</body></html>"
                                                : QByteArray();
        const bool html = kind == u"html";
        server = std::make_unique<StallingServer>(body, html ? "text/html" : "audio/mpeg", html);
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        url = QStringLiteral("http://127.0.0.1:%1/live").arg(server->serverPort());
    }
    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    in.startStream(url);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, StreamCapture::connectTimeoutMs + 3000);
    QCOMPARE(int(in.lossReason()), loss);
    QCOMPARE(in.level(0), 0);
}

void TstStreamCapture::stallAfterAudio() {
    // Two seconds of MP3, then a server that keeps the connection and sends
    // nothing: audio came, then stopped.
    const QString file = m_dir.filePath(QStringLiteral("tone.mp3"));
    QProcess encoder;
    encoder.start(QStringLiteral("ffmpeg"),
                  {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                   QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                   QStringLiteral("-i"), QStringLiteral("sine=frequency=1000:duration=2"),
                   QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), file});
    QVERIFY(encoder.waitForFinished(20000));
    QFile mp3(file);
    QVERIFY(mp3.open(QIODevice::ReadOnly));
    StallingServer server(mp3.readAll());
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    WaveIn in;
    QSignalSpy started(&in, &WaveIn::deliveryStarted);
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    in.startStream(QStringLiteral("http://127.0.0.1:%1/live").arg(server.serverPort()));
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, StreamCapture::lossAfterMs + 3000);
    QCOMPARE(in.lossReason(), CaptureLoss::Stalled);
    QCOMPARE(in.level(0), 0);
}

void TstStreamCapture::closingDoesNotWaitOnTheNetwork() {
    // A connection that hangs in the middle of connecting: the end of the
    // capture (the window's close, SIGTERM) does not wait for its time-out.
    StallingServer server{QByteArray()};
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    auto in = std::make_unique<WaveIn>();
    in->startStream(QStringLiteral("http://127.0.0.1:%1/live").arg(server.serverPort()));
    QTRY_VERIFY_WITH_TIMEOUT(server.findChildren<QTcpSocket*>().size() > 0, 3000);
    QElapsedTimer ending;
    ending.start();
    in.reset();
    QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
}

QTEST_GUILESS_MAIN(TstStreamCapture)
#include "tst_streamcapture.moc"
