#pragma once

#include "notify/notification.h"
#include "notify/notificationpath.h"
#include "notify/replyresult.h"

#include <QElapsedTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <QNetworkReply>

// POSTs each notification as JSON to one URL, in order: the next waits
// until the one before got a 2xx answer or was given up. A failed attempt
// (no answer within the request's time-out, a refused connection, an answer
// other than 2xx) is tried again after 1 s, doubling up to 60 s, for up to
// 24 hours from its first attempt. At most 100 wait; beyond, the oldest
// waiting one is dropped with a journal warning.
//
// A request has requestTimeoutMs in all, from its start to the end of the
// answer: a receiver that trickles its answer a byte at a time is cut off
// then like one that never answers (an answer whose 2xx status had come is
// delivered all the same). The token is sent only to the URL's own origin
// (scheme, host and port): a redirect elsewhere is not followed and the
// attempt fails, since the token cannot be kept from the other host's
// request once Qt follows it, and a hook that moved is for the operator to
// set anew.
class WebhookPath : public NotificationPath {
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 100;
    static constexpr int FirstRetryMs = 1000;
    static constexpr int MaxRetryMs = 60000;
    static constexpr qint64 GiveUpMs = 24LL * 3600 * 1000;
    static constexpr int RequestTimeoutMs = 10000;

    // token: sent as "Authorization: Bearer token" unless empty.
    // requestTimeoutMs: RequestTimeoutMs for the program.
    WebhookPath(const QUrl& url, const QString& token, int requestTimeoutMs,
                QObject* parent = nullptr);
    ~WebhookPath() override;

    // Why the text cannot be used as the URL, in English; empty when it can.
    static QString unusable(const QString& url);

    QString name() const override { return QStringLiteral("webhook ") + shownUrl(m_url); }
    void send(const Notification& notification) override;
    bool idle() const override { return m_waiting.isEmpty(); }

    // Off: each notification gets one attempt (a test from the command
    // line).
    void setRetrying(bool on) { m_retrying = on; }

private:
    struct Waiting {
        Notification notification;
        QElapsedTimer since; // the first attempt
        int attempts = 0;
    };
    void attempt();
    void redirected(QNetworkReply* reply, const QUrl& to);
    void answered(QNetworkReply* reply);

    QUrl m_url;
    QByteArray m_authorization;
    QNetworkAccessManager m_network;
    QList<Waiting> m_waiting; // the first is being sent or waits for its retry
    QPointer<QNetworkReply> m_reply;
    QTimer m_retry;
    QTimer m_deadline;      // the request on its way: its whole time
    QUrl m_refusedRedirect; // why the request on its way was ended, if so
    int m_retryMs = FirstRetryMs;
    bool m_retrying = true;
    int m_requestTimeoutMs;
};
