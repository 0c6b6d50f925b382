#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class LevelMeter;
class Gauge;
class WaveIn;
struct StationState;

// Sondral's main window: two level meters, the gauge of silent seconds, the
// status line and the menus. It shows the station state it is given and
// passes the operator's choices on as signals; what they mean, and
// everything the run owns (settings, capture, socket, tick, monitoring), is
// wired up in app/sondralapp.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);

    // The fixed routing of the capture's channels to the two meters, which
    // then follow the signal on their own.
    void connectMeters(const WaveIn& capture);
    // The status text exactly as given, the meters' markers at the armed
    // threshold, the gauge's maximum at the armed time and its position.
    void showStation(const StationState& state);

signals:
    // The window's close button (or close()): the window goes once the
    // receivers return.
    void closeRequested();
    // Programma > Afsluiten.
    void closeChosen();
    // Instellingen > Audio and Instellingen > InterPC.
    void audioChosen();
    void interPCChosen();
    // Someone can see the window, or no longer: it is shown, not minimized,
    // exposed, on a real display (the offscreen platform of a headless PC
    // shows nobody anything). Only then do the meters poll and the meters
    // and gauge paint.
    void watchedChanged(bool watched);

protected:
    // The close request always goes ahead.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildMenu();
    void updateWatched();

    LevelMeter* m_levLeft = nullptr;
    LevelMeter* m_levRight = nullptr;
    Gauge* m_barTime = nullptr;
    QLabel* m_lblStatus = nullptr;

    QMenu* m_mnuProg = nullptr;
    QMenu* m_mnuSetup = nullptr;
    QAction* m_mnuClose = nullptr;
    QAction* m_mnuAudio = nullptr;
    QAction* m_mnuInterPC = nullptr;
    QAction* m_mnuAbout = nullptr;

    bool m_centred = false;
    bool m_watched = false;
    bool m_exposureFollowed = false;
};
