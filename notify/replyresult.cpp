#include "notify/replyresult.h"

#include <QNetworkReply>
#include <QUrl>

QString replyResult(const QNetworkReply& reply, int timeoutMs) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status > 0)
        return QStringLiteral("HTTP %1").arg(status);
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000);
    return reply.errorString();
}

QString shownUrl(const QUrl& url) {
    return url
        .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery |
                  QUrl::RemoveFragment)
        .toDisplayString();
}
