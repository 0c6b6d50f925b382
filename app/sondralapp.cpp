#include "app/sondralapp.h"

#include "app/eventlogrecorder.h"
#include "app/operatornotices.h"
#include "audio/wavein.h"
#include "clips/cliprecorder.h"
#include "core/monitor.h"
#include "core/monitoringhealth.h"
#include "core/station.h"
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

#include <functional>

SondralApp::SondralApp(const QString& appDir, QObject* parent)
    : QObject(parent), m_settingsFile(QDir(appDir).filePath(QStringLiteral("sondral.ini"))),
      m_eventLog(QDir(appDir).filePath(QStringLiteral("sondral.log"))),
      m_station(std::make_unique<Station>()), m_presenter(std::make_unique<MessageBoxPresenter>()),
      m_notices(std::make_unique<OperatorNotices>(*m_presenter)),
      m_recorder(std::make_unique<EventLogRecorder>(m_settings, m_eventLog)),
      m_window(std::make_unique<frmMain>()), m_waveIn(std::make_unique<WaveIn>()),
      m_socket(std::make_unique<UdpLink>()), m_tmrSN(std::make_unique<QtTickTimer>()),
      m_monitor(std::make_unique<Monitor>(m_settings, *m_station, *m_tmrSN, *m_socket)),
      m_serviceNotifier(std::make_unique<ServiceNotifier>()),
      m_clips(std::make_unique<ClipRecorder>(*m_station, m_waveIn->audioRing(),
                                             QDir(appDir).filePath(QStringLiteral("clips")))) {
    connectStation();
    connectWindow();
    connectCapture();
    connectSocket();
}

SondralApp::~SondralApp() {
    // The capture and the socket outlive the members they report to.
    m_waveIn->disconnect(this);
    m_socket->disconnect(this);
    closeDialogs();
}

void SondralApp::connectStation() {
    // The readers of the station, in this order: the event log first, so
    // that "Program Closed" is written before the queue is cleared.
    connect(m_station.get(), &Station::eventPublished, m_recorder.get(), &EventLogRecorder::record);
    connect(m_station.get(), &Station::eventPublished, m_notices.get(), &OperatorNotices::notice);
    connect(m_recorder.get(), &EventLogRecorder::writeFailed, m_notices.get(),
            &OperatorNotices::logWriteFailed);
    connect(m_station.get(), &Station::changed, m_window.get(), &frmMain::showStation);
    // The sound of each alarm, kept beside the settings.
    connect(m_station.get(), &Station::eventPublished, m_clips.get(), &ClipRecorder::record);
    // A running tick counts silent seconds from a level below half the
    // armed threshold: the capture delivers short while the programme is
    // that quiet, so that the count starts on time.
    connect(m_station.get(), &Station::changed, m_waveIn.get(), [this](const StationState& s) {
        m_waveIn->setHurryBelow(s.tickRunning ? (s.modes.ArmedVol + 1) / 2 : 0);
    });
    connect(m_station.get(), &Station::eventPublished, m_serviceNotifier.get(),
            [this](const StationEvent& event) {
                if (event.kind == StationEvent::Kind::RunEnded)
                    m_serviceNotifier->notifyStopping();
            });
}

void SondralApp::connectWindow() {
    connect(m_window.get(), &frmMain::closeRequested, this, &SondralApp::closeRequested);
    connect(m_window.get(), &frmMain::closeChosen, this, &SondralApp::closeChosen);
    connect(m_window.get(), &frmMain::audioChosen, this, &SondralApp::openAudioSettings);
    connect(m_window.get(), &frmMain::interPCChosen, this, &SondralApp::openLinkSettings);
    // Short deliveries only while someone watches the meters; the silence
    // check reads the same levels either way.
    connect(m_window.get(), &frmMain::watchedChanged, m_waveIn.get(), &WaveIn::setWatched);
    m_waveIn->setWatched(m_window->isWatched());
}

void SondralApp::connectCapture() {
    // The meters show the capture's latest blocks; the tick reads its
    // one-second peaks.
    m_window->connectMeters(*m_waveIn);
    connect(m_waveIn.get(), &WaveIn::deliveryStarted, this, &SondralApp::captureDelivers);
    connect(m_waveIn.get(), &WaveIn::deviceLost, this, &SondralApp::captureLost);
    connect(m_waveIn.get(), &WaveIn::deviceRestored, this, &SondralApp::captureBack);
    connect(m_waveIn.get(), &WaveIn::devicesChanged, this, &SondralApp::devicesChanged);
}

