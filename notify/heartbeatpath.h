#pragma once

#include "notify/notificationpath.h"
#include "notify/replyresult.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <QNetworkReply>

// The dead-man's switch: a GET of one URL every interval while the
// monitoring works, so that a service outside notices when the beats stop
// (Sondral ended, hung or its PC is off). A beat is skipped while the
// previous one is still on its way or the monitoring does not work; a
// failed beat is not retried, the next one follows on time. The journal
// hears of the first failure and of the first beat that gets through
// again, not of every beat. A beat has timeoutMs() in all, from its start
// to the end of the answer, however slowly the answer trickles in; it has
// a network access manager of its own, so it never waits behind the web
// hook's requests either.
class HeartbeatPath : public NotificationPath {
    Q_OBJECT
public:
    HeartbeatPath(const QUrl& url, int intervalSeconds, QObject* parent = nullptr);
    ~HeartbeatPath() override;

    QString name() const override { return QStringLiteral("heartbeat ") + shownUrl(m_url); }
    // One beat now, whatever the notification (a test from the command line).
    void send(const Notification& notification) override;
    bool idle() const override { return !m_reply; }

    // Beats from now on, the first at once, while works() says so.
    void startBeating(std::function<bool()> works);

private:
    void beat();
    void answered(QNetworkReply* reply);
    // A beat that takes longer than the interval would only pile up.
    int timeoutMs() const;

    QUrl m_url;
    QNetworkAccessManager m_network;
    QTimer m_timer;
    QTimer m_deadline; // the beat on its way: its whole time
    QPointer<QNetworkReply> m_reply;
    std::function<bool()> m_works;
    bool m_failing = false;
};
