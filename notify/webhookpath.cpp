#include "notify/webhookpath.h"

#include "notify/replyresult.h"
#include "settings/journal.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

WebhookPath::WebhookPath(const QUrl& url, const QString& token, QObject* parent)
    : NotificationPath(parent), m_url(url) {
    if (!token.isEmpty())
        m_authorization = "Bearer " + token.toUtf8();
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &WebhookPath::attempt);
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
    request.setTransferTimeout(m_requestTimeoutMs);
    QNetworkReply* reply = m_network.post(request, w.notification.toJson());
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { answered(reply); });
}

void WebhookPath::answered(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    Waiting& w = m_waiting.first();
    if (status >= 200 && status < 300) {
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
    const QString detail = replyResult(*reply, m_requestTimeoutMs);
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
