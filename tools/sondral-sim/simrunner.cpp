#include "tools/sondral-sim/simrunner.h"

#include "tools/sondral-sim/datagramtext.h"

#include <QEventLoop>
#include <QNetworkDatagram>
#include <QTime>
#include <QTimer>

#include <cmath>

SimRunner::SimRunner(const QHostAddress& host, quint16 port, QTextStream& out, QTextStream& err,
                     QObject* parent)
    : QObject(parent), m_host(host), m_port(port), m_out(out), m_err(err) {
    m_clock.start();
    connect(&m_listenSocket, &QUdpSocket::readyRead, this, &SimRunner::readPending);
}

bool SimRunner::listenOn(const QHostAddress& address, quint16 port) {
    // No address sharing: two listeners on one port would each see only some datagrams.
    if (!m_listenSocket.bind(address, port, QAbstractSocket::DontShareAddress)) {
        m_err << "sondral-sim: cannot listen on " << address.toString() << ':' << port << ": "
              << m_listenSocket.errorString() << Qt::endl;
        return false;
    }
    m_listening = true;
    m_out << stamp() << "  listening on " << address.toString() << ':' << m_listenSocket.localPort()
          << Qt::endl;
    return true;
}

int SimRunner::run(const QList<SimCommand>& commands) {
    for (const SimCommand& command : commands) {
        switch (command.m_kind) {
        case SimCommand::Kind::Send:
            if (!send(command.m_payload))
                return SocketError;
            break;
        case SimCommand::Kind::Wait:
            spin(command.m_seconds);
            break;
        case SimCommand::Kind::Listen:
            if (!m_listening) {
                m_err << "sondral-sim: listen needs --listen PORT" << Qt::endl;
                return UsageError;
            }
            spin(command.m_seconds);
            break;
        case SimCommand::Kind::Expect:
            if (!m_listening) {
                m_err << "sondral-sim: expect needs --listen PORT" << Qt::endl;
                return UsageError;
            }
            if (!expect(command.m_payload, command.m_seconds))
                return ExpectFailed;
            break;
        }
    }
    return Ok;
}

void SimRunner::readPending() {
    while (m_listenSocket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_listenSocket.receiveDatagram();
        if (!datagram.isValid())
            break;
        m_out << stamp() << "  from " << datagram.senderAddress().toString() << ':'
              << datagram.senderPort() << "  " << DatagramText::quoted(datagram.data()) << Qt::endl;
        m_unconsumed.append({datagram.data(), m_clock.elapsed()});
        if (m_expectLoop && datagram.data() == m_expected)
            m_expectLoop->quit();
    }
}

bool SimRunner::send(const QByteArray& payload) {
    // From the listening socket when there is one, so that replies and the
    // sender port seen by Sondral are the port being listened on.
    QUdpSocket& socket = m_listening ? m_listenSocket : m_sendSocket;
    const qint64 written = socket.writeDatagram(payload, m_host, m_port);
    if (written != payload.size()) {
        m_err << "sondral-sim: cannot send to " << m_host.toString() << ':' << m_port << ": "
              << socket.errorString() << Qt::endl;
        return false;
    }
    m_lastSendMs = m_clock.elapsed();
    m_out << stamp() << "  to " << m_host.toString() << ':' << m_port << "  "
          << DatagramText::quoted(payload) << Qt::endl;
    return true;
}

void SimRunner::spin(double seconds) {
    QEventLoop loop;
    if (seconds >= 0.0)
        QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000.0)), &loop,
                           &QEventLoop::quit);
    loop.exec();
}

bool SimRunner::takeMatch(const QByteArray& payload, Received* match) {
    for (qsizetype i = 0; i < m_unconsumed.size(); ++i) {
        if (m_unconsumed.at(i).m_payload == payload) {
            *match = m_unconsumed.at(i);
            m_unconsumed.remove(0, i + 1);
            return true;
        }
    }
    return false;
}

bool SimRunner::expect(const QByteArray& payload, double seconds) {
    Received match;
    if (!takeMatch(payload, &match)) {
        QEventLoop loop;
        m_expectLoop = &loop;
        m_expected = payload;
        QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000.0)), &loop,
                           &QEventLoop::quit);
        loop.exec();
        m_expectLoop = nullptr;
        if (!takeMatch(payload, &match)) {
            m_err << "sondral-sim: expect " << DatagramText::quoted(payload) << ": nothing within "
                  << seconds << " s" << Qt::endl;
            return false;
        }
    }
    m_out << stamp() << "  expect " << DatagramText::quoted(payload) << ": matched";
    if (m_lastSendMs >= 0)
        m_out << ", " << QString::number((match.m_atMs - m_lastSendMs) / 1000.0, 'f', 3)
              << " s after the last send";
    m_out << Qt::endl;
    return true;
}

QString SimRunner::stamp() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}
