#pragma once

#include "audio/devicelist.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QProcess;
class QTimer;

// Captures the programme signal from one capture (input) device and measures
// the peak level of each channel. The device work runs in a helper process
// (sondral-capture), one per attempt: when the device is lost, or the sound
// server goes away for however long, a new helper is started every couple of
// seconds until audio flows again, each with a fresh sound-server
// connection. The level readers below never wait.
//
// Level scale: integer percent on a 60 dB peak scale, 0 at -60 dBFS and
// below, 100 at 0 dBFS (see audio/levelmath.h).
class WaveIn : public QObject {
    Q_OBJECT
public:
    // Interval between attempts to capture a lost device again.
    static constexpr int retryMs = 2000;
    // A helper that says nothing for this long is taken to hang and is
    // ended (a healthy one reports a block every 20 ms).
    static constexpr int hangMs = 4000;

    explicit WaveIn(QObject* parent = nullptr);
    ~WaveIn() override;

    // Number of capture devices, in the sound system's order. Lists them
    // afresh; setDeviceNumber() and start() then use this listing.
    int deviceCount();
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
    bool isRunning() const { return m_running; }

    QString deviceName() const;
    QString errorString() const { return m_error; }

    // What the silence detector reads: the highest block peak of the last
    // 1000 ms for channel 0 (left) or 1 (right). 0 while nothing is captured,
    // including when the device stopped delivering audio.
    int level(int channel) const;
    // What a meter bar shows: the peak of the latest block (about 20 ms).
    int instantLevel(int channel) const;

signals:
    // Capture stopped delivering audio (device unplugged, sound server gone,
    // helper ended). Emitted once per loss. Capture keeps trying.
    void deviceLost(const QString& deviceName);
    // Capture resumed after deviceLost: audio flows again.
    void deviceRestored(const QString& deviceName);

private:
    enum class Answer { None, Opened, Failed };

    const QList<CaptureDevice>& devices();
    bool fresh() const;
    bool spawn();
    void readHelper();
    void helperEnded();
    void endHelper();
    void declareLost();
    void watch();

    int m_deviceNumber = 0;
    int m_channels = 2;
    QString m_error;
    QString m_deviceName; // of the device being captured
    QList<CaptureDevice> m_devices;
    QString m_listError;   // why the last listing failed, empty when it did not
    bool m_listed = false; // m_devices holds a listing

    // What a new helper is asked to capture: fixed at start().
    QByteArray m_id;
    int m_position = 0;
    int m_count = 0;

    QProcess* m_helper = nullptr;
    Answer m_answer = Answer::None;
    QString m_failure;          // the current helper's "failed" reason
    QElapsedTimer m_sinceHeard; // since the current helper's last line
    bool m_running = false;     // between a successful start() and stop()
    bool m_lost = false;        // deviceLost emitted, deviceRestored not yet
    QTimer* m_retry = nullptr;
    QTimer* m_watchdog = nullptr;
    // The latest "levels" line; read only while fresh().
    int m_level[2] = {0, 0};
    int m_instant[2] = {0, 0};
    QElapsedTimer m_sinceLevels; // invalid: none since the capture (re)started
};
