#include "settings/journalwriter.h"

#include "settings/journal.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

JournalWriter::JournalWriter(int fd) : m_fd(fd) {
    m_thread = std::thread([this] { run(); });
}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void JournalWriter::write(const QByteArray& line) {
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.size() >= MaxLines || m_bytes + std::size_t(line.size()) > MaxBytes) {
            ++m_dropped;
            return;
        }
        if (m_dropped > 0)
            queueDropCount();
        m_queue.push_back(line);
        m_bytes += std::size_t(line.size());
    }
    m_wake.notify_one();
}

bool JournalWriter::flush(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (m_dropped > 0) {
        queueDropCount();
        m_wake.notify_one();
    }
    return m_drained.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_queue.empty() && !m_writing; });
}

void JournalWriter::queueDropCount() {
    // May go one line beyond the bound: it is the one line that says what
    // was lost.
    const QByteArray line =
        Journal::formatLine(Journal::Priority::Warning,
                            QStringLiteral("%1 journal lines dropped: the journal's reader did "
                                           "not keep up")
                                .arg(m_dropped))
            .toUtf8() +
        '\n';
    m_dropped = 0;
    m_queue.push_back(line);
    m_bytes += std::size_t(line.size());
}

void JournalWriter::run() {
    // Signals are for the UI thread's watcher; and a reader that closed its
    // end must give EPIPE here, not end the program through SIGPIPE.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return; // stopping, with everything written
        const QByteArray line = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        writeAll(line);
        lock.lock();
        m_bytes -= std::size_t(line.size());
        m_writing = false;
        if (m_queue.empty())
            m_drained.notify_all();
    }
}

void JournalWriter::writeAll(const QByteArray& bytes) const {
    // One write per line: a line under the pipe's atomic size never
    // interleaves with what another writer puts on the same descriptor.
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed or broken descriptor loses the line, nothing else
        data += n;
        left -= n;
    }
}
