#pragma once

#include <QObject>
#include <QString>
#include <memory>

class CaptureWorker;
class QMediaDevices;
class QThread;
struct CaptureLevels;

// Captures the programme signal from one capture (input) device and measures
// the peak level of each channel. The device work runs on a thread of its
// own; the level readers below are safe to call from the UI thread at any
// time (atomics, no locks).
//
// Level scale: integer percent on a 60 dB peak scale, 0 at -60 dBFS and
// below, 100 at 0 dBFS (see audio/levelmath.h).
class WaveIn : public QObject {
    Q_OBJECT
public:
    explicit WaveIn(QObject* parent = nullptr);
    ~WaveIn() override;

    // Number of capture devices, in QMediaDevices::audioInputs() order.
    int deviceCount() const;
    // Selects the device by its 0-based position. Returns false (and sets
    // errorString) when no device has that position; the previous number
    // then stays. Takes effect at the next start().
    bool setDeviceNumber(int number);
    int deviceNumber() const { return m_deviceNumber; }
    // 2 captures two channels (stereo); a mono device feeds both channels.
    void setCaptureParameter(int channels);
    // Opens the selected device and starts capturing (a running capture is
    // stopped first). Returns false and sets errorString when the device
    // cannot be opened; capture then does not run.
    bool start();
    // Harmless when capture never started.
    void stop();
    bool isRunning() const;

    QString deviceName() const;
    QString errorString() const { return m_error; }

    // What the silence detector reads: the highest block peak of the last
    // 1000 ms for channel 0 (left) or 1 (right). 0 while nothing is captured,
    // including when the device stopped delivering audio.
    int level(int channel) const;
    // What a meter bar shows: the peak of the latest block (about 20 ms).
    int instantLevel(int channel) const;

signals:
    // Capture stopped delivering audio (device unplugged, sound server gone).
    // Emitted once per loss, on the thread that owns this object. Capture
    // keeps trying to reopen the device.
    void deviceLost(const QString& deviceName);
    // Capture resumed after deviceLost: audio flows again.
    void deviceRestored(const QString& deviceName);

private:
    void abandonThread();

    int m_deviceNumber = 0;
    int m_channels = 2;
    QString m_error;
    QString m_deviceName; // of the device being captured
    QThread* m_thread = nullptr;
    CaptureWorker* m_worker = nullptr;
    // Shared with the worker, so that a worker that had to be abandoned
    // (hung in the driver) never writes to freed memory.
    std::shared_ptr<CaptureLevels> m_levels;
    QMediaDevices* m_devices = nullptr;
    int m_generation = 0; // tells signals of a stopped worker from the current one
};
