#include "support/udpports.h"

#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>

quint16 UdpPorts::freePort() {
    // The same binding Sondral makes for HostPort, so that a port it cannot
    // have is never offered.
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress))
        return 0;
    return probe.localPort();
}

bool UdpPorts::canBind(quint16 port) {
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress);
}

bool UdpPorts::listedBySs(quint16 port) {
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
