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

// How a core shows the levels of its stored words: the offset of its unit of
// display and, while the correction is on, its level-offset table (one
// signed offset per MHz, kOffsetTableSize of them). A stored word is the
// level at the input plus both, so a change of either re-maps the words of a
// measurement and never clears them.
struct CLevelView {
    int unit = 1;
    const short* offsets = nullptr; // null: no correction

    // What is added to the level at the input of a point at kHz.
    int OffsetAt(long long kHz) const {
        int offset = CTraceStore::UnitOffset(unit);
        const long long mhz = kHz / 1000;
        if (offsets && kHz >= 0 && mhz < kOffsetTableSize)
            offset += offsets[mhz];
        return offset;
    }
};

// The level-offset correction of n received words: word i, measured at
// startKHz + i x stepKHz (a step of 0: all at one frequency), gains the
// table's entry for its MHz. A no-sample word holds no level and stays.
void AddOffsets(short* words, int n, long long startKHz, long long stepKHz, const short* table);

// Re-maps every measured word of store from one view to another: each word
// gains to.OffsetAt(f) - from.OffsetAt(f), f being the frequency of its point,
// or fixedKHz for every point when that is not negative (a trace against time
// measured at one frequency). A word is held inside the measured levels; the
// no-sample and fill words stay as they are.
void RemapLevels(CTraceStore& store, const CLevelView& from, const CLevelView& to,
                 long long fixedKHz = -1);
