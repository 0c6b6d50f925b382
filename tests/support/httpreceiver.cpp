#include "support/httpreceiver.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

HttpReceiver::HttpReceiver(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &HttpReceiver::accept);
}

HttpReceiver::~HttpReceiver() {
    stop();
}

bool HttpReceiver::listen(quint16 port) {
    if (!m_server.listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void HttpReceiver::stop() {
    m_server.close();
    // Every socket goes with its signals cut first, so that nothing of
    // theirs reaches a receiver being taken down.
    const QList<QTcpSocket*> sockets = m_buffers.keys();
    m_buffers.clear();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

void HttpReceiver::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // Owned by the receiver's list, not by the server.
        socket->setParent(nullptr);
        m_buffers.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void HttpReceiver::drop(QTcpSocket* socket) {
    if (!m_buffers.remove(socket))
        return;
    socket->disconnect(this);
    socket->deleteLater();
}

void HttpReceiver::read(QTcpSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        Request r;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                 lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = r.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headEnd + 4 + length)
            return;
        r.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        m_requests.append(r);
        if (m_hanging)
            continue;
        if (m_trickling > 0) {
            --m_trickling;
            trickle(socket);
            return;
        }
        const int status = m_statuses.isEmpty() ? 200 : m_statuses.takeFirst();
        if (status >= 200 && status < 300)
            m_delivered.append(r.body);
        const QByteArray location =
            m_location.isEmpty() ? QByteArray() : "Location: " + m_location + "\r\n";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\n" + location +
                      "Content-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
}

void HttpReceiver::trickle(QTcpSocket* socket) {
    // A refusal whose head never ends: nothing the client may take for a
    // delivery, however long it waits.
    static const QByteArray head = "HTTP/1.1 503 Slow\r\nX-Slow: ";
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket, sent = qsizetype(0)]() mutable {
        socket->write(sent < head.size() ? head.mid(sent, 1) : QByteArray("x"));
        ++sent;
    });
    timer->start(m_trickleMs);
}

bool HttpReceiver::waitForRequests(qsizetype count, int timeoutMs) {
    return QTest::qWaitFor([&] { return m_requests.size() >= count; }, timeoutMs);
}
