#include "settings/eventlog.h"

#include <QFile>

#include <clocale>
#include <langinfo.h>
#include <optional>

EventLog::EventLog(QString filePath) : m_path(std::move(filePath)) {}

QString EventLog::formatLine(const QDateTime& when, const QString& message, Separators sep) {
    const QDate d = when.date();
    const QTime t = when.time();
    auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return two(d.day()) + sep.date + two(d.month()) + sep.date +
           QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')) + QStringLiteral("  ") +
           two(t.hour()) + sep.time + two(t.minute()) + sep.time + two(t.second()) +
           QStringLiteral("  ") + message;
}

QChar EventLog::separatorFromFormat(const QString& format, QChar fallback) {
    for (qsizetype i = 0; i < format.size(); ++i) {
        QChar c = format[i];
        if (c == QLatin1Char('%')) {
            ++i;
            // Flags, width and the E/O modifiers before the conversion letter.
            while (i < format.size() && QStringLiteral("_-0^#EO123456789").contains(format[i])) {
                ++i;
            }
            if (i >= format.size()) {
                break;
            }
            const QChar conv = format[i];
            if (conv == QLatin1Char('%')) {
                c = QLatin1Char('%');
            } else if (conv == QLatin1Char('D')) {
                c = QLatin1Char('/'); // %m/%d/%y
            } else if (conv == QLatin1Char('F')) {
                c = QLatin1Char('-'); // %Y-%m-%d
            } else if (conv == QLatin1Char('T') || conv == QLatin1Char('R')) {
                c = QLatin1Char(':'); // %H:%M:%S, %H:%M
            } else {
                continue;
            }
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() > 0xFF) {
            return fallback;
        }
        return c;
    }
    return fallback;
}

std::optional<EventLog::Separators> EventLog::localeSeparators(const char* localeName) {
    // A locale object of its own: the process-wide locale is left alone.
    locale_t loc = newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) {
        return std::nullopt;
    }
    const QByteArray codeset(nl_langinfo_l(CODESET, loc));
    auto decode = [&](const char* text) {
        return codeset.compare("UTF-8", Qt::CaseInsensitive) == 0 ? QString::fromUtf8(text)
                                                                  : QString::fromLatin1(text);
    };
    Separators sep;
    sep.date = separatorFromFormat(decode(nl_langinfo_l(D_FMT, loc)), QLatin1Char('/'));
    sep.time = separatorFromFormat(decode(nl_langinfo_l(T_FMT, loc)), QLatin1Char(':'));
    freelocale(loc);
    return sep;
}

EventLog::Separators EventLog::systemSeparators() {
    static const Separators cached = localeSeparators("").value_or(Separators{});
    return cached;
}

bool EventLog::WriteLog(const QString& message, Journal::Priority priority, QString* error) const {
    Journal::write(priority, message);
    const QByteArray line =
        formatLine(QDateTime::currentDateTime(), message, systemSeparators()).toLatin1() + "\r\n";
    QFile file(m_path);
    // Unbuffered, so a failed write shows in write() itself and not later.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error) {
            *error =
                QStringLiteral("Kan logbestand %1 niet openen: %2").arg(m_path, file.errorString());
        }
        return false;
    }
    const qint64 written = file.write(line);
    if (written != line.size()) {
        if (error) {
            *error = QStringLiteral("Kan niet schrijven in logbestand %1: %2")
                         .arg(m_path, file.errorString());
        }
        file.close();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        if (error) {
            *error = QStringLiteral("Kan niet schrijven in logbestand %1: %2")
                         .arg(m_path, file.errorString());
        }
        return false;
    }
    return true;
}
