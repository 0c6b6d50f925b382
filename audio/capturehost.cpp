#include "audio/capturehost.h"

#include "audio/captureprotocol.h"
#include "audio/captureworker.h"
#include "audio/devicelist.h"

#include <QAudioDevice>
#include <QMediaDevices>

CaptureHost::CaptureHost(Output output, QObject* parent)
    : QObject(parent), m_output(std::move(output)), m_shared(std::make_shared<CaptureLevels>()) {}

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

    m_worker = new CaptureWorker(m_shared);
    const QString why = m_worker->open(device, request.channels);
    if (!why.isEmpty()) {
        delete m_worker;
        m_worker = nullptr;
        m_output(captureprotocol::failed(why));
        return false;
    }
    connect(m_worker, &CaptureWorker::measured, this, &CaptureHost::report);
    connect(m_worker, &CaptureWorker::lost, this, [this](const QString& name) {
        m_output(captureprotocol::lost(name));
        emit finished(DeviceLost);
    });
    // The sound server may move the stream of a vanished device to another
    // source, which would then be measured in its place.
    m_devices = new QMediaDevices(this);
    connect(m_devices, &QMediaDevices::audioInputsChanged, m_worker,
            &CaptureWorker::deviceListChanged);
    if (!m_output(captureprotocol::opened(device.description()))) {
        emit finished(OutputClosed);
        return true;
    }
    return true;
}

void CaptureHost::stop() {
    if (m_worker) {
        m_worker->close();
        delete m_worker;
        m_worker = nullptr;
    }
}

void CaptureHost::report() {
    const auto& l = *m_shared;
    const bool written = m_output(captureprotocol::levels(
        l.level[0].load(std::memory_order_relaxed), l.level[1].load(std::memory_order_relaxed),
        l.instant[0].load(std::memory_order_relaxed),
        l.instant[1].load(std::memory_order_relaxed)));
    if (!written)
        emit finished(OutputClosed);
}

bool CaptureHost::listDevices(const Output& output) {
    const auto inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs)
        if (!output(captureprotocol::device(input.id(), input.description())))
            return false;
    return true;
}
