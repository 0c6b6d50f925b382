#include "notify/commandpath.h"

#include "settings/journal.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
// The command's output is read this often, at most OutputPipeBytes each
// time: a program that prints without end is held back by its full pipe
// instead of holding the event loop with a read per few kB.
constexpr int DrainIntervalMs = 20;
constexpr int OutputPipeBytes = 1 << 20;

QString resolved(const QString& program) {
    if (program.contains(QLatin1Char('/')))
        return program;
    return QStandardPaths::findExecutable(program);
}
} // namespace

CommandPath::CommandPath(const QString& commandLine, int timeoutMs, QObject* parent)
    : NotificationPath(parent), m_timeoutMs(timeoutMs) {
    m_arguments = QProcess::splitCommand(commandLine);
    if (!m_arguments.isEmpty())
        m_program = m_arguments.takeFirst();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (!m_process)
            return;
        m_timedOut = true;
        killGroup();
    });
    m_drain.setInterval(DrainIntervalMs);
    connect(&m_drain, &QTimer::timeout, this, &CommandPath::readOutput);
}

CommandPath::~CommandPath() {
    if (m_process) {
        m_process->disconnect(this);
        killGroup();
        m_process->waitForFinished(1000);
    }
    closeOutput();
}

void CommandPath::closeOutput() {
    m_drain.stop();
    if (m_outputFd >= 0)
        ::close(m_outputFd);
    m_outputFd = -1;
}

void CommandPath::killGroup() {
    // The program leads its own session, so its group id is its pid; the
    // group is killed while the leader is not yet reaped, so the id cannot
    // have been reused.
    if (m_groupId > 0)
        ::kill(-pid_t(m_groupId), SIGKILL);
    else if (m_process)
        m_process->kill();
}

QString CommandPath::unusable(const QString& commandLine) {
    const QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty())
        return QStringLiteral("it names no program");
    const QString path = resolved(words.first());
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return QStringLiteral("no program \"%1\" is found").arg(words.first());
    if (!info.isFile() || !info.isExecutable())
        return QStringLiteral("\"%1\" is not an executable program").arg(words.first());
    return {};
}

void CommandPath::send(const Notification& notification) {
    if (m_waiting.size() >= MaxWaiting) {
        const Notification dropped = m_waiting.takeFirst();
        Journal::write(
            Journal::Priority::Warning,
            QStringLiteral("notify command: %1 notifications wait; the oldest (%2 at %3) "
                           "is dropped")
                .arg(MaxWaiting)
                .arg(dropped.event, dropped.isoTime()));
        emit finished(false, QStringLiteral("dropped: too many waiting"));
    }
    m_waiting.append(notification);
    runNext();
}

void CommandPath::runNext() {
    if (m_process || m_waiting.isEmpty())
        return;
    const Notification n = m_waiting.takeFirst();
    auto* process = new QProcess(this);
    m_process = process;
    m_timedOut = false;
    m_tail.clear();
    m_outputBytes = 0;
    m_groupId = 0;
    process->setProgram(m_program);
    process->setArguments(m_arguments);
    process->setProcessEnvironment(n.environment(QProcessEnvironment::systemEnvironment()));
    process->setStandardInputFile(QProcess::nullDevice());
    // Its standard output and error go to a pipe of ours, read on a timer
    // (readOutput), not to QProcess, which would read each few kB as they
    // come. Without a pipe the output is lost, the command still runs.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    int output[2] = {-1, -1};
    if (::pipe2(output, O_CLOEXEC) == 0) {
        m_outputFd = output[0];
        ::fcntl(m_outputFd, F_SETFL, O_NONBLOCK);
        ::fcntl(m_outputFd, F_SETPIPE_SZ, OutputPipeBytes); // 64 kB when refused
    }
    const int writeEnd = output[1];
    // A session of its own, so that the time-out reaches whatever it
    // started too. Between fork and exec: only async-signal-safe calls.
    process->setChildProcessModifier([writeEnd] {
        ::setsid();
        if (writeEnd >= 0) {
            ::dup2(writeEnd, STDOUT_FILENO);
            ::dup2(writeEnd, STDERR_FILENO);
        }
    });
    connect(process, &QProcess::started, this,
            [this, process] { m_groupId = process->processId(); });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError e) {
        // A program that did start ends through finished().
        if (e == QProcess::FailedToStart && process == m_process)
            done(false,
                 QStringLiteral("cannot start \"%1\": %2").arg(m_program, process->errorString()));
    });
    connect(process, &QProcess::finished, this,
            [this, process](int exitCode, QProcess::ExitStatus status) {
                if (process != m_process)
                    return;
                if (m_timedOut)
                    done(
                        false,
                        QStringLiteral("still running after %1 s, killed").arg(m_timeoutMs / 1000));
                else if (status == QProcess::CrashExit)
                    done(false, QStringLiteral("ended by a signal"));
                else if (exitCode != 0)
                    done(false, QStringLiteral("exit status %1").arg(exitCode));
                else
                    done(true, QStringLiteral("exit status 0"));
            });
    m_deadline.start(m_timeoutMs);
    process->start();
    // The program has its copy; ours would keep the pipe open for ever.
    if (writeEnd >= 0)
        ::close(writeEnd);
    if (m_outputFd >= 0)
        m_drain.start();
}

