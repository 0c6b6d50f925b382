#include "audio/qtcapture.h"

#include "audio/captureworker.h"

std::unique_ptr<CaptureEngine> CaptureEngine::create(CaptureState& state) {
    return std::make_unique<QtCapture>(state);
}

QtCapture::QtCapture(CaptureState& state) : m_worker(new CaptureWorker(state)) {
    m_thread.setObjectName(QStringLiteral("sondral-audio"));
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, &CaptureWorker::init, Qt::QueuedConnection);
}

QtCapture::~QtCapture() {
    QMetaObject::invokeMethod(m_worker, &CaptureWorker::close, Qt::QueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void QtCapture::open(const CaptureRequest& request) {
    CaptureWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, request] { worker->open(request); }, Qt::QueuedConnection);
}

void QtCapture::close() {
    QMetaObject::invokeMethod(m_worker, &CaptureWorker::close, Qt::QueuedConnection);
}

void QtCapture::setFragmentMs(int ms) {
    CaptureWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, ms] { worker->setBufferMs(ms); }, Qt::QueuedConnection);
}

void QtCapture::setDynamicsMeasured(bool on) {
    CaptureWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, on] { worker->setDynamicsMeasured(on); }, Qt::QueuedConnection);
}
