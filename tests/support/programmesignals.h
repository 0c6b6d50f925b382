#pragma once

#include <QString>
#include <QStringList>

// Test signals for the programme's dynamics, made with Debian's tools into
// WAV files (48 kHz stereo, 16 bit): sox for the steady ones (hum, hiss,
// tone, a short loop), espeak-ng for speech, fluidsynth with the General MIDI
// sound font for music from a MIDI file written here, and sox's compand for
// that music through a broadcast-style limiter.
namespace ProgrammeSignals {

// The signals that carry no programme, and those that are programme.
QStringList steadyNames();    // "hum", "noise", "tone", "loop"
QStringList programmeNames(); // "speech", "music", "limited"

// The tools these need, missing ones named; empty when all are there.
QStringList missingTools();

// Makes the signal called name, seconds long, as dir/name.wav (made once per
// folder and length). Returns the path, or an empty text with the reason in
// *error.
QString make(const QString& dir, const QString& name, int seconds, QString* error);

// A Standard MIDI File of varied music (melody, chords, bass, drums, in
// changing strength), seconds long, the same for the same seed.
QByteArray midiMusic(int seconds, quint32 seed = 23);

} // namespace ProgrammeSignals
