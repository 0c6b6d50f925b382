#pragma once

#include "settings/eventlog.h"
#include "settings/settings.h"
#include "settings/settingsfile.h"

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
class EventLogRecorder;
class OperatorNotices;
class ServiceNotifier;
class TerminationWatcher;
class ClipRecorder;

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
    // and READY to the service manager. offscreen: no display was found.
    void start(bool offscreen);

private:
    // Start-up: settings, capture, socket, "Program started Up", in that
    // order.
    void Form_Load();
    void connectStation();
    void connectWindow();
    void connectCapture();
    void connectSocket();
    // The tick reads the two levels the silence check judges.
    void tmrSN_Timer();
    void captureDelivers(const QString& deviceName);
    void captureLost(const QString& deviceName);
    void captureBack(const QString& deviceName);
    void devicesChanged();
    void openAudioSettings();
    void openLinkSettings();
    // The window's close request and Programma > Afsluiten.
    void closeRequested();
    void closeChosen();
    void closeDialogs();
    // The service manager's watchdog asks this before every ping.
    bool monitoringWorks() const;

    SettingsFile m_settingsFile;
    Settings m_settings; // as read at start-up, for the whole run
    EventLog m_eventLog;

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
    // Declared last, so it goes first: clips still collecting are written
    // while the capture's ring and the station still exist.
    std::unique_ptr<ClipRecorder> m_clips;

    QPointer<frmAudio> m_frmAudio;
    QPointer<frmInterPC> m_frmInterPC;

    bool m_missingDeviceReported = false;
};
