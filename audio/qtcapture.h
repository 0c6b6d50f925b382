#pragma once

#include "audio/captureengine.h"

#include <QThread>

class CaptureWorker;

// Capture on Qt Multimedia, for platforms without the sound server's client
// library: a CaptureWorker on a thread of its own. Commands reach it as
// queued calls; results come back through the CaptureState.
class QtCapture final : public CaptureEngine {
public:
    explicit QtCapture(CaptureState& state);
    ~QtCapture() override;

    void open(const CaptureRequest& request) override;
    void close() override;
    void setFragmentMs(int ms) override;
    // Qt Multimedia's buffer is set when a source opens, so the short one
    // asked for while watched is what it keeps: no hurrying needed.
    void setHurryBelow(int) override {}
    void setDynamicsMeasured(bool on) override;

private:
    QThread m_thread;
    CaptureWorker* m_worker = nullptr; // lives on m_thread, deleted there
};
