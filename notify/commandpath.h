#pragma once

#include "notify/notification.h"
#include "notify/notificationpath.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>

// Runs a program for each notification, one at a time and in order, with
// the notification in its environment (Notification::environment) and no
// shell. Its standard output and error go to the journal; a non-zero exit,
// a program that cannot start and one still running after timeoutMs
// (killed) are journal warnings. Nothing is retried.
class CommandPath : public NotificationPath {
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 30000;
    // At most this many wait; beyond, the oldest waiting one is dropped.
    static constexpr int MaxWaiting = 100;

    // commandLine: words split on blanks, double quotes group.
    explicit CommandPath(const QString& commandLine, QObject* parent = nullptr);
    ~CommandPath() override;

    // Why the command line cannot be used, in English; empty when it can.
    static QString unusable(const QString& commandLine);

    QString name() const override { return QStringLiteral("command ") + m_program; }
    void send(const Notification& notification) override;
    bool idle() const override { return !m_process && m_waiting.isEmpty(); }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

private:
    void runNext();
    void readOutput();
    void done(bool ok, const QString& detail);

    QString m_program;
    QStringList m_arguments;
    QList<Notification> m_waiting;
    QPointer<QProcess> m_process;
    QTimer m_deadline;
    QByteArray m_partialLine;
    bool m_timedOut = false;
    int m_timeoutMs = DefaultTimeoutMs;
};
