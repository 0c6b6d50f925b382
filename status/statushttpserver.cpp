#include "status/statushttpserver.h"

#include "clips/clipfolder.h"
#include "status/statusboard.h"
#include "status/statushealth.h"
#include "status/statusjson.h"
#include "status/statuslistener.h"
#include "status/statusmetrics.h"

#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

#include <chrono>

namespace {

using Status = QHttpServerResponder::StatusCode;

qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Reply {
    Status status = Status::Ok;
    QByteArray contentType;
    QByteArray body;
};

void send(QHttpServerResponder& responder, const Reply& reply, bool withBody, bool close) {
    responder.writeStatusLine(reply.status);
    if (close)
        responder.writeHeader("Connection", "close");
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    if (reply.status == Status::MethodNotAllowed)
        responder.writeHeader("Allow", "GET, HEAD");
    if (reply.contentType.startsWith("text/html")) {
        // The page needs nothing from elsewhere, and may be framed nowhere.
        responder.writeHeader(
            "Content-Security-Policy",
            "default-src 'none'; script-src 'unsafe-inline'; style-src "
            "'unsafe-inline'; connect-src 'self'; media-src 'self'; img-src data:; "
            "frame-ancestors 'none'");
    }
    responder.writeBody(withBody ? reply.body : QByteArray());
}

const QByteArray TextPlain = "text/plain; charset=utf-8";
const QByteArray Json = "application/json";
const QByteArray Flac = "audio/flac";
const QString ClipsPrefix = QStringLiteral("/clips/");

} // namespace

StatusHttpServer::StatusHttpServer(StatusBoard& board, const QString& clipFolder, QObject* parent)
    : QAbstractHttpServer(parent), m_board(board), m_clips(clipFolder) {
    QFile page(QStringLiteral(":/status/statuspage.html"));
    if (page.open(QIODevice::ReadOnly))
        m_page = page.readAll();
}

bool StatusHttpServer::bindListener(StatusListener* listener) {
    m_listener = listener;
    bind(listener);
    return listener->parent() == this;
}

bool StatusHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // An HTTP/1.0 client (check_http) or "Connection: close" reads until the
    // connection ends: it ends once the answer is out.
    const bool close = m_listener && m_listener->closesAfterAnswer(socket);
    const bool answered = answer(request, socket, close);
    if (close)
        socket->disconnectFromHost();
    return answered;
}

bool StatusHttpServer::answer(const QHttpServerRequest& request, QTcpSocket* socket, bool close) {
    const QString path = request.url().path();
    const auto method = request.method();
    const bool head = method == QHttpServerRequest::Method::Head;
    QHttpServerResponder responder = makeResponder(request, socket);

    Reply reply;
    if (path == u"/") {
        reply = {Status::Ok, "text/html; charset=utf-8", m_page};
    } else if (path == u"/status.json") {
        reply = {Status::Ok, Json, {}};
    } else if (path == u"/timeline.json") {
        reply = {Status::Ok, Json, {}};
    } else if (path == u"/metrics") {
        reply = {Status::Ok, StatusMetrics::contentType, {}};
    } else if (path == u"/healthz") {
        reply = {Status::Ok, TextPlain, {}};
    } else if (path == u"/clips.json") {
        reply = {Status::Ok, Json, {}};
    } else if (path.startsWith(ClipsPrefix) &&
               ClipFolder::isClipName(path.mid(ClipsPrefix.size()))) {
        reply = {Status::Ok, Flac, {}};
    } else {
        send(responder, {Status::NotFound, TextPlain, "not found\n"}, !head, close);
        return true;
    }
    if (method != QHttpServerRequest::Method::Get && !head) {
        send(responder, {Status::MethodNotAllowed, TextPlain, "read-only: GET or HEAD\n"}, true,
             close);
        return true;
    }

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
        // Read here, on the server's thread; a clip pruned since, or never
        // saved, is not there.
        std::optional<QByteArray> bytes = m_clips.read(path.mid(ClipsPrefix.size()));
        if (!bytes) {
            send(responder, {Status::NotFound, TextPlain, "not found\n"}, !head, close);
            return true;
        }
        reply.body = std::move(*bytes);
    } else if (path == u"/healthz") {
        const MonitoringHealth health = StatusHealth::check(m_board.snapshot(), nowMs());
        if (health.ok()) {
            reply.body = "ok\n";
        } else {
            // Each reason on a line of its own, monitoring before programme.
            reply.status = Status::ServiceUnavailable;
            reply.body = health.reasons().join(u'\n').toUtf8() + '\n';
        }
    }
    send(responder, reply, !head, close);
    return true;
}

void StatusHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    send(responder, {Status::NotFound, TextPlain, "not found\n"}, true, false);
}
