#include "notify/heartbeatpath.h"

#include "notify/replyresult.h"
#include "settings/journal.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

HeartbeatPath::HeartbeatPath(const QUrl& url, int intervalSeconds, QObject* parent)
    : NotificationPath(parent), m_url(url) {
    m_timer.setInterval(std::max(1, intervalSeconds) * 1000);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_works || m_works())
            beat();
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort(); // finished() follows, as canceled
    });
}

HeartbeatPath::~HeartbeatPath() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void HeartbeatPath::send(const Notification&) {
    beat();
}

void HeartbeatPath::startBeating(std::function<bool()> works) {
    m_works = std::move(works);
    m_timer.start();
    if (!m_works || m_works())
        beat();
}

void HeartbeatPath::beat() {
    if (m_reply)
        return;
    QNetworkRequest request(m_url);
    request.setTransferTimeout(timeoutMs());
    QNetworkReply* reply = m_network.get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { answered(reply); });
    // The transfer time-out starts again with every byte: not enough alone.
    m_deadline.start(timeoutMs());
}

int HeartbeatPath::timeoutMs() const {
    return std::clamp(m_timer.interval(), 1000, 30000);
}

void HeartbeatPath::answered(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    m_deadline.stop();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = status >= 200 && status < 300;
    const QString detail = replyResult(*reply, timeoutMs());
    if (!ok && !m_failing)
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("notify heartbeat %1 failed (%2); it goes on every %3 s")
                           .arg(shownUrl(m_url), detail)
                           .arg(m_timer.interval() / 1000));
    else if (ok && m_failing)
        Journal::write(
            Journal::Priority::Notice,
            QStringLiteral("notify heartbeat %1 gets through again").arg(shownUrl(m_url)));
    m_failing = !ok;
    emit finished(ok, detail);
}
