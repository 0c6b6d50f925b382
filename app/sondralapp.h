#pragma once

#include "settings/eventlog.h"
#include "settings/settings.h"
#include "settings/settingsfile.h"
#include "settings/statefile.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class frmMain;
class frmAudio;
class frmInterPC;
class WaveIn;
class UdpLink;
class QtTickTimer;
class MessageBoxPresenter;
class Monitor;
class Station;
struct StationState;
class EventLogRecorder;
class OperatorNotices;
class ServiceNotifier;
class TerminationWatcher;
class StateKeeper;
class OutageTracker;
struct ProgrammeSecond;
class Notifier;
class StatusBoard;
class StatusService;
class StatusPublisher;
class ClipRecorder;
struct MonitoringHealth;
enum class CapturePhase;

// The program: builds every long-lived object of a run (settings and INI
// access, the station state, event log, capture, socket, tick, monitoring,
// the operator's message queue, the window, the service manager's
// notifications and the termination signals) and connects them. Everything
// lives on the UI thread; the capture hands its levels over through atomics.

class SondralApp : public QObject {
    Q_OBJECT
public:
    // appDir is where sondral.ini and sondral.log live: the executable's
    // directory.
    explicit SondralApp(const QString& appDir, QObject* parent = nullptr);
    ~SondralApp() override;

    // The whole start of a run: start-up, the window, the start-up messages,
    // and READY to the service manager. offscreen: no display was found
    // (or none could be reached), and notice says so on the journal.
    void start(bool offscreen, const QString& notice = {});

    // After the event loop has ended: lets the notifications of the run's
    // last events (its close) go out, for at most timeoutMs. At once when
    // nothing waits.
    void finishNotifications(int timeoutMs);

private:
    // Start-up: settings, capture, socket, "Program started Up", in that
    // order.
    void Form_Load();
    void connectStation();
    void connectWindow();
    void connectCapture();
    void connectSocket();
    // Carries on with the last run's source when that run ended less than
    // StateFile::resumeWithinSecs ago; from then on the state file follows
    // the station.
    void resumeLastRun();
    // After the settings are read: the outage after an alarm and the
    // notifications, the last readers of the station.
    void connectOutputs();
    // The tick reads the two levels the silence check judges.
    void tmrSN_Timer();
    // What the capture's dynamics meter said of the last second, for the
    // tick and for the outage's restore.
    ProgrammeSecond programmeSecond() const;
    void captureDelivers(const QString& deviceName);
    void captureLost(const QString& deviceName);
    void captureBack(const QString& deviceName);
    // Opens the sound card named by Card and CardName.
    void startCard();
    // A stream's codec and rate, as the capture last decoded them.
    void noteStreamFormat(StationState& state) const;
    // The input asked for is still not captured this long after the start:
    // the operator hears once what is missing.
    void reportMissingInput();
    static constexpr int missingInputReportMs = 10 * 1000;
    void openAudioSettings();
    void openLinkSettings();
    // The window's close request (or a termination signal) and Programma >
    // Afsluiten.
    void closeRequested();
    void closeChosen();
    void closeDialogs();
    // [Status]: the page, JSON and metrics on a thread of their own, when a
    // port is set. A port that cannot be had is a start-up message.
    void startStatus();
    // The capture delivers at the meters' pace while the window or the
    // status page shows them.
    void updateWatched();
    // The one judgement of health, on the station state as it stands.
    MonitoringHealth health() const;
    // HostPort, taken at the start, was bound on a later try.
    void linkBound();
    // Notes when the phase began, for the health check.
    void setCapturePhase(CapturePhase phase);

    SettingsFile m_settingsFile;
    Settings m_settings; // as read at start-up, for the whole run
    EventLog m_eventLog;
    // sondral.state beside sondral.ini: what a restart carries on with.
    StateFile m_stateFile;

    std::unique_ptr<Station> m_station;
    std::unique_ptr<MessageBoxPresenter> m_presenter;
    std::unique_ptr<OperatorNotices> m_notices;
    std::unique_ptr<EventLogRecorder> m_recorder;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<WaveIn> m_waveIn;
    std::unique_ptr<UdpLink> m_socket;
    std::unique_ptr<QtTickTimer> m_tmrSN;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<ServiceNotifier> m_serviceNotifier;
    std::unique_ptr<TerminationWatcher> m_terminationWatcher;
    std::unique_ptr<StateKeeper> m_stateKeeper;
    std::unique_ptr<QtTickTimer> m_outageTimer;
    std::unique_ptr<OutageTracker> m_outageTracker;
    std::unique_ptr<Notifier> m_notifier;
    // Only with [Status] Port; the service stops before the board goes.
    std::unique_ptr<StatusBoard> m_statusBoard;
    std::unique_ptr<StatusService> m_statusService;
    std::unique_ptr<StatusPublisher> m_statusPublisher;
    // Declared last, so it goes first: clips still collecting are written
    // while the capture's ring and the station still exist.
    std::unique_ptr<ClipRecorder> m_clips;

    // What the window last said of being watched (frmMain::watchedChanged).
    bool m_windowWatched = false;

    QPointer<frmAudio> m_frmAudio;
    QPointer<frmInterPC> m_frmInterPC;
};
