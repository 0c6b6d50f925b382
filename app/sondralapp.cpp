#include "app/sondralapp.h"

#include "app/eventlogrecorder.h"
#include "app/operatornotices.h"
#include "app/statekeeper.h"
#include "audio/streamurl.h"
#include "audio/wavein.h"
#include "clips/cliprecorder.h"
#include "core/monitor.h"
#include "core/monitoringhealth.h"
#include "core/outagetracker.h"
#include "core/programmesecond.h"
#include "core/station.h"
#include "notify/notifier.h"
#include "platform/qtticktimer.h"
#include "platform/terminationwatcher.h"
#include "platform/udplink.h"
#include "service/servicenotifier.h"
#include "settings/journal.h"
#include "settings/monitoredsources.h"
#include "status/statusboard.h"
#include "status/statuspublisher.h"
#include "status/statusservice.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/frmmain.h"
#include "ui/messageboxpresenter.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <cmath>
#include <functional>

SondralApp::SondralApp(const QString& appDir, QObject* parent)
    : QObject(parent), m_settingsFile(QDir(appDir).filePath(QStringLiteral("sondral.ini"))),
      m_eventLog(QDir(appDir).filePath(QStringLiteral("sondral.log"))),
      m_stateFile(QDir(appDir).filePath(QStringLiteral("sondral.state"))),
      m_station(std::make_unique<Station>()), m_presenter(std::make_unique<MessageBoxPresenter>()),
      m_notices(std::make_unique<OperatorNotices>(*m_presenter)),
      m_recorder(std::make_unique<EventLogRecorder>(m_settings, m_eventLog)),
      m_window(std::make_unique<frmMain>()), m_waveIn(std::make_unique<WaveIn>()),
      m_socket(std::make_unique<UdpLink>()), m_tmrSN(std::make_unique<QtTickTimer>()),
      m_monitor(std::make_unique<Monitor>(m_settings, *m_station, *m_tmrSN, *m_socket)),
      m_serviceNotifier(std::make_unique<ServiceNotifier>()),
      m_stateKeeper(std::make_unique<StateKeeper>(m_stateFile, *m_station)),
      m_outageTimer(std::make_unique<QtTickTimer>()),
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
    m_outageTimer->disconnect(this);
    // The notifications and the outage go before the station they read.
    if (m_notifier)
        m_station->disconnect(m_notifier.get());
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
    connect(m_station.get(), &Station::changed, m_stateKeeper.get(), &StateKeeper::stationChanged);
    connect(m_station.get(), &Station::eventPublished, m_stateKeeper.get(),
            &StateKeeper::eventPublished);
    // The sound of each alarm, kept beside the settings.
    connect(m_station.get(), &Station::eventPublished, m_clips.get(), &ClipRecorder::record);
    // A running tick counts silent seconds from a level below half the
    // armed threshold: the capture delivers short while the programme is
    // that quiet, so that the count starts on time.
    connect(m_station.get(), &Station::changed, m_waveIn.get(), [this](const StationState& s) {
        m_waveIn->setHurryBelow(s.tickRunning ? (s.modes.ArmedVol + 1) / 2 : 0);
    });
    // A count of silent seconds has begun: the alarm may be due within the
    // time limit, so the server's name is looked up again now when the last
    // lookup is older than a minute (never waiting for the answer).
    connect(m_station.get(), &Station::changed, m_socket.get(), [this](const StationState& s) {
        if (s.tickRunning && s.modes.SilenceCount > 0)
            m_socket->refreshRemote();
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
    connect(m_window.get(), &frmMain::watchedChanged, this, [this](bool watched) {
        m_windowWatched = watched;
        updateWatched();
    });
    updateWatched();
}

void SondralApp::connectCapture() {
    // The meters show the capture's latest blocks; the tick reads its
    // one-second peaks.
    m_window->connectMeters(*m_waveIn);
    connect(m_waveIn.get(), &WaveIn::deliveryStarted, this, &SondralApp::captureDelivers);
    connect(m_waveIn.get(), &WaveIn::deviceLost, this, &SondralApp::captureLost);
    connect(m_waveIn.get(), &WaveIn::deviceRestored, this, &SondralApp::captureBack);
}

void SondralApp::connectSocket() {
    connect(m_tmrSN.get(), &QtTickTimer::timeout, this, &SondralApp::tmrSN_Timer);
    // Straight to the monitor: the socket's datagrams are its input.
    connect(m_socket.get(), &UdpLink::datagramReceived, this,
            std::bind_front(&Monitor::Winsock1_DataArrival, m_monitor.get()));
    connect(m_socket.get(), &UdpLink::receiveFailed, this,
            std::bind_front(&Monitor::Winsock1_Error, m_monitor.get()));
    connect(m_socket.get(), &UdpLink::bound, this, &SondralApp::linkBound);
    connect(m_socket.get(), &UdpLink::droppedChanged, this, [this](qint64 dropped) {
        m_station->edit().link.droppedDatagrams = dropped;
        m_station->notifyChanged();
    });
    connect(m_socket.get(), &UdpLink::remoteResolveFailed, this, [this](const QString& text) {
        m_station->publish(StationEvent::Kind::LinkFailed, text);
    });
}

void SondralApp::start(bool offscreen, const QString& notice) {
    QApplication::setApplicationName(QStringLiteral("Sondral"));
    // No application display name: the window system would append it to
    // every title ("Mededeling — Sondral").
    if (offscreen)
        Journal::write(Journal::Priority::Notice,
                       notice.isEmpty()
                           ? QStringLiteral("Geen beeldscherm gevonden (DISPLAY en WAYLAND_DISPLAY "
                                            "zijn leeg): Sondral draait zonder venster en bewaakt "
                                            "gewoon door.")
                           : notice);

    const QIcon icon = applicationIcon();
    QApplication::setWindowIcon(icon);
    m_window->setWindowIcon(icon);

    // A termination signal is a close request like the window's close button.
    m_terminationWatcher = std::make_unique<TerminationWatcher>();
    connect(m_terminationWatcher.get(), &TerminationWatcher::terminationRequested, this,
            &SondralApp::closeRequested);

    Form_Load();
    m_window->show();
    m_notices->showStartupMessages();
    m_serviceNotifier->notifyReady();
    // The watchdog proves only that the monitoring loop runs: a restart
    // would not free a taken port nor bring a sound server back. The
    // heartbeat stops whenever Sondral cannot monitor, but not for dead air,
    // which the alarm paths tell.
    m_serviceNotifier->startWatchdog([this] { return health().loopRuns(); });
    m_notifier->startHeartbeat([this] { return !m_station->ended() && health().canMonitor(); });
}

void SondralApp::connectOutputs() {
    m_outageTracker = std::make_unique<OutageTracker>(
        *m_station, *m_outageTimer, m_settings.RestoreTime, m_settings.RepeatMinutes * 60);
    connect(m_outageTimer.get(), &QtTickTimer::timeout, this, [this] {
        m_outageTracker->second(m_waveIn->level(0), m_waveIn->level(1), programmeSecond());
    });
    m_notifier = std::make_unique<Notifier>(m_settings);
    // A key that cannot be used is named, and the other paths work.
    m_notices->addStartupProblems(m_notifier->problemTexts());
    for (const QString& line : m_notifier->problemJournalLines())
        Journal::write(Journal::Priority::Warning, line);
    connect(m_station.get(), &Station::eventPublished, m_notifier.get(), &Notifier::observe);
    // Its OutageBegan reaches every reader after the alarm that began it,
    // wherever it is connected: the station queues what a reader publishes.
    connect(m_station.get(), &Station::eventPublished, this,
            [this](const StationEvent& event, const StationState& state) {
                m_outageTracker->observe(event, state);
            });
}

void SondralApp::finishNotifications(int timeoutMs) {
    if (!m_notifier)
        return;
    QEventLoop loop;
    bool done = false;
    m_notifier->whenIdle(timeoutMs, [&] {
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
}

void SondralApp::Form_Load() {
    StationState& state = m_station->edit();
    state.started = QDateTime::currentDateTime();
    state.capture.sinceMs = CaptureState::nowMs();
    m_notices->addStartupProblems(m_settingsFile.load());
    m_settings = m_settingsFile.settings();
    connectOutputs();

    // The audio thread judges the programme's dynamics only for a source
    // that asks for it: without a Flat time the capture does what it always
    // did.
    bool flat = false;
    for (const MonitoredSource& source : MonitoredSources)
        flat = flat || m_settings.*source.flatSeconds > 0;
    m_waveIn->setDynamicsMeasured(flat);

    if (!m_settings.Url.isEmpty()) {
        // A network stream is the programme: the sound card is not opened.
        m_waveIn->startStream(m_settings.Url);
        state.capture.kind = streamurl::kind(m_settings.Url);
        if (state.capture.kind.isEmpty())
            state.capture.kind = QStringLiteral("stream");
        state.capture.url = m_waveIn->deviceName();
        if (m_settings.Card != 0 || !m_settings.CardName.isEmpty()) {
            m_notices->addStartupProblems(
                {QStringLiteral("Het programma komt van stream %1 (Url): Card en CardName "
                                "worden genegeerd.")
                     .arg(state.capture.url)});
        }
    } else {
        startCard();
    }
    state.capture.device = m_waveIn->deviceName();

    if (m_settings.linkComplete()) {
        m_socket->setRemote(m_settings.RemoteName, m_settings.RemotePort);
        state.link.remoteName = m_settings.RemoteName;
        state.link.remotePort = m_settings.RemotePort;
        state.link.hostPort = m_settings.HostPort;
        state.link.bound = m_socket->bind(m_settings.HostPort);
        if (!state.link.bound) {
            state.link.bindError = m_socket->lastErrorReason();
            m_station->publish(StationEvent::Kind::LinkFailed, m_socket->lastErrorText());
            // Once: the socket tries again by itself and says when it binds.
            if (m_socket->isRetryingBind())
                Journal::write(Journal::Priority::Warning,
                               QStringLiteral("UDP port %1 cannot be bound (%2): the server's "
                                              "datagrams cannot arrive; trying again every %3 s")
                                   .arg(m_settings.HostPort)
                                   .arg(state.link.bindError)
                                   .arg(UdpLink::bindRetryMs / 1000));
        }
    }

    startStatus();

    m_station->publish(StationEvent::Kind::RunStarted, QStringLiteral("Program started Up"));
    resumeLastRun();
    m_station->notifyChanged();
}

void SondralApp::resumeLastRun() {
    // Whatever ended the last run (a crash, a kill, a closed window, an
    // update, a power cut): a start soon after carries on watching the
    // source that was on air, since many playouts name it only when it
    // changes.
    qint64 age = 0;
    QString problem;
    const auto saved = m_stateFile.read(&problem);
    // A FIFO, a device or a folder in its place is named here; the first
    // write names it again to the operator and leaves it alone as well.
    if (!problem.isEmpty())
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("the last run's state is not read: %1").arg(problem));
    if (saved && !saved->keyword.isEmpty() &&
        StateFile::isRecent(*saved, QDateTime::currentDateTimeUtc(), StateFile::resumeWithinSecs,
                            &age))
        m_monitor->resume(saved->keyword, saved->paused, age);
    m_stateKeeper->start();
}

void SondralApp::startStatus() {
    if (m_settings.StatusPort <= 0)
        return;
    m_statusBoard = std::make_unique<StatusBoard>();
    m_statusService = std::make_unique<StatusService>(*m_statusBoard);
    // The folder ClipRecorder writes into, beside sondral.ini.
    m_statusService->setClipFolder(
        QFileInfo(m_settingsFile.path()).dir().filePath(QStringLiteral("clips")));
    if (!m_statusService->start(m_settings.StatusBind, quint16(m_settings.StatusPort))) {
        // The monitoring goes on without the page.
        m_notices->reportFailure(
            QStringLiteral("De statuspagina kan niet starten op %1, poort %2: %3. De bewaking gaat "
                           "gewoon door.")
                .arg(m_settings.StatusBind)
                .arg(m_settings.StatusPort)
                .arg(m_statusService->errorString()));
        m_statusService.reset();
        m_statusBoard.reset();
        return;
    }
    Journal::write(Journal::Priority::Info,
                   QStringLiteral("Status page on http://%1:%2/ (read-only)")
                       .arg(m_settings.StatusBind)
                       .arg(m_statusService->port()));
    const WaveIn* waveIn = m_waveIn.get();
    m_statusPublisher = std::make_unique<StatusPublisher>(
        *m_station, *m_statusBoard, m_settings.StationName, [waveIn] {
            return StatusLevels{waveIn->level(0), waveIn->level(1), waveIn->instantLevel(0),
                                waveIn->instantLevel(1), waveIn->lastBlockMs()};
        });
    connect(m_statusPublisher.get(), &StatusPublisher::watchedChanged, this,
            &SondralApp::updateWatched);
    m_statusPublisher->start();
}

void SondralApp::updateWatched() {
    m_waveIn->setWatched(m_windowWatched || (m_statusPublisher && m_statusPublisher->isWatched()));
}

ProgrammeSecond SondralApp::programmeSecond() const {
    const DynamicsSecond d = m_waveIn->dynamics();
    ProgrammeSecond programme;
    programme.measured = d.valid;
    programme.steady = d.valid && d.steady;
    programme.peakDbfs = int(std::lround(d.peakDbfs));
    programme.spreadDb = d.spreadDb;
    programme.repeatDb = d.repeatDb;
    return programme;
}

void SondralApp::startCard() {
    const qint32 card = m_settings.Card; // widened, value unchanged
    // A listed CardName wins over Card, at this start and after every loss:
    // a webcam or a reordered list moves the positions, not the names.
    m_waveIn->setPreferredDevice(m_settings.CardName.toUtf8());
    m_waveIn->setCaptureParameter(2);
    const int named = m_waveIn->positionOf(m_waveIn->preferredDevice());
    if (m_waveIn->deviceCount() > 0 && m_waveIn->setDeviceNumber(named >= 0 ? named : card)) {
        if (!m_waveIn->start())
            m_notices->reportFailure(m_waveIn->errorString());
    } else {
        // The sound server has not listed its inputs yet (it answers within
        // milliseconds, or later on a PC that starts Sondral ahead of it),
        // or not this one (a USB card still waking up): start-up does not
        // wait for it, and capture starts by itself once the input is
        // listed. Until then the levels read 0; if it is still missing
        // after a while, the operator hears what is.
        m_waveIn->startWhenAvailable(card);
    }
    QTimer::singleShot(missingInputReportMs, this, &SondralApp::reportMissingInput);
}

void SondralApp::tmrSN_Timer() {
    const int left = m_waveIn->level(0);
    const int right = m_waveIn->level(1);
    m_monitor->tmrSN_Timer(left, right, programmeSecond());
}

void SondralApp::linkBound() {
    StationState& state = m_station->edit();
    state.link.bound = true;
    state.link.bindError.clear();
    Journal::write(Journal::Priority::Notice,
                   QStringLiteral("UDP port %1 bound after all: the server's datagrams can arrive")
                       .arg(state.link.hostPort));
    m_station->notifyChanged();
}

void SondralApp::setCapturePhase(CapturePhase phase) {
    StationState::Capture& capture = m_station->edit().capture;
    if (capture.phase != phase)
        capture.sinceMs = CaptureState::nowMs();
    capture.phase = phase;
}

void SondralApp::captureDelivers(const QString& deviceName) {
    StationState& state = m_station->edit();
    state.capture.device = deviceName;
    setCapturePhase(CapturePhase::Capturing);
    noteStreamFormat(state);
    m_station->notifyChanged();
}

void SondralApp::captureLost(const QString& deviceName) {
    StationState& state = m_station->edit();
    state.capture.device = deviceName;
    setCapturePhase(CapturePhase::Lost);
    state.capture.lostReason = captureLossText(m_waveIn->lossReason());
    state.capture.lastLost = QDateTime::currentDateTime();
    m_station->publish(StationEvent::Kind::CaptureLost, deviceName);
    m_station->notifyChanged();
}

void SondralApp::captureBack(const QString& deviceName) {
    StationState& state = m_station->edit();
    state.capture.device = deviceName;
    setCapturePhase(CapturePhase::Capturing);
    if (state.capture.isStream())
        ++state.capture.reconnects;
    noteStreamFormat(state);
    m_station->publish(StationEvent::Kind::CaptureBack, deviceName);
    m_station->notifyChanged();
}

void SondralApp::noteStreamFormat(StationState& state) const {
    const CaptureState::Format format = m_waveIn->streamFormat();
    state.capture.codec = format.codec;
    state.capture.sampleRate = format.sampleRate;
}

void SondralApp::reportMissingInput() {
    // Once, and only when it is still missing: an input that came within
    // the wait is simply captured.
    const QString missing = m_waveIn->missingDeviceText();
    if (!missing.isEmpty())
        m_notices->reportFailure(missing);
}

MonitoringHealth SondralApp::health() const {
    return MonitoringHealth::judge(m_station->state(), CaptureState::nowMs(),
                                   m_waveIn->lastBlockMs());
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
