#include "clips/clipwriter.h"

#include "audio/audioring.h"
#include "audio/capturestate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#ifdef __linux__
#include <pthread.h>
#endif

namespace {

quint64 framesOf(int ms, int rate) {
    return quint64(ms) * quint64(rate) / 1000;
}

// Plain 16-bit stereo, and a header: FLAC is never larger.
qint64 boundBytes(quint64 frames) {
    return qint64(frames) * 4 + 65536;
}

QString fileError(SNDFILE* file) {
    return QString::fromLocal8Bit(sf_strerror(file));
}

} // namespace

ClipWriter::ClipWriter(const AudioRing& ring, const ClipFolder& folder, Done done)
    : m_ring(ring), m_folder(folder), m_done(std::move(done)) {
    m_thread = std::thread(&ClipWriter::run, this);
#ifdef __linux__
    pthread_setname_np(m_thread.native_handle(), "sondral-clips");
#endif
}

ClipWriter::~ClipWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ClipWriter::record(const QDateTime& time, const QString& source) {
    Clip clip;
    clip.time = time;
    clip.source = source;
    const quint64 now = m_ring.written();
    const AudioRing::Run run = m_ring.currentRun();
    clip.runStart = run.start;
    clip.rate = run.rate;
    // Frames in the ring are only "before" if they were heard in the
    // seconds before: after a loss of the input they are older, and only
    // those that came within beforeMs of now belong to the clip. A delivery
    // up to staleMs old is audio flowing as usual.
    const qint64 age = CaptureState::nowMs() - m_ring.lastWriteMs();
    const int heardMs = age <= CaptureState::staleMs
                            ? beforeMs
                            : int(std::clamp<qint64>(beforeMs - age, 0, beforeMs));
    const quint64 before = framesOf(heardMs, run.rate);
    clip.next = std::max(run.start, now > before ? now - before : 0);
    clip.end = now + framesOf(afterMs, run.rate);
    clip.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(afterMs + graceMs);
    {
        std::lock_guard lock(m_mutex);
        m_incoming.push_back(std::move(clip));
    }
    m_wake.notify_all();
}

void ClipWriter::run() {
    std::list<Clip> clips;
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(m_mutex);
            auto due = [this] { return m_stop || !m_incoming.empty(); };
            // Asleep while nothing is collected.
            if (clips.empty())
                m_wake.wait(lock, due);
            else
                m_wake.wait_for(lock, std::chrono::milliseconds(collectMs), due);
            clips.splice(clips.end(), m_incoming);
            stopping = m_stop;
        }
        for (auto it = clips.begin(); it != clips.end();) {
            if (collect(*it, stopping)) {
                m_done(finish(*it));
                it = clips.erase(it);
            } else {
                ++it;
            }
        }
        if (stopping)
            return;
    }
}

bool ClipWriter::collect(Clip& clip, bool finishing) {
    if (!clip.opened)
        open(clip);
    if (!clip.error.isEmpty())
        return true;
    const AudioRing::Run run = m_ring.currentRun();
    quint64 limit = clip.end;
    bool runEnded = false;
    if (run.start != clip.runStart || run.rate != clip.rate) {
        // The stream now runs at another rate: the clip ends where it began.
        limit = std::min(limit, run.start);
        runEnded = true;
    }
    append(clip, std::min(m_ring.written(), limit));
    return !clip.error.isEmpty() || clip.next >= limit || runEnded || finishing ||
           std::chrono::steady_clock::now() >= clip.deadline;
}

void ClipWriter::open(Clip& clip) const {
    clip.opened = true;
    if (clip.rate <= 0) {
        clip.error = QStringLiteral("no audio was captured around the alarm");
        return;
    }
    if (!m_folder.prepare(&clip.error))
        return;
    if (!m_folder.hasRoom(boundBytes(clip.end - clip.next), &clip.error))
        return;
    clip.path = m_folder.freePath(clip.time, clip.source);
    SF_INFO info{};
    info.samplerate = clip.rate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    // Written under a name the folder never counts, renamed when complete:
    // a clip cut short by a full disk or a crash is never taken for a
    // whole one.
    clip.file = sf_open(QFile::encodeName(ClipFolder::partialPath(clip.path)).constData(),
                        SFM_WRITE, &info);
    if (!clip.file)
        clip.error = QStringLiteral("cannot write %1: %2")
                         .arg(QDir::toNativeSeparators(clip.path), fileError(nullptr));
}

void ClipWriter::append(Clip& clip, quint64 to) {
    while (clip.next < to && clip.error.isEmpty()) {
        const quint64 until = std::min(to, clip.next + chunkFrames);
        const quint64 good = m_ring.copy(clip.next, until, m_scratch);
        if (good > clip.next && clip.frames > 0) {
            // This thread fell so far behind that the ring moved on: what
            // follows would not join what was written. The clip ends here.
            clip.end = clip.next;
            return;
        }
        const std::size_t skip = std::size_t(good - clip.next) * 2;
        const sf_count_t frames = sf_count_t((m_scratch.size() - skip) / 2);
        if (frames > 0) {
            if (sf_writef_short(clip.file, m_scratch.data() + skip, frames) != frames) {
                clip.error = QStringLiteral("cannot write %1: %2")
                                 .arg(QDir::toNativeSeparators(clip.path), fileError(clip.file));
                return;
            }
            clip.frames += frames;
        }
        clip.next = until;
    }
}

ClipWriter::Result ClipWriter::finish(Clip& clip) const {
    Result result;
    result.rate = clip.rate;
    if (clip.file) {
        if (sf_close(clip.file) != 0 && clip.error.isEmpty())
            clip.error =
                QStringLiteral("cannot complete %1").arg(QDir::toNativeSeparators(clip.path));
        clip.file = nullptr;
        if (clip.error.isEmpty() && clip.frames == 0)
            clip.error = QStringLiteral("no audio was captured around the alarm");
        if (clip.error.isEmpty() && !QFile::rename(ClipFolder::partialPath(clip.path), clip.path))
            clip.error =
                QStringLiteral("cannot rename %1").arg(QDir::toNativeSeparators(clip.path));
        if (!clip.error.isEmpty())
            QFile::remove(ClipFolder::partialPath(clip.path));
    }
    if (!clip.error.isEmpty()) {
        result.error = clip.error;
        return result;
    }
    m_folder.prune();
    result.saved = true;
    result.fileName = QFileInfo(clip.path).fileName();
    result.seconds = double(clip.frames) / clip.rate;
    return result;
}
