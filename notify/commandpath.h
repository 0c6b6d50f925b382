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
// shell. The last KeptOutputBytes (at most KeptOutputLines lines) of its
// standard output and error go to the journal when it ends, and how much
// more it printed is counted, not kept: a program that prints without end
// costs no memory, and the UI thread reads its pipe (1 MB) every 20 ms, a
// few dozen large reads a second, while the program waits on the full
// pipe in between. A
// non-zero exit, a program that cannot start and one still running after
// timeoutMs are journal warnings; at the time-out its whole process group
// (it runs in a session of its own) is killed, so nothing it started
// outlives it. Nothing is retried.
class CommandPath : public NotificationPath {
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 30000;
    // At most this many wait; beyond, the oldest waiting one is dropped.
    static constexpr int MaxWaiting = 100;
    // What of its output the journal gets: the end, where a failing
    // program says why.
    static constexpr qsizetype KeptOutputBytes = 4096;
    static constexpr qsizetype KeptOutputLines = 20;

    // commandLine: words split on blanks, double quotes group.
    CommandPath(const QString& commandLine, int timeoutMs, QObject* parent = nullptr);
    ~CommandPath() override;

    // Why the command line cannot be used, in English; empty when it can.
    static QString unusable(const QString& commandLine);

    QString name() const override { return QStringLiteral("command ") + m_program; }
    void send(const Notification& notification) override;
    bool idle() const override { return !m_process && m_waiting.isEmpty(); }

private:
    void runNext();
    void readOutput();
    void closeOutput();
    void journalOutput();
    void killGroup();
    void done(bool ok, const QString& detail);

    QString m_program;
    QStringList m_arguments;
    QList<Notification> m_waiting;
    QPointer<QProcess> m_process;
    QTimer m_deadline;
    QTimer m_drain;      // reads the output while it runs
    int m_outputFd = -1; // the output pipe's read end, while it runs
    // The end of the running program's output: at most twice
    // KeptOutputBytes, cut back to KeptOutputBytes when it grows beyond.
    QByteArray m_tail;
    qint64 m_outputBytes = 0; // all it printed
    qint64 m_groupId = 0;     // its process group (its pid), while it runs
    bool m_timedOut = false;
    int m_timeoutMs;
};
