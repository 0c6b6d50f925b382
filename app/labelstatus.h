#pragma once

#include "core/statusdisplay.h"

#include <QString>

class QLabel;

// The status line on the main window's label. The text is also state (the
// datagram handler reads "PAUSE" back), so it is kept exactly as written,
// never as the label may have laid it out.
class LabelStatus : public StatusDisplay {
public:
    explicit LabelStatus(QLabel& label) : m_label(label) {}

    void setStatusText(const QString& text) override;
    QString statusText() const override { return m_text; }

private:
    QLabel& m_label;
    QString m_text;
};
