#pragma once

#include <QIcon>
#include <QString>

class QKeyEvent;
class QWidget;

// Small pieces the three windows share.

// The application's icon in all its sizes, from the resources.
QIcon applicationIcon();

// The settings dialogs' window: a title and a close button only, and no
// task-bar entry even though the dialog has no owner.
void makeSettingsDialogWindow(QWidget* dialog, const QString& title);

// The key that would reject a dialog (Escape): the settings dialogs ignore
// it, so that only saving or the window's close button unloads them.
bool isCancelKey(const QKeyEvent* event);

// The operator's message for a failed save of the settings file: it names
// the file and the reason. The INI access's own error text usually names
// the file already.
QString saveFailureText(const QString& path, const QString& error);
