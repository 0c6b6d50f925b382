#include "notify/commandpath.h"

#include "settings/journal.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString resolved(const QString& program) {
    if (program.contains(QLatin1Char('/')))
        return program;
    return QStandardPaths::findExecutable(program);
}
} // namespace

CommandPath::CommandPath(const QString& commandLine, QObject* parent) : NotificationPath(parent) {
    m_arguments = QProcess::splitCommand(commandLine);
    if (!m_arguments.isEmpty())
        m_program = m_arguments.takeFirst();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (!m_process)
            return;
        m_timedOut = true;
        m_process->kill();
    });
}

CommandPath::~CommandPath() {
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
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
    m_partialLine.clear();
    process->setProgram(m_program);
    process->setArguments(m_arguments);
    process->setProcessEnvironment(n.environment(QProcessEnvironment::systemEnvironment()));
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardOutput, this, &CommandPath::readOutput);
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
                readOutput();
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
}

void CommandPath::readOutput() {
    if (!m_process)
        return;
    m_partialLine += m_process->readAllStandardOutput();
    qsizetype end;
    while ((end = m_partialLine.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_partialLine.left(end)).trimmed();
        m_partialLine.remove(0, end + 1);
        if (!line.isEmpty())
            Journal::write(Journal::Priority::Info, QStringLiteral("notify command: ") + line);
    }
}

void CommandPath::done(bool ok, const QString& detail) {
    m_deadline.stop();
    if (!m_partialLine.trimmed().isEmpty())
        Journal::write(Journal::Priority::Info, QStringLiteral("notify command: ") +
                                                    QString::fromUtf8(m_partialLine).trimmed());
    m_partialLine.clear();
    if (!ok)
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("notify command \"%1\": %2").arg(m_program, detail));
    m_process->deleteLater();
    m_process = nullptr;
    emit finished(ok, detail);
    runNext();
}
