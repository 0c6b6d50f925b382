#include "clips/clipwriter.h"

#include "audio/audioring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <pthread.h>

namespace {

quint64 framesOf(int ms, int rate) {
    return quint64(ms) * quint64(rate) / 1000;
}

// Writes 16-bit stereo frames as FLAC at path; the reason when it could not.
QString writeFlac(const QString& path, const std::vector<qint16>& samples, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return QString::fromLocal8Bit(sf_strerror(nullptr));
    const sf_count_t frames = sf_count_t(samples.size() / 2);
    const sf_count_t done = sf_writef_short(file, samples.data(), frames);
    QString error;
    if (done != frames)
        error = QString::fromLocal8Bit(sf_strerror(file));
    if (sf_close(file) != 0 && error.isEmpty())
        error = QStringLiteral("the file could not be completed");
    return error;
}

} // namespace

ClipWriter::ClipWriter(const AudioRing& ring, const ClipFolder& folder, Done done)
    : m_ring(ring), m_folder(folder), m_done(std::move(done)) {
    m_thread = std::thread(&ClipWriter::run, this);
    pthread_setname_np(m_thread.native_handle(), "sondral-clips");
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
    const quint64 before = framesOf(beforeMs, run.rate);
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
                m_done(save(*it));
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
    if (clip.rate <= 0)
        return true; // nothing was ever captured: nothing to wait for
    const AudioRing::Run run = m_ring.currentRun();
    quint64 limit = clip.end;
    bool runEnded = false;
    if (run.start != clip.runStart || run.rate != clip.rate) {
        // The stream now runs at another rate: the clip ends where it began.
        limit = std::min(limit, run.start);
        runEnded = true;
    }
    const quint64 to = std::min(m_ring.written(), limit);
    if (to > clip.next) {
        const quint64 good = m_ring.copy(clip.next, to, m_scratch);
        if (good > clip.next && clip.started) {
            // This thread fell so far behind that the ring moved on: what
            // follows would not join what was taken. The clip ends here.
            clip.end = clip.next;
            return true;
        }
        const std::size_t skip = std::size_t(good - clip.next) * 2;
        if (m_scratch.size() > skip) {
            if (clip.samples.empty())
                clip.samples.reserve(std::size_t(framesOf(beforeMs + afterMs, clip.rate)) * 2);
            clip.samples.insert(clip.samples.end(), m_scratch.begin() + std::ptrdiff_t(skip),
                                m_scratch.end());
            clip.started = true;
        }
        clip.next = to;
    }
    return clip.next >= limit || runEnded || finishing ||
           std::chrono::steady_clock::now() >= clip.deadline;
}

ClipWriter::Result ClipWriter::save(const Clip& clip) const {
    Result result;
    result.rate = clip.rate;
    const qint64 frames = qint64(clip.samples.size() / 2);
    if (frames == 0) {
        result.error = QStringLiteral("no audio was captured around the alarm");
        return result;
    }
    result.seconds = double(frames) / clip.rate;
    if (!m_folder.prepare(&result.error))
        return result;
    // FLAC is never larger than the plain samples and a header.
    if (!m_folder.hasRoom(frames * 4 + 65536, &result.error))
        return result;
    const QString path = m_folder.freePath(clip.time, clip.source);
    // Written under a name the folder never counts, then renamed: a clip
    // cut short by a full disk or a crash is never taken for a whole one.
    const QString partial = path + QStringLiteral(".part");
    const QString error = writeFlac(partial, clip.samples, clip.rate);
    if (!error.isEmpty() || !QFile::rename(partial, path)) {
        QFile::remove(partial);
        result.error = QStringLiteral("cannot write %1: %2")
                           .arg(QDir::toNativeSeparators(path),
                                error.isEmpty() ? QStringLiteral("rename failed") : error);
        return result;
    }
    m_folder.prune();
    result.saved = true;
    result.fileName = QFileInfo(path).fileName();
    return result;
}
