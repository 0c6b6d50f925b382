#pragma once

#include "audio/captureengine.h"
#include "audio/captureevents.h"
#include "audio/capturestate.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTimer;

// Captures the programme signal from one capture (input) device and measures
// the peak level of each channel. The device work runs on an audio thread of
// its own (audio/captureengine.h); levels and the device list reach this
// object's thread through atomics, the rare events (a loss, a return, a new
// device list) as queued signals, so nothing here ever waits on the sound
// server. A plain QObject: usable without any window.
//
// Level scale: integer percent on a 60 dB peak scale, 0 at -60 dBFS and
// below, 100 at 0 dBFS (see audio/levelmath.h).
class WaveIn : public QObject, private CaptureEvents {
    Q_OBJECT
public:
    explicit WaveIn(QObject* parent = nullptr);
    ~WaveIn() override;

    // Number of capture devices, in the sound server's order, as far as
    // known now: 0 until the sound server has first answered
    // (devicesKnown()), which devicesChanged() tells. Never waits.
    int deviceCount() const;
    bool devicesKnown() const { return m_state->answered(); }
    // The capture devices in Card order; empty without a sound server.
    CaptureDeviceList devices() const { return *m_state->devices(); }
    QStringList deviceNames() const;
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
    // For a start before the device list is known: capture starts on the
    // device at position number as soon as a sound server lists one. Until
    // audio first flows nothing is reported and the levels read 0.
    void startWhenAvailable(int number);
    // The sound-server name of the device the operator chose (CardName):
    // whenever the list names it, at a start and after every loss, it is
    // captured in place of the numbered one. Empty: by number only. Takes
    // effect at the next start() or startWhenAvailable().
    void setPreferredDevice(const QByteArray& id) { m_preferredId = id; }
    QByteArray preferredDevice() const { return m_preferredId; }
    // The position of the device named id in the current list; -1 when it
    // is not listed (or id is empty).
    int positionOf(const QByteArray& id) const;
    // Captures the network stream at url (Url) in place of any device,
    // from now on: the sound card's capture ends. Reported like a device:
    // deviceLost after any failure, including the first connection's, with
    // the reason in lossReason(); the stream's name is its redacted URL.
    void startStream(const QString& url);
    bool isStream() const { return !m_url.isEmpty(); }
    // Harmless when capture never started.
    void stop();
    // Someone watches the levels live (a meter on screen): the sound server
    // delivers about every 20 ms. Otherwise about every 250 ms, which wakes
    // the audio thread far less often; level() means the same either way.
    void setWatched(bool watched);
    static constexpr int watchedFragmentMs = 20;
    static constexpr int unwatchedFragmentMs = 250;
    // While both channels are below this level (percent), deliveries are
    // short even when nobody watches: the programme is quiet enough that a
    // count of silent seconds may begin, and it must begin on time. 0:
    // nothing is armed.
    void setHurryBelow(int level);
    // Whether the audio thread also judges the programme's dynamics each
    // second (dynamics()). Off by default: then it costs nothing.
    void setDynamicsMeasured(bool on);

    QString deviceName() const { return m_deviceName; }
    QString errorString() const { return m_error; }
    // Why the input stopped delivering, as of the last deviceLost.
    CaptureLoss lossReason() const { return m_lossReason; }
    // A stream's codec and decoded rate, once audio came; empty for a card.
    CaptureState::Format streamFormat() const { return m_state->format(); }
    // Why the device asked for is not captured now, for the operator, when
    // it is not listed (neither the preferred device nor the position) or
    // no sound server answers; empty while it delivers, is listed, or
    // capture is stopped.
    QString missingDeviceText() const;

    // What the silence detector reads: the highest block peak of the last
    // 1000 ms for channel 0 (left) or 1 (right). 0 while nothing is captured,
    // and 0 once no block came for CaptureState::staleMs (a stream:
    // StreamCapture::lossAfterMs).
    int level(int channel) const { return m_state->level(channel); }
    // What a meter bar shows: the peak of the latest block (about 20 ms).
    int instantLevel(int channel) const { return m_state->instantLevel(channel); }
    // Audio arrives now: level() is a measurement, not the 0 of no capture.
    bool isDelivering() const { return m_running && m_state->delivering(); }
    // The latest judgement of the last second's dynamics (steady signal or
    // programme); not valid while nothing is captured or the meter is off.
    DynamicsSecond dynamics() const { return m_state->dynamics(); }
    // When the last block came, monotonic ms; 0 before the first.
    qint64 lastBlockMs() const { return m_state->lastBlockMs(); }
    // The last seconds of what was captured, for keeping the sound of an
    // event; lives as long as this object.
    const AudioRing& audioRing() const { return m_state->ring(); }

signals:
    // The first audio of a start: the input delivers.
    void deliveryStarted(const QString& deviceName);
    // Capture stopped delivering audio (device gone, sound server gone or
    // hung, stream failed, or the audio thread itself stuck). Emitted once
    // per loss, on this object's thread. Capture keeps trying.
    void deviceLost(const QString& deviceName);
    // Audio flows again after deviceLost.
    void deviceRestored(const QString& deviceName);
    // The device list changed, or the sound server first answered.
    void devicesChanged();

private:
    // CaptureEvents, on the audio thread: each only queues the news here.
    void blocksStarted(quint32 generation) override;
    void attemptFailed(quint32 generation, CaptureLoss why) override;
    void deviceListChanged() override;

    void begin(const CaptureRequest& request, bool reportFromStart);
    void onFlowStarted(quint32 generation);
    void onCaptureFailed(quint32 generation, CaptureLoss why);
    void reportLoss(CaptureLoss why);
    void checkStall();

    // The state outlives the engine that writes into it.
    std::unique_ptr<CaptureState> m_state;
    std::unique_ptr<CaptureEngine> m_engine;
    // Watches from this thread that blocks still come while audio flows, so
    // that an audio thread that hangs is a loss like any other.
    QTimer* m_stallWatch = nullptr;

    int m_deviceNumber = 0;
    QByteArray m_preferredId;
    int m_channels = 2;
    QString m_error;
    QString m_url; // the stream captured; empty: a device
    CaptureLoss m_lossReason = CaptureLoss::Device;
    QString m_deviceName;     // of the device being captured
    quint32 m_generation = 0; // of the attempt begun last
    int m_hurryBelow = 0;
    bool m_dynamicsMeasured = false;
    bool m_running = false;   // between start() and stop()
    bool m_reporting = false; // losses are told (not before the first audio of a
                              // startWhenAvailable())
    bool m_flowing = false;   // audio flowed and no failure came since
    bool m_delivered = false; // audio flowed at all since the start
    bool m_lost = false;      // deviceLost emitted, deviceRestored not yet
};
