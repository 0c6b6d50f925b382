#pragma once

#include "core/errorreporter.h"
#include "core/eventlogger.h"
#include "settings/settings.h"

#include <QString>

// Logs one event when logging is on. A line that cannot be written is
// reported to the operator, and the caller carries on: monitoring never
// depends on the log.
inline void logEvent(const Settings& settings, EventLogger& logger, ErrorReporter& errors,
                     const QString& message) {
    if (!settings.Log)
        return;
    QString error;
    if (!logger.writeLog(message, &error))
        errors.reportLogFailure(error);
}
