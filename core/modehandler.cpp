#include "core/modehandler.h"

#include "core/errorreporter.h"
#include "core/eventlogging.h"
#include "core/levelmeters.h"
#include "core/modestate.h"
#include "core/monitorfailure.h"
#include "core/silencegauge.h"
#include "core/statusdisplay.h"
#include "core/ticktimer.h"
#include "settings/monitoredsources.h"
#include "settings/settings.h"

namespace {
constexpr qint16 ModeLive = 1;
constexpr qint16 ModeAuto = 2;
const QString PauseText = QStringLiteral("PAUSE");
} // namespace

ModeHandler::ModeHandler(const Settings& settings, ModeState& state, const MonitorPorts& ports,
                         ErrorReporter& errors)
    : m_settings(settings), m_state(state), m_ports(ports), m_errors(errors) {}

void ModeHandler::handle(const QByteArray& payload) {
    try {
        handleSteps(payload);
    } catch (const MonitorFailure& failure) {
        // What was done before the failure stays.
        fail(failure.code);
    }
}

void ModeHandler::fail(int code) {
    m_errors.reportDatagramFailure(code);
}

void ModeHandler::handleSteps(const QByteArray& payload) {
    // One 8-bit character per byte; the whole payload, embedded NULs and
    // line ends included, so near misses match nothing.
    m_state.LastDatagram = QString::fromLatin1(payload);
    const QString& d = m_state.LastDatagram;
    const Settings& s = m_settings;

    // Every keyword is tested in turn; at most one can match.
    for (const MonitoredSource& source : MonitoredSources) {
        if (d == source.keyword)
            armSource(source.mode, source.statusText, s.*source.threshold, s.*source.timeLimit,
                      source.logText);
    }

    if (d == u"SN_LIVE") {
        // Threshold, time limit, markers and gauge maximum keep their values.
        m_ports.status->setStatusText(QStringLiteral("LIVE"));
        m_state.Mode = ModeLive;
        m_ports.timer->stop();
        m_state.SilenceCount = 0;
        m_ports.gauge->setPosition(0);
        log(QStringLiteral("Server Running LIVE"));
    }

    // Pause and resume only act on the automation. Pause is the combination
    // Mode 2, tick stopped, status "PAUSE"; the count survives it.
    if (d == u"SN_PAUSE_ON" && m_state.Mode == ModeAuto) {
        if (m_ports.timer->isActive()) {
            m_state.SavedStatus = m_ports.status->statusText();
            m_ports.status->setStatusText(PauseText);
            log(QStringLiteral("Server PAUSE ON"));
            m_ports.timer->stop();
        }
    }

    if (d == u"SN_PAUSE_OFF" && m_state.Mode == ModeAuto) {
        if (m_ports.status->statusText() == PauseText) {
            m_ports.timer->start();
            log(QStringLiteral("Server PAUSE OFF"));
        }
        m_ports.status->setStatusText(m_state.SavedStatus);
    }
}

void ModeHandler::armSource(qint16 mode, const QString& statusText, qint16 vol, qint16 time,
                            const QString& logText) {
    m_state.Mode = mode;
    m_ports.status->setStatusText(statusText);
    m_ports.meters->setRightThreshold(vol);
    m_ports.meters->setLeftThreshold(vol);
    m_state.SilenceCount = 0;
    m_state.ArmedVol = vol;
    m_state.ArmedTime = time;
    // The position is left to the next tick.
    m_ports.gauge->setMaximum(time);
    log(logText);
    // A source with a zero (or negative) setting is shown but leaves the
    // tick as it was, running or stopped.
    if (time > 0 && vol > 0)
        m_ports.timer->start();
}

void ModeHandler::log(const QString& message) {
    logEvent(m_settings, *m_ports.logger, m_errors, message);
}
