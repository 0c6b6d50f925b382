#pragma once

#include "settings/settings.h"

#include <QDialog>

class MessageBoxPresenter;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class SettingsFile;

// The link settings dialog: the server's host name, the server's UDP port for
// the alarm and the local UDP port for the server's datagrams. Saving checks
// that none is empty (a host name of blanks counts as empty), writes the
// section "InterPC" of the settings file as typed and asks for a restart. It
// opens with what the file holds now, saves of this run included. Modeless, deletes itself on
// close; only the save button and the window's close button unload it (Escape does not).
class frmInterPC : public QDialog {
    Q_OBJECT
public:
    // Messages go to the operator through messages.
    frmInterPC(SettingsFile& settingsFile, MessageBoxPresenter& messages,
               QWidget* parent = nullptr);

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
    SettingsFile& m_settingsFile;

    QLineEdit* m_txtRemoteName = nullptr;
    QLineEdit* m_txtRemotePort = nullptr;
    QLineEdit* m_txtHostPort = nullptr;
    QPushButton* m_cmdExit = nullptr;
};
