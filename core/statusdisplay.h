#pragma once

#include <QString>

// The status line of the main window. The text is also state: the datagram
// handler reads it back and compares it with "PAUSE", so statusText() must
// return exactly what was last written, untrimmed.
class StatusDisplay {
public:
    virtual ~StatusDisplay() = default;
    virtual void setStatusText(const QString& text) = 0;
    virtual QString statusText() const = 0;
};
