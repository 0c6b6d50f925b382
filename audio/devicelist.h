#pragma once

#include <QStringList>

// Names of the capture (input) devices in QMediaDevices::audioInputs()
// order, the same order in which WaveIn numbers them: position i of this
// list is the device that Card = i captures.
QStringList captureDeviceNames();
