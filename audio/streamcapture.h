#pragma once

#include "audio/captureengine.h"
#include "audio/captureloss.h"

#include <memory>

class CaptureState;

// Capture of a network stream (Icecast/HTTP, HLS, SRT, MPEG-TS over UDP or
// RTP, RTP described by an .sdp) through FFmpeg's libraries, on a thread of
// its own: connect, demux, decode, convert to 16-bit interleaved samples at
// the stream's rate, and measure them like a sound card's (BlockMeter), as
// fast as they arrive: Icecast's burst at connect is measured at once, not
// paced.
//
// Every blocking call of FFmpeg polls an interrupt callback, which gives up
// when the attempt is closed (close(), destruction) or its deadline passed:
// connectTimeoutMs for connecting and probing, then lossAfterMs after the
// last decoded audio. So a server that connects and then sends nothing is a
// loss like a refused connection, and closing never waits on the network.
// After a failure it connects again reconnectDelayMs(failures) later, for
// ever; the first audio of an attempt starts the schedule over.
class StreamCapture final : public CaptureEngine {
public:
    static constexpr int connectTimeoutMs = 5000;
    // No decoded audio for this long is a loss (and the levels read 0).
    static constexpr int lossAfterMs = 3000;
    static constexpr int firstRetryMs = 1000;
    static constexpr int maxRetryMs = 30000;
    // The wait before the next connection after `failures` attempts in a
    // row that failed (0: the first retry): 1 s, doubling, at most 30 s.
    static constexpr int reconnectDelayMs(int failures) {
        int wait = firstRetryMs;
        for (int i = 0; i < failures && wait < maxRetryMs; ++i)
            wait *= 2;
        return wait < maxRetryMs ? wait : maxRetryMs;
    }

    explicit StreamCapture(CaptureState& state);
    ~StreamCapture() override;

    // request.url is the stream; the device fields are not used.
    void open(const CaptureRequest& request) override;
    void close() override;
    // A stream's audio comes when the network brings it, decoded at once:
    // there is no delivery length to choose.
    void setFragmentMs(int) override {}
    void setHurryBelow(int) override {}
    void setDynamicsMeasured(bool on) override;

private:
    // What the thread works with, shared between it and this object: the
    // destruction never waits for the thread (a host-name lookup cannot be
    // interrupted), which finishes by itself with everything it uses.
    struct Worker;
    std::shared_ptr<Worker> m_worker;
};
