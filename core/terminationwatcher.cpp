#include "core/terminationwatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Written by the signal handler, read by the notifier; one pair per process.
int g_pipe[2] = {-1, -1};

void onSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing useful can be done if the pipe is full: a close is already pending.
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}
} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
            return;
        ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
        ::fcntl(g_pipe[0], F_SETFL, O_NONBLOCK);
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
