// The drawing envelope of a trace store: the point mapping that reduces the grid
// to at most one point per pixel column with 16-bit fixed-point factors and
// integer shifts, the merge of that envelope into the chained stores, and the
// lookups between pixel columns and grid frequencies.
#include "trace/tracestore.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A ratio p / q as a fraction f with as many bits as fit into 16 and its shift:
// value x maps to (x * f) >> shift.
struct Factor {
    long long f = 0;
    int shift = 0;
};

Factor MakeFactor(long long p, long long q) {
    Factor r;
    if (p <= 0 || q <= 0) {
        return r;
    }
    int n = 0;
    while (n < 62 && (p >> (n + 1)) != 0) {
        ++n; // n = floor(log2 p); 0 for p <= 1
    }
    double f = static_cast<double>(p) / static_cast<double>(q) * std::ldexp(1.0, 15 - n) * 32768.0;
    if (!(f < 9.0e18)) {
        return r;
    }
    long long fi = static_cast<long long>(f);
    int halvings = 0;
    while (halvings < 15 && fi >= 65536) {
        fi /= 2;
        ++halvings;
    }
    const int shift = 30 - n - halvings;
    if (shift < 0 || shift > 62) {
        return r; // a ratio this large or small cannot be drawn
    }
    r.f = fi;
    r.shift = shift;
    return r;
}

// The mapping of one MakePoints call: sample index to pixel column, level word
// to pixel row (clamped to the rectangle), and the column searches.
struct ColumnMapping {
    long long x0, dx, lo, l, t, b, top;
    Factor xf, yf;
    // Per row (index row - t): the smallest word whose row is at or above it
    // (kUnknown until first asked), and the largest word whose row is at or
    // below it. Most columns of a sweep fall on a few rows. Kept by the store.
    static constexpr int kUnknown = INT_MIN;
    int* highestWord = nullptr;
    int* lowestWord = nullptr;

    long long Px(long long i) const { return l + (((x0 + i * dx - lo) * xf.f) >> xf.shift); }
    long long Py(long long w) const {
        return std::clamp(t + (((top - w) * yf.f) >> yf.shift), t, b);
    }
    // The first index after i whose column is not px (at most iEnd + 1): the
    // column's last offset is solved from the factor, then checked.
    long long ColumnEnd(long long i, long long px, long long iEnd) const {
        const long long bound = ((px - l + 1) << xf.shift) + xf.f - 1;
        const long long offset = bound / xf.f; // first x - lo of the next column
        long long next = (offset + lo - x0 + dx - 1) / dx;
        next = std::clamp(next, i + 1, iEnd + 1);
        while (next <= iEnd && Px(next) == px) {
            ++next;
        }
        while (next - 1 > i && Px(next - 1) != px) {
            --next;
        }
        return next;
    }
    // The first index of [i, end) whose row is the smallest (highest level):
    // the row of the largest word, first reached by the first word at or above
    // the smallest word that still maps to that row.
    long long FirstHighest(const short* d, long long i, long long end) {
        const short m = LaneMax(d + i, end - i);
        const long long row = Py(m);
        int& cached = highestWord[static_cast<size_t>(row - t)];
        if (cached == kUnknown) {
            int lowW = SHRT_MIN, highW = m; // Py(highW) == row; find the smallest such word
            while (lowW < highW) {
                const int mid = lowW + (highW - lowW) / 2;
                if (Py(mid) <= row) {
                    highW = mid;
                } else {
                    lowW = mid + 1;
                }
            }
            cached = highW;
        }
        return i + FirstBeyond<true>(d + i, end - i, static_cast<short>(cached));
    }
    // The first index of [i, end) whose row is the largest (lowest level).
    long long FirstLowest(const short* d, long long i, long long end) {
        const short m = LaneMin(d + i, end - i);
        const long long row = Py(m);
        int& cached = lowestWord[static_cast<size_t>(row - t)];
        if (cached == kUnknown) {
            int lowW = m, highW = SHRT_MAX; // Py(lowW) == row; find the largest such word
            while (lowW < highW) {
                const int mid = lowW + (highW - lowW + 1) / 2;
                if (Py(mid) >= row) {
                    lowW = mid;
                } else {
                    highW = mid - 1;
                }
            }
            cached = lowW;
        }
        return i + FirstBeyond<false>(d + i, end - i, static_cast<short>(cached));
    }

