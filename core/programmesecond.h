#pragma once

// What the capture's dynamics meter said about the second a tick judges:
// whether the programme was a steady signal (a hum, hiss, a tone, a short
// loop) rather than programme. Handed to the monitor with the levels.
struct ProgrammeSecond {
    // The capture judged the second; false while it is not measured (the
    // meter off, no audio yet, the capture lost). Such a second is no steady
    // signal.
    bool measured = false;
    bool steady = false;
    // The second's highest sample on the louder channel, dBFS, rounded.
    int peakDbfs = 0;
    // The spread of its 50 ms RMS levels and how closely its envelope
    // repeats itself, dB.
    double spreadDb = 0;
    double repeatDb = 0;
};
