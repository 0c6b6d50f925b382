#pragma once

#include "core/eventlogger.h"

class EventLog;

// The monitoring's log lines into sondral.log (and the journal).
class EventLogWriter : public EventLogger {
public:
    explicit EventLogWriter(const EventLog& log) : m_log(log) {}

    bool writeLog(const QString& message, QString* error) override;

private:
    const EventLog& m_log;
};