    // The offset of the first of n words from p that is >= w (kAbove) or
    // <= w; one of them must be. Eight words are compared at a time where SSE2
    // is there.
    template <bool kAbove> static long long FirstBeyond(const short* p, long long n, short w) {
        if (w == (kAbove ? SHRT_MIN : SHRT_MAX)) {
            return 0; // every word is
        }
        long long j = 0;
#if defined(__SSE2__)
        // Strictly beyond the word next to w, which does not overflow now.
        const __m128i next = _mm_set1_epi16(static_cast<short>(kAbove ? w - 1 : w + 1));
        for (; j + 8 <= n; j += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j));
            const __m128i beyond = kAbove ? _mm_cmpgt_epi16(v, next) : _mm_cmplt_epi16(v, next);
            const int hits = _mm_movemask_epi8(beyond);
            if (hits) {
                return j + (__builtin_ctz(static_cast<unsigned>(hits)) >> 1);
            }
        }
#endif
        while (kAbove ? p[j] < w : p[j] > w) {
            ++j;
        }
        return j;
    }

    // The highest (kHighest) or lowest word of n >= 1 words. With SSE2, eight
    // words at a time in two accumulators; the last eight words are taken as
    // one more (overlapping) group, so no word is left for a scalar tail.
    template <bool kHighest> static short LaneExtreme(const short* p, long long n) {
        const auto pick = [](short a, short b) -> short {
            if constexpr (kHighest) {
                return a < b ? b : a;
            } else {
                return a > b ? b : a;
            }
        };
#if defined(__SSE2__)
        if (n >= 8) {
            const auto load = [p](long long k) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            };
            const auto both = [](__m128i x, __m128i y) {
                if constexpr (kHighest) {
                    return _mm_max_epi16(x, y);
                } else {
                    return _mm_min_epi16(x, y);
                }
            };
            __m128i a = load(0);
            __m128i b = load(n - 8);
            long long j = 8;
            for (; j + 16 <= n; j += 16) {
                a = both(a, load(j));
                b = both(b, load(j + 8));
            }
            if (j + 8 <= n) {
                a = both(a, load(j));
            }
            a = both(a, b);
            a = both(a, _mm_shuffle_epi32(a, 0x4E));
            a = both(a, _mm_shuffle_epi32(a, 0xB1));
            a = both(a, _mm_shufflelo_epi16(a, 0xB1));
            return static_cast<short>(_mm_cvtsi128_si32(a));
        }
#endif
        short m = p[0];
        for (long long j = 1; j < n; ++j) {
            m = pick(m, p[j]);
        }
        return m;
    }
    static short LaneMax(const short* p, long long n) {
        return LaneExtreme<true>(p, n);
    }
    static short LaneMin(const short* p, long long n) {
        return LaneExtreme<false>(p, n);
    }
};

} // namespace

// The mapping of one drawing: the sample-to-pixel mapping and the samples'
// index range inside the window.
struct CTraceStore::Mapping {
    ColumnMapping map;
    long long i0 = 0;
    long long iEnd = 0;
};

bool CTraceStore::SetUpMapping(const RECT& rect, int xa, int xb, double ymax, double ymin, int* fx,
                               int* fy, Mapping& mapping) {
    if (fx) {
        *fx = 0;
    }
    if (fy) {
        *fy = 0;
    }
    if (!m_envelope || !m_envelopeX || !m_data || m_points == 0) {
        return false;
    }
    const long long x0 = m_start;
    const long long dx = m_step;
    const long long n = m_points;
    const long long lo = std::max<long long>(xa, x0);
    const long long hi = std::min<long long>(xb, x0 + n * dx);
    const long long span = hi - lo;
    if (span <= 0) {
        return false; // the window lies outside the samples
    }
    const long long l = rect.left;
    const long long t = rect.top;
    const long long b = rect.bottom;
    const Factor xf = MakeFactor(rect.right - l + 1, span);
    const double dbRange = (ymax - ymin) * kWordsPerDb;
    const Factor yf = (dbRange >= 1.0 && dbRange < 2.0e9)
                          ? MakeFactor(b - t + 1, static_cast<long long>(dbRange))
                          : Factor{};
    if (fx) {
        *fx = static_cast<int>(xf.f);
    }
    if (fy) {
        *fy = static_cast<int>(yf.f);
    }
    if (xf.f == 0 || yf.f == 0) {
        return false;
    }
    // The top value in level words. It is kept as an int: with the dBuV offsets a
    // top above 200 dB does not fit 16 bits.
    const double topWords = ymax * kWordsPerDb;
    const long long top = topWords > 2.0e9    ? 2000000000LL
                          : topWords < -2.0e9 ? -2000000000LL
                                              : static_cast<long long>(topWords);

    const long long i0 = (lo - x0 + dx - 1) / dx;
    const long long iEnd = std::min(i0 + (span + dx - 1) / dx, n - 1);
    mapping = Mapping{ColumnMapping{x0, dx, lo, l, t, b, top, xf, yf}, i0, iEnd};
    const ColumnMapping& map = mapping.map;
    const std::array<long long, 9> columnsOf{x0, dx, n, lo, hi, l, rect.right, xf.f, xf.shift};
    if (columnsOf != m_columnsOf || m_columnStarts.empty()) {
        m_columnStarts.clear();
        long long i = i0;
        while (i <= iEnd && static_cast<int>(m_columnStarts.size()) < kEnvelopeColumns) {
            m_columnStarts.push_back(i);
            i = map.ColumnEnd(i, map.Px(i), iEnd);
        }
        m_columnStarts.push_back(i);
        m_columnsOf = columnsOf;
        m_envelopeXOfColumns = false;
    }
    return true;
}

