#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The built sondral executable, copied into a directory of the test's own
// together with a sondral.ini, run headless and read only from outside:
// its log file, its exit.
class SondralInstance {
public:
    struct LogLine {
        QString m_raw;     // without the CR LF
        QDateTime m_stamp; // invalid when the head is malformed
        QString m_message;
    };

    explicit SondralInstance(const QString& dir);
    ~SondralInstance();
    SondralInstance(const SondralInstance&) = delete;
    SondralInstance& operator=(const SondralInstance&) = delete;

    QString dir() const { return m_dir; }
    QString logPath() const;
    void writeIni(const QByteArray& text);

    bool start(const QProcessEnvironment& pulse);
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // SIGTERM, then waits for the end; true when it ended by itself in time.
    bool terminate(int timeoutMs = 10000);
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    int exitCode() const { return m_process.exitCode(); }
    // What the program printed, for failure messages.
    QString output() const;

    QByteArray logBytes() const;
    QList<LogLine> logLines() const;
    QStringList messages() const;
    // Messages after the first `from` ones.
    QStringList messagesSince(qsizetype from) const { return messages().mid(from); }
    // Spins the event loop until `message` is among the messages after the
    // first `from` ones (or the time is up, or the program ended).
    bool waitForMessage(const QString& message, qsizetype from, int timeoutMs) const;

private:
    QString m_dir;
    QProcess m_process;
};
