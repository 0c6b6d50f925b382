#include "core/silencedetector.h"

#include "core/datagramsender.h"
#include "core/errorreporter.h"
#include "core/eventlogging.h"
#include "core/eventpump.h"
#include "core/levelmeters.h"
#include "core/modestate.h"
#include "core/monitorfailure.h"
#include "core/silencegauge.h"
#include "core/statusdisplay.h"
#include "core/ticktimer.h"
#include "settings/settings.h"

#include <limits>

namespace {
// 8 ASCII bytes, no terminator.
const QByteArray AlarmDatagram = QByteArrayLiteral("SN_ALARM");
} // namespace

SilenceDetector::SilenceDetector(const Settings& settings, ModeState& state,
                                 const MonitorPorts& ports, ErrorReporter& errors)
    : m_settings(settings), m_state(state), m_ports(ports), m_errors(errors) {}

void SilenceDetector::tick() {
    if (m_inTick || m_ended)
        return;
    struct Guard {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(m_inTick);
    try {
        tickSteps();
    } catch (const MonitorFailure& failure) {
        // The rest of this tick is abandoned; what was done stays, so a
        // failed alarm send leaves the tick running and the next one retries.
        m_errors.reportTickFailure(failure.code);
    }
}

void SilenceDetector::tickSteps() {
    // Both levels are always read.
    const bool leftSilent = isSilentLevel(m_state.ArmedVol, m_ports.meters->leftLevel());
    const bool rightSilent = isSilentLevel(m_state.ArmedVol, m_ports.meters->rightLevel());

    if (leftSilent && rightSilent) {
        if (m_state.SilenceCount == std::numeric_limits<qint16>::max())
            throw MonitorFailure{FailureCode::Overflow};
        ++m_state.SilenceCount;
    } else {
        m_state.SilenceCount = 0;
    }
    m_ports.gauge->setPosition(m_state.SilenceCount);

    // A datagram handled here may clear the count, re-arm the limit or stop
    // the tick; the comparison below reads the state as it now stands.
    m_ports.pump->processPendingEvents();
    if (m_ended)
        return;

    if (m_state.SilenceCount > m_state.ArmedTime) {
        m_ports.status->setStatusText(QStringLiteral("SONDRAL GEACTIVEERD!"));
        if (const int code = m_ports.sender->sendDatagram(AlarmDatagram))
            throw MonitorFailure{code};
        logEvent(m_settings, *m_ports.logger, m_errors, QStringLiteral("SONDRAL ACTIVATED"));
        m_ports.timer->stop();
    }
}
