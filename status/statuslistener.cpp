#include "status/statuslistener.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <tuple>
#include <utility>
#include <vector>

namespace {
qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
constexpr quint32 HeadEnd = 0x0d0a0d0a; // "\r\n\r\n"
// A clip is read from its file this much at a time.
constexpr qint64 ChunkBytes = 16 * 1024;

bool isToken(const QByteArray& word) {
    return !word.isEmpty() &&
           std::all_of(word.cbegin(), word.cend(), [](char ch) { return ch >= 'A' && ch <= 'Z'; });
}
} // namespace

StatusListener::StatusListener(Limits limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {
    // Accepted connections are counted here instead.
    setMaxPendingConnections(limits.maxConnections);
}

StatusListener::~StatusListener() {
    // The sockets are children, deleted after this body: none may call back.
    for (auto& entry : m_connections)
        disconnect(entry.first, nullptr, this, nullptr);
}

StatusListener::Connection* StatusListener::find(QTcpSocket* socket) {
    const auto it = m_connections.find(socket);
    return it == m_connections.end() ? nullptr : it->second.get();
}

void StatusListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (int(m_connections.size()) >= m_limits.maxConnections) {
        // Full: a connection that never sent a whole request head gives
        // way first, then the one whose last progress is oldest. A client
        // being served makes progress; a silent, trickling or stalled one
        // does not, so they cannot lock a new client out, and a burst of
        // new connections cannot push out the clients being served.
        const auto oldest = std::min_element(
            m_connections.cbegin(), m_connections.cend(), [](const auto& a, const auto& b) {
                return std::tuple(a.second->served, a.second->lastProgressMs, a.second->accepted) <
                       std::tuple(b.second->served, b.second->lastProgressMs, b.second->accepted);
            });
        drop(oldest->first);
    }
    auto fresh = std::make_unique<Connection>();
    fresh->lastProgressMs = nowMs();
    fresh->accepted = ++m_acceptedCount;
    m_connections.emplace(socket, std::move(fresh));
    // What Qt reads ahead of the heads is bounded: heads are read whole or
    // refused at maxHeadBytes.
    socket->setReadBufferSize(std::max<qint64>(m_limits.maxHeadBytes, ChunkBytes));
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this,
            [this, socket](qint64 bytes) { taken(socket, bytes); });
    connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.erase(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_connections.erase(socket);
        socket->deleteLater();
    });
    if (!m_sweepTimer) {
        m_sweepTimer = new QTimer(this);
        const qint64 shortest = std::min(m_limits.idleMs, m_limits.headDeadlineMs);
        m_sweepTimer->setInterval(int(std::clamp<qint64>(shortest / 10, 20, 1000)));
        connect(m_sweepTimer, &QTimer::timeout, this, &StatusListener::sweep);
        m_sweepTimer->start();
    }
}

void StatusListener::received(QTcpSocket* socket) {
    Connection* c = find(socket);
    if (!c)
        return;
    if (c->ending) {
        socket->readAll(); // after the last request or an error answer: dropped
        return;
    }
    const qint64 now = nowMs();
    // With maxWaiting requests waiting, the rest stays unread: in Qt's
    // buffer (readBufferSize), then the kernel's, and the client waits.
    while (int(c->waiting.size()) < m_limits.maxWaiting) {
        const QByteArray fresh = socket->peek(ChunkBytes);
        if (fresh.isEmpty())
            return;
        qsizetype used = 0;
        bool complete = false;
        while (used < fresh.size() && !complete) {
            if (c->bodyLeft > 0) {
                const qint64 skip = std::min<qint64>(c->bodyLeft, fresh.size() - used);
                c->bodyLeft -= skip;
                used += skip;
                continue;
            }
            const char ch = fresh[used++];
            if (c->headBytes == 0) {
                if (ch == '\r' || ch == '\n')
                    continue; // line ends between requests are tolerated
                // The deadline runs from the head's first byte; later bytes
                // do not move it.
                c->headStartMs = now;
            }
            c->tail = (c->tail << 8) | quint8(ch);
            ++c->headBytes;
            c->head += ch;
            if (c->tail == HeadEnd) {
                complete = true;
            } else if (c->headBytes > m_limits.maxHeadBytes) {
                fail(socket, *c, "431 Request Header Fields Too Large");
                return;
            }
        }
        socket->skip(used);
        if (complete && (!headComplete(socket, *c) || c->ending))
            return;
    }
}

