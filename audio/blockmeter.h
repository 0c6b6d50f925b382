#pragma once

#include "audio/dynamicsmeter.h"
#include "audio/levelmath.h"
#include "audio/peakhistory.h"

#include <QtGlobal>

class CaptureState;

// What every capture does with the samples it receives, on its audio
// thread: cuts them into 20 ms blocks (PeakHistory), keeps them in the
// state's AudioRing for the clips, judges the dynamics when asked, and puts
// the levels into the CaptureState. A capture only has to decode into
// interleaved samples and hand them here, whatever its source.
class BlockMeter {
public:
    explicit BlockMeter(CaptureState& state) : m_state(state) {}

    // Starts over for samples of this format (a new stream, or a stream
    // whose rate or channels changed): forgets the blocks, begins a new run
    // of the ring.
    void reset(const levelmath::SampleFormat& format);
    const levelmath::SampleFormat& format() const { return m_format; }

    // Interleaved samples in the format of reset(); need not hold whole
    // frames or blocks. Returns the number of blocks completed; with one or
    // more the levels in the state are new.
    int add(const char* data, qsizetype bytes);

    // Whether add() also judges the dynamics; a change starts the meter over
    // and clears the verdict in the state.
    void setDynamicsMeasured(bool on);

    // The peaks of the last completed blocks (for the capture's pace).
    const PeakHistory& history() const { return m_history; }

private:
    CaptureState& m_state;
    levelmath::SampleFormat m_format;
    PeakHistory m_history;
    bool m_measureDynamics = false;
    DynamicsMeter m_dynamics;
};
