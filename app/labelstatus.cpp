#include "app/labelstatus.h"

#include <QLabel>

void LabelStatus::setStatusText(const QString& text) {
    m_text = text;
    m_label.setText(text);
}
