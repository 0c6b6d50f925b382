#include "support/serverpeer.h"

#include "support/stationclock.h"

#include <QNetworkDatagram>
#include <QTest>

ServerPeer::ServerPeer(QObject* parent) : QObject(parent) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &ServerPeer::readPending);
}

bool ServerPeer::bind() {
    return m_socket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
}

qint64 ServerPeer::send(const QByteArray& payload, quint16 port) {
    const qint64 at = StationClock::nowMs();
    m_socket.writeDatagram(payload, QHostAddress::LocalHost, port);
    return at;
}

bool ServerPeer::waitForArrivals(qsizetype count, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (m_arrivals.size() < count && timer.elapsed() < timeoutMs)
        QTest::qWait(5);
    return m_arrivals.size() >= count;
}

void ServerPeer::readPending() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (!datagram.isValid())
            break;
        m_arrivals.append(
            {datagram.data(), static_cast<quint16>(datagram.senderPort()), StationClock::nowMs()});
    }
}
