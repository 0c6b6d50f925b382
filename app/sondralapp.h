#pragma once

#include "app/capturelevels.h"
#include "app/eventlogwriter.h"
#include "app/gaugedisplay.h"
#include "app/labelstatus.h"
#include "settings/eventlog.h"
#include "settings/settings.h"
#include "settings/settingsfile.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class frmMain;
class frmAudio;
class frmInterPC;
class WaveIn;
class UdpLink;
class QtTickTimer;
class QtEventPump;
class MessageBoxPresenter;
class Monitor;
class ServiceNotifier;
class TerminationWatcher;

// The program: builds every long-lived object of a run (settings and INI
// access, event log, capture, socket, tick, monitoring, the operator's
// message queue, the window and, for a real run, the service manager's
// notifications and the termination signals) and connects them. Everything
// lives on the UI thread; the capture hands its levels over through atomics.
class SondralApp : public QObject {
    Q_OBJECT
public:
    // appDir is where sondral.ini and sondral.log live (the executable's
    // directory in production, a temporary directory in tests). levels is
    // what the detector reads; empty means the capture's one-second peaks.
    explicit SondralApp(const QString& appDir, CaptureLevels::Source levels = {},
                        QObject* parent = nullptr);
    ~SondralApp() override;

    // The whole start of a run: start-up, the window, the start-up messages,
    // and READY to the service manager. offscreen: no display was found.
    void start(bool offscreen);

    // Start-up: settings, capture, socket, "Program started Up", in that
    // order. Problems are collected and shown by showStartupMessages() once
    // the window is up, so that a message waiting for OK never holds back
    // monitoring.
    void Form_Load();
    void showStartupMessages();
    QStringList startupMessages() const { return m_startupProblems + m_startupFailures; }

    frmMain& window() { return *m_window; }
    WaveIn& capture() { return *m_waveIn; }
    UdpLink& socket() { return *m_socket; }
    const Settings& settings() const { return m_settings; }
    const Monitor& monitor() const { return *m_monitor; }
    // The one queue of messages to the operator.
    MessageBoxPresenter& messages() { return *m_presenter; }
    bool tickRunning() const;

    // The monitoring's ports on the window.
    StatusDisplay& status() { return m_status; }
    LevelMeters& meters() { return m_levels; }
    SilenceGauge& gauge() { return m_gauge; }

private:
    void connectWindow();
    void connectCapture();
    void connectSocket();
    void openAudioSettings();
    void openLinkSettings();
    // The window's close request and Programma > Afsluiten.
    void closeRequested();
    void closeChosen();
    // Ends the run once: "Program Closed" is the last thing logged, sent or
    // shown. False when the run already ended.
    bool endRun();
    void closeDialogs();
    void addFailure(const QString& text);
    void postMessage(QMessageBox::Icon icon, const QString& title, const QString& text);

    SettingsFile m_settingsFile;
    Settings m_settings; // as read at start-up, for the whole run
    EventLog m_eventLog;

    std::unique_ptr<MessageBoxPresenter> m_presenter;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<WaveIn> m_waveIn;
    std::unique_ptr<UdpLink> m_socket;
    std::unique_ptr<QtTickTimer> m_tmrSN;
    std::unique_ptr<QtEventPump> m_eventPump;
    LabelStatus m_status;
    CaptureLevels m_levels;
    GaugeDisplay m_gauge;
    EventLogWriter m_logger;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<ServiceNotifier> m_serviceNotifier;
    std::unique_ptr<TerminationWatcher> m_terminationWatcher;

    QPointer<frmAudio> m_frmAudio;
    QPointer<frmInterPC> m_frmInterPC;

    QStringList m_startupProblems; // bad values in sondral.ini (warning)
    QStringList m_startupFailures; // pieces that could not start (critical)
    bool m_startupShown = false;
    bool m_closed = false;
};
