// The test signals through a sound server of this test's own and the real
// capture: read once a second as the tick reads it, a hum, hiss, a tone and
// a 100 ms loop must stay steady for longer than a short Flat time, while
// speech, music and limited music must never come near it.
// SONDRAL_SIGNAL_SECONDS sets how long each programme signal plays (60 s by
// default; scripts/flat-check.sh plays 600).

#include "audio/wavein.h"
#include "support/privatepulse.h"
#include "support/programmesignals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
// The Flat time the signals are held against, seconds.
constexpr int flatTime = 5;
constexpr int steadySeconds = 14;
} // namespace

class TstFlatSignals : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void signalThroughTheSoundServer_data();
    void signalThroughTheSoundServer();

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/sondral-flat.XXXXXX")};
    PrivatePulse m_pulse;
    std::unique_ptr<WaveIn> m_in;
};

void TstFlatSignals::initTestCase() {
    for (const char* tool : {"pulseaudio", "paplay", "pactl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("PulseAudio tools are not installed");
    if (const QStringList missing = ProgrammeSignals::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("missing: %1").arg(missing.join(QLatin1Char(' ')))));
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_pulse.start(m_dir.filePath(QStringLiteral("pulse"))), qPrintable(m_pulse.error()));
    qputenv("PULSE_SERVER",
            m_pulse.environment().value(QStringLiteral("PULSE_SERVER")).toLocal8Bit());
    m_in = std::make_unique<WaveIn>();
    m_in->setDynamicsMeasured(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_in->deviceNames().contains(QStringLiteral("Programme-ingang")),
                             5000);
    QVERIFY(m_in->setDeviceNumber(
        int(m_in->deviceNames().indexOf(QStringLiteral("Programme-ingang")))));
    m_in->setCaptureParameter(2);
    QVERIFY(m_in->start());
    QTRY_VERIFY_WITH_TIMEOUT(m_in->isDelivering(), 5000);
}

void TstFlatSignals::cleanupTestCase() {
    m_in.reset();
    m_pulse.stop();
}

void TstFlatSignals::signalThroughTheSoundServer_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("steady");
    QTest::addColumn<double>("peakDbfs"); // NaN: not checked
    const QList<double> peaks{-30, -40, -18, qQNaN()};
    for (int i = 0; i < ProgrammeSignals::steadyNames().size(); ++i)
        QTest::newRow(qPrintable(ProgrammeSignals::steadyNames().at(i)))
            << ProgrammeSignals::steadyNames().at(i) << true << peaks.at(i);
    for (const QString& name : ProgrammeSignals::programmeNames())
        QTest::newRow(qPrintable(name)) << name << false << qQNaN();
}

void TstFlatSignals::signalThroughTheSoundServer() {
    QFETCH(QString, name);
    QFETCH(bool, steady);
    QFETCH(double, peakDbfs);
    const int asked = qEnvironmentVariableIntValue("SONDRAL_SIGNAL_SECONDS");
    const int seconds = steady ? steadySeconds : (asked > 0 ? asked : 60);
    QString error;
    const QString path = ProgrammeSignals::make(m_dir.path(), name, seconds, &error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));

    QProcess player;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(m_pulse.environment());
    player.setProcessEnvironment(environment);
    // A deep buffer: the timing does not matter here, and a busy machine must
    // not cut holes into a steady signal.
    player.start(QStringLiteral("paplay"),
                 {QStringLiteral("--latency-msec=250"), QStringLiteral("-d"),
                  QStringLiteral("programme"), path});
    QVERIFY(player.waitForStarted(5000));

    // The first judgement of the signal alone needs a second of it.
    QTest::qWait(2000);
    int judged = 0;
    int steadyCount = 0;
    int run = 0;
    int longest = 0;
    double minSpread = 1e9;
    double maxPeak = -200;
    double minPeak = 200;
    QElapsedTimer clock;
    clock.start();
    for (int s = 1; s <= seconds - 3; ++s) {
        // One reading a second of wall-clock time, as the tick takes it.
        QTest::qWait(int(std::max<qint64>(0, s * 1000 - clock.elapsed())));
        const DynamicsSecond d = m_in->dynamics();
        if (qEnvironmentVariableIsSet("SONDRAL_SIGNAL_TRACE"))
            qInfo("%d valid %d steady %d peak %.2f spread %.2f repeat %.2f", s, d.valid, d.steady,
                  d.peakDbfs, d.spreadDb, d.repeatDb);
        if (!d.valid)
            continue;
        ++judged;
        minSpread = std::min(minSpread, d.spreadDb);
        maxPeak = std::max(maxPeak, d.peakDbfs);
        minPeak = std::min(minPeak, d.peakDbfs);
        if (d.steady) {
            ++steadyCount;
            longest = std::max(longest, ++run);
        } else {
            run = 0;
        }
    }
    player.kill();
    player.waitForFinished(2000);
    qInfo("%s over %d s: %d of %d readings steady, longest steady run %d s, smallest spread "
          "%.2f dB, peak %.1f..%.1f dBFS",
          qPrintable(name), seconds, steadyCount, judged, longest, minSpread, minPeak, maxPeak);
    QVERIFY(judged >= seconds - 4);
    if (steady) {
        QVERIFY2(longest > flatTime, qPrintable(QString::number(longest)));
        if (!std::isnan(peakDbfs)) {
            QVERIFY2(std::abs(maxPeak - peakDbfs) < 0.6, qPrintable(QString::number(maxPeak)));
            QVERIFY2(std::abs(minPeak - peakDbfs) < 0.6, qPrintable(QString::number(minPeak)));
        }
    } else {
        QVERIFY2(longest < flatTime, qPrintable(QString::number(longest)));
    }
}

QTEST_GUILESS_MAIN(TstFlatSignals)
#include "tst_flatsignals.moc"
