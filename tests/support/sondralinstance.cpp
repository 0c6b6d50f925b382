#include "support/sondralinstance.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

SondralInstance::SondralInstance(const QString& dir) : m_dir(dir) {
    m_process.setWorkingDirectory(dir);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(dir + QStringLiteral("/output.txt"), QIODevice::Append);
}

SondralInstance::~SondralInstance() {
    const bool running = m_process.state() != QProcess::NotRunning;
    if (running) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    for (int fd : m_unreadPipe)
        if (fd >= 0)
            ::close(fd);
    if (running)
        return;
    // It ended by itself, killed by something no test sent (a sanitizer's
    // abort, a crash): its folder goes with the test, so what it said goes
    // into the test's output, or nobody could ever tell why.
    if (m_process.exitStatus() == QProcess::CrashExit && !m_signalled) {
        const QStringList lines = output().split(QLatin1Char('\n'));
        qWarning().noquote() << "sondral in" << m_dir
                             << "crashed by itself; the last of its output:\n"
                             << lines.mid(std::max<qsizetype>(0, lines.size() - 80)).join(u'\n');
    }
}

QString SondralInstance::logPath() const {
    return m_dir + QStringLiteral("/sondral.log");
}

void SondralInstance::writeIni(const QByteArray& text) {
    QFile ini(m_dir + QStringLiteral("/sondral.ini"));
    if (ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ini.write(text);
}

bool SondralInstance::start(const QProcessEnvironment& extra, Platform platform) {
    // Installed as at a station: the program and its stream module in the
    // folder that also holds sondral.ini and sondral.log.
    const QString program = m_dir + QStringLiteral("/sondral");
    if (!QFile::exists(program)) {
        const QString module = m_dir + QStringLiteral("/sondral-stream.so");
        if (!QFile::copy(QStringLiteral(SONDRAL_EXECUTABLE), program) ||
            !QFile::copy(QStringLiteral(SONDRAL_STREAM_MODULE), module))
            return false;
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET",
                             "WATCHDOG_USEC", "WATCHDOG_PID"})
        environment.remove(QString::fromLatin1(name));
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"})
        environment.insert(QString::fromLatin1(name), QStringLiteral("C"));
    if (platform == Platform::Offscreen)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The test's own PULSE_SERVER is not handed down: tests run side by
    // side, and a program that hears another test's tone raises no alarm.
    environment.insert(QStringLiteral("PULSE_SERVER"),
                       QStringLiteral("unix:") + m_dir + QStringLiteral("/no-pulse"));
    for (const QString& key : extra.keys())
        environment.insert(key, extra.value(key));
    m_process.setProcessEnvironment(environment);
    if (m_unreadPipe[1] >= 0) {
        const int unread = m_unreadPipe[1];
        // After QProcess has set the channels up, before the program runs.
        m_process.setChildProcessModifier([unread] { ::dup2(unread, STDERR_FILENO); });
    }
    m_process.start(program, m_arguments);
    return m_process.waitForStarted(10000);
}

void SondralInstance::setStandardErrorUnread() {
    if (m_unreadPipe[0] >= 0 || ::pipe2(m_unreadPipe, O_CLOEXEC) != 0)
        return;
    // Filled here while it does not block, then blocking again as a
    // journal's pipe is: the program's first line would wait for ever.
    ::fcntl(m_unreadPipe[1], F_SETFL, O_NONBLOCK);
    const QByteArray filler(4096, 'x');
    while (::write(m_unreadPipe[1], filler.constData(), size_t(filler.size())) > 0) {
    }
    ::fcntl(m_unreadPipe[1], F_SETFL, 0);
}

bool SondralInstance::waitForEnd(int timeoutMs) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

bool SondralInstance::sendSignal(int signal) const {
    m_signalled = true;
    return m_process.state() == QProcess::Running && ::kill(pid_t(pid()), signal) == 0;
}

bool SondralInstance::terminate(int timeoutMs) {
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_signalled = true;
    m_process.terminate();
    if (m_process.waitForFinished(timeoutMs))
        return true;
    m_process.kill();
    m_process.waitForFinished(3000);
    return false;
}

QString SondralInstance::output() const {
    QFile file(m_dir + QStringLiteral("/output.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

template <class Done> bool SondralInstance::spinUntil(Done done, int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (done())
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(10);
    }
    return done();
}

bool SondralInstance::waitForOutput(const QString& text, int timeoutMs) const {
    return spinUntil([&] { return output().contains(text); }, timeoutMs);
}

QByteArray SondralInstance::logBytes() const {
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QList<SondralInstance::LogLine> SondralInstance::logLines() const {
    static const QRegularExpression head(
        QStringLiteral("^(\\d\\d/\\d\\d/\\d{4})  (\\d\\d:\\d\\d:\\d\\d)  (.*)$"));
    QList<LogLine> lines;
    const QByteArray bytes = logBytes();
    qsizetype begin = 0;
    while (begin < bytes.size()) {
        qsizetype end = bytes.indexOf("\r\n", begin);
        const bool complete = end >= 0;
        if (!complete)
            end = bytes.size();
        LogLine line;
        line.m_raw = QString::fromLatin1(bytes.mid(begin, end - begin));
        if (!complete)
            line.m_raw += QStringLiteral("<no CR LF>");
        const auto match = head.match(line.m_raw);
        if (match.hasMatch()) {
            const QDate date = QDate::fromString(match.captured(1), QStringLiteral("dd/MM/yyyy"));
            const QTime time = QTime::fromString(match.captured(2), QStringLiteral("HH:mm:ss"));
            line.m_stamp = QDateTime(date, time);
            line.m_message = match.captured(3);
        } else {
            line.m_message = QStringLiteral("<malformed> ") + line.m_raw;
        }
        lines.append(line);
        begin = end + 2;
    }
    return lines;
}

QStringList SondralInstance::messages() const {
    QStringList result;
    for (const LogLine& line : logLines())
        result.append(line.m_message);
    return result;
}

bool SondralInstance::waitForMessage(const QString& message, qsizetype from, int timeoutMs) const {
    return spinUntil([&] { return messagesSince(from).contains(message); }, timeoutMs);
}
