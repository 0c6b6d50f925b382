#pragma once

#include <QString>

// Why a capture stopped delivering, as its engine judged it on the audio
// thread. A sound card fails as a device; a network stream fails in its
// transport (the connection) or in its content (what came is no audio).
enum class CaptureLoss {
    Device,       // the device or the sound server went away or stopped
    Refused,      // the server refused the connection
    NotFound,     // no such stream (HTTP 404), or no such host
    Unauthorized, // the server wants other credentials (HTTP 401, 403)
    TimedOut,     // connecting took longer than the connect time-out
    Stalled,      // connected, but no decoded audio for the loss time
    Ended,        // the server ended the stream
    NotAudio,     // what came holds no audio stream (an HTML page, video only)
    DecoderError, // the audio could not be decoded
    BadUrl,       // an unknown scheme or a malformed URL
    Failed,       // any other failure of the connection
    Unavailable,  // this build cannot capture streams (its module is missing)
};

// The reason in a few English words, for the journal, the operator's
// message and the status outputs: "refused", "not found", "time-out", …
QString captureLossText(CaptureLoss loss);
