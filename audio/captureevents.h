#pragma once

#include "audio/captureloss.h"

#include <QtGlobal>

// What the audio thread tells the capture's owner besides the levels: the
// rare events. Called on the audio thread, so an implementation only records
// or queues the news and returns at once; it never waits.
class CaptureEvents {
public:
    virtual ~CaptureEvents() = default;
    // Blocks began to arrive (first audio of an attempt).
    virtual void blocksStarted(quint32 generation) = 0;
    // An attempt failed or the flowing capture stopped delivering, and why.
    virtual void attemptFailed(quint32 generation, CaptureLoss why) = 0;
    // The device list changed (or the sound server answered or went away).
    virtual void deviceListChanged() = 0;
};
