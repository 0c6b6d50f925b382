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

// The device side of capture, run by the capture helper process. It measures
// each block of audio and publishes the levels through CaptureLevels; when
// the device stops delivering it says so once and captures no more. Trying
// again is the business of whoever runs the helper: a fresh process starts
// with a fresh sound-server connection, which Qt's own back-end does not
// always manage to re-establish after a long outage.
class CaptureWorker : public QObject {
    Q_OBJECT
public:
    // No audio for this long while open counts as a lost device.
    static constexpr int silenceOfDeviceMs = 2000;
    // Requested device buffer; the sound server's default is near a second,
    // which would delay every level change by as much.
    static constexpr int bufferMs = 30;

    explicit CaptureWorker(std::shared_ptr<CaptureLevels> levels);
    ~CaptureWorker() override;

    // Opens device with channels channels (2 = stereo; a mono device then
    // feeds both) and starts capturing. Returns an empty string on success,
    // otherwise why it failed, in Dutch.
    QString open(const QAudioDevice& device, int channels);
    void close();
    // The list of capture devices changed: a device that vanished is lost.
    void deviceListChanged();

signals:
    // A block was measured; the levels hold it.
    void measured();
    void lost(const QString& deviceName);

private:
    QString openDevice(const QAudioDevice& device);
    void teardown(bool now = false);
    void readAvailable();
    void watch();
    void declareLost();
    bool deviceStillListed() const;

    std::shared_ptr<CaptureLevels> m_levels;
    QAudioDevice m_device;
    int m_channels = 2;
    QAudioSource* m_source = nullptr;
    // Owned by the source, which deletes it itself when the sound server
    // goes away (before it reports the stop): so a guarded pointer.
    QPointer<QIODevice> m_io;
    QTimer* m_watchdog = nullptr;
    PeakHistory m_history;
    bool m_open = false; // between open() and close()
    bool m_lost = false; // lost() emitted
    qint64 m_lastDataMs = 0;
};
