// Capture against a sound server of this test's own that is stopped and
// started under it: capture must come back by itself however long the server
// was away, tell each loss once and each return once, and start by itself
// when the server first appears after capture was asked for.

#include "audio/wavein.h"
#include "support/privatepulse.h"
#include "support/toneplayer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TstCaptureOutage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void startedBeforeTheSoundServer();
    void soundServerAway_data();
    void soundServerAway();

private:
    bool startServer();
    void stopServer();
    bool loudWithin(const WaveIn& in, int ms);

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/sondral-outage.XXXXXX")};
    PrivatePulse m_pulse;
    std::unique_ptr<TonePlayer> m_player;
};

void TstCaptureOutage::initTestCase() {
    for (const char* tool : {"pulseaudio", "pacat", "pactl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("PulseAudio tools are not installed");
    QVERIFY(m_dir.isValid());
    // Where the server will listen, known before it runs: set before any
    // capture exists, as a station's session sets it.
    qputenv("PULSE_SERVER",
            "unix:" + m_dir.filePath(QStringLiteral("pulse/runtime/pulse/native")).toLocal8Bit());
}

void TstCaptureOutage::cleanupTestCase() {
    stopServer();
}

bool TstCaptureOutage::startServer() {
    if (!m_pulse.start(m_dir.filePath(QStringLiteral("pulse")))) {
        qWarning("%s", qPrintable(m_pulse.error()));
        return false;
    }
    m_player = std::make_unique<TonePlayer>();
    if (!m_player->start(m_pulse.environment()))
        return false;
    m_player->tone(-6);
    return true;
}

void TstCaptureOutage::stopServer() {
    m_player.reset();
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

bool TstCaptureOutage::loudWithin(const WaveIn& in, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (std::abs(in.level(0) - 90) <= 1 && std::abs(in.level(1) - 90) <= 1)
            return true;
        QTest::qWait(20);
    }
    return false;
}

void TstCaptureOutage::startedBeforeTheSoundServer() {
    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    QSignalSpy restored(&in, &WaveIn::deviceRestored);
    // A refused connection is an answer: an empty list, at once.
    QSignalSpy listed(&in, &WaveIn::devicesChanged);
    QVERIFY(listed.wait(1000) || in.devicesKnown());
    QCOMPARE(in.deviceCount(), 0);
    QVERIFY(!in.soundServerReached());
    in.setCaptureParameter(2);
    in.startWhenAvailable(0);

    QTest::qWait(5000);
    QCOMPARE(in.level(0), 0);
    QCOMPARE(lost.count(), 0);

    QVERIFY(startServer());
    QVERIFY2(loudWithin(in, 10000), "capture did not start when the sound server appeared");
    QTRY_COMPARE_WITH_TIMEOUT(in.deviceName(), QStringLiteral("Programme-ingang"), 1000);
    QVERIFY(in.deviceNames().contains(QStringLiteral("Programme-ingang")));
    QCOMPARE(lost.count(), 0);
    QCOMPARE(restored.count(), 0);
}

void TstCaptureOutage::soundServerAway_data() {
    QTest::addColumn<int>("awayMs");
    QTest::newRow("10 s") << 10000;
    QTest::newRow("60 s") << 60000;
}

void TstCaptureOutage::soundServerAway() {
    QFETCH(int, awayMs);
    if (!m_player)
        QVERIFY(startServer());
    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    QSignalSpy restored(&in, &WaveIn::deviceRestored);
    QTRY_VERIFY_WITH_TIMEOUT(in.deviceCount() > 0, 3000);
    QVERIFY(in.setDeviceNumber(int(in.deviceNames().indexOf(QStringLiteral("Programme-ingang")))));
    QVERIFY(in.start());
    QVERIFY(loudWithin(in, 5000));

    stopServer();
    QElapsedTimer away;
    away.start();
    // Fail-safe: silence at once, told once, and the list empties.
    QTRY_COMPARE_WITH_TIMEOUT(in.level(0), 0, 2500);
    QCOMPARE(in.level(1), 0);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 3000);
    QCOMPARE(lost.first().first().toString(), QStringLiteral("Programme-ingang"));
    QTRY_VERIFY_WITH_TIMEOUT(in.deviceNames().isEmpty(), 3000);
    QTest::qWait(int(std::max<qint64>(0, awayMs - away.elapsed())));
    QCOMPARE(lost.count(), 1);
    QCOMPARE(in.level(0), 0);

    QVERIFY(startServer());
    QVERIFY2(loudWithin(in, 10000), "capture did not come back with the sound server");
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 1, 1000);
    QCOMPARE(restored.first().first().toString(), QStringLiteral("Programme-ingang"));
    QCOMPARE(lost.count(), 1);
}

QTEST_MAIN(TstCaptureOutage)
#include "tst_captureoutage.moc"
