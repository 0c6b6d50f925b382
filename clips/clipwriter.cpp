#include "clips/clipwriter.h"

#include "audio/audioring.h"
#include "audio/capturestate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
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

// Writes a file that did not exist: created exclusively and never through a
// link, so that a name planted in the folder (a link to a file elsewhere, a
// FIFO) is never written into or waited on. Empty, or the reason; taken
// tells that the name was there already (and is left alone).
QString writeNewFile(const QString& path, const std::vector<char>& bytes, bool* taken) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    *taken = fd < 0 && errno == EEXIST;
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    int failure = 0;
    for (std::size_t done = 0; done < bytes.size() && failure == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failure = n < 0 ? errno : ENOSPC;
        else
            done += std::size_t(n);
    }
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    return failure == 0 ? QString() : QString::fromLocal8Bit(std::strerror(failure));
}

// Renames without replacing: a name that appeared since freePath() looked
// belongs to someone else. A file system that cannot say so gets the plain
// rename (freePath() checked the name a moment ago).
bool renameToFreeName(const QString& from, const QString& to) {
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return true;
    return errno == EINVAL && ::rename(a.constData(), b.constData()) == 0;
}

QString fileError(SNDFILE* file) {
    return QString::fromLocal8Bit(sf_strerror(file));
}

// libsndfile's file operations over the clip's bytes in memory.
ClipWriter::Encoded& encodedOf(void* user) {
    return *static_cast<ClipWriter::Encoded*>(user);
}

sf_count_t encodedLength(void* user) {
    return sf_count_t(encodedOf(user).bytes.size());
}

sf_count_t encodedSeek(sf_count_t offset, int whence, void* user) {
    ClipWriter::Encoded& e = encodedOf(user);
    const sf_count_t base = whence == SEEK_CUR   ? e.position
                            : whence == SEEK_END ? sf_count_t(e.bytes.size())
                                                 : 0;
    if (base + offset < 0)
        return -1;
    e.position = base + offset;
    return e.position;
}

sf_count_t encodedRead(void* to, sf_count_t count, void* user) {
    ClipWriter::Encoded& e = encodedOf(user);
    const sf_count_t n = std::clamp<sf_count_t>(sf_count_t(e.bytes.size()) - e.position, 0, count);
    if (n > 0)
        std::memcpy(to, e.bytes.data() + e.position, std::size_t(n));
    e.position += n;
    return n;
}

sf_count_t encodedWrite(const void* from, sf_count_t count, void* user) {
    ClipWriter::Encoded& e = encodedOf(user);
    if (std::size_t(e.position + count) > e.bytes.size())
        e.bytes.resize(std::size_t(e.position + count)); // a gap after a seek reads as zeros
    std::memcpy(e.bytes.data() + e.position, from, std::size_t(count));
    e.position += count;
    return count;
}

sf_count_t encodedTell(void* user) {
    return encodedOf(user).position;
}

SF_VIRTUAL_IO encodedIo{encodedLength, encodedSeek, encodedRead, encodedWrite, encodedTell};

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
    // Checked now, so that a folder that cannot take the clip is reported
    // at once, and again before the file is written.
    if (!m_folder.prepare(&clip.error) ||
        !m_folder.hasRoom(boundBytes(clip.end - clip.next), &clip.error))
        return;
    SF_INFO info{};
    info.samplerate = clip.rate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    // Encoded into memory as the audio comes (FLAC of programme is a
    // fraction of the samples) and written out in one go when complete: no
    // file is held open while a clip collects.
    clip.encoded = std::make_unique<Encoded>();
    clip.file = sf_open_virtual(&encodedIo, SFM_WRITE, &info, clip.encoded.get());
    if (!clip.file)
        clip.error = QStringLiteral("cannot encode the clip: %1").arg(fileError(nullptr));
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
                clip.error = QStringLiteral("cannot encode the clip: %1").arg(fileError(clip.file));
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
            clip.error = QStringLiteral("cannot encode the clip");
        clip.file = nullptr;
        if (clip.error.isEmpty() && clip.frames == 0)
            clip.error = QStringLiteral("no audio was captured around the alarm");
        if (clip.error.isEmpty())
            store(clip);
        clip.encoded.reset();
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

void ClipWriter::store(Clip& clip) const {
    const std::vector<char>& bytes = clip.encoded->bytes;
    if (!m_folder.prepare(&clip.error) || !m_folder.hasRoom(qint64(bytes.size()), &clip.error))
        return;
    clip.path = m_folder.freePath(clip.time, clip.source);
    // Written under a name the folder never counts, then renamed: a clip
    // cut short by a full disk or a crash is never taken for a whole one.
    const QString partial = ClipFolder::partialPath(clip.path);
    bool taken = false;
    const QString reason = writeNewFile(partial, bytes, &taken);
    if (taken) {
        // Not ours: left alone.
        clip.error = QStringLiteral("cannot write %1: something else has that name")
                         .arg(QDir::toNativeSeparators(partial));
        return;
    }
    const bool written = reason.isEmpty();
    if (!written || !renameToFreeName(partial, clip.path)) {
        QFile::remove(partial); // the file this call created, never another
        clip.error = QStringLiteral("cannot write %1: %2")
                         .arg(QDir::toNativeSeparators(clip.path),
                              written ? QStringLiteral("the file could not be completed") : reason);
    }
}
