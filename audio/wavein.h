#pragma once

#include "audio/captureengine.h"
#include "audio/capturestate.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTimer;

// Captures the programme signal from one capture (input) device and measures
// the peak level of each channel. The device work runs on an audio thread of
// its own (audio/captureengine.h); levels and the device list reach this
// object's thread through atomics, so no reader here ever waits on the sound
// server. A plain QObject: usable without any window.
//
// Level scale: integer percent on a 60 dB peak scale, 0 at -60 dBFS and
// below, 100 at 0 dBFS (see audio/levelmath.h).
class WaveIn : public QObject {
    Q_OBJECT
public:
    // The longest deviceCount() waits for the sound server's first answer.
    static constexpr int firstAnswerMs = 2000;

    explicit WaveIn(QObject* parent = nullptr);
    ~WaveIn() override;

    // Number of capture devices, in the sound server's order. The first call
    // waits for the server's first answer (a refused connection answers at
    // once; a hung server is waited for at most firstAnswerMs); later calls
    // read the list kept current by the audio thread.
    int deviceCount();
    // The names of the capture devices in Card order; empty without a sound
    // server. Never waits.
    QStringList deviceNames() const;
    // The same list with each device's sound-server name. Never waits.
    CaptureDeviceList devices() const { return *m_state->devices(); }
    // Whether the latest device list came from a sound server: tells "no
    // sound server" apart from "a server without capture devices".
    bool soundServerReached() const { return m_state->serverReached(); }
    // Selects the device by its 0-based position. Returns false (and sets
    // errorString) when no device has that position; the previous number
    // then stays. Takes effect at the next start().
    bool setDeviceNumber(int number);
    int deviceNumber() const { return m_deviceNumber; }
    // 2 captures two channels (stereo); 1 captures one, fed to both channels.
    void setCaptureParameter(int channels);
    // Starts capturing the selected device (a running capture is stopped
    // first). Returns false and sets errorString when no device has the
    // selected number. The device opens on the audio thread; if it cannot,
    // that is a loss like any other (deviceLost, and capture keeps trying).
    bool start();
    // For a start ahead of the sound server (device count 0): capture starts
    // on the device at position number as soon as a sound server lists one.
    // Until audio first flows nothing is reported and the levels read 0.
    void startWhenAvailable(int number);
    // Harmless when capture never started.
    void stop();
    bool isRunning() const { return m_running; }

    QString deviceName() const { return m_deviceName; }
    QString errorString() const { return m_error; }

    // What the silence detector reads: the highest block peak of the last
    // 1000 ms for channel 0 (left) or 1 (right). 0 while nothing is captured,
    // and 0 once no block came for CaptureState::staleMs.
    int level(int channel) const { return m_state->level(channel); }
    // What a meter bar shows: the peak of the latest block (about 20 ms).
    int instantLevel(int channel) const { return m_state->instantLevel(channel); }
    // Audio arrives now: level() is a measurement, not the 0 of no capture.
    bool isDelivering() const { return m_running && m_state->delivering(); }

signals:
    // Capture stopped delivering audio (device gone, sound server gone or
    // hung, stream failed). Emitted once per loss, on this object's thread.
    // Capture keeps trying.
    void deviceLost(const QString& deviceName);
    // Audio flows again after deviceLost.
    void deviceRestored(const QString& deviceName);

private:
    void begin(const CaptureRequest& request, bool reportFromStart);
    void follow();

    // The state outlives the engine that writes into it.
    std::unique_ptr<CaptureState> m_state;
    std::unique_ptr<CaptureEngine> m_engine;
    QTimer* m_follow = nullptr;

    int m_deviceNumber = 0;
    int m_channels = 2;
    QString m_error;
    QString m_deviceName;           // of the device being captured
    bool m_waitedForServer = false; // deviceCount() waits once only
    bool m_running = false;         // between start() and stop()
    bool m_reporting = false;       // losses are told (not before the first audio of a
                                    // startWhenAvailable())
    bool m_lost = false;            // deviceLost emitted, deviceRestored not yet
    CaptureState::Progress m_seen;
};
