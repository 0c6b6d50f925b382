#include "status/statushttpserver.h"

#include "clips/clipfolder.h"
#include "status/statusboard.h"
#include "status/statushealth.h"
#include "status/statusjson.h"
#include "status/statuslistener.h"
#include "status/statusmetrics.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

#include <chrono>

namespace {

using Answer = StatusListener::Answer;

qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Reply {
    QByteArray status = "200 OK";
    QByteArray contentType;
    QByteArray body;
};

// The head of an answer of length bytes.
QByteArray headOf(const Reply& reply, qint64 length, bool close) {
    QByteArray head = "HTTP/1.1 " + reply.status + "\r\n";
    const auto header = [&head](const QByteArray& name, const QByteArray& value) {
        head += name + ": " + value + "\r\n";
    };
    if (close)
        header("Connection", "close");
    header("Content-Type", reply.contentType);
    header("Content-Length", QByteArray::number(length));
    header("Cache-Control", "no-store");
    header("X-Content-Type-Options", "nosniff");
    if (reply.status.startsWith("405"))
        header("Allow", "GET, HEAD");
    if (reply.contentType.startsWith("text/html")) {
        // The page needs nothing from elsewhere, and may be framed nowhere.
        header("Content-Security-Policy",
               "default-src 'none'; script-src 'unsafe-inline'; style-src "
               "'unsafe-inline'; connect-src 'self'; media-src 'self'; img-src data:; "
               "frame-ancestors 'none'");
    }
    return head + "\r\n";
}

Answer send(const Reply& reply, bool withBody, bool close) {
    return {headOf(reply, reply.body.size(), close) + (withBody ? reply.body : QByteArray()),
            nullptr};
}

const QByteArray TextPlain = "text/plain; charset=utf-8";
const QByteArray Json = "application/json";
const QByteArray Flac = "audio/flac";
const QString ClipsPrefix = QStringLiteral("/clips/");

} // namespace

StatusHttpServer::StatusHttpServer(StatusBoard& board, const QString& clipFolder, QObject* parent)
    : QObject(parent), m_board(board), m_clips(clipFolder) {
    QFile page(QStringLiteral(":/status/statuspage.html"));
    if (page.open(QIODevice::ReadOnly))
        m_page = page.readAll();
}

void StatusHttpServer::bindListener(StatusListener* listener) {
    listener->setParent(this);
    listener->setHandler(
        [this](const StatusListener::Request& request) { return answer(request); });
}

Answer StatusHttpServer::answer(const StatusListener::Request& request) {
    // Percent-encoding decoded: "%2F" is a '/' and so never in a clip name.
    const QString path = QUrl::fromEncoded(request.target).path();
    const bool head = request.method == "HEAD";
    const bool close = request.close;
    const Reply notFound{"404 Not Found", TextPlain, "not found\n"};

    Reply reply;
    if (path == u"/") {
        reply = {"200 OK", "text/html; charset=utf-8", m_page};
    } else if (path == u"/status.json" || path == u"/timeline.json" || path == u"/clips.json") {
        reply.contentType = Json;
    } else if (path == u"/metrics") {
        reply.contentType = StatusMetrics::contentType;
    } else if (path == u"/healthz") {
        reply.contentType = TextPlain;
    } else if (path.startsWith(ClipsPrefix) &&
               ClipFolder::isClipName(path.mid(ClipsPrefix.size()))) {
        reply.contentType = Flac;
    } else {
        return send(notFound, !head, close);
    }
    if (request.method != "GET" && !head)
        return send({"405 Method Not Allowed", TextPlain, "read-only: GET or HEAD\n"}, true, close);

    if (path == u"/status.json") {
        m_board.notePageFetch(nowMs());
        reply.body = StatusJson::status(m_board.snapshot(), nowMs());
    } else if (path == u"/timeline.json") {
        const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 60000;
        reply.body = StatusJson::timeline(m_board.timeline(), minute);
    } else if (path == u"/metrics") {
        reply.body = StatusMetrics::render(m_board.snapshot(), nowMs());
    } else if (path == u"/clips.json") {
        reply.body = StatusJson::clips(m_clips.list());
    } else if (reply.contentType == Flac) {
        // Opened here, on the server's thread, and streamed by the listener
        // as the client takes it; a clip pruned since, or never saved, is
        // not there.
        std::unique_ptr<QFile> file = m_clips.open(path.mid(ClipsPrefix.size()));
        if (!file)
            return send(notFound, !head, close);
        Answer out{headOf(reply, file->size(), close), nullptr};
        if (!head)
            out.file = std::move(file);
        return out;
    } else if (path == u"/healthz") {
        const MonitoringHealth health = StatusHealth::check(m_board.snapshot(), nowMs());
        if (health.ok()) {
            reply.body = "ok\n";
        } else {
            // Each reason on a line of its own, monitoring before programme.
            reply.status = "503 Service Unavailable";
            reply.body = health.reasons().join(u'\n').toUtf8() + '\n';
        }
    }
    return send(reply, !head, close);
}
