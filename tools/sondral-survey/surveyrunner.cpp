#include "surveyrunner.h"

#include "tools/sondral-survey/surveyreport.h"

#include "audio/wavein.h"

#include <cstdio>

namespace {

constexpr int pollMs = 50;

} // namespace

SurveyRunner::SurveyRunner(WaveIn& in, int seconds, bool showProgress, QObject* parent)
    : QObject(parent), m_in(in), m_seconds(seconds), m_progress(showProgress) {
    m_waitTimer.setInterval(pollMs);
    connect(&m_waitTimer, &QTimer::timeout, this, &SurveyRunner::waitForAudio);
    // The silence check's own tick: one reading per second of wall-clock time.
    m_secondTimer.setTimerType(Qt::PreciseTimer);
    m_secondTimer.setInterval(1000);
    connect(&m_secondTimer, &QTimer::timeout, this, &SurveyRunner::measureSecond);
    connect(&m_in, &WaveIn::deviceLost, this, [this](const QString& name) {
        note(QStringLiteral("capture lost (\"%1\"); seconds without audio are left out").arg(name));
    });
    connect(&m_in, &WaveIn::deviceRestored, this, [this](const QString& name) {
        note(QStringLiteral("capture back (\"%1\")").arg(name));
    });
}

void SurveyRunner::start() {
    m_waitedMs = 0;
    m_waitTimer.start();
}

void SurveyRunner::waitForAudio() {
    if (m_in.isDelivering()) {
        m_waitTimer.stop();
        m_secondTimer.start();
        return;
    }
    m_waitedMs += pollMs;
    if (m_waitedMs >= firstAudioMs) {
        m_waitTimer.stop();
        m_done = true;
        if (m_in.isStream()) {
            emit failed(QStringLiteral("stream %1 delivered no audio within %2 s (%3)")
                            .arg(m_in.deviceName())
                            .arg(firstAudioMs / 1000)
                            .arg(captureLossText(m_in.lossReason())));
            return;
        }
        emit failed(QStringLiteral("card %1 (\"%2\") delivered no audio within %3 s")
                        .arg(m_in.deviceNumber())
                        .arg(m_in.deviceName())
                        .arg(firstAudioMs / 1000));
    }
}

void SurveyRunner::measureSecond() {
    // Both readings first, then whether audio arrived: a capture that went
    // stale reads 0, which must not count as a silent second.
    SurveySecond second{m_in.level(0), m_in.level(1), true};
    const DynamicsSecond dynamics = m_in.dynamics();
    second.heard = m_in.isDelivering();
    second.measured = dynamics.valid;
    second.steady = dynamics.valid && dynamics.steady;
    second.spreadDb = dynamics.spreadDb;
    m_survey.add(second);
    showProgress(second);
    if (m_survey.seconds().size() >= m_seconds)
        finish();
}

void SurveyRunner::stopEarly() {
    if (m_done)
        return;
    m_endedEarly = true;
    finish();
}

void SurveyRunner::finish() {
    if (m_done)
        return;
    m_done = true;
    m_waitTimer.stop();
    m_secondTimer.stop();
    if (m_progressShown)
        std::fputs("\n", stderr);
    m_progressShown = false;
    emit finished();
}

void SurveyRunner::showProgress(const SurveySecond& second) {
    if (!m_progress)
        return;
    QString line = QStringLiteral("%1 / %2  L %3  R %4")
                       .arg(durationText(int(m_survey.seconds().size())), 6)
                       .arg(durationText(m_seconds))
                       .arg(second.heard ? QString::number(second.left) : QStringLiteral("--"), 3)
                       .arg(second.heard ? QString::number(second.right) : QStringLiteral("--"), 3);
    line += second.measured ? QStringLiteral("  spread %1 dB%2")
                                  .arg(second.spreadDb, 4, 'f', 1)
                                  .arg(second.steady ? QStringLiteral(" steady") : QString())
                            : QStringLiteral("  spread --");
    if (const auto proposal = m_survey.proposal())
        line += QStringLiteral("  quiet runs at Vol=%1: %2, longest %3 s")
                    .arg(proposal->vol)
                    .arg(proposal->runs)
                    .arg(proposal->longestRun);
    // Back to the line's start, and clear what a longer line left.
    std::fprintf(stderr, "\r%s\x1b[K", qPrintable(line));
    std::fflush(stderr);
    m_progressShown = true;
}

void SurveyRunner::note(const QString& text) {
    if (m_progressShown)
        std::fputs("\r\x1b[K", stderr);
    std::fprintf(stderr, "sondral-survey: %s\n", qPrintable(text));
    std::fflush(stderr);
}
