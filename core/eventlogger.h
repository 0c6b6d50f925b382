#pragma once

#include <QString>

// Appends one line to the event log. On failure returns false and, when
// error is given, a complete Dutch text for the operator that names the log
// file and the reason.
class EventLogger {
public:
    virtual ~EventLogger() = default;
    virtual bool writeLog(const QString& message, QString* error) = 0;
};
