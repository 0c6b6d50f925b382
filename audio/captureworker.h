#pragma once

#include "audio/peakhistory.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QString>

class QAudioSource;
class QIODevice;
class QTimer;

// The device side of capture, run by the capture helper process. It measures
// each block of audio and reports its levels; when the device stops
// delivering it says so once and captures no more. Trying
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

    CaptureWorker();
    ~CaptureWorker() override;

    // Opens device with channels channels (2 = stereo; a mono device then
    // feeds both) and starts capturing. Returns an empty string on success,
    // otherwise why it failed, in Dutch.
    QString open(const QAudioDevice& device, int channels);
    void close();
    // The list of capture devices changed: a device that vanished is lost.
    void deviceListChanged();

signals:
    // One block measured, in integer percent (audio/levelmath.h): the highest
    // block peak of the last second, and the peak of this block.
    void measured(int left, int right, int instantLeft, int instantRight);
    void lost(const QString& deviceName);

private:
    void teardown(bool now = false);
    void readAvailable();
    void watch();
    void declareLost();
    bool deviceStillListed() const;

    QAudioDevice m_device;
    QAudioSource* m_source = nullptr;
    // Owned by the source, which deletes it itself when the sound server
    // goes away (before it reports the stop): so a guarded pointer.
    QPointer<QIODevice> m_io;
    QTimer* m_watchdog = nullptr;
    PeakHistory m_history;
    bool m_open = false; // capturing: opened, and neither closed nor lost
    QElapsedTimer m_sinceData;
};
