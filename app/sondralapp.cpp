#include "app/sondralapp.h"

#include "audio/connector.h"
#include "audio/wavein.h"
#include "core/monitor.h"
#include "core/monitorports.h"
#include "platform/qteventpump.h"
#include "platform/qtticktimer.h"
#include "platform/terminationwatcher.h"
#include "platform/udplink.h"
#include "service/servicenotifier.h"
#include "settings/journal.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/frmmain.h"
#include "ui/messageboxpresenter.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

namespace {
CaptureLevels::Source captureLevels(const WaveIn& waveIn) {
    return [&waveIn](int channel) { return waveIn.level(channel); };
}
} // namespace

SondralApp::SondralApp(const QString& appDir, CaptureLevels::Source levels, QObject* parent)
    : QObject(parent), m_settingsFile(QDir(appDir).filePath(QStringLiteral("sondral.ini"))),
      m_eventLog(QDir(appDir).filePath(QStringLiteral("sondral.log"))),
      m_presenter(std::make_unique<MessageBoxPresenter>()), m_window(std::make_unique<frmMain>()),
      m_waveIn(std::make_unique<WaveIn>()), m_socket(std::make_unique<UdpLink>()),
      m_tmrSN(std::make_unique<QtTickTimer>()), m_eventPump(std::make_unique<QtEventPump>()),
      m_status(m_window->lblStatus()),
      m_levels(levels ? std::move(levels) : captureLevels(*m_waveIn), m_window->levLeft(),
               m_window->levRight()),
      m_gauge(m_window->barTime()), m_logger(m_eventLog) {
    MonitorPorts ports;
    ports.status = &m_status;
    ports.meters = &m_levels;
    ports.gauge = &m_gauge;
    ports.timer = m_tmrSN.get();
    ports.sender = m_socket.get();
    ports.logger = &m_logger;
    ports.pump = m_eventPump.get();
    ports.presenter = m_presenter.get();
    m_monitor = std::make_unique<Monitor>(m_settings, ports);

    connectWindow();
    connectCapture();
    connectSocket();
}

SondralApp::~SondralApp() {
    // The capture and the socket outlive the members they report to
    // (monitor, queue).
    m_waveIn->disconnect(this);
    m_socket->disconnect(this);
    closeDialogs();
}

void SondralApp::connectWindow() {
    connect(m_window.get(), &frmMain::closeRequested, this, &SondralApp::closeRequested);
    connect(m_window.get(), &frmMain::closeChosen, this, &SondralApp::closeChosen);
    connect(m_window.get(), &frmMain::audioChosen, this, &SondralApp::openAudioSettings);
    connect(m_window.get(), &frmMain::interPCChosen, this, &SondralApp::openLinkSettings);
}

void SondralApp::connectCapture() {
    // The meters show the capture's latest blocks; the detector reads its
    // one-second peaks through m_levels.
    Connector::connect(*m_waveIn, m_window->levLeft(), m_window->levRight());
    connect(m_waveIn.get(), &WaveIn::deviceLost, this, [this](const QString& name) {
        postMessage(
            QMessageBox::Critical, QStringLiteral("Foutmelding"),
            QStringLiteral("Geluidskaart \"%1\" levert geen geluid meer. De niveaus staan op 0, "
                           "dus stilte wordt gemeld. Sondral probeert de kaart opnieuw te openen.")
                .arg(name));
    });
    connect(m_waveIn.get(), &WaveIn::deviceRestored, this, [this](const QString& name) {
        postMessage(QMessageBox::Information, QStringLiteral("Mededeling"),
                    QStringLiteral("Geluidskaart \"%1\" levert weer geluid.").arg(name));
    });
}

void SondralApp::connectSocket() {
    connect(m_tmrSN.get(), &QtTickTimer::timeout, this, [this] { m_monitor->tmrSN_Timer(); });
    connect(m_socket.get(), &UdpLink::datagramReceived, this,
            [this](const QByteArray& payload) { m_monitor->Winsock1_DataArrival(payload); });
    connect(m_socket.get(), &UdpLink::receiveFailed, this,
            [this](int code) { m_monitor->Winsock1_Error(code); });
    connect(m_socket.get(), &UdpLink::remoteResolveFailed, this, [this](const QString& text) {
        addFailure(text);
        if (m_startupShown)
            showStartupMessages();
    });
}

