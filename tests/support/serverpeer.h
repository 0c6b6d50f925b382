#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

// The playout server's end of the link, on loopback: sends keywords to
// Sondral's HostPort and records every datagram that comes back.
class ServerPeer : public QObject {
    Q_OBJECT
public:
    struct Arrival {
        QByteArray m_payload;
        quint16 m_fromPort = 0;
        qint64 m_atMs = 0; // StationClock
    };

    explicit ServerPeer(QObject* parent = nullptr);

    // Binds a free loopback port (Sondral's RemotePort).
    bool bind();
    quint16 port() const { return m_socket.localPort(); }

    // Sends payload to 127.0.0.1:port; returns the StationClock time it left.
    qint64 send(const QByteArray& payload, quint16 port);

    const QList<Arrival>& arrivals() const { return m_arrivals; }
    // Spins the event loop until there are count arrivals in all, or timeoutMs passed.
    bool waitForArrivals(qsizetype count, int timeoutMs);

private:
    void readPending();

    QUdpSocket m_socket;
    QList<Arrival> m_arrivals;
};
