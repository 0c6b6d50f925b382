#include "app/eventlogwriter.h"

#include "settings/eventlog.h"

bool EventLogWriter::writeLog(const QString& message, QString* error) {
    return m_log.WriteLog(message, error);
}
