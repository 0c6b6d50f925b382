#pragma once

#include <QString>

// The append-only event log sondral.log. Each WriteLog opens the file,
// appends "dd/mm/yyyy  hh:mm:ss  message" followed by CR LF, and closes it;
// the date and time separators come from the LC_TIME locale. Whether an event
// is logged at all is the caller's decision (Settings::Log).
class EventLog {
public:
    explicit EventLog(QString filePath);
    QString filePath() const { return m_path; }

    // Returns false with a readable reason in *error when the line could not
    // be written; the line is then lost.
    bool WriteLog(const QString& message, QString* error = nullptr) const;

private:
    QString m_path;
};
