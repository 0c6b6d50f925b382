// The programme from an Icecast stream, with the real program: Url set in
// sondral.ini (with an account in it), a private Icecast fed by ffmpeg. Card
// is said to be ignored; the tone keeps the armed source quiet; the server
// killed is a loss told once with its reason and raises the armed alarm;
// the server back is told once, without a restart. The account never shows.
#include "acceptance/stationscript.h"
#include "audio/streamcapture.h"
#include "support/icecastserver.h"
#include "support/stationclock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr int autoTime = 3;
} // namespace

class TestAcceptanceStream : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_script.bringUp()); }
    void lossRaisesTheArmedAlarmAndTheStreamComesBack();
    void withoutItsModuleTheStreamIsLostAndTheAlarmStillComes();
    void sigtermEndsItWhileTheNameLookupHangs();

private:
    Station m_station;
    StationScript m_script{m_station};
};

void TestAcceptanceStream::lossRaisesTheArmedAlarmAndTheStreamComesBack() {
    QTemporaryDir folder;
    IcecastServer icecast(folder.path());
    QVERIFY(icecast.start());
    QVERIFY(icecast.feed(QStringLiteral("sine=frequency=1000:sample_rate=44100")));
    QTRY_VERIFY_WITH_TIMEOUT(icecast.mountPlays(QStringLiteral("live.mp3")), 5000);

    const QString shown = icecast.url(QStringLiteral("live.mp3"));
    const QString secret = QString(shown).replace(QStringLiteral("http://"),
                                                  QStringLiteral("http://listener:t0psecret@"));
    const QByteArray settings =
        "[Audio]\r\nUrl=" + secret.toUtf8() +
        "\r\nCard=3\r\nAutoVol=20\r\nAutoTime=" + QByteArray::number(autoTime) + "\r\nLog=1\r\n";
    m_script.launch(QStringLiteral("stream"), settings);
    SondralInstance& sondral = m_station.sondral();
    QVERIFY(sondral.waitForOutput(
        QStringLiteral("Het programma komt van stream %1 (Url): Card en CardName worden genegeerd.")
            .arg(shown),
        5000));

    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    // Longer than the time limit with the tone playing: no alarm.
    QCOMPARE(m_station.arrivalsDuring((autoTime + 1) * 1000), 0);

    const qint64 killed = StationClock::nowMs();
    icecast.stopFeed();
    icecast.stop();
    QVERIFY(sondral.waitForOutput(QStringLiteral("Stream %1 levert geen geluid meer (").arg(shown),
                                  StreamCapture::lossAfterMs + 2000));
    // Levels 0 from the loss on: silence counted, the alarm after the limit.
    const double seconds =
        m_script.secondsToAlarm(killed, (StreamCapture::lossAfterMs / 1000 + autoTime + 4) * 1000);
    QVERIFY2(seconds > 0, "no SN_ALARM after the stream was lost");
    qInfo("server killed, AutoTime=%d: SN_ALARM %.3f s later", autoTime, seconds);

    QVERIFY(icecast.start());
    QVERIFY(icecast.feed(QStringLiteral("sine=frequency=1000:sample_rate=44100")));
    QVERIFY(
        sondral.waitForOutput(QStringLiteral("Stream %1 levert weer geluid.").arg(shown), 40000));
    QCOMPARE(sondral.output().count(QStringLiteral("levert geen geluid meer")), 1);
    QVERIFY(!sondral.output().contains(QStringLiteral("t0psecret")));
    QVERIFY(!sondral.output().contains(QStringLiteral("listener")));
}

void TestAcceptanceStream::withoutItsModuleTheStreamIsLostAndTheAlarmStillComes() {
    // A folder holding the program but not sondral-stream.so (copied by
    // hand, say): the stream is lost for that reason, said once, and the
    // armed source's silence is counted as for any lost stream.
    const QString folder = m_station.sondral().dir() + QStringLiteral("-without-module");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(m_station.sondral().dir() + QStringLiteral("/sondral"),
                        folder + QStringLiteral("/sondral")));
    const QByteArray settings = "[Audio]\r\nUrl=http://127.0.0.1:9/live.mp3\r\nAutoVol=20\r\n"
                                "AutoTime=1\r\nLog=1\r\n";
    m_script.launch(QDir(folder).dirName(), settings);
    SondralInstance& sondral = m_station.sondral();
    QVERIFY(sondral.waitForOutput(
        QStringLiteral("Stream http://127.0.0.1:9/live.mp3 levert geen geluid meer (stream input "
                       "unavailable)"),
        5000));
    QVERIFY(sondral.output().contains(
        QStringLiteral("Stream input unavailable: sondral-stream.so could not be loaded")));
    const qint64 sent = m_station.send("SN_AUTO");
    QVERIFY(m_script.secondsToAlarm(sent, 5000) > 0);
}

void TestAcceptanceStream::sigtermEndsItWhileTheNameLookupHangs() {
    // The stream's host name is looked up by a resolver that does not
    // answer (FFmpeg's lookup cannot be interrupted): the end still comes
    // within a second.
    QTemporaryDir folder;
    const QString answers = folder.filePath(QStringLiteral("answers"));
    QFile file(answers);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hang\n") > 0);
    file.close();
    QProcessEnvironment resolver;
    resolver.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SONDRAL_FAKE_RESOLVER));
    resolver.insert(QStringLiteral("SONDRAL_FAKE_HOST"), QStringLiteral("stream.test"));
    resolver.insert(QStringLiteral("SONDRAL_FAKE_HOST_FILE"), answers);
    const QByteArray settings = "[Audio]\r\nUrl=http://stream.test:8000/live.mp3\r\nLog=1\r\n";
    QVERIFY2(m_station.launch(QStringLiteral("hanging-lookup"), settings, true, resolver),
             qPrintable(m_station.error()));
    SondralInstance& sondral = m_station.sondral();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(answers + QStringLiteral(".asked")), 5000);
    QElapsedTimer ending;
    ending.start();
    QVERIFY(sondral.terminate(5000));
    QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
}

QTEST_GUILESS_MAIN(TestAcceptanceStream)
#include "tst_acceptance_stream.moc"
