#include "status/statuslistener.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {
qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
constexpr quint32 HeadEnd = 0x0d0a0d0a; // "\r\n\r\n"

bool asksToClose(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    bool keepAlive = !lines.value(0).trimmed().endsWith("HTTP/1.0");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed().toLower();
        if (!line.startsWith("connection:"))
            continue;
        const QByteArray value = line.mid(11).trimmed();
        if (value.contains("close"))
            keepAlive = false;
        else if (value.contains("keep-alive"))
            keepAlive = true;
    }
    return !keepAlive;
}
} // namespace

StatusListener::StatusListener(Limits limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {
    // Accepted connections are counted here instead.
    setMaxPendingConnections(limits.maxConnections);
}

void StatusListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_connections.size() >= m_limits.maxConnections) {
        // Over the limit: refused before a byte is read.
        socket->abort();
        socket->deleteLater();
        return;
    }
    Connection fresh;
    fresh.lastActiveMs = nowMs();
    m_connections.insert(socket, fresh);
    // Connected before the HTTP server's own: sees each fragment before the
    // server reads it.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        auto it = m_connections.find(socket);
        if (it != m_connections.end())
            it->lastActiveMs = nowMs();
    });
    connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.remove(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_connections.remove(socket);
        socket->deleteLater();
    });
    if (!m_idleTimer) {
        m_idleTimer = new QTimer(this);
        m_idleTimer->setInterval(std::min<qint64>(1000, std::max<qint64>(m_limits.idleMs / 4, 50)));
        connect(m_idleTimer, &QTimer::timeout, this, &StatusListener::closeIdle);
        m_idleTimer->start();
    }
    addPendingConnection(socket);
}

void StatusListener::received(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& c = *it;
    c.lastActiveMs = nowMs();
    // The HTTP server reads everything available at each readyRead, so what
    // is available now is new.
    const QByteArray fresh = socket->peek(socket->bytesAvailable());
    for (char ch : fresh) {
        c.tail = (c.tail << 8) | quint8(ch);
        ++c.headBytes;
        c.head += ch;
        if (c.tail == HeadEnd) {
            c.closeAfterAnswer = asksToClose(c.head);
            c.head.clear();
            c.headBytes = 0;
        } else if (c.headBytes > m_limits.maxHeadBytes) {
            m_connections.erase(it);
            socket->write("HTTP/1.1 431 Request Header Fields Too Large\r\n"
                          "Connection: close\r\nContent-Length: 0\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
    }
}

bool StatusListener::closesAfterAnswer(const QTcpSocket* socket) const {
    const auto it = m_connections.constFind(const_cast<QTcpSocket*>(socket));
    return it != m_connections.cend() && it->closeAfterAnswer;
}

void StatusListener::closeIdle() {
    const qint64 now = nowMs();
    QList<QTcpSocket*> idle;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (now - it->lastActiveMs >= m_limits.idleMs)
            idle.append(it.key());
    }
    for (QTcpSocket* socket : idle) {
        m_connections.remove(socket);
        socket->abort();
        socket->deleteLater();
    }
}
