#pragma once

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

// Hands journal lines to a file descriptor from a thread of its own, so
// that a reader who stops reading (a full standard error pipe, a journal
// that hangs) never holds the caller: write() only queues. The queue is
// bounded in lines and in bytes; a line that does not fit is dropped and
// counted, and once there is room again the count goes out as a line of
// its own, in the place where the lines went missing.
class JournalWriter {
public:
    // About ten minutes of a busy station's journal, in a quarter of a MB.
    static constexpr std::size_t MaxLines = 1000;
    static constexpr std::size_t MaxBytes = 256 * 1024;

    // fd stays the caller's; it is never closed here.
    explicit JournalWriter(int fd);
    // Waits for the thread: the reader must be reading or gone by then.
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // line: complete, with its line end. Never blocks beyond a short lock.
    void write(const QByteArray& line);
    // Waits at most timeoutMs for everything queued so far to be written;
    // true when it was.
    bool flush(int timeoutMs);

private:
    void run();
    // Queues the "N journal lines dropped" line; the mutex is held.
    void queueDropCount();
    void writeAll(const QByteArray& bytes) const;

    const int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_wake;    // a line queued, or stopping
    std::condition_variable m_drained; // the queue is empty and nothing is being written
    std::deque<QByteArray> m_queue;
    std::size_t m_bytes = 0;
    std::uint64_t m_dropped = 0;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_thread;
};
