#pragma once

#include <QString>

// One line per event on standard error, for whoever runs Sondral: a terminal,
// or the service manager's journal on a monitoring PC without a desktop. The
// line starts with the syslog priority in angle brackets ("<3>"), which the
// journal reads as the line's priority and strips; then the date and time as
// in the event log, then the text. Newlines inside the text become spaces so
// that one event stays one line.
namespace Journal {

// Syslog priorities, as the journal reads them from the "<N>" prefix.
enum class Priority { Critical = 2, Error = 3, Warning = 4, Notice = 5, Info = 6 };

// The line as written, without its line end.
QString formatLine(Priority priority, const QString& text);

// Queues the line for standard error and returns at once: a writer thread
// of its own (JournalWriter) puts it out, so a reader who stops reading
// never holds the caller. Never fails loudly: a closed standard error or a
// full queue loses the line (a full queue counts it) and nothing else.
void write(Priority priority, const QString& text);

// Waits at most timeoutMs for the queued lines to be out (at the end of a
// run, so that its last lines are not lost); true when they are.
bool flush(int timeoutMs);

// From now on Qt's own warnings go through the same queue, in the form
// Qt's default handler gives them, so that they cannot hold the caller
// either.
void takeOverQtMessages();

} // namespace Journal
