#pragma once

#include "tools/sondral-sim/simcommand.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTextStream>
#include <QUdpSocket>

class QEventLoop;

// Plays simulator commands one after the other against one Sondral host.
// Every datagram that arrives on the listening socket is printed at once with
// a time stamp, whatever command is running.
class SimRunner : public QObject {
    Q_OBJECT
public:
    // Exit codes of run() and of the program.
    enum ExitCode { Ok = 0, ExpectFailed = 1, UsageError = 2, SocketError = 3 };

    SimRunner(const QHostAddress& host, quint16 port, QTextStream& out, QTextStream& err,
              QObject* parent = nullptr);

    // Binds the listening socket; prints the reason and returns false on failure.
    bool listenOn(const QHostAddress& address, quint16 port);
    bool isListening() const { return m_listening; }

    int run(const QList<SimCommand>& commands);

private:
    struct Received {
        QByteArray m_payload;
        qint64 m_atMs = 0; // on m_clock
    };

    void readPending();
    bool send(const QByteArray& payload);
    void spin(double seconds);
    bool expect(const QByteArray& payload, double seconds);
    bool takeMatch(const QByteArray& payload, Received* match);
    static QString stamp();

    QHostAddress m_host;
    quint16 m_port = 0;
    QTextStream& m_out;
    QTextStream& m_err;
    QUdpSocket m_listenSocket;
    QUdpSocket m_sendSocket;
    bool m_listening = false;
    QElapsedTimer m_clock;
    qint64 m_lastSendMs = -1;
    QList<Received> m_unconsumed; // arrivals not yet matched by an expect
    QEventLoop* m_expectLoop = nullptr;
    QByteArray m_expected;
};
