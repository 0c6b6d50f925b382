#include "settings/journal.h"

#include "settings/eventlog.h"
#include "settings/journalwriter.h"

#include <QDateTime>
#include <unistd.h>

namespace Journal {

namespace {
// The one writer of the process's standard error, started with the first
// line. Never destroyed: at the end of the run its thread may still be
// stuck on a reader who stopped reading, and nothing must wait for it then.
JournalWriter& writer() {
    static JournalWriter* const instance = new JournalWriter(STDERR_FILENO);
    return *instance;
}

void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    writer().write(qFormatLogMessage(type, context, message).toUtf8() + '\n');
    // Qt aborts after a fatal message: give its line a moment to get out.
    if (type == QtFatalMsg)
        writer().flush(1000);
}
} // namespace

QString formatLine(Priority priority, const QString& text) {
    QString flat = text;
    flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return QStringLiteral("<%1>").arg(int(priority)) +
           EventLog::formatLine(QDateTime::currentDateTime(), flat, EventLog::systemSeparators());
}

void write(Priority priority, const QString& text) {
    writer().write(formatLine(priority, text).toUtf8() + '\n');
}

bool flush(int timeoutMs) {
    return writer().flush(timeoutMs);
}

void takeOverQtMessages() {
    writer();
    qInstallMessageHandler(qtMessage);
}

} // namespace Journal
