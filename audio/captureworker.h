#pragma once

#include "audio/peakhistory.h"

#include <QAudioDevice>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QAudioSource;
class QIODevice;
class QTimer;
struct CaptureLevels;

// The device side of WaveIn. Lives on the capture thread: it is moved there
// right after construction and every member function below runs there. It
// measures each block of audio and publishes the levels through the shared
// CaptureLevels; when the device stops delivering it says so once and keeps
// trying to reopen it until audio flows again.
class CaptureWorker : public QObject {
    Q_OBJECT
public:
    // No audio for this long while open counts as a lost device.
    static constexpr int silenceOfDeviceMs = 2000;
    // Interval between attempts to reopen a lost device.
    static constexpr int retryMs = 2000;
    // Requested device buffer; the sound server's default is near a second,
    // which would delay every level change by as much.
    static constexpr int bufferMs = 30;

    explicit CaptureWorker(std::shared_ptr<CaptureLevels> levels);
    ~CaptureWorker() override;

    // Opens device (the one at position in a list of inputCount inputs) with
    // channels channels (2 = stereo; a mono device then feeds both) and starts
    // capturing. Returns an empty string on success, otherwise why it failed,
    // in Dutch.
    QString open(const QAudioDevice& device, int position, int inputCount, int channels);
    // Stops capturing and all retries.
    void close();
    // The list of capture devices changed: a device that vanished is lost.
    void deviceListChanged();

signals:
    void lost(const QString& deviceName);
    void restored(const QString& deviceName);

private:
    QString openDevice(const QAudioDevice& device);
    void teardown(bool now = false);
    void readAvailable();
    void watch();
    void declareLost();
    void retry();
    QAudioDevice findDevice() const;
    bool deviceStillListed() const;

    std::shared_ptr<CaptureLevels> m_levels;
    QAudioDevice m_device;
    int m_position = 0;
    int m_inputCount = 0;
    int m_channels = 2;
    QAudioSource* m_source = nullptr;
    // Owned by the source, which deletes it itself when the sound server
    // goes away (before it reports the stop): so a guarded pointer.
    QPointer<QIODevice> m_io;
    QTimer* m_watchdog = nullptr;
    PeakHistory m_history;
    bool m_open = false; // between open() and close()
    bool m_lost = false; // lost() emitted, restored() not yet
    qint64 m_lastDataMs = 0;
    qint64 m_lastAttemptMs = 0;
};
