#pragma once

#include "audio/devicelist.h"
#include "settings/monitoredsources.h"
#include "settings/settings.h"

#include <QDialog>

#include <array>
#include <functional>

class LedSpinEdit;
class MessageBoxPresenter;
class QKeyEvent;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class SettingsFile;

// The audio settings dialog: sound card, the threshold (percent) and time
// limit (seconds) of the automation and of each feed, and event logging.
// Saving writes the section "Audio" of the settings file and asks for a
// restart; the running process keeps the values it read at start-up. It
// opens with what the file holds now, saves of this run included.
// Modeless, deletes itself on close; only the save button and the window's
// close button unload it (Escape does not).
class frmAudio : public QDialog {
    Q_OBJECT
public:
    // devices lists the capture devices in the order capture numbers them,
    // so the chosen position is the device captured at the next start; the
    // chosen device's sound-server name is saved beside it. Messages go to
    // the operator through messages.
    frmAudio(SettingsFile& settingsFile, std::function<CaptureDeviceList()> devices,
             MessageBoxPresenter& messages, QWidget* parent = nullptr);

public slots:
    // The save button: writes the section in one replacement of the file,
    // shows the restart message and closes when it is closed. With no input
    // listed, the stored Card and CardName stay as they are. If the file
    // cannot be written it stays as it was and the dialog stays open.
    void cmdClose_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void VulKaart();
    bool writeAll();

    MessageBoxPresenter& m_messages;
    SettingsFile& m_settingsFile;
    Settings m_settings; // what the dialog opened with
    std::function<CaptureDeviceList()> m_listDevices;
    CaptureDeviceList m_devices; // the entries of cobKaart, in its order

    QComboBox* m_cobKaart = nullptr;
    QLineEdit* m_txtUrl = nullptr;
    // One per row of MonitoredSources, in its order (the frames' order).
    std::array<LedSpinEdit*, MonitoredSourceCount> m_volumeEditors{};
    std::array<LedSpinEdit*, MonitoredSourceCount> m_timeEditors{};
    QCheckBox* m_chkLog = nullptr;
    QPushButton* m_cmdClose = nullptr;
};
