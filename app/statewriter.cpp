#include "app/statewriter.h"

#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>
#include <utility>

// Everything the thread touches, kept alive by the thread itself: a writer
// destroyed while the disk still holds a write leaves the thread these, not
// dangling references.
struct StateWriter::Shared {
    explicit Shared(const QString& path) : file(path) {}
    StateFile file; // the thread's only
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::optional<StateFile::Saved> pending;
    bool writing = false;
    bool stopping = false;
    // Hands a result to the writer's thread; empty once the writer is gone.
    std::function<void(bool, QString)> report;
};

StateWriter::StateWriter(const QString& path, QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>(path)) {
    m_shared->report = [this](bool ok, QString error) {
        // Queued: delivered only while the writer still exists.
        QMetaObject::invokeMethod(
            this, [this, ok, error] { emit written(ok, error); }, Qt::QueuedConnection);
    };
    std::thread thread([shared = m_shared] {
        // Signals are for the UI thread's watcher.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->wake.wait(lock, [&] { return shared->stopping || shared->pending; });
            if (!shared->pending)
                return;
            const StateFile::Saved saved = *std::exchange(shared->pending, std::nullopt);
            shared->writing = true;
            lock.unlock();
            const bool ok = shared->file.write(saved);
            const QString error = ok ? QString() : shared->file.errorString();
            lock.lock();
            shared->writing = false;
            if (shared->report)
                shared->report(ok, error);
            shared->idle.notify_all();
        }
    });
    pthread_setname_np(thread.native_handle(), "sondral-state");
    // It ends by itself once stopping and idle; see the destructor.
    thread.detach();
}

StateWriter::~StateWriter() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->stopping = true;
    m_shared->wake.notify_all();
    m_shared->idle.wait_for(lock, std::chrono::milliseconds(finishMs),
                            [this] { return !m_shared->pending && !m_shared->writing; });
    m_shared->report = nullptr;
}

void StateWriter::write(const StateFile::Saved& saved) {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->pending = saved;
    }
    m_shared->wake.notify_one();
}
