#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// Floods one loopback port with junk from several sockets at a steady rate:
// mostly short random bytes, near misses of the keywords, and now and then a
// payload of up to 64 KB. No junk payload is ever exactly a keyword, so every
// line Sondral logs meanwhile comes from the keywords sent on purpose.
class DatagramFlood : public QObject {
    Q_OBJECT
public:
    DatagramFlood(int senders, quint32 seed, QObject* parent = nullptr);

    // Sends ratePerSecond datagrams a second to 127.0.0.1:port until stop().
    bool start(quint16 port, int ratePerSecond);
    // As fast as the machine allows: each sender a thread of its own, in a
    // tight loop of sendto() over a pool of junk, until stop(). This
    // thread's event loop stays free (to time the answers).
    void startFlatOut(quint16 port);
    void stop();
    bool isRunning() const { return m_timer.isActive() || !m_threads.empty(); }
    ~DatagramFlood() override { stop(); }

    // A keyword in among the junk, from the first sender.
    void sendKeyword(const QByteArray& keyword);

    qint64 sent() const { return m_sent + m_threadSent; }
    qint64 failed() const { return m_failed; }
    qint64 bytes() const { return m_bytes; }
    qint64 largest() const { return m_largest; }
    // Time since start(), up to stop().
    qint64 elapsedMs() const;

    static bool isKeyword(const QByteArray& payload);
    QByteArray junk();

private:
    void burst();

    QList<std::shared_ptr<QUdpSocket>> m_sockets;
    QRandomGenerator m_random;
    QTimer m_timer;
    QElapsedTimer m_clock;
    quint16 m_port = 0;
    int m_rate = 0;
    qint64 m_sent = 0;
    qint64 m_failed = 0;
    qint64 m_bytes = 0;
    qint64 m_largest = 0;
    qint64 m_stoppedAtMs = -1;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stopThreads{false};
    std::atomic<qint64> m_threadSent{0};
};
