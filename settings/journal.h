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

// Writes the line to standard error at once (unbuffered); never fails loudly:
// a closed standard error loses the line and nothing else.
void write(Priority priority, const QString& text);

} // namespace Journal