void SondralApp::start(bool offscreen) {
    QApplication::setApplicationName(QStringLiteral("Sondral"));
    // No application display name: the window system would append it to
    // every title ("Mededeling — Sondral").
    if (offscreen)
        Journal::write(Journal::Priority::Notice,
                       QStringLiteral("Geen beeldscherm gevonden (DISPLAY en WAYLAND_DISPLAY zijn "
                                      "leeg): Sondral draait zonder venster en bewaakt gewoon "
                                      "door."));

    const QIcon icon = applicationIcon();
    QApplication::setWindowIcon(icon);
    m_window->setWindowIcon(icon);

    // Every way a run ends (the close button, the close command, a
    // termination signal) leaves the event loop, so the service manager
    // hears of it from there.
    m_serviceNotifier = std::make_unique<ServiceNotifier>();
    connect(qApp, &QCoreApplication::aboutToQuit, m_serviceNotifier.get(),
            &ServiceNotifier::notifyStopping);

    // A termination signal is a close request like the window's close button.
    m_terminationWatcher = std::make_unique<TerminationWatcher>();
    connect(m_terminationWatcher.get(), &TerminationWatcher::terminationRequested, this,
            [this](int) {
                m_serviceNotifier->notifyStopping();
                m_window->close();
            });

    Form_Load();
    m_window->show();
    showStartupMessages();
    m_serviceNotifier->notifyReady();
    m_serviceNotifier->startWatchdog();
}

void SondralApp::Form_Load() {
    m_startupProblems = m_settingsFile.load();
    m_settings = m_settingsFile.settings();

    const qint32 card = m_settings.Card; // widened, value unchanged
    if (m_waveIn->deviceCount() > 0) {
        if (!m_waveIn->setDeviceNumber(card)) {
            addFailure(m_waveIn->errorString());
        } else {
            m_waveIn->setCaptureParameter(2);
            if (!m_waveIn->start())
                addFailure(m_waveIn->errorString());
        }
    } else {
        // No sound server yet (a PC that starts Sondral ahead of it) or no
        // input: nothing to say now, and capture starts on Card by itself
        // once one is listed. Until then the levels read 0.
        m_waveIn->setCaptureParameter(2);
        m_waveIn->startWhenAvailable(card);
    }

    if (m_settings.linkComplete()) {
        m_socket->setRemote(m_settings.RemoteName, m_settings.RemotePort);
        if (!m_socket->bind(m_settings.HostPort))
            addFailure(m_socket->lastErrorText());
    }

    if (m_settings.Log) {
        QString error;
        if (!m_logger.writeLog(QStringLiteral("Program started Up"), &error))
            addFailure(error);
    }
}

void SondralApp::addFailure(const QString& text) {
    m_startupFailures << text;
}

void SondralApp::postMessage(QMessageBox::Icon icon, const QString& title, const QString& text) {
    // Queued without waiting for OK: on an unattended PC nobody may click
    // for hours, and monitoring must not wait for that. The main window's
    // messages block nothing.
    m_presenter->post({icon, title, text, MessageBoxPresenter::priorityOf(icon), nullptr, {}});
}

void SondralApp::showStartupMessages() {
    m_startupShown = true;
    if (!m_startupProblems.isEmpty())
        postMessage(QMessageBox::Warning, QStringLiteral("Foutmelding"),
                    m_startupProblems.join(u'\n'));
    if (!m_startupFailures.isEmpty())
        postMessage(QMessageBox::Critical, QStringLiteral("Foutmelding"),
                    m_startupFailures.join(u'\n'));
    m_startupProblems.clear();
    m_startupFailures.clear();
}

bool SondralApp::tickRunning() const {
    return m_tmrSN->isActive();
}

void SondralApp::openAudioSettings() {
    if (!m_frmAudio) {
        // The audio thread's cached list: opening never waits on the sound server.
        const WaveIn* waveIn = m_waveIn.get();
        m_frmAudio = new frmAudio(
            m_settingsFile, [waveIn] { return waveIn->devices(); }, *m_presenter);
    }
    m_frmAudio->show();
    m_frmAudio->raise();
    m_frmAudio->activateWindow();
}

void SondralApp::openLinkSettings() {
    if (!m_frmInterPC) {
        m_frmInterPC = new frmInterPC(m_settingsFile, *m_presenter);
    }
    m_frmInterPC->show();
    m_frmInterPC->raise();
    m_frmInterPC->activateWindow();
}

bool SondralApp::endRun() {
    if (m_closed)
        return false;
    m_closed = true;
    if (m_settings.Log) {
        QString error;
        // The close always goes ahead; a line that cannot be written is only
        // reported on standard error, since no window will be left to show it.
        if (!m_logger.writeLog(QStringLiteral("Program Closed"), &error))
            Journal::write(Journal::Priority::Error, error);
    }
    // Nothing may follow "Program Closed": not a tick that is in its middle
    // (a close request can arrive while a tick lets events run), not a late
    // datagram, not a message.
    m_monitor->shutDown();
    m_tmrSN->stop();
    m_presenter->shutDown();
    return true;
}

void SondralApp::closeRequested() {
    if (endRun())
        m_waveIn->stop();
    // The settings dialogs have no owner; closing the main window ends the
    // whole program, so they (and their message boxes) go too. No box runs
    // an event loop of its own, so nothing of theirs is on the stack.
    closeDialogs();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void SondralApp::closeChosen() {
    if (!endRun())
        return;
    // Ends the run at once: no close request, so nothing is logged twice.
    closeDialogs();
    QCoreApplication::exit(0);
}

void SondralApp::closeDialogs() {
    delete m_frmAudio.data();
    delete m_frmInterPC.data();
}
