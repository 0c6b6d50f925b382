#pragma once

#include "audio/captureengine.h"

#include <memory>

class CaptureState;

// The network-stream capture (StreamCapture) is built as a module of its
// own, sondral-stream.so, loaded only when a stream is to be watched: FFmpeg
// and the hundred libraries it pulls in cost every process that links them
// about 17 MB of resident memory and their start-up, and a station watching
// its sound card needs none of it.
//
// The module is looked for beside the running program only (an installed
// folder, the build folder). It is loaded
// once and stays loaded. A module that is missing, cannot be loaded, or
// comes from another build (its capture interface differs) gives an engine
// whose every attempt fails with CaptureLoss::Unavailable, so the stream is
// reported lost like any stream that brings no audio, and the reason is
// written once to standard error (the journal).
namespace streammodule {

inline constexpr char fileName[] = "sondral-stream.so";
// The module's one entry point: makes a StreamCapture for the state when
// `interfaceId` is the module's own build of the capture interface, else
// returns nullptr.
inline constexpr char factoryName[] = "sondral_make_stream_capture";
using Factory = CaptureEngine* (*)(CaptureState& state, const char* interfaceId);

std::unique_ptr<CaptureEngine> makeCapture(CaptureState& state);

} // namespace streammodule