bool StatusListener::headComplete(QTcpSocket* socket, Connection& c) {
    const QList<QByteArray> lines = c.head.split('\n');
    c.head.clear();
    c.headBytes = 0;
    c.tail = 0;
    c.headStartMs = -1;
    const QList<QByteArray> words = lines.value(0).trimmed().split(' ');
    if (words.size() != 3 || !isToken(words[0]) || words[1].isEmpty() ||
        !words[2].startsWith("HTTP/1.")) {
        fail(socket, c, "400 Bad Request");
        return false;
    }
    Request request{words[0], words[1], false};
    bool keepAlive = words[2] != "HTTP/1.0";
    qint64 length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed().toLower();
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (colon < 0) {
            if (!line.isEmpty()) {
                fail(socket, c, "400 Bad Request");
                return false;
            }
        } else if (name == "connection") {
            if (value.contains("close"))
                keepAlive = false;
            else if (value.contains("keep-alive"))
                keepAlive = true;
        } else if (name == "content-length") {
            bool ok = false;
            length = value.toLongLong(&ok);
            if (!ok || length < 0) {
                fail(socket, c, "400 Bad Request");
                return false;
            }
        } else if (name == "transfer-encoding") {
            // No path takes a body; one of unknown length cannot be skipped.
            fail(socket, c, "400 Bad Request");
            return false;
        }
    }
    if (length > m_limits.maxHeadBytes) {
        fail(socket, c, "413 Content Too Large");
        return false;
    }
    request.close = !keepAlive;
    c.bodyLeft = length;
    c.ending = request.close;
    c.lastProgressMs = nowMs();
    c.takenSinceProgress = 0;
    c.served = true;
    c.waiting.push_back(std::move(request));
    pump(socket);
    return find(socket) != nullptr;
}

void StatusListener::taken(QTcpSocket* socket, qint64 bytes) {
    Connection* c = find(socket);
    if (!c)
        return;
    // Progress is a good share of an answer, or the end of one, taken: a
    // client that takes a few bytes now and then is idle.
    c->takenSinceProgress += bytes;
    if (c->takenSinceProgress >= m_limits.minProgressBytes ||
        (!c->sending && socket->bytesToWrite() == 0)) {
        c->lastProgressMs = nowMs();
        c->takenSinceProgress = 0;
    }
    pump(socket);
}

void StatusListener::pump(QTcpSocket* socket) {
    Connection* c = find(socket);
    if (!c)
        return;
    for (;;) {
        if (c->sending) {
            // The clip, a chunk at a time while what waits for the client
            // stays under maxBufferedBytes; the rest as it takes them.
            while (c->sendingLeft > 0 && socket->bytesToWrite() < m_limits.maxBufferedBytes) {
                const qint64 room = m_limits.maxBufferedBytes - socket->bytesToWrite();
                const QByteArray chunk =
                    c->sending->read(std::min({ChunkBytes, room, c->sendingLeft}));
                if (chunk.isEmpty()) {
                    // Shorter than its length said: the client cannot tell
                    // the answer from the next one, so it ends here.
                    drop(socket);
                    return;
                }
                socket->write(chunk);
                c->sendingLeft -= chunk.size();
            }
            if (c->sendingLeft > 0)
                return;
            c->sending.reset();
            if (c->closeWhenSent) {
                socket->disconnectFromHost();
                return;
            }
        }
        // The next answer once this one is wholly out of Qt's buffer.
        if (c->waiting.empty() || socket->bytesToWrite() > 0)
            return;
        const Request request = std::move(c->waiting.front());
        c->waiting.pop_front();
        if (socket->bytesAvailable() > 0) {
            // Requests left unread while the queue was full: read on, after
            // this answer is on its way.
            QTimer::singleShot(0, socket, [this, socket] { received(socket); });
        }
        Answer answer = m_handler ? m_handler(request) : Answer{};
        socket->write(answer.bytes);
        if (answer.file) {
            c->sendingLeft = answer.file->size() - answer.file->pos();
            c->sending = std::move(answer.file);
            c->closeWhenSent = request.close;
        } else if (request.close) {
            socket->disconnectFromHost();
            return;
        }
    }
}

void StatusListener::fail(QTcpSocket* socket, Connection& c, const QByteArray& status) {
    socket->readAll(); // nothing after the error is read
    c.ending = true;
    c.waiting.clear();
    c.headStartMs = -1;
    if (c.sending || socket->bytesToWrite() > 0) {
        // An answer is half out: an error head cannot follow it.
        drop(socket);
        return;
    }
    socket->write("HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    socket->disconnectFromHost();
}

void StatusListener::drop(QTcpSocket* socket) {
    m_connections.erase(socket);
    socket->abort();
    socket->deleteLater();
}

void StatusListener::sweep() {
    const qint64 now = nowMs();
    std::vector<QTcpSocket*> late;
    std::vector<QTcpSocket*> idle;
    for (const auto& [socket, c] : m_connections) {
        if (c->headStartMs >= 0) {
            if (now - c->headStartMs >= m_limits.headDeadlineMs)
                late.push_back(socket);
        } else if (now - c->lastProgressMs >= m_limits.idleMs) {
            idle.push_back(socket);
        }
    }
    for (QTcpSocket* socket : late) {
        if (Connection* c = find(socket))
            fail(socket, *c, "408 Request Timeout");
    }
    for (QTcpSocket* socket : idle) {
        if (find(socket))
            drop(socket);
    }
}
