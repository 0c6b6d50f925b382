#pragma once

#include "audio/captureengine.h"
#include "audio/devicelist.h"
#include "audio/peakhistory.h"

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <vector>

// Capture on the sound server's own client library (libpulse; PipeWire
// serves the same protocol). Everything runs on the thread of a
// pa_threaded_mainloop: the connection, the device list kept current from
// the server's change events, the record stream and the measuring of each
// block. The user-interface thread only takes the mainloop's lock to open or
// close, and reads results from the CaptureState.
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

private:
    struct Source {
        uint32_t index = 0; // the server's number; the list is in this order
        CaptureDevice device;
        uint32_t rate = 0; // frames per second
    };

    // Audio thread (or the mainloop's lock held).
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

    static void onContextState(pa_context* context, void* self);
    static void onSourceEvent(pa_context* context, pa_subscription_event_type_t type,
                              uint32_t index, void* self);
    static void onSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, size_t bytes, void* self);
    static void onTick(pa_mainloop_api* api, pa_io_event* event, int fd, pa_io_event_flags_t flags,
                       void* self);

    CaptureState& m_state;
    pa_threaded_mainloop* m_loop = nullptr;
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
    qint64 m_retryAtMs = 0;  // when to connect again; 0: nothing due
    qint64 m_blockDueMs = 0; // the next block is overdue after this
    PeakHistory m_history;
};
