#include "notify/webhookpath.h"

#include "notify/replyresult.h"
#include "settings/journal.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

namespace {
int defaultPort(const QUrl& url) {
    return url.port(url.scheme().compare(u"https", Qt::CaseInsensitive) == 0 ? 443 : 80);
}

bool sameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && defaultPort(a) == defaultPort(b);
}

bool downgrade(const QUrl& from, const QUrl& to) {
    return from.scheme().compare(u"https", Qt::CaseInsensitive) == 0 &&
           to.scheme().compare(u"https", Qt::CaseInsensitive) != 0;
}
} // namespace

WebhookPath::WebhookPath(const QUrl& url, const QString& token, int requestTimeoutMs,
                         QObject* parent)
    : NotificationPath(parent), m_url(url), m_requestTimeoutMs(requestTimeoutMs) {
    if (!token.isEmpty())
        m_authorization = "Bearer " + token.toUtf8();
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &WebhookPath::attempt);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort(); // finished() follows, as canceled
    });
}

WebhookPath::~WebhookPath() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QString WebhookPath::unusable(const QString& url) {
    const QUrl u(url, QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || (scheme != u"http" && scheme != u"https"))
        return QStringLiteral("it must begin with http:// or https://");
    if (u.host().isEmpty())
        return QStringLiteral("it names no host");
    return {};
}

void WebhookPath::send(const Notification& notification) {
    if (m_waiting.size() >= MaxWaiting) {
        // The first may be on its way; the oldest of the others goes.
        const qsizetype oldest = m_waiting.size() > 1 ? 1 : 0;
        const Notification dropped = m_waiting.takeAt(oldest).notification;
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("notify webhook %1: %2 notifications wait; the oldest "
                                      "waiting (%3 at %4) is dropped")
                           .arg(shownUrl(m_url))
                           .arg(MaxWaiting)
                           .arg(dropped.event, dropped.isoTime()));
        emit finished(false, QStringLiteral("dropped: too many waiting"));
    }
    m_waiting.append({notification, {}, 0});
    if (m_waiting.size() == 1)
        attempt();
}

void WebhookPath::attempt() {
    if (m_reply || m_waiting.isEmpty() || m_retry.isActive())
        return;
    Waiting& w = m_waiting.first();
    if (w.attempts++ == 0)
        w.since.start();
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!m_authorization.isEmpty())
        request.setRawHeader("Authorization", m_authorization);
    // Each redirect is judged here (redirected()), against the origin the
    // token was set for.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    m_refusedRedirect.clear();
    QNetworkReply* reply = m_network.post(request, w.notification.toJson());
    m_reply = reply;
    connect(reply, &QNetworkReply::redirected, this,
            [this, reply](const QUrl& to) { redirected(reply, to); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { answered(reply); });
    // Not the transfer time-out alone: that one starts again with every
    // byte, and a receiver trickling bytes would hold the queue for ever.
    m_deadline.start(m_requestTimeoutMs);
}

void WebhookPath::redirected(QNetworkReply* reply, const QUrl& to) {
    if (reply != m_reply)
        return;
    const QUrl target = m_url.resolved(to);
    const bool allowed =
        m_authorization.isEmpty() ? !downgrade(m_url, target) : sameOrigin(m_url, target);
    if (allowed) {
        emit reply->redirectAllowed();
        return;
    }
    m_refusedRedirect = target;
    reply->abort();
}

void WebhookPath::answered(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    m_deadline.stop();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    Waiting& w = m_waiting.first();
    if (status >= 200 && status < 300 && m_refusedRedirect.isEmpty()) {
        const QString detail = QStringLiteral("HTTP %1").arg(status);
        if (w.attempts > 1)
            Journal::write(Journal::Priority::Notice,
                           QStringLiteral("notify webhook %1: %2 delivered after %3 attempts")
                               .arg(shownUrl(m_url), w.notification.event)
                               .arg(w.attempts));
        m_waiting.removeFirst();
        m_retryMs = FirstRetryMs;
        emit finished(true, detail);
        attempt();
        return;
    }
    const QString detail =
        m_refusedRedirect.isEmpty()
            ? replyResult(*reply, m_requestTimeoutMs)
            : QStringLiteral("redirected to %1, not followed: %2")
                  .arg(shownUrl(m_refusedRedirect),
                       m_authorization.isEmpty()
                           ? QStringLiteral("it leaves https")
                           : QStringLiteral("the token is sent only to %1").arg(shownUrl(m_url)));
    const bool giveUp = !m_retrying || w.since.elapsed() >= GiveUpMs;
    if (w.attempts == 1 || giveUp)
        Journal::write(
            Journal::Priority::Warning,
            QStringLiteral("notify webhook %1: %2 not delivered (%3); %4")
                .arg(shownUrl(m_url), w.notification.event, detail,
                     giveUp ? QStringLiteral("given up") : QStringLiteral("trying again")));
    if (giveUp) {
        m_waiting.removeFirst();
        m_retryMs = FirstRetryMs;
        emit finished(false, detail);
        attempt();
        return;
    }
    m_retry.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, MaxRetryMs);
}
