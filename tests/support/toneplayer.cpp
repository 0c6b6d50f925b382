#include "support/toneplayer.h"

#include "support/stationclock.h"

#include <cmath>
#include <numbers>

namespace {

// Samples are written this far ahead of real time, so that timer jitter on a
// loaded machine does not leave the sink without data.
constexpr qint64 leadFrames = TonePlayer::sampleRate * 60 / 1000;
constexpr double toneHz = 1000.0;

double amplitudeOf(std::optional<double> dbfs) {
    if (!dbfs)
        return 0.0;
    return 32767.0 * std::pow(10.0, *dbfs / 20.0);
}

} // namespace

TonePlayer::TonePlayer(QObject* parent) : QObject(parent) {
    m_feedTimer.setInterval(20);
    m_feedTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_feedTimer, &QTimer::timeout, this, &TonePlayer::feed);
}

TonePlayer::~TonePlayer() {
    stop();
}

bool TonePlayer::start(const QProcessEnvironment& pulse) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : pulse.keys())
        environment.insert(key, pulse.value(key));
    m_pacat.setProcessEnvironment(environment);
    // -v makes pacat say "Stream started" once the server plays the stream;
    // only from then on is the stream fed in real time. A fresh server takes
    // about a second to start a stream, and whatever is written meanwhile
    // would stay queued ahead of every later change.
    m_pacat.start(QStringLiteral("pacat"),
                  {QStringLiteral("-v"), QStringLiteral("--latency-msec=30"), QStringLiteral("-d"),
                   QStringLiteral("programme"), QStringLiteral("--format=s16le"),
                   QStringLiteral("--rate=48000"), QStringLiteral("--channels=2")});
    if (!m_pacat.waitForStarted(5000))
        return false;
    // Enough silence to fill the server's pre-buffer, so that it starts the stream.
    m_pacat.write(QByteArray(leadFrames * 4, '\0'));
    m_pacat.waitForBytesWritten(1000);
    m_pacat.setReadChannel(QProcess::StandardError);
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains("Stream started") && waited.elapsed() < 10000 &&
           m_pacat.state() == QProcess::Running) {
        m_pacat.waitForReadyRead(100);
        said += m_pacat.readAllStandardError();
    }
    if (!said.contains("Stream started"))
        return false;
    // pacat goes on printing its latency; nobody reads it.
    connect(&m_pacat, &QProcess::readyReadStandardError, this,
            [this] { m_pacat.readAllStandardError(); });
    m_streamClock.start();
    m_framesWritten = 0;
    feed();
    m_feedTimer.start();
    return true;
}

void TonePlayer::stop() {
    m_feedTimer.stop();
    if (m_pacat.state() != QProcess::NotRunning) {
        m_pacat.closeWriteChannel();
        if (!m_pacat.waitForFinished(1000)) {
            m_pacat.kill();
            m_pacat.waitForFinished(1000);
        }
    }
}

void TonePlayer::play(std::optional<double> leftDbfs, std::optional<double> rightDbfs) {
    feed(); // everything due so far keeps the old signal
    m_leftAmplitude = amplitudeOf(leftDbfs);
    m_rightAmplitude = amplitudeOf(rightDbfs);
    // What pacat has not yet taken plays first: on a loaded machine a stalled
    // sound server leaves a backlog here, and the change comes that much later.
    const qint64 queuedFrames = leadFrames + m_pacat.bytesToWrite() / 4;
    m_lastChangeMs = StationClock::nowMs() + queuedFrames * 1000 / sampleRate;
}

void TonePlayer::feed() {
    if (!m_streamClock.isValid() || m_pacat.state() != QProcess::Running)
        return;
    const qint64 due = m_streamClock.elapsed() * sampleRate / 1000 + leadFrames;
    const qint64 frames = due - m_framesWritten;
    if (frames <= 0)
        return;
    QByteArray chunk(frames * 4, Qt::Uninitialized);
    auto* out = reinterpret_cast<qint16*>(chunk.data());
    const double step = 2.0 * std::numbers::pi * toneHz / sampleRate;
    for (qint64 i = 0; i < frames; ++i) {
        const double s = std::sin(m_phase);
        out[2 * i] = static_cast<qint16>(std::lround(m_leftAmplitude * s));
        out[2 * i + 1] = static_cast<qint16>(std::lround(m_rightAmplitude * s));
        m_phase = std::fmod(m_phase + step, 2.0 * std::numbers::pi);
    }
    m_pacat.write(chunk);
    m_framesWritten = due;
}
