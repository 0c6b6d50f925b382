#pragma once

#include "audio/captureengine.h"
#include "audio/dynamicsmeter.h"
#include "audio/peakhistory.h"

#include <QAudioDevice>
#include <QObject>
#include <QPointer>

class CaptureState;
class QAudioSource;
class QIODevice;
class QMediaDevices;
class QTimer;

// The device side of capture on Qt Multimedia (platforms without the sound
// server's client library), living on the capture thread of QtCapture. It
// keeps the device list in the state current, measures each block of audio
// into the state, and after a failure (the source stopped with an error, the
// device left the list, or a block overdue) tries again
// every retryMs.
class CaptureWorker : public QObject {
    Q_OBJECT
public:
    // Requested device buffer while someone watches; the platform's default
    // may be near a second, which would delay every level change by as much.
    static constexpr int defaultBufferMs = 30;

    explicit CaptureWorker(CaptureState& state);
    ~CaptureWorker() override;

    // Each on the capture thread.
    void init();
    void open(const CaptureRequest& request);
    void close();
    // The buffer of the next source opened (Qt Multimedia cannot change it
    // on a running one).
    void setBufferMs(int ms) { m_bufferMs = ms; }
    void setDynamicsMeasured(bool on);

private:
    void publishDevices();
    void tryOpen();
    void teardown();
    void fail();
    void readAvailable();
    void watch();
    bool deviceStillListed() const;

    CaptureState& m_state;
    QMediaDevices* m_devices = nullptr;
    QTimer* m_watchdog = nullptr;
    QTimer* m_retry = nullptr;
    bool m_wanted = false;
    CaptureRequest m_request;
    QAudioDevice m_device;
    QAudioSource* m_source = nullptr;
    // Owned by the source, which may delete it itself when the platform's
    // audio goes away: so a guarded pointer.
    QPointer<QIODevice> m_io;
    PeakHistory m_history;
    levelmath::SampleFormat m_measured;
    bool m_measureDynamics = false;
    DynamicsMeter m_dynamics;
    qint64 m_blockDueMs = 0; // the next block is overdue after this
    bool m_blocksThisAttempt = false;
    int m_emptyAttempts = 0; // attempts in a row that opened and brought no block
    int m_bufferMs = defaultBufferMs;
};
