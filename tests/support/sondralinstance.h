#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A real Sondral, as at a station: the built executable and its stream module copied into a
// folder of the test's own beside a sondral.ini, started, and looked at only
// from outside: its log file, what it prints, its exit, signals sent to it.
// The one way the tests start the program.
class SondralInstance {
public:
    struct LogLine {
        QString m_raw;     // without the CR LF
        QDateTime m_stamp; // invalid when the head is malformed
        QString m_message;
    };

    // How the Qt platform comes to be chosen.
    enum class Platform {
        Offscreen, // QT_QPA_PLATFORM=offscreen
        Unchosen,  // no display and no platform, as under the user service manager
    };

    // dir must exist; the program, sondral.ini, sondral.log and output.txt
    // (what the program prints, standard output and error together) go there.
    explicit SondralInstance(const QString& dir);
    ~SondralInstance();
    SondralInstance(const SondralInstance&) = delete;
    SondralInstance& operator=(const SondralInstance&) = delete;

    QString dir() const { return m_dir; }
    QString logPath() const;
    void writeIni(const QByteArray& text);

    // Starts the program in the test's own environment without a display,
    // a Qt platform or a service manager's variables, in the C locale (so
    // the log's time stamps read dd/MM/yyyy HH:mm:ss), with `extra` set last
    // (a sound server's variables, a display, NOTIFY_SOCKET). Without a
    // PULSE_SERVER in `extra`, it gets one that nobody serves: never the
    // machine's own sound server nor the one the test itself was given.
    bool start(const QProcessEnvironment& extra = {}, Platform platform = Platform::Offscreen);
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // The command-line arguments of the next start (none by default).
    void setArguments(const QStringList& arguments) { m_arguments = arguments; }
    // From the next start on, standard error goes to a pipe that is full
    // from the start and that nobody reads: a journal's reader that stopped.
    // The output then holds only standard output.
    void setStandardErrorUnread();
    // Waits for the program to end by itself; false when it still runs.
    bool waitForEnd(int timeoutMs);
    qint64 pid() const { return m_process.processId(); }
    // kill(2) on the running program; false when it is not running.
    bool sendSignal(int signal) const;
    // SIGTERM, then waits for the end; true when it ended by itself in time.
    bool terminate(int timeoutMs = 10000);
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    int exitCode() const { return m_process.exitCode(); }

    // What the program printed so far.
    QString output() const;
    // Spins the event loop until the output holds `text` (or the time is
    // up, or the program ended).
    bool waitForOutput(const QString& text, int timeoutMs) const;

    QByteArray logBytes() const;
    QList<LogLine> logLines() const;
    QStringList messages() const;
    // Messages after the first `from` ones.
    QStringList messagesSince(qsizetype from) const { return messages().mid(from); }
    // Spins the event loop until `message` is among the messages after the
    // first `from` ones (or the time is up, or the program ended).
    bool waitForMessage(const QString& message, qsizetype from, int timeoutMs) const;

private:
    // Spins the event loop until `done` holds, the time is up or the program ended.
    template <class Done> bool spinUntil(Done done, int timeoutMs) const;

    QString m_dir;
    QProcess m_process;
    QStringList m_arguments;
    int m_unreadPipe[2] = {-1, -1}; // read and write end, when standard error goes there
    // A signal was sent on purpose: a crash exit after it is no news.
    mutable bool m_signalled = false;
};
