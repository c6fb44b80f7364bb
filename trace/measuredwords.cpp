// Measured words of a trace store.
#include "trace/measuredwords.h"

#include <algorithm>

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
