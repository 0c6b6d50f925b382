#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <optional>

// Plays the programme: a 1 kHz sine per channel at a chosen peak level, or
// digital silence, streamed in real time as raw 48 kHz stereo s16le into the
// private server's "programme" sink through pacat. The stream never stops;
// silence is zeros.
class TonePlayer : public QObject {
    Q_OBJECT
public:
    explicit TonePlayer(QObject* parent = nullptr);
    ~TonePlayer() override;

    bool start(const QProcessEnvironment& pulse);
    void stop();
    bool isRunning() const { return m_pacat.state() == QProcess::Running; }

    // Peak level of each channel in dBFS from the next sample on; nothing = silence.
    void play(std::optional<double> leftDbfs, std::optional<double> rightDbfs);
    void tone(double dbfs) { play(dbfs, dbfs); }
    void silence() { play(std::nullopt, std::nullopt); }

    // StationClock time at which the last change reaches the sink.
    qint64 lastChangeMs() const { return m_lastChangeMs; }

    static constexpr int sampleRate = 48000;

private:
    void feed();

    QProcess m_pacat;
    QTimer m_feedTimer;
    QElapsedTimer m_streamClock;
    qint64 m_framesWritten = 0;
    double m_phase = 0.0; // radians, kept across chunks so the tone has no clicks
    double m_leftAmplitude = 0.0;
    double m_rightAmplitude = 0.0;
    qint64 m_lastChangeMs = 0;
};
