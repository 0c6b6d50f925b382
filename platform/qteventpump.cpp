#include "platform/qteventpump.h"

#include <QCoreApplication>

void QtEventPump::processPendingEvents() {
    QCoreApplication::processEvents();
}
