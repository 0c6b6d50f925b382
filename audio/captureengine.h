#pragma once

#include <QByteArray>
#include <QString>

// Which device to capture, and how to find it again after a loss (see
// findCaptureDevice in audio/devicelist.h).
struct CaptureRequest {
    QByteArray id;    // its sound-server name; empty when not known yet
    int position = 0; // its position in the list
    int count = -1;   // the list's length then; -1 when no list was seen
    int channels = 2; // 2 stereo; 1 mono, fed to both meters
    // The sound-server name the operator chose (CardName): taken whenever
    // it is listed, at the start and after every loss; empty: none.
    QByteArray preferredId;
    // A network stream to capture in place of a device (Url); empty: a device.
    QString url;
};

// The seam every capture implements: the input side of capture, on a thread
// of its own. Once opened it captures until closed: it decodes what comes
// into samples, hands them to a BlockMeter (audio/blockmeter.h), which
// measures every block into the CaptureState, and when delivery stops it
// says why through CaptureState::captureFailed(CaptureLoss) and tries
// again by itself, however long that takes. Whether that is a loss to
// report, and when, is decided above it, once, in WaveIn.
//
// Two implementations: PulseCapture, a sound card through the sound
// server (it also keeps the device list in the state current), and
// StreamCapture, a network stream through FFmpeg. A capture for another
// platform's sound system is a third implementation of this class, made in
// WaveIn's constructor in place of PulseCapture.
//
// The sound card's retries: after a failure (a failed connection or stream,
// or no block for CaptureState::staleMs) a fresh sound-server connection
// every retryMs.
//
// A device that is not listed (yet) is waited for: capture opens on it as
// soon as the list names it. The first block of each attempt may take
// firstBlockMs; each attempt that fails without any block doubles that wait,
// up to maxFirstBlockMs (an input waiting for its network clock), and the
// first block resets it.
class CaptureEngine {
public:
    static constexpr int retryMs = 2000;
    static constexpr int firstBlockMs = 3000;
    static constexpr int maxFirstBlockMs = 30000;
    // The wait for the first block after `failures` attempts in a row that
    // brought none.
    static constexpr int firstBlockWaitMs(int failures) {
        int wait = firstBlockMs;
        for (int i = 0; i < failures && wait < maxFirstBlockMs; ++i)
            wait *= 2;
        return wait < maxFirstBlockMs ? wait : maxFirstBlockMs;
    }

    virtual ~CaptureEngine() = default;
    // Starts capturing; returns at once, the device opens on the audio thread.
    virtual void open(const CaptureRequest& request) = 0;
    // Stops capturing; the device list stays current.
    virtual void close() = 0;
    // How long a delivery from the sound server may be, in milliseconds:
    // short while someone watches the meters, long (fewer wake-ups) while
    // only the silence check listens. Applies to the stream at once where
    // the back-end can, else from the next stream on. The levels measured
    // are the same either way: blocks are cut from the samples.
    virtual void setFragmentMs(int ms) = 0;
    // While the latest block is below this level (percent, on both
    // channels) the capture takes short deliveries whatever setFragmentMs
    // asked, so that a silence that begins is seen as soon as with short
    // ones; back to the asked length after a loud second. 0: never.
    virtual void setHurryBelow(int level) = 0;
    // Whether every delivery also goes through the dynamics meter
    // (audio/dynamicsmeter.h), whose verdicts reach the state; off, it costs
    // nothing. Starts off.
    virtual void setDynamicsMeasured(bool on) = 0;
};
