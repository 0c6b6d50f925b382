#include "platform/udplink.h"

#include "core/failurecodes.h"
#include "platform/socketerrors.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <linux/sock_diag.h>
#include <sys/socket.h>
#endif

namespace {
constexpr int InvalidArgument = 10022;
constexpr int MaxPort = 65535;
} // namespace

UdpLink::UdpLink(QObject* parent) : QObject(parent) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpLink::readPending);
    m_refresh.setInterval(refreshPollMs);
    connect(&m_refresh, &QTimer::timeout, this, &UdpLink::refreshRemote);
    m_bindRetry.setInterval(bindRetryMs);
    connect(&m_bindRetry, &QTimer::timeout, this, [this] {
        if (tryBind()) {
            m_bindRetry.stop();
            emit bound();
        }
    });
    m_dropPoll.setInterval(dropPollMs);
    connect(&m_dropPoll, &QTimer::timeout, this, &UdpLink::pollDrops);
}

bool UdpLink::bind(qint32 port) {
    m_bindRetry.stop();
    m_lastErrorCode = 0;
    m_lastErrorText.clear();
    m_lastErrorReason.clear();
    if (port <= 0 || port > MaxPort) {
        if (m_socket.state() != QAbstractSocket::UnconnectedState)
            m_socket.close();
        m_lastErrorCode = InvalidArgument;
        m_lastErrorText =
            QStringLiteral("Kan UDP-poort %1 niet openen: ongeldig poortnummer").arg(port);
        m_lastErrorReason = QStringLiteral("not a valid port number");
        return false;
    }
    m_port = port;
    if (tryBind())
        return true;
    // The other program may go away (a second Sondral closed, a test tool
    // stopped): the port is tried again until it can be had.
    m_bindRetry.start();
    return false;
}

bool UdpLink::tryBind() {
    const qint32 port = m_port;
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.close();
    m_dropPoll.stop();
    m_dropped = -1;
    // QHostAddress::Any is dual-stack: IPv4 datagrams arrive as well.
    // DontShareAddress: on Linux a shared UDP port would quietly split the
    // server's datagrams between two programs.
    if (m_socket.bind(QHostAddress::Any, static_cast<quint16>(port),
                      QAbstractSocket::DontShareAddress)) {
        // Room for a burst while the UI thread is busy (the kernel caps it
        // at net.core.rmem_max): a full buffer drops keywords with the junk.
        m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(1 << 20));
        pollDrops();
        m_dropPoll.start();
        return true;
    }
    m_lastErrorCode = wsaCodeFromSocketError(m_socket.error());
    m_lastErrorText = QStringLiteral("Kan UDP-poort %1 niet openen: %2")
                          .arg(port)
                          .arg(socketErrorText(m_lastErrorCode));
    m_lastErrorReason =
        QStringLiteral("%1, error %2").arg(m_socket.errorString()).arg(m_lastErrorCode);
    return false;
}

void UdpLink::pollDrops() {
    qint64 dropped = -1;
#if defined(Q_OS_LINUX) && defined(SO_MEMINFO)
    // The socket's own drop counter (the one /proc/net/udp shows and
    // SO_RXQ_OVFL hands out per datagram), in one system call, exact at any
    // moment and whatever reads the datagrams.
    quint32 info[SK_MEMINFO_VARS] = {};
    socklen_t size = sizeof(info);
    if (isBound() &&
        ::getsockopt(int(m_socket.socketDescriptor()), SOL_SOCKET, SO_MEMINFO, info, &size) == 0 &&
        size > SK_MEMINFO_DROPS * sizeof(quint32))
        dropped = info[SK_MEMINFO_DROPS];
#endif
    if (dropped != m_dropped) {
        m_dropped = dropped;
        emit droppedChanged(dropped);
    }
}

bool UdpLink::isBound() const {
    return m_socket.state() == QAbstractSocket::BoundState;
}

