#pragma once

#include "settings/journal.h"

#include <QByteArray>
#include <QChar>
#include <QDateTime>
#include <QString>

#include <optional>

// The append-only event log sondral.log. Each WriteLog opens the file,
// appends "dd/mm/yyyy  hh:mm:ss  message" followed by CR LF, and closes it;
// the date and time separators come from the LC_TIME locale. Whether an event
// is logged at all is the caller's decision (Settings::Log). Every line also
// goes to standard error (the journal, under a service manager), written
// there even when the file cannot be.
class EventLog {
public:
    explicit EventLog(QString filePath);

    // Appends the line, and writes it to standard error with the journal
    // priority the caller gives. Returns false with a readable reason in
    // *error when the file could not be written; the line is then lost
    // there.
    bool WriteLog(const QString& message, Journal::Priority priority,
                  QString* error = nullptr) const;

    struct Separators {
        QChar date = QLatin1Char('/');
        QChar time = QLatin1Char(':');
    };

    // The line without its CR LF: the field order is always day, month,
    // year and hour, minute, second; only the separators vary.
    static QString formatLine(const QDateTime& when, const QString& message, Separators sep);

    // The first character of a strftime-style format that is not part of a
    // conversion ("%d-%m-%y" gives '-'); %D, %F, %T and %R count as the
    // formats they stand for. The fallback when there is no usable literal
    // (none at all, a control character, or one outside Latin-1, which the
    // 8-bit log cannot hold).
    static QChar separatorFromFormat(const QString& format, QChar fallback);

    // The separators of the named LC_TIME locale ("" for the one the
    // environment selects); nothing when the locale is not installed.
    static std::optional<Separators> localeSeparators(const char* localeName);

    // The environment's separators, looked up once per process; "/" and ":"
    // when the environment names no usable locale.
    static Separators systemSeparators();

private:
    QString m_path;
};
