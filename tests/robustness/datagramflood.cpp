#include "robustness/datagramflood.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QList<QByteArray> Keywords = {"SN_AUTO",   "SN_LIVE",   "SN_FEED_1",   "SN_FEED_2",
                                    "SN_FEED_3", "SN_FEED_4", "SN_PAUSE_ON", "SN_PAUSE_OFF"};
// The largest payload of one UDP datagram over IPv4.
constexpr int MaxPayload = 65507;
} // namespace

DatagramFlood::DatagramFlood(int senders, quint32 seed, QObject* parent)
    : QObject(parent), m_random(seed) {
    for (int i = 0; i < senders; ++i)
        m_sockets.append(std::make_shared<QUdpSocket>());
    m_timer.setInterval(2);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DatagramFlood::burst);
}

bool DatagramFlood::isKeyword(const QByteArray& payload) {
    return Keywords.contains(payload);
}

bool DatagramFlood::start(quint16 port, int ratePerSecond) {
    for (const auto& s : m_sockets) {
        if (s->state() != QAbstractSocket::BoundState && !s->bind(QHostAddress::LocalHost, 0))
            return false;
    }
    m_port = port;
    m_rate = ratePerSecond;
    m_sent = m_failed = m_bytes = m_largest = 0;
    m_stoppedAtMs = -1;
    m_clock.start();
    m_timer.start();
    return true;
}

void DatagramFlood::startFlatOut(quint16 port) {
    m_port = port;
    m_sent = m_failed = m_bytes = m_largest = 0;
    m_threadSent = 0;
    m_stopThreads = false;
    m_stoppedAtMs = -1;
    // Made here, once: generating junk would slow the senders down.
    auto pool = std::make_shared<QList<QByteArray>>();
    for (int i = 0; i < 512; ++i)
        pool->append(junk());
    m_clock.start();
    for (qsizetype t = 0; t < m_sockets.size(); ++t) {
        m_threads.emplace_back([this, pool, port, t] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (fd < 0)
                return;
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            qint64 sent = 0;
            for (qsizetype i = t; !m_stopThreads.load(std::memory_order_relaxed); ++i) {
                const QByteArray& p = pool->at(i % pool->size());
                if (::sendto(fd, p.constData(), size_t(p.size()), 0,
                             reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == p.size())
                    ++sent;
            }
            ::close(fd);
            m_threadSent += sent;
        });
    }
}

void DatagramFlood::stop() {
    m_timer.stop();
    m_stopThreads = true;
    for (std::thread& t : m_threads)
        t.join();
    if (m_clock.isValid() && m_stoppedAtMs < 0)
        m_stoppedAtMs = m_clock.elapsed();
    m_threads.clear();
}

qint64 DatagramFlood::elapsedMs() const {
    if (!m_clock.isValid())
        return 0;
    return m_stoppedAtMs >= 0 ? m_stoppedAtMs : m_clock.elapsed();
}

void DatagramFlood::sendKeyword(const QByteArray& keyword) {
    m_sockets.first()->writeDatagram(keyword, QHostAddress::LocalHost, m_port);
}

QByteArray DatagramFlood::junk() {
    const int kind = m_random.bounded(100);
    QByteArray payload;
    auto randomBytes = [this](int size) {
        // Whole 32-bit words at a time: byte by byte, the sender itself
        // could not keep up the rate.
        QList<quint32> words((size + 3) / 4);
        m_random.fillRange(words.data(), words.size());
        return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
    };
    if (kind < 70) {
        payload = randomBytes(m_random.bounded(1, 65));
    } else if (kind < 85) {
        // One step away from a keyword: case, blanks, line ends, NUL, cut off.
        const QByteArray k = Keywords[m_random.bounded(int(Keywords.size()))];
        switch (m_random.bounded(6)) {
        case 0:
            payload = k.toLower();
            break;
        case 1:
            payload = k + ' ';
            break;
        case 2:
            payload = k + "\r\n";
            break;
        case 3:
            payload = k + '\0';
            break;
        case 4:
            payload = k.left(k.size() - 1);
            break;
        default:
            payload = ' ' + k;
            break;
        }
    } else if (kind < 95) {
        payload = randomBytes(m_random.bounded(65, 2049));
    } else {
        payload = randomBytes(m_random.bounded(2049, MaxPayload + 1));
    }
    if (isKeyword(payload))
        payload.append('x');
    return payload;
}

void DatagramFlood::burst() {
    // Catch up with the rate after a late timer, a few hundred at most.
    const qint64 due = m_clock.elapsed() * m_rate / 1000 - m_sent - m_failed;
    for (qint64 i = 0; i < qMin<qint64>(due, 400); ++i) {
        const QByteArray payload = junk();
        auto& socket = m_sockets[int((m_sent + m_failed) % m_sockets.size())];
        if (socket->writeDatagram(payload, QHostAddress::LocalHost, m_port) == payload.size()) {
            ++m_sent;
            m_bytes += payload.size();
            m_largest = qMax<qint64>(m_largest, payload.size());
        } else {
            ++m_failed;
        }
    }
}