void UdpLink::setRemote(const QString& name, qint32 port) {
    if (m_lookupId != -1) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    m_remoteName = name;
    m_remotePort = (port > 0 && port <= MaxPort) ? static_cast<quint16>(port) : 0;
    m_remoteAddress = QHostAddress();
    m_resolveFailureReported = false;
    m_refresh.stop();
    const QHostAddress literal(name);
    if (!literal.isNull()) {
        m_remoteAddress = literal;
    } else {
        startLookup();
        if (!name.isEmpty())
            m_refresh.start();
    }
}

void UdpLink::refreshRemote() {
    if (!m_refresh.isActive())
        return; // no name to look up: an IP literal, or no remote at all
    // Counted from the last answer: Qt keeps an answer for 60 s and gives
    // it back to a lookup made sooner.
    if (m_lookupId != -1 || (m_lastAnswer.isValid() && m_lastAnswer.elapsed() < refreshMs))
        return;
    startLookup();
}

void UdpLink::startLookup() {
    if (m_lookupId != -1 || m_remoteName.isEmpty())
        return;
    m_lookupId = QHostInfo::lookupHost(m_remoteName, this, &UdpLink::lookedUp);
}

void UdpLink::lookedUp(const QHostInfo& info) {
    if (info.lookupId() != m_lookupId)
        return; // an aborted lookup of an earlier name
    m_lookupId = -1;
    m_lastAnswer.start();
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() == QHostInfo::NoError && !addresses.isEmpty()) {
        // A name with several addresses keeps the one in use: the server
        // has not moved, and the alarm does not hop between them.
        if (!m_remoteAddress.isNull() && addresses.contains(m_remoteAddress))
            return;
        // IPv4 first: the server is most likely reached that way, and a
        // dual-stack socket sends to it as well.
        m_remoteAddress = addresses.first();
        for (const QHostAddress& a : addresses) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                m_remoteAddress = a;
                break;
            }
        }
        return;
    }
    reportResolveFailure(info);
}

void UdpLink::reportResolveFailure(const QHostInfo& info) {
    const QString reason = info.error() == QHostInfo::HostNotFound
                               ? QStringLiteral("onbekende naam")
                               : info.errorString();
    if (m_remoteAddress.isNull()) {
        if (m_resolveFailureReported)
            return;
        m_resolveFailureReported = true;
        emit remoteResolveFailed(
            QStringLiteral("Kan de server \"%1\" niet vinden: %2").arg(m_remoteName, reason));
        return;
    }
    // The address found before stays in use.
    if (m_refreshFailureReported)
        return;
    m_refreshFailureReported = true;
    emit remoteResolveFailed(QStringLiteral("Kan de server \"%1\" niet opnieuw vinden: %2. Het "
                                            "alarm gaat naar het laatst gevonden adres %3.")
                                 .arg(m_remoteName, reason, m_remoteAddress.toString()));
}

int UdpLink::sendDatagram(const QByteArray& payload) {
    if (m_remoteAddress.isNull()) {
        startLookup();
        return FailureCode::HostNotFound;
    }
    if (m_remotePort == 0)
        return 10049; // no usable remote port: address not available
    if (m_socket.writeDatagram(payload, m_remoteAddress, m_remotePort) == payload.size())
        return 0;
    return wsaCodeFromSocketError(m_socket.error());
}

std::optional<DatagramLink::Received> UdpLink::takePending() {
    if (!isBound() || !m_socket.hasPendingDatagrams())
        return std::nullopt;
    const QNetworkDatagram datagram = m_socket.receiveDatagram();
    if (!datagram.isValid())
        return Received{{}, wsaCodeFromSocketError(m_socket.error())};
    return Received{datagram.data(), 0};
}

void UdpLink::readPending() {
    // A bounded slice per turn: the socket's notifier stays armed while
    // datagrams wait, so the rest follow in the next turns, in order, with
    // the tick's timer served in between.
    for (int n = 0; n < maxPerTurn; ++n) {
        const auto received = takePending();
        if (!received)
            return;
        if (received->error != 0) {
            // Stop here: reading on would only repeat the same failure.
            emit receiveFailed(received->error);
            return;
        }
        emit datagramReceived(received->payload);
    }
}
