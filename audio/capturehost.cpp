#include "audio/capturehost.h"

#include "audio/captureprotocol.h"
#include "audio/devicelist.h"

#include <QAudioDevice>
#include <QMediaDevices>

CaptureHost::CaptureHost(Output output, QObject* parent)
    : QObject(parent), m_output(std::move(output)) {
    connect(&m_worker, &CaptureWorker::measured, this, [this](int l, int r, int il, int ir) {
        if (!m_output(captureprotocol::levels(l, r, il, ir)))
            emit finished(OutputClosed);
    });
    connect(&m_worker, &CaptureWorker::lost, this, [this](const QString& name) {
        m_output(captureprotocol::lost(name));
        emit finished(DeviceLost);
    });
}

CaptureHost::~CaptureHost() {
    stop();
}

bool CaptureHost::start(const Request& request) {
    const auto inputs = QMediaDevices::audioInputs();
    QList<QByteArray> ids;
    for (const QAudioDevice& input : inputs)
        ids << input.id();
    const int found = findCaptureDevice(ids, request.id, request.position, request.count);
    if (found < 0) {
        m_output(captureprotocol::failed(QStringLiteral("het apparaat bestaat niet meer")));
        return false;
    }
    const QAudioDevice device = inputs.at(found);
    const QString why = m_worker.open(device, request.channels);
    if (!why.isEmpty()) {
        m_output(captureprotocol::failed(why));
        return false;
    }
    // The sound server may move the stream of a vanished device to another
    // source, which would then be measured in its place.
    m_devices = new QMediaDevices(this);
    connect(m_devices, &QMediaDevices::audioInputsChanged, &m_worker,
            &CaptureWorker::deviceListChanged);
    if (!m_output(captureprotocol::opened(device.description())))
        emit finished(OutputClosed);
    return true;
}

void CaptureHost::stop() {
    m_worker.close();
}

bool CaptureHost::listDevices(const Output& output) {
    const auto inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs)
        if (!output(captureprotocol::device(input.id(), input.description())))
            return false;
    return true;
}
