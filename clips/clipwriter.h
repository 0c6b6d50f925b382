#pragma once

#include "clips/clipfolder.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class AudioRing;
typedef struct sf_private_tag SNDFILE;

// Writes the sound around a moment as a FLAC file, on a thread of its own:
// record() notes where the capture stands and returns at once; the thread
// encodes the seconds before from the ring straight away and the seconds
// after as they arrive, then writes the file into the folder and keeps the
// folder within its limits. A clip collecting holds its FLAC bytes in
// memory (a fraction of its samples) and no open file.
//
// A clip holds only what was heard: when the capture stops delivering, or
// the stream changes its rate, the part after ends there; nothing is
// filled in. Clips of moments close together are collected side by side.
class ClipWriter {
public:
    static constexpr int beforeMs = 10000;
    static constexpr int afterMs = 20000;
    // How long past the end of the part after a clip still waits for
    // audio, for deliveries that come late; then it is written as it is.
    static constexpr int graceMs = 2000;
    // How often the thread takes what arrived.
    static constexpr int collectMs = 200;
    // The most frames taken from the ring in one copy.
    static constexpr quint64 chunkFrames = 8192;

    struct Result {
        bool saved = false;
        QString fileName; // without the folder
        double seconds = 0;
        int rate = 0;
        QString error; // why nothing was saved
    };
    // Called on the writer's thread, once per record().
    using Done = std::function<void(const Result&)>;

    ClipWriter(const AudioRing& ring, const ClipFolder& folder, Done done);
    // Every clip still collecting is written with what it has.
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    // A clip's FLAC bytes as the encoder writes them, with its position.
    struct Encoded {
        std::vector<char> bytes;
        qint64 position = 0;
    };

    // A clip around now, named by this local time and source. Never waits
    // on the disk.
    void record(const QDateTime& time, const QString& source);

private:
    struct Clip {
        QDateTime time;
        QString source;
        quint64 runStart = 0;
        int rate = 0;
        quint64 next = 0; // the next frame to take
        quint64 end = 0;  // one past the last frame wanted
        std::chrono::steady_clock::time_point deadline;
        // Encoded as the audio comes, so that memory holds the FLAC, not
        // the samples.
        SNDFILE* file = nullptr;
        std::unique_ptr<Encoded> encoded;
        QString path; // where it went
        qint64 frames = 0;
        bool opened = false;
        QString error; // the clip failed: nothing more is taken
    };

    void run();
    // Takes what arrived; true when the clip is complete.
    bool collect(Clip& clip, bool finishing);
    void open(Clip& clip) const;
    void append(Clip& clip, quint64 to);
    Result finish(Clip& clip) const;
    // Writes the encoded clip into the folder; sets path, or error.
    void store(Clip& clip) const;

    const AudioRing& m_ring;
    const ClipFolder m_folder;
    const Done m_done;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::list<Clip> m_incoming; // under m_mutex
    bool m_stop = false;        // under m_mutex
    std::vector<qint16> m_scratch;
    std::thread m_thread;
};