void CommandPath::readOutput() {
    if (m_outputFd < 0)
        return;
    // At most what the pipe holds: a program that keeps printing waits for
    // the next turn.
    char buffer[65536];
    for (int bytes = 0; bytes < OutputPipeBytes; bytes += int(sizeof buffer)) {
        const ssize_t n = ::read(m_outputFd, buffer, sizeof buffer);
        if (n <= 0)
            return; // empty for now, or closed
        m_outputBytes += n;
        // Only the end is kept: at most 2 * KeptOutputBytes, cut back to
        // KeptOutputBytes when it grows beyond.
        const qsizetype fresh = std::min<qsizetype>(n, KeptOutputBytes);
        m_tail.append(buffer + n - fresh, fresh);
        if (m_tail.size() > 2 * KeptOutputBytes)
            m_tail = m_tail.right(KeptOutputBytes);
    }
}

void CommandPath::journalOutput() {
    const QByteArray tail = m_tail.right(KeptOutputBytes);
    m_tail.clear();
    // From the end back: the last KeptOutputLines lines that say something,
    // in the last KeptOutputBytes. A line cut by the byte limit is not kept:
    // it would be read as a whole one.
    const qsizetype tailStart = m_outputBytes - tail.size(); // where tail begins in all
    QStringList lines;
    qsizetype keptFrom = tail.size(); // in tail: where the kept lines begin
    qsizetype end = tail.size();
    while (end > 0 && lines.size() < KeptOutputLines) {
        const qsizetype newline = tail.lastIndexOf('\n', end - 1);
        if (newline < 0 && tailStart > 0)
            break;
        const qsizetype begin = newline + 1;
        const QString line = QString::fromUtf8(tail.mid(begin, end - begin)).trimmed();
        if (!line.isEmpty())
            lines.prepend(line);
        keptFrom = begin;
        end = newline < 0 ? 0 : newline;
    }
    const qint64 notKept = tailStart + keptFrom;
    if (notKept > 0)
        Journal::write(Journal::Priority::Info,
                       QStringLiteral("notify command: %1 bytes of its output not kept, the "
                                      "last %2 lines follow")
                           .arg(notKept)
                           .arg(lines.size()));
    for (const QString& line : lines)
        Journal::write(Journal::Priority::Info, QStringLiteral("notify command: ") + line);
}

void CommandPath::done(bool ok, const QString& detail) {
    m_deadline.stop();
    m_groupId = 0;
    readOutput(); // what is left in the pipe
    closeOutput();
    journalOutput();
    if (!ok)
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("notify command \"%1\": %2").arg(m_program, detail));
    m_process->deleteLater();
    m_process = nullptr;
    emit finished(ok, detail);
    runNext();
}
