#pragma once

#include <QByteArray>
#include <QTcpServer>

#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>

class QFile;
class QTcpSocket;
class QTimer;

// The status server's listening socket and its HTTP/1.1 connections: it
// reads each request head (GET or HEAD of a path; a body, which no path
// takes, is skipped), asks the handler for the answer when the request's
// turn comes and writes it, so that on one connection one answer is in
// flight at a time and pipelined requests wait in order. Qt HTTP Server 6.4
// is not used for this: it answers only the last of several requests that
// arrive in one read, and its answers cannot wait for the client.
//
// Limits, per connection unless said:
// - maxConnections open at once; one more takes the place of an open one:
//   one that never sent a whole request head first, else the one whose last
//   progress is oldest, so that neither hostile connections nor a burst of
//   new ones can lock out a client;
// - a request head of maxHeadBytes at most (431), read whole within
//   headDeadlineMs of its first byte (408): a head sent a byte at a time
//   does not refresh it;
// - no request body beyond maxHeadBytes (413), none chunked (400), a request
//   line that is not one (400);
// - closed without an answer after idleMs without progress: a complete
//   request head received, or minProgressBytes (or the end of an answer)
//   taken by the client;
// - at most maxWaiting requests waiting behind the one being answered (the
//   client's further ones stay unread until there is room), and at most maxBufferedBytes of an
//   answer held in memory beyond one small answer: a clip is read from its file in chunks as the
//   client takes them.
// Every error answer ends the connection. Lives on the server's thread.
class StatusListener : public QTcpServer {
    Q_OBJECT
public:
    struct Limits {
        int maxConnections = 64;
        qint64 maxHeadBytes = 8 * 1024;
        qint64 idleMs = 10 * 1000;
        qint64 headDeadlineMs = 10 * 1000;
        int maxWaiting = 16;
        qint64 maxBufferedBytes = 64 * 1024;
        qint64 minProgressBytes = 16 * 1024;
    };

    struct Request {
        QByteArray method; // as sent: "GET", "HEAD", ...
        QByteArray target; // as sent, percent-encoded
        // The client asked for the connection to end with the answer
        // (HTTP/1.0 without "Connection: keep-alive", or "Connection:
        // close"): the answer's head says "Connection: close".
        bool close = false;
    };
    // One answer as the HTTP server makes it: the head and any small body in
    // bytes, and a clip's file (open, read from its start) streamed after
    // them.
    struct Answer {
        QByteArray bytes;
        std::unique_ptr<QFile> file;
    };
    // Makes the answer to a request when its turn comes.
    using Handler = std::function<Answer(const Request&)>;

    explicit StatusListener(Limits limits, QObject* parent = nullptr);
    explicit StatusListener(QObject* parent = nullptr) : StatusListener(Limits{}, parent) {}
    ~StatusListener() override;

    // Before the first connection.
    void setHandler(Handler handler) { m_handler = std::move(handler); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection {
        qint64 lastProgressMs = 0;
        // The order connections were accepted in: of two with progress in
        // the same millisecond the older gives way first.
        quint64 accepted = 0;
        bool served = false;            // a whole request head came
        qint64 headStartMs = -1;        // first byte of the head being read; -1: none
        qint64 headBytes = 0;           // of the head being read
        quint32 tail = 0;               // its last four bytes, to find "\r\n\r\n"
        QByteArray head;                // the head being read, at most maxHeadBytes
        qint64 bodyLeft = 0;            // of the last request's body, skipped
        std::deque<Request> waiting;    // behind the answer being written
        std::unique_ptr<QFile> sending; // the clip being streamed
        qint64 sendingLeft = 0;         // its bytes not yet written
        bool closeWhenSent = false;     // of the answer being written
        qint64 takenSinceProgress = 0;  // bytes the client took since the last progress
        bool ending = false;            // the last request is in: nothing more is read
    };
    void received(QTcpSocket* socket);
    // False when the head was answered with an error.
    bool headComplete(QTcpSocket* socket, Connection& c);
    void taken(QTcpSocket* socket, qint64 bytes);
    void pump(QTcpSocket* socket);
    void fail(QTcpSocket* socket, Connection& c, const QByteArray& status);
    void drop(QTcpSocket* socket);
    void sweep();
    Connection* find(QTcpSocket* socket);

    Limits m_limits;
    quint64 m_acceptedCount = 0;
    Handler m_handler;
    std::unordered_map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
    QTimer* m_sweepTimer = nullptr;
};
