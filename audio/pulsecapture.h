#pragma once

#include "audio/blockmeter.h"
#include "audio/captureengine.h"
#include "audio/devicelist.h"

#include <pulse/pulseaudio.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct pollfd;

// Capture on the sound server's own client library (libpulse; PipeWire
// serves the same protocol). Everything runs on an audio thread of its own
// around a pa_mainloop: the connection, the device list kept current from
// the server's change events, the record stream and the measuring of each
// block. The owner's thread only takes the loop's lock for a command (open,
// close, the pace), and reads results from the CaptureState.
//
// A connection is never repaired: after any failure it is dropped and a
// fresh one is made retryMs later, so capture comes back however long the
// sound server was away.
class PulseCapture final : public CaptureEngine {
public:
    explicit PulseCapture(CaptureState& state);
    ~PulseCapture() override;

    void open(const CaptureRequest& request) override;
    void close() override;
    void setFragmentMs(int ms) override;
    void setHurryBelow(int level) override;
    void setDynamicsMeasured(bool on) override;

private:
    // A command from the owner's thread: holds the loop's lock, and ends a
    // rest of the loop, so that it acts on the change at once.
    class Command {
    public:
        explicit Command(PulseCapture& capture);
        ~Command();
        Command(const Command&) = delete;
        Command& operator=(const Command&) = delete;

    private:
        PulseCapture& m_capture;
    };

    struct Source {
        uint32_t index = 0; // the server's number; the list is in this order
        CaptureDevice device;
        uint32_t rate = 0; // frames per second
    };

    void run();
    static int pollWithRest(struct pollfd* fds, unsigned long count, int timeoutMs, void* self);

    // Audio thread (or the loop's lock held).
    void connect();
    void disconnect();
    void connectionLost();
    void fail();
    void relist();
    void listed();
    void openStream();
    void dropStream();
    void readStream();
    void tick();
    void followPace();
    void applyFragment(pa_usec_t us);

    static void onContextState(pa_context* context, void* self);
    static void onSourceEvent(pa_context* context, pa_subscription_event_type_t type,
                              uint32_t index, void* self);
    static void onSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, size_t bytes, void* self);
    static void onTick(pa_mainloop_api* api, pa_io_event* event, int fd, pa_io_event_flags_t flags,
                       void* self);

    CaptureState& m_state;
    pa_mainloop* m_loop = nullptr;
    std::mutex m_mutex; // the loop's lock: held by its thread except while it waits
    std::condition_variable m_restEnds;
    std::thread m_thread;
    bool m_quit = false;
    qint64 m_restUntilMs = 0; // the loop waits for no delivery before this; 0: no rest
    pa_mainloop_api* m_api = nullptr;
    // A monotonic timer ticking every tickMs: the clock of the retries and
    // of the loss detector (the mainloop's own timers follow the wall clock,
    // which may be stepped).
    int m_timerFd = -1;
    pa_io_event* m_tickEvent = nullptr;

    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::vector<Source> m_listing; // being received
    std::vector<Source> m_sources; // the last complete list of this connection
    bool m_haveList = false;       // m_sources is from this connection
    bool m_listingBusy = false;
    bool m_listAgain = false; // a change came in while listing

    bool m_wanted = false; // between open() and close()
    CaptureRequest m_request;
    qint64 m_retryAtMs = 0;                   // when to connect again; 0: nothing due
    qint64 m_blockDueMs = 0;                  // the next block is overdue after this
    bool m_blocksThisAttempt = false;         // a block came since the stream opened
    int m_emptyAttempts = 0;                  // attempts in a row that brought no block
    bool m_waitingForDevice = false;          // connected, the device not listed
    pa_usec_t m_fragmentUs = shortFragmentUs; // as asked
    pa_usec_t m_appliedUs = shortFragmentUs;  // as the stream has it
    int m_hurryBelow = 0;
    qint64 m_loudSinceMs = 0; // first loud block since the last quiet one; 0: quiet
    pa_sample_spec m_format{};
    static constexpr pa_usec_t shortFragmentUs = 20 * 1000;
    BlockMeter m_meter;
};
