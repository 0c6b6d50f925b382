#pragma once

#include <QHash>
#include <QTcpServer>

class QTcpSocket;
class QTimer;

// The status server's listening socket, with the limits a long-running
// program on a station network needs and the HTTP server itself does not
// keep: at most maxConnections open at once (one more is closed at once),
// request heads up to maxHeadBytes (a longer one is answered 431 and
// closed), and connections without traffic for idleMs closed. Lives on the
// server's thread; the HTTP server takes its connections as they come.
class StatusListener : public QTcpServer {
    Q_OBJECT
public:
    struct Limits {
        int maxConnections = 64;
        qint64 maxHeadBytes = 8 * 1024;
        qint64 idleMs = 10 * 1000;
    };

    explicit StatusListener(Limits limits, QObject* parent = nullptr);
    explicit StatusListener(QObject* parent = nullptr) : StatusListener(Limits{}, parent) {}

    int openConnections() const { return int(m_connections.size()); }
    // Whether the client asked, in the head it sent last, for the
    // connection to end with the answer: HTTP/1.0 without "Connection:
    // keep-alive", or "Connection: close". The HTTP server keeps every
    // connection open otherwise.
    bool closesAfterAnswer(const QTcpSocket* socket) const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection {
        qint64 lastActiveMs = 0;
        qint64 headBytes = 0;          // of the request head being read
        quint32 tail = 0;              // its last four bytes, to find "\r\n\r\n"
        QByteArray head;               // the head being read, at most maxHeadBytes
        bool closeAfterAnswer = false; // of the last complete head
    };
    void received(QTcpSocket* socket);
    void closeIdle();

    Limits m_limits;
    QHash<QTcpSocket*, Connection> m_connections;
    QTimer* m_idleTimer = nullptr;
};
