#pragma once

#include "settings/settings.h"

#include <QDialog>
#include <QMessageBox>
#include <QStringList>

#include <array>
#include <functional>

class IniFile;
class LedSpinEdit;
class QCheckBox;
class QComboBox;
class QPushButton;

// The audio settings dialog: sound card, the threshold (percent) and time
// limit (seconds) of the automation and of each feed, and event logging.
// Saving writes the section "Audio" of the settings file and asks for a
// restart; the running process keeps the values it read at start-up.
// Modeless, deletes itself on close.
class frmAudio : public QDialog {
    Q_OBJECT
public:
    // Shows one modal message with an OK button and waits for it to close.
    using MessageBoxFunction = std::function<void(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& title, const QString& text)>;

    // deviceNames lists the capture devices in the order capture numbers
    // them, so the chosen position is the device captured at the next start.
    frmAudio(const Settings& settings, IniFile& iniFile, const QString& iniPath,
             std::function<QStringList()> deviceNames, QWidget* parent = nullptr);

    // Replaces the way messages are shown, for all dialogs created afterwards
    // (the card message comes while the dialog is being built). An empty
    // function restores the real message boxes.
    static void setMessageBoxFunction(MessageBoxFunction function);

public slots:
    // The save button: writes all twelve keys, shows the restart message
    // and closes. If the file cannot be written the dialog stays open.
    void cmdClose_Click();

private:
    void buildControls();
    void Form_Load();
    void VulKaart();
    bool writeAll();
    void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                     const QString& text);

    static MessageBoxFunction s_messageBox;

    Settings m_settings;
    IniFile& m_iniFile;
    QString m_iniPath;
    std::function<QStringList()> m_deviceNames;

    QComboBox* m_cobKaart = nullptr;
    // Automaat, Feed 1 .. Feed 4, in the order of the frames.
    std::array<LedSpinEdit*, 5> m_volumeEditors{};
    std::array<LedSpinEdit*, 5> m_timeEditors{};
    QCheckBox* m_chkLog = nullptr;
    QPushButton* m_cmdClose = nullptr;
};
