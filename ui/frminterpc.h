#pragma once

#include "settings/settings.h"

#include <QDialog>
#include <QMessageBox>

#include <functional>

class IniFile;
class QLineEdit;
class QPushButton;

// The link settings dialog: the server's host name, the server's UDP port for
// the alarm and the local UDP port for the server's datagrams. Saving checks
// that none is empty, writes the section "InterPC" of the settings file as
// typed and asks for a restart. Modeless, deletes itself on close.
class frmInterPC : public QDialog {
    Q_OBJECT
public:
    // Shows one modal message with an OK button and waits for it to close.
    using MessageBoxFunction = std::function<void(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& title, const QString& text)>;

    frmInterPC(const Settings& settings, IniFile& iniFile, const QString& iniPath,
               QWidget* parent = nullptr);

    // Replaces the way messages are shown; an empty function restores the
    // real message boxes.
    static void setMessageBoxFunction(MessageBoxFunction function);

public slots:
    // The save button: stops at the first empty box (message, focus there,
    // nothing written); otherwise writes the three texts, shows the restart
    // message and closes. If the file cannot be written the dialog stays open.
    void cmdExit_Click();

private:
    void buildControls();
    void Form_Load();
    bool writeAll();
    void showMessage(QMessageBox::Icon icon, const QString& title, const QString& text);

    static MessageBoxFunction s_messageBox;

    Settings m_settings;
    IniFile& m_iniFile;
    QString m_iniPath;

    QLineEdit* m_txtRemoteName = nullptr;
    QLineEdit* m_txtRemotePort = nullptr;
    QLineEdit* m_txtHostPort = nullptr;
    QPushButton* m_cmdExit = nullptr;
};
