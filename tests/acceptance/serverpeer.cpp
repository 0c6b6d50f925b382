#include "serverpeer.h"

#include "stationclock.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
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

quint16 ServerPeer::freePort() {
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress))
        return 0;
    return probe.localPort();
}

bool ServerPeer::canBind(quint16 port) {
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress);
}

bool ServerPeer::listedBySs(quint16 port) {
    QProcess ss;
    ss.start(QStringLiteral("ss"), {QStringLiteral("-H"), QStringLiteral("-uln")});
    if (!ss.waitForFinished(5000))
        return false;
    // Columns: State Recv-Q Send-Q Local-Address:Port Peer-Address:Port
    const QRegularExpression local(QStringLiteral(":%1$").arg(port));
    const QStringList lines = QString::fromLocal8Bit(ss.readAllStandardOutput()).split('\n');
    for (const QString& line : lines) {
        const QStringList columns = line.simplified().split(' ');
        if (columns.size() >= 4 && local.match(columns.at(3)).hasMatch())
            return true;
    }
    return false;
}
