#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A web hook's receiver on loopback: records each HTTP request and answers
// with the statuses it is given, in turn (200 once they run out), or never
// answers at all. stop() takes it down as a receiver that is off: the port
// refuses from then on.
class HttpReceiver : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit HttpReceiver(QObject* parent = nullptr);
    ~HttpReceiver() override;

    // On a free loopback port, or on port when given (a receiver back up).
    bool listen(quint16 port = 0);
    quint16 port() const { return m_port; }
    void stop();

    void setStatuses(const QList<int>& statuses) { m_statuses = statuses; }
    // Reads requests and never answers them.
    void setHanging(bool on) { m_hanging = on; }
    // The next `count` requests are answered one byte every intervalMs, an
    // answer that never ends; those after them as usual.
    void setTrickling(int count, int intervalMs) {
        m_trickling = count;
        m_trickleMs = intervalMs;
    }
    // Every answer from now on names this Location (a redirect, with a 3xx
    // status from setStatuses).
    void setLocation(const QByteArray& location) { m_location = location; }

    const QList<Request>& requests() const { return m_requests; }
    // The bodies of the requests answered with a 2xx, in order.
    QList<QByteArray> delivered() const { return m_delivered; }
    // Spins the event loop until count requests in all arrived, or timeoutMs.
    bool waitForRequests(qsizetype count, int timeoutMs);

private:
    void accept();
    void read(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    void trickle(QTcpSocket* socket);

    QTcpServer m_server;
    quint16 m_port = 0;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<int> m_statuses;
    bool m_hanging = false;
    int m_trickling = 0;
    int m_trickleMs = 0;
    QByteArray m_location;
    QList<Request> m_requests;
    QList<QByteArray> m_delivered;
};
