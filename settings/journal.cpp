#include "settings/journal.h"

#include "settings/eventlog.h"

#include <QDateTime>
#include <cstdio>

namespace Journal {

QString formatLine(Priority priority, const QString& text) {
    QString flat = text;
    flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return QStringLiteral("<%1>").arg(int(priority)) +
           EventLog::formatLine(QDateTime::currentDateTime(), flat, EventLog::systemSeparators());
}

void write(Priority priority, const QString& text) {
    const QByteArray line = formatLine(priority, text).toUtf8() + '\n';
    // One fwrite per line so that lines from different places never interleave.
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace Journal