bool CTraceStore::EveryColumnOneSample() const {
    return m_columnStarts.back() - m_columnStarts.front() ==
           static_cast<long long>(m_columnStarts.size() - 1);
}

int CTraceStore::MakeColumnPoints(const RECT& rect, int xa, int xb, double ymax, double ymin,
                                  POINT* out) {
    Mapping mapping;
    if (!SetUpMapping(rect, xa, xb, ymax, ymin, nullptr, nullptr, mapping) ||
        !EveryColumnOneSample()) {
        return -1;
    }
    const ColumnMapping& map = mapping.map;
    const size_t columns = m_columnStarts.size() - 1;
    const long long first = m_columnStarts.front();
    const short* words = m_data.get() + first;
    for (size_t c = 0; c < columns; ++c) {
        out[c] = {static_cast<LONG>(map.Px(first + static_cast<long long>(c))),
                  static_cast<LONG>(map.Py(words[c]))};
    }
    return static_cast<int>(columns);
}

void CTraceStore::MakePoints(const RECT& rect, int xa, int xb, double ymax, double ymin, int* fx,
                             int* fy) {
    m_envelopeCount = 0;
    Mapping mapping;
    if (!SetUpMapping(rect, xa, xb, ymax, ymin, fx, fy, mapping)) {
        return;
    }
    ColumnMapping& map = mapping.map;
    const long long x0 = map.x0;
    const long long dx = map.dx;
    const long long i0 = mapping.i0;
    const long long iEnd = mapping.iEnd;
    const long long t = map.t;
    const long long b = map.b;
    const long long top = map.top;
    const Factor yf = map.yf;
    const short* d = m_data.get();
    POINT* out = m_envelope.get();
    int* outX = m_envelopeX.get();
    const int capacity = 2 * kEnvelopeColumns;
    int count = 0;
    const size_t columns = m_columnStarts.size() - 1;

    // Every column one sample (a short trace in a wide box, as the slices of
    // the 3D graph): each point is its sample, highest, lowest and mean alike.
    // The points' x follow from the columns alone, so while the columns stay
    // (a new capture in the same window) only the rows are mapped again.
    const long long first = m_columnStarts.front();
    if (EveryColumnOneSample()) {
        if (!m_envelopeXOfColumns) {
            for (size_t c = 0; c < columns; ++c) {
                const long long i = first + static_cast<long long>(c);
                out[c].x = static_cast<LONG>(map.Px(i));
                outX[c] = static_cast<int>(x0 + i * dx);
            }
            m_envelopeXOfColumns = true;
        }
        const short* words = d + first;
        for (size_t c = 0; c < columns; ++c) {
            out[c].y = static_cast<LONG>(map.Py(words[c]));
        }
        m_envelopeCount = static_cast<int>(columns);
        if (m_next) {
            m_next->MergeEnvelope(out, m_envelopeCount);
        }
        return;
    }

    // The paths below write the envelope's x their own way.
    m_envelopeXOfColumns = false;

    // Highest, lowest or both: each column is found from the x factor and
    // reduced over its words, so the work per sample is one pass of maxima.
    if (m_compareMode != kCompareMean) {
        const bool highest = m_compareMode != kCompareLowest;
        const bool lowest = m_compareMode != kCompareHighest;
        // The words found for each row hold while the level mapping stays.
        const std::array<long long, 5> rowsOf{t, b, top, yf.f, yf.shift};
        const size_t rowCount = static_cast<size_t>(b - t + 1);
        if (rowsOf != m_rowsOf || m_rowHighest.size() != rowCount) {
            m_rowHighest.assign(rowCount, ColumnMapping::kUnknown);
            m_rowLowest.assign(rowCount, ColumnMapping::kUnknown);
            m_rowsOf = rowsOf;
        }
        map.highestWord = m_rowHighest.data();
        map.lowestWord = m_rowLowest.data();
        for (size_t c = 0; c < columns && count < capacity; ++c) {
            const long long i = m_columnStarts[c];
            const long long next = m_columnStarts[c + 1];
            const long long px = map.Px(i);
            const LONG x = static_cast<LONG>(px);
            // A column of one sample (a short trace in a wide box) is that
            // sample, highest and lowest alike: no search, no row lookup.
            const bool single = next == i + 1;
            if (highest) {
                const long long j = single ? i : map.FirstHighest(d, i, next);
                out[count] = {x, static_cast<LONG>(map.Py(d[j]))};
                outX[count++] = static_cast<int>(x0 + j * dx);
            }
            if (lowest && count < capacity) {
                const long long j = single ? i : map.FirstLowest(d, i, next);
                const LONG y = static_cast<LONG>(map.Py(d[j]));
                // Both: the lowest point only when it differs from the highest.
                if (!highest || y != out[count - 1].y) {
                    out[count] = {x, y};
                    outX[count++] = static_cast<int>(x0 + j * dx);
                }
            }
        }
        m_envelopeCount = count;
        if (m_next) {
            m_next->MergeEnvelope(out, count);
        }
        return;
    }

    // Mean: the rows of every word between the lowest and highest word are
    // looked up from a table made once per call, so each sample costs one load
    // and one add; the columns are found as for the other modes.
    const long long words = iEnd - i0 + 1;
    const int lowest = ColumnMapping::LaneMin(d + i0, words);
    const int highest = ColumnMapping::LaneMax(d + i0, words);
    std::vector<int> rows(static_cast<size_t>(highest - lowest + 1));
    for (int w = lowest; w <= highest; ++w) {
        rows[static_cast<size_t>(w - lowest)] = static_cast<int>(map.Py(w));
    }
    for (size_t c = 0; c < columns && count < capacity; ++c) {
        const long long i = m_columnStarts[c];
        const long long next = m_columnStarts[c + 1];
        const long long px = map.Px(i);
        // Two sums, so that the additions of neighbouring samples overlap.
        const int* table = rows.data();
        long long sumA = 0, sumB = 0;
        long long j = i;
        for (; j + 1 < next; j += 2) {
            sumA += table[static_cast<unsigned>(d[j] - lowest)];
            sumB += table[static_cast<unsigned>(d[j + 1] - lowest)];
        }
        if (j < next) {
            sumA += table[static_cast<unsigned>(d[j] - lowest)];
        }
        const long long mean = std::clamp((sumA + sumB) / (next - i), t, b);
        out[count] = {static_cast<LONG>(px), static_cast<LONG>(mean)};
        outX[count++] = static_cast<int>(x0 + i * dx);
    }
    m_envelopeCount = count;
    if (m_next) {
        m_next->MergeEnvelope(out, count);
    }
}

