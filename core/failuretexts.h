#pragma once

#include <QString>
#include <QStringList>

// The operator's message box texts for the monitor's failures, one box per
// text, in order.
namespace FailureTexts {

// A datagram that could not be read: "Onbekende fout, foutcode : N"; nothing
// for 10054.
QStringList datagram(int code);
// A tick abandoned, the alarm's failed send among them: "Fout : N", then,
// unless the code is 10054, "Onbekende fout, foutcode : N".
QStringList tick(int code);
// A log line that could not be written; the writer's text names the file
// and the reason.
QString log(const QString& error);

} // namespace FailureTexts
