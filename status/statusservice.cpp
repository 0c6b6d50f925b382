#include "status/statusservice.h"

#include "status/statushttpserver.h"

#include <QHostAddress>
#include <QThread>

// The page is a resource of this static library; it must be registered by
// name before its first use.
static void initStatusResources() {
    Q_INIT_RESOURCE(status);
}

StatusService::StatusService(StatusBoard& board, StatusListener::Limits limits, QObject* parent)
    : QObject(parent), m_board(board), m_limits(limits) {
    initStatusResources();
}

StatusService::~StatusService() {
    stop();
}

bool StatusService::start(const QString& bind, quint16 port) {
    stop();
    QHostAddress address;
    if (bind == u"*") {
        address = QHostAddress::Any;
    } else if (!address.setAddress(bind)) {
        m_error = QStringLiteral("\"%1\" is not an address").arg(bind);
        return false;
    }

    auto* listener = new StatusListener(m_limits);
    if (!listener->listen(address, port)) {
        m_error = listener->errorString();
        delete listener;
        return false;
    }
    m_port = listener->serverPort();

    // Built here, then handed whole to the thread before it runs: the server
    // takes the listener as its child, and both move together.
    m_server = new StatusHttpServer(m_board, m_clipFolder);
    m_server->bindListener(listener);
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("sondral-status"));
    m_server->moveToThread(m_thread);
    // The server and its connections are deleted on their own thread once
    // its loop has ended.
    connect(m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    m_thread->start();
    m_error.clear();
    return true;
}

void StatusService::stop() {
    if (!m_thread)
        return;
    // The server's thread never blocks, so the wait is short, and it comes
    // only at the end of a run.
    m_server = nullptr;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_port = 0;
}
