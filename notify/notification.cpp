#include "notify/notification.h"

#include <QJsonDocument>
#include <QJsonObject>

QString Notification::isoTime() const {
    // A local time's ISO form names no offset; one with a fixed offset does.
    const QDateTime fixed = time.toOffsetFromUtc(time.offsetFromUtc());
    QString text = fixed.toString(Qt::ISODate);
    if (text.endsWith(QLatin1Char('Z'))) {
        text.chop(1);
        text += QStringLiteral("+00:00");
    }
    return text;
}

QByteArray Notification::toJson() const {
    QJsonObject o{{QStringLiteral("event"), event},
                  {QStringLiteral("source"), source},
                  {QStringLiteral("silence_seconds"), silenceSeconds},
                  {QStringLiteral("time"), isoTime()},
                  {QStringLiteral("station"), station},
                  {QStringLiteral("text"), text}};
    // Absent rather than empty, so the other events' objects stay as they
    // always were.
    if (!reason.isEmpty())
        o.insert(QStringLiteral("reason"), reason);
    if (!channel.isEmpty())
        o.insert(QStringLiteral("channel"), channel);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QProcessEnvironment Notification::environment(const QProcessEnvironment& base) const {
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("SONDRAL_EVENT"), event);
    env.insert(QStringLiteral("SONDRAL_SOURCE"), source);
    env.insert(QStringLiteral("SONDRAL_SILENCE_SECONDS"), QString::number(silenceSeconds));
    env.insert(QStringLiteral("SONDRAL_TIME"), isoTime());
    env.insert(QStringLiteral("SONDRAL_STATION"), station);
    env.insert(QStringLiteral("SONDRAL_TEXT"), text);
    if (!reason.isEmpty())
        env.insert(QStringLiteral("SONDRAL_REASON"), reason);
    if (!channel.isEmpty())
        env.insert(QStringLiteral("SONDRAL_CHANNEL"), channel);
    return env;
}