void SondralApp::connectSocket() {
    connect(m_tmrSN.get(), &QtTickTimer::timeout, this, &SondralApp::tmrSN_Timer);
    // Straight to the monitor: the socket's datagrams are its input.
    connect(m_socket.get(), &UdpLink::datagramReceived, this,
            std::bind_front(&Monitor::Winsock1_DataArrival, m_monitor.get()));
    connect(m_socket.get(), &UdpLink::receiveFailed, this,
            std::bind_front(&Monitor::Winsock1_Error, m_monitor.get()));
    connect(m_socket.get(), &UdpLink::remoteResolveFailed, this, [this](const QString& text) {
        m_station->publish(StationEvent::Kind::LinkFailed, text);
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

    // A termination signal is a close request like the window's close button.
    m_terminationWatcher = std::make_unique<TerminationWatcher>();
    connect(m_terminationWatcher.get(), &TerminationWatcher::terminationRequested, this,
            [this](int) { m_window->close(); });

    Form_Load();
    m_window->show();
    m_notices->showStartupMessages();
    m_serviceNotifier->notifyReady();
    m_serviceNotifier->startWatchdog([this] { return monitoringWorks(); });
}

void SondralApp::Form_Load() {
    StationState& state = m_station->edit();
    state.started = QDateTime::currentDateTime();
    m_notices->addStartupProblems(m_settingsFile.load());
    m_settings = m_settingsFile.settings();

    const qint32 card = m_settings.Card; // widened, value unchanged
    if (m_waveIn->deviceCount() > 0) {
        if (!m_waveIn->setDeviceNumber(card)) {
            m_notices->reportFailure(m_waveIn->errorString());
        } else {
            m_waveIn->setCaptureParameter(2);
            if (!m_waveIn->start())
                m_notices->reportFailure(m_waveIn->errorString());
        }
    } else {
        // The sound server has not listed its inputs yet (it answers within
        // milliseconds, or later on a PC that starts Sondral ahead of it):
        // start-up does not wait for it, and capture starts on Card by
        // itself once the input is listed. Until then the levels read 0.
        m_waveIn->setCaptureParameter(2);
        m_waveIn->startWhenAvailable(card);
    }
    state.capture.device = m_waveIn->deviceName();

    if (m_settings.linkComplete()) {
        m_socket->setRemote(m_settings.RemoteName, m_settings.RemotePort);
        state.link.remoteName = m_settings.RemoteName;
        state.link.remotePort = m_settings.RemotePort;
        state.link.hostPort = m_settings.HostPort;
        state.link.bound = m_socket->bind(m_settings.HostPort);
        if (!state.link.bound)
            m_station->publish(StationEvent::Kind::LinkFailed, m_socket->lastErrorText());
    }

    m_station->publish(StationEvent::Kind::RunStarted, QStringLiteral("Program started Up"));
    m_station->notifyChanged();
}

void SondralApp::tmrSN_Timer() {
    m_monitor->tmrSN_Timer(m_waveIn->level(0), m_waveIn->level(1));
}

void SondralApp::captureDelivers(const QString& deviceName) {
    StationState& state = m_station->edit();
    state.capture.device = deviceName;
    state.capture.phase = CapturePhase::Capturing;
    m_station->notifyChanged();
}

void SondralApp::captureLost(const QString& deviceName) {
    StationState& state = m_station->edit();
    state.capture.device = deviceName;
    state.capture.phase = CapturePhase::Lost;
    m_station->publish(StationEvent::Kind::CaptureLost, deviceName);
    m_station->notifyChanged();
}

void SondralApp::captureBack(const QString& deviceName) {
    StationState& state = m_station->edit();
    state.capture.device = deviceName;
    state.capture.phase = CapturePhase::Capturing;
    m_station->publish(StationEvent::Kind::CaptureBack, deviceName);
    m_station->notifyChanged();
}

void SondralApp::devicesChanged() {
    // The operator hears once that Card names no input the sound server
    // lists; capture keeps waiting for it all the same.
    if (m_missingDeviceReported)
        return;
    const QString missing = m_waveIn->missingDeviceText();
    if (missing.isEmpty())
        return;
    m_missingDeviceReported = true;
    m_notices->reportFailure(missing);
}

bool SondralApp::monitoringWorks() const {
    return MonitoringHealth::check(m_station->state(), CaptureState::nowMs(),
                                   m_waveIn->lastBlockMs())
        .ok;
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

void SondralApp::closeRequested() {
    // "Program Closed" is the last thing logged, sent or shown: the station
    // publishes nothing after it, and the monitor does nothing.
    if (m_station->end()) {
        m_tmrSN->stop();
        m_waveIn->stop();
    }
    // The settings dialogs have no owner; closing the main window ends the
    // whole program, so they (and their message boxes) go too. No box runs
    // an event loop of its own, so nothing of theirs is on the stack.
    closeDialogs();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void SondralApp::closeChosen() {
    if (!m_station->end())
        return;
    // Ends the run at once: no close request, so nothing is logged twice.
    m_tmrSN->stop();
    closeDialogs();
    QCoreApplication::exit(0);
}

void SondralApp::closeDialogs() {
    delete m_frmAudio.data();
    delete m_frmInterPC.data();
}
