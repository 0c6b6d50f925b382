#pragma once

#include "core/eventlogger.h"
#include "core/levelmeters.h"
#include "core/silencegauge.h"
#include "core/statusdisplay.h"
#include "settings/eventlog.h"
#include "settings/inifile.h"
#include "settings/settings.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class WaveIn;
class LevelMeter;
class Gauge;
class UdpLink;
class QtTickTimer;
class QtEventPump;
class MessageBoxPresenter;
class Monitor;
class frmAudio;
class frmInterPC;

// Sondral's main window and status display. It hosts every long-lived object
// of the run (settings, INI access, capture, socket, tick, monitor) and binds
// their events to the monitoring logic in core/, which holds the rules. The
// window itself only shows what that logic writes.
class frmMain : public QMainWindow,
                public StatusDisplay,
                public LevelMeters,
                public SilenceGauge,
                public EventLogger {
    Q_OBJECT
public:
    // appDir is where sondral.ini and sondral.log live (the executable's
    // directory in production, a temporary directory in tests).
    explicit frmMain(const QString& appDir, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: settings, capture, socket, "Program started Up". Problems are
    // collected and shown by showStartupMessages() once the window is up, so
    // that a message waiting for OK never holds back monitoring.
    void Form_Load();
    void showStartupMessages();
    QStringList startupMessages() const { return m_startupProblems + m_startupFailures; }

    const Settings& settings() const { return m_settings; }
    const Monitor& monitor() const { return *m_monitor; }
    // The one queue of messages to the operator.
    MessageBoxPresenter& messages() { return *m_presenter; }
    UdpLink& socket() { return *m_socket; }
    bool tickRunning() const;

    // Replaces the capture readings (channel 0 left, 1 right) for tests that
    // drive the detector without a sound card.
    void setLevelOverrideForTesting(std::function<int(int channel)> levels);

    // StatusDisplay
    void setStatusText(const QString& text) override;
    QString statusText() const override;
    // LevelMeters
    int leftLevel() override;
    int rightLevel() override;
    void setLeftThreshold(int percent) override;
    void setRightThreshold(int percent) override;
    // SilenceGauge
    void setMaximum(int maximum) override;
    void setPosition(int position) override;
    // EventLogger
    bool writeLog(const QString& message, QString* error) override;

    void mnuClose_Click();
    void mnuAudio_Click();
    void mnuInterPC_Click();

protected:
    // The close request: always goes ahead.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildWindow();
    void buildMenu();
    void Form_QueryUnload();
    // Ends the run once: "Program Closed" is the last thing logged, sent or
    // shown. False when the run already ended.
    bool endRun();
    void closeDialogs();
    void addFailure(const QString& text);
    void postMessage(QMessageBox::Icon icon, const QString& title, const QString& text);

    QString m_appDir;
    QString m_iniPath;
    Settings m_settings;
    IniFile m_iniFile;
    EventLog m_eventLog;

    WaveIn* m_waveIn = nullptr;
    LevelMeter* m_levLeft = nullptr;
    LevelMeter* m_levRight = nullptr;
    Gauge* m_barTime = nullptr;
    QLabel* m_lblStatus = nullptr;
    QString m_statusText; // exactly what was last written, never trimmed
    UdpLink* m_socket = nullptr;
    QtTickTimer* m_tmrSN = nullptr;
    std::unique_ptr<QtEventPump> m_eventPump;
    std::unique_ptr<MessageBoxPresenter> m_presenter;
    std::unique_ptr<Monitor> m_monitor;
    std::function<int(int)> m_levelOverride;

    QMenu* m_mnuProg = nullptr;
    QMenu* m_mnuSetup = nullptr;
    QAction* m_mnuClose = nullptr;
    QAction* m_mnuAudio = nullptr;
    QAction* m_mnuInterPC = nullptr;
    QAction* m_mnuAbout = nullptr;
    QPointer<frmAudio> m_frmAudio;
    QPointer<frmInterPC> m_frmInterPC;

    QStringList m_startupProblems; // bad values in sondral.ini (warning)
    QStringList m_startupFailures; // pieces that could not start (critical)
    bool m_startupShown = false;
    bool m_closed = false;
    bool m_centred = false;
};
