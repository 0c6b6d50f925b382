#pragma once

#include <QObject>
#include <QString>

struct Notification;

// One way of telling people (a command, a web hook, a heartbeat). send()
// never waits: it queues, and the path reports each notification's end
// with finished(), delivered or given up, in the order they were sent.
class NotificationPath : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // How the path names itself in the journal and in test output
    // ("command /usr/bin/mail", "webhook https://...", "heartbeat https://...").
    virtual QString name() const = 0;
    virtual void send(const Notification& notification) = 0;
    // Nothing waits or runs.
    virtual bool idle() const = 0;

signals:
    // detail: in English, what the receiver answered or why it failed.
    void finished(bool delivered, const QString& detail);
};
