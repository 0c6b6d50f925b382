#include "app/operatornotices.h"

#include "core/failuretexts.h"
#include "core/stationevent.h"
#include "core/stationstate.h"
#include "ui/messageboxpresenter.h"

OperatorNotices::OperatorNotices(MessageBoxPresenter& presenter, QObject* parent)
    : QObject(parent), m_presenter(presenter) {}

void OperatorNotices::addStartupProblems(const QStringList& texts) {
    m_startupProblems << texts;
}

void OperatorNotices::reportFailure(const QString& text) {
    m_startupFailures << text;
    if (m_startupShown)
        showStartupMessages();
}

void OperatorNotices::showStartupMessages() {
    m_startupShown = true;
    if (!m_startupProblems.isEmpty())
        post(QMessageBox::Warning, QStringLiteral("Foutmelding"), m_startupProblems.join(u'\n'));
    if (!m_startupFailures.isEmpty())
        post(QMessageBox::Critical, QStringLiteral("Foutmelding"), m_startupFailures.join(u'\n'));
    m_startupProblems.clear();
    m_startupFailures.clear();
}

void OperatorNotices::notice(const StationEvent& event, const StationState& state) {
    using Kind = StationEvent::Kind;
    switch (event.kind) {
    case Kind::DatagramFailed:
        m_presenter.postFailures(FailureTexts::datagram(event.code));
        break;
    case Kind::AlarmRaised:
        // The tick's error path, for a decided alarm whose send failed.
        if (event.code != 0)
            m_presenter.postFailures(FailureTexts::tick(event.code));
        break;
    case Kind::AlarmSendFailed:
    case Kind::TickFailed:
        m_presenter.postFailures(FailureTexts::tick(event.code));
        break;
    case Kind::CaptureLost:
        if (state.capture.isStream()) {
            // The reason goes with it: the journal gets this line too, and
            // "refused" or "stalled" tells the engineer where to look.
            post(QMessageBox::Critical, QStringLiteral("Foutmelding"),
                 QStringLiteral("Stream %1 levert geen geluid meer (%2). De niveaus staan op 0, "
                                "dus stilte wordt gemeld. Sondral maakt opnieuw verbinding.")
                     .arg(event.text, state.capture.lostReason));
            break;
        }
        post(QMessageBox::Critical, QStringLiteral("Foutmelding"),
             QStringLiteral("Geluidskaart \"%1\" levert geen geluid meer. De niveaus staan op 0, "
                            "dus stilte wordt gemeld. Sondral probeert de kaart opnieuw te openen.")
                 .arg(event.text));
        break;
    case Kind::CaptureBack:
        if (state.capture.isStream()) {
            post(QMessageBox::Information, QStringLiteral("Mededeling"),
                 QStringLiteral("Stream %1 levert weer geluid.").arg(event.text));
            break;
        }
        post(QMessageBox::Information, QStringLiteral("Mededeling"),
             QStringLiteral("Geluidskaart \"%1\" levert weer geluid.").arg(event.text));
        break;
    case Kind::LinkFailed:
        reportFailure(event.text);
        break;
    case Kind::StateFileFailed:
        // Once per failure (the keeper tells only the first): the disk or
        // the file needs someone, the monitoring itself goes on.
        reportFailure(QStringLiteral("De toestand kan niet worden bewaard (%1). Na een herstart "
                                     "gaat Sondral dan niet verder met de bron die in de lucht "
                                     "was. Sondral probeert het opnieuw bij elke wijziging en "
                                     "elke minuut; de bewaking gaat gewoon door.")
                          .arg(event.text));
        break;
    case Kind::StateFileBack:
        post(QMessageBox::Information, QStringLiteral("Mededeling"),
             QStringLiteral("De toestand wordt weer bewaard in %1.").arg(event.text));
        break;
    case Kind::RunEnded:
        // Nothing is shown after the run's end.
        m_presenter.clear();
        break;
    default:
        break;
    }
}

void OperatorNotices::logWriteFailed(const QString& error) {
    if (!m_startupShown)
        m_startupFailures << error;
    else
        m_presenter.postFailures({FailureTexts::log(error)});
}

void OperatorNotices::post(QMessageBox::Icon icon, const QString& title, const QString& text) {
    // Queued without waiting for OK: on an unattended PC nobody may click
    // for hours, and monitoring must not wait for that. The main window's
    // messages block nothing.
    m_presenter.post({icon, title, text, MessageBoxPresenter::priorityOf(icon), nullptr, {}});
}
