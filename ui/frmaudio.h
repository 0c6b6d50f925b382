#pragma once

#include "settings/monitoredsources.h"
#include "settings/settings.h"

#include <QDialog>
#include <QStringList>

#include <array>
#include <functional>

class IniFile;
class LedSpinEdit;
class MessageBoxPresenter;
class QKeyEvent;
class QCheckBox;
class QComboBox;
class QPushButton;

// The audio settings dialog: sound card, the threshold (percent) and time
// limit (seconds) of the automation and of each feed, and event logging.
// Saving writes the section "Audio" of the settings file and asks for a
// restart; the running process keeps the values it read at start-up.
// Modeless, deletes itself on close; only the save button and the window's
// close button unload it (Escape does not).
class frmAudio : public QDialog {
    Q_OBJECT
public:
    // deviceNames lists the capture devices in the order capture numbers
    // them, so the chosen position is the device captured at the next start.
    // Messages go to the operator through messages.
    frmAudio(const Settings& settings, IniFile& iniFile, const QString& iniPath,
             std::function<QStringList()> deviceNames, MessageBoxPresenter& messages,
             QWidget* parent = nullptr);

public slots:
    // The save button: writes all twelve keys in one replacement of the
    // file, shows the restart message and closes when it is closed. If the
    // file cannot be written it stays as it was and the dialog stays open.
    void cmdClose_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void VulKaart();
    bool writeAll();

    MessageBoxPresenter& m_messages;
    Settings m_settings;
    IniFile& m_iniFile;
    QString m_iniPath;
    std::function<QStringList()> m_deviceNames;

    QComboBox* m_cobKaart = nullptr;
    // One per row of MonitoredSources, in its order (the frames' order).
    std::array<LedSpinEdit*, MonitoredSourceCount> m_volumeEditors{};
    std::array<LedSpinEdit*, MonitoredSourceCount> m_timeEditors{};
    QCheckBox* m_chkLog = nullptr;
    QPushButton* m_cmdClose = nullptr;
};
