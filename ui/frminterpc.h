#pragma once

#include "settings/settings.h"

#include <QDialog>

class IniFile;
class MessageBoxPresenter;
class QKeyEvent;
class QLineEdit;
class QPushButton;

// The link settings dialog: the server's host name, the server's UDP port for
// the alarm and the local UDP port for the server's datagrams. Saving checks
// that none is empty, writes the section "InterPC" of the settings file as
// typed and asks for a restart. Modeless, deletes itself on close; only the
// save button and the window's close button unload it (Escape does not).
class frmInterPC : public QDialog {
    Q_OBJECT
public:
    // Messages go to the operator through messages.
    frmInterPC(const Settings& settings, IniFile& iniFile, const QString& iniPath,
               MessageBoxPresenter& messages, QWidget* parent = nullptr);

public slots:
    // The save button: stops at the first empty box (message, then focus
    // there; nothing written); otherwise writes the three texts in one
    // replacement of the file, shows the restart message and closes when it
    // is closed. If the file cannot be written it stays as it was and the
    // dialog stays open.
    void cmdExit_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    bool writeAll();

    MessageBoxPresenter& m_messages;
    Settings m_settings;
    IniFile& m_iniFile;
    QString m_iniPath;

    QLineEdit* m_txtRemoteName = nullptr;
    QLineEdit* m_txtRemotePort = nullptr;
    QLineEdit* m_txtHostPort = nullptr;
    QPushButton* m_cmdExit = nullptr;
};
