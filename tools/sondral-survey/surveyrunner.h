#pragma once

#include "tools/sondral-survey/levelsurvey.h"

#include <QObject>
#include <QTimer>

class WaveIn;

// Reads both channels once a second from a started capture, exactly as
// Sondral's silence check does, until the seconds asked are measured or
// stopEarly() is called. The clock starts with the first audio, so that the
// wait for a new stream is not measured as silence.
class SurveyRunner : public QObject {
    Q_OBJECT
public:
    // How long a started capture may take to deliver its first audio.
    static constexpr int firstAudioMs = 10000;

    SurveyRunner(WaveIn& in, int seconds, bool showProgress, QObject* parent = nullptr);

    void start();
    // Ends the survey now (Ctrl-C); what was measured is kept.
    void stopEarly();

    const LevelSurvey& survey() const { return m_survey; }
    bool endedEarly() const { return m_endedEarly; }

signals:
    void finished();
    void failed(const QString& message);

private:
    void waitForAudio();
    void measureSecond();
    void finish();
    void showProgress(const SurveySecond& second);
    // Prints a line on standard error without tearing the progress line.
    void note(const QString& text);

    WaveIn& m_in;
    const int m_seconds;
    const bool m_progress;
    LevelSurvey m_survey;
    QTimer m_waitTimer;
    QTimer m_secondTimer;
    int m_waitedMs = 0;
    bool m_done = false;
    bool m_endedEarly = false;
    bool m_progressShown = false;
};