void CTraceStore::MergeEnvelope(const POINT* pairs, int n) {
    if (!pairs) {
        return;
    }
    n = std::clamp(n, 0, 2 * kEnvelopeColumns);
    int k = 0;
    for (CTraceStore* s = this; s && k < kMaxChainLength; s = s->m_next, ++k) {
        s->ApplyPendingReset();
        POINT* own = s->m_ownEnvelope.get();
        for (int i = 0; i < n; ++i) {
            own[i].x = pairs[i].x;
            switch (s->m_traceState) {
            case kTraceMaxHold: // the higher level is the smaller y
                own[i].y = std::min(own[i].y, pairs[i].y);
                break;
            case kTraceMinHold:
                own[i].y = std::max(own[i].y, pairs[i].y);
                break;
            case kTraceWrite:
                own[i].y = pairs[i].y;
                break;
            default:
                break; // off or frozen: the envelope stays as it was
            }
        }
    }
}

int CTraceStore::PixelToX(int px) const {
    const int n = m_envelopeCount;
    if (n <= 0) {
        return 0;
    }
    const POINT* p = m_envelope.get();
    const int* xs = m_envelopeX.get();
    if (px <= p[0].x) {
        return xs[0];
    }
    if (px >= p[n - 1].x) {
        return xs[n - 1];
    }
    // The first point at or right of px; its left neighbour is left of px.
    int lo = 0, hi = n - 1;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (p[mid].x < px) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    const int right = lo;
    const int left = right - 1;
    return (px - p[left].x < p[right].x - px) ? xs[left] : xs[right];
}

bool CTraceStore::PointOfX(long long x, POINT* point) const {
    const int n = m_envelopeCount;
    if (n <= 0 || !point) {
        return false;
    }
    const int* xs = m_envelopeX.get();
    for (int i = 0; i < n; ++i) {
        if (xs[i] >= x) {
            *point = m_envelope[i];
            return true;
        }
    }
    *point = m_envelope[n - 1];
    return true;
}
