#pragma once

#include "audio/captureworker.h"

#include <QByteArray>
#include <QObject>

#include <functional>

class QMediaDevices;

// What the capture helper process does with one device: finds it, opens it,
// and reports every measured block, then the loss of the device, as
// protocol lines (audio/captureprotocol.h). One host captures one device
// once; after a loss the helper ends and a new one is started.
class CaptureHost : public QObject {
    Q_OBJECT
public:
    // Exit codes of the helper.
    enum Exit { Stopped = 0, OpenFailed = 1, DeviceLost = 2, OutputClosed = 3 };

    struct Request {
        QByteArray id;    // of the device when the capture was set up
        int position = 0; // its position in the list then
        int count = 0;    // the length of that list
        int channels = 2;
    };

    // Writes one line; false when the reader is gone.
    using Output = std::function<bool(const QByteArray&)>;

    explicit CaptureHost(Output output, QObject* parent = nullptr);
    ~CaptureHost() override;

    // Opens the requested device; writes "opened" or "failed". Returns false
    // on failure.
    bool start(const Request& request);
    void stop();

    // Writes one "device" line per capture device.
    static bool listDevices(const Output& output);

signals:
    // Capture is over: the device was lost or the output closed.
    void finished(int exitCode);

private:
    Output m_output;
    CaptureWorker m_worker;
    QMediaDevices* m_devices = nullptr;
};
