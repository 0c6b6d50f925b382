#include "audio/streamurl.h"

#include <QUrl>

namespace streamurl {

namespace {
bool isLocalSdp(const QString& url) {
    return !url.contains(QStringLiteral("://")) &&
           url.endsWith(QStringLiteral(".sdp"), Qt::CaseInsensitive);
}
} // namespace

QString redacted(const QString& url) {
    const QString trimmed = url.trimmed();
    if (isLocalSdp(trimmed))
        return trimmed;
    const QUrl parsed(trimmed, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty())
        return QStringLiteral("(invalid URL)");
    return parsed.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString(QUrl::FullyEncoded);
}

QString kind(const QString& url) {
    const QString trimmed = url.trimmed();
    if (isLocalSdp(trimmed))
        return QStringLiteral("rtp");
    const QUrl parsed(trimmed, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (scheme == u"http" || scheme == u"https") {
        return parsed.path().endsWith(QStringLiteral(".m3u8"), Qt::CaseInsensitive)
                   ? QStringLiteral("hls")
                   : QStringLiteral("http");
    }
    if (scheme == u"srt" || scheme == u"udp" || scheme == u"rtp")
        return scheme;
    return {};
}

} // namespace streamurl
