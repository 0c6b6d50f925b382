#pragma once

#include "settings/journal.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

// One message to the operator: a box with an OK button.
struct OperatorMessage {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    // The priority of the message's line on standard error.
    Journal::Priority priority = Journal::Priority::Notice;
    // The dialog the message belongs to: the box is window-modal to it.
    // None: the box blocks nothing.
    QPointer<QWidget> window;
    // The dialog's step that follows the box, run when the operator has
    // closed it, and only while the dialog still exists.
    std::function<void()> closed;
};

// The one queue of messages to the operator. Every message goes at once as
// one line to standard error (a headless PC's only display) and then waits
// for its box: one box at a time, in order of arrival, shown without
// waiting (open(), never exec()), so no caller ever holds up monitoring.
// A message equal to one still waiting (or on screen) is not queued again,
// and at most MaxWaiting wait, so a fault that repeats all night leaves
// one box, not a pile.
class MessageBoxPresenter : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 16;

    explicit MessageBoxPresenter(QObject* parent = nullptr);
    ~MessageBoxPresenter() override;

    // Returns false when the message was not queued (a duplicate, or the
    // queue full); its line on standard error is written anyway.
    bool post(OperatorMessage message);
    // The monitor's failure boxes (no icon, the application's title), each
    // text a message of its own.
    void postFailures(const QStringList& texts);

    // Drops every waiting message and the box on screen: the run has ended,
    // and nothing is left to show them.
    void clear();

    static Journal::Priority priorityOf(QMessageBox::Icon icon);

private:
    void showNext();
    void boxDone(const QObject* box, bool closedByOperator);
    void finishFront(bool runFollowUp);

    // The front message is the one on screen while m_current is set.
    QList<OperatorMessage> m_queue;
    QPointer<QMessageBox> m_current;
    // The same box, for telling which box a signal came from: by the time
    // destroyed() arrives the box is no QMessageBox any more, so it is
    // compared as the plain object it was.
    const QObject* m_currentObject = nullptr;
    bool m_showing = false;
};
