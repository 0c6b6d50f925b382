#include "audio/devicelist.h"

#include <QAudioDevice>
#include <QMediaDevices>

QStringList captureDeviceNames() {
    QStringList names;
    const auto inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& device : inputs)
        names << device.description();
    return names;
}
