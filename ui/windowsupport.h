#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QString>

class QWidget;

// Small pieces the three windows share.

// The application's icon in all its sizes, from the resources.
QIcon applicationIcon();

// The settings dialogs' window: a title and a close button only, and no
// task-bar entry even though the dialog has no owner.
void makeSettingsDialogWindow(QWidget* dialog, const QString& title);

// A modal message with an OK button that waits until it is closed.
void showModalMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                      const QString& text);

// The operator's message for a failed save of the settings file: it names
// the file and the reason. The INI access's own error text usually names
// the file already.
QString saveFailureText(const QString& path, const QString& error);
