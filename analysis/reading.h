// CReading: one read-out of an analysis window as it is published: what it
// is, its value in its unit, and where it was read (a frequency, or a time
// within a capture). Levels are at the input in dBm, with the window's
// level-offset correction, whatever unit the window shows.
#pragma once

#include "platform/cstring.h"

struct CReading {
    CString name;             // "marker1", "xpd", "rf1", ...
    double value = 0;         // in unit
    const char* unit = "dBm"; // "dBm", "dB"
    long long x = 0;          // kHz, or us when time is set; 0: none
    bool time = false;
    CString channel; // the channel it belongs to, if any
};
