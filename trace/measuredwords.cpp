// Measured words of a trace store.
#include "trace/measuredwords.h"

#include <algorithm>
#include <climits>

bool AllMeasured(const CTraceStore& store, long long f1, long long f2) {
    const short* data = store.GetData();
    const long long step = store.GetStep();
    if (!data || step <= 0 || store.GetPoints() == 0)
        return false;
    const long long start = store.GetStart();
    // The first grid point at or above f1, the last at or below f2.
    const long long first = f1 <= start ? 0 : (f1 - start + step - 1) / step;
    if (f2 < start)
        return false;
    const long long last =
        std::min<long long>((f2 - start) / step, static_cast<long long>(store.GetPoints()) - 1);
    if (first > last)
        return false;
    return std::all_of(data + first, data + last + 1, IsMeasuredWord);
}

void AddOffsets(short* words, int n, long long startKHz, long long stepKHz, const short* table) {
    long long f = startKHz;
    for (int i = 0; i < n; ++i, f += stepKHz) {
        const long long mhz = f / 1000;
        if (words[i] != kNoSample && f >= 0 && mhz < kOffsetTableSize)
            words[i] = static_cast<short>(words[i] + table[mhz]);
    }
}

void RemapLevels(CTraceStore& store, const CLevelView& from, const CLevelView& to,
                 long long fixedKHz) {
    const short* data = store.GetData();
    if (!data)
        return;
    const long long start = store.GetStart();
    const long long step = store.GetStep();
    for (DWORD i = 0; i < store.GetPoints(); ++i) {
        const short word = data[i];
        if (!IsMeasuredWord(word))
            continue;
        const long long f = fixedKHz >= 0 ? fixedKHz : start + static_cast<long long>(i) * step;
        const int shifted = word + to.OffsetAt(f) - from.OffsetAt(f);
        // Neither special word, nor a wrap into the other end of the range.
        store.SetWord(i, static_cast<short>(std::clamp(shifted, kNoSample + 1, SHRT_MAX)));
    }
}
