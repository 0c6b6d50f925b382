#include "platform/terminationwatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Written by the signal handler, read by the notifier; one pair per process.
int g_pipe[2] = {-1, -1};

void onSignal(int number) {
    // The handler interrupts arbitrary code, which may be about to read errno.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing useful can be done if the pipe is full: a close is already pending.
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}
} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0) {
        // Close-on-exec: a program Sondral starts must not inherit the pair.
        // Non-blocking: the handler must never wait.
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
            return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationWatcher::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

TerminationWatcher::~TerminationWatcher() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

void TerminationWatcher::readSignal() {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit terminationRequested(byte);
}
