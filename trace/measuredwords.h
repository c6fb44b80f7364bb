// Measured words: which words of a trace store hold a measurement. A fresh
// grid holds the no-sample word and a reinitialised trace the lowest word
// until blocks are folded in; a reading, a threshold test or an alarm made on
// them would report levels nobody measured.
#pragma once

#include "trace/tracestore.h"

// Neither the no-sample word nor the fill word of a reinitialisation.
inline bool IsMeasuredWord(short word) {
    return word != kNoSample && word != kLowestLevel;
}

// True when the store has data and every grid point whose frequency lies in
// f1..f2 (both ends included) holds a measured word; false for a range that
// holds no grid point.
bool AllMeasured(const CTraceStore& store, long long f1, long long f2);
