#pragma once

// What the dynamics meter says about the last second of audio: whether it
// sounded like programme (levels that move) or like a steady signal (a hum,
// hiss, a carrier, a tone, a short buffer played over and over).
struct DynamicsSecond {
    // A full second was measured; false before that and while nothing is
    // captured. Every other field means nothing then.
    bool valid = false;
    // Some channel carries signal (above DynamicsMeter::presentDbfs) and each
    // channel that does is steady.
    bool steady = false;
    // The highest sample of the second on the louder channel, dBFS.
    double peakDbfs = -100.0;
    // The spread of the short-term (50 ms) RMS levels within the second, dB:
    // 95th minus 5th percentile, on the channel with signal that moves most.
    double spreadDb = 0.0;
    // How closely the second's envelope repeats itself: the smallest mean
    // difference in dB between the envelope and itself shifted by 50 to
    // 500 ms, on the channel with signal that repeats least. Near 0 for a
    // loop or a steady tone.
    double repeatDb = 0.0;
};
