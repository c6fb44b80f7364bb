// CTraceStore: the grid, the folding of received blocks, the level queries and
// the setting-file keys. The readout texts and the drawing envelope live in
// tracereadout.cpp and traceenvelope.cpp.
#include "trace/tracestore.h"

#include "lib/fixedpoint.h"
#include "lib/settingfile.h"
#include "trace/measuredwords.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace {

// The process-wide id counter; 0 is never handed out.
std::atomic<DWORD> s_nextTraceId{1};

DWORD TakeTraceId() {
    DWORD id = s_nextTraceId.load();
    DWORD next;
    do {
        next = id + 1;
        if (next == 0) {
            next = 1;
        }
    } while (!s_nextTraceId.compare_exchange_weak(id, next));
    return id;
}

// A threshold in dB as a whole number of level words (truncated toward zero),
// kept inside the int range.
long long DbToWords(double level) {
    double w = level * kWordsPerDb;
    if (w > 2147483647.0) {
        return 2147483647LL;
    }
    if (w < -2147483648.0) {
        return -2147483648LL;
    }
    return static_cast<long long>(w);
}

// The three folds: c words (plus the unit offset, in 16 bits) into d. A
// no-sample word stays one in every unit: it holds no level to offset, and a
// hold keeps what it had where a block brings none. The bodies work on lanes
// of sixteen words so that the compiler turns them into vector instructions
// (built for AVX2 and for the baseline, picked at load time); the tail is
// done word by word.
constexpr int kFoldLanes = 16;

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TORVEL_FOLD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TORVEL_FOLD_CLONES
#endif

template <typename Keep>
inline void FoldLanes(short* __restrict d, const short* __restrict w, int c, short offset,
                      Keep keep) {
    int i = 0;
    for (; i + kFoldLanes <= c; i += kFoldLanes) {
        for (int k = 0; k < kFoldLanes; ++k) {
            const short word = w[i + k];
            const short v = word == kNoSample ? kNoSample : static_cast<short>(word + offset);
            d[i + k] = keep(v, d[i + k]);
        }
    }
    for (; i < c; ++i) {
        const short v = w[i] == kNoSample ? kNoSample : static_cast<short>(w[i] + offset);
        d[i] = keep(v, d[i]);
    }
}

TORVEL_FOLD_CLONES
void FoldMaxHold(short* __restrict d, const short* __restrict w, int c, short offset) {
    FoldLanes(d, w, c, offset, [](short v, short old) { return v > old ? v : old; });
}

// A min hold takes the first word after a reinitialisation: the
// reinitialisation word is below every real level, so a plain "keep the
// smaller" would never take a value. A no-sample word (below every level)
// replaces only the fill, and is itself replaced by the next level.
TORVEL_FOLD_CLONES
void FoldMinHold(short* __restrict d, const short* __restrict w, int c, short offset) {
    FoldLanes(d, w, c, offset, [](short v, short old) {
        return old == kLowestLevel || old == kNoSample || (v < old && v != kNoSample) ? v : old;
    });
}

TORVEL_FOLD_CLONES
void FoldWrite(short* __restrict d, const short* __restrict w, int c, short offset) {
    FoldLanes(d, w, c, offset, [](short v, short) { return v; });
}

// The searches look at lanes of sixteen words at a time and go word by word
// only through a lane that holds an answer better than the one so far.
constexpr int kSearchLanes = 16;

// Index of the first largest word of d[first, end), end > first.
TORVEL_FOLD_CLONES
long long FirstLargest(const short* d, long long first, long long end) {
    long long best = first;
    short bestValue = d[first];
    long long i = first + 1;
    for (; i + kSearchLanes <= end; i += kSearchLanes) {
        short laneMax = d[i];
        for (int k = 1; k < kSearchLanes; ++k) {
            laneMax = d[i + k] > laneMax ? d[i + k] : laneMax;
        }
        if (laneMax > bestValue) {
            for (int k = 0; k < kSearchLanes; ++k) {
                if (d[i + k] == laneMax) {
                    best = i + k;
                    break;
                }
            }
            bestValue = laneMax;
        }
    }
    for (; i < end; ++i) {
        if (d[i] > bestValue) {
            bestValue = d[i];
            best = i;
        }
    }
    return best;
}

// The highest peak of d[first, last]: a peak is a run of equal words (one word
// or a flat top) that lies inside the range and strictly above the word before
// it and the word after it. It must not lie above limit, must lie above the
// no-sample word, and must not be the run that holds exclude. The answer is the
// index of the run's first word, the first of equal peaks; -1 when there is
// none. Lanes without a rising word that could start a better run are skipped.
TORVEL_FOLD_CLONES
long long HighestLocalPeak(const short* d, long long first, long long last, short limit,
                           long long exclude) {
    long long best = -1;
    short floor = kNoSample; // an answer must lie above this
    long long i = first;
    while (i <= last) {
        if (i + kSearchLanes <= last + 1) {
            int any = 0;
            for (int k = 0; k < kSearchLanes; ++k) {
                const short v = d[i + k];
                any |= (v > d[i + k - 1]) & (v <= limit) & (v > floor);
            }
            if (!any) {
                i += kSearchLanes;
                continue;
            }
        }
        const short v = d[i];
        if (v <= d[i - 1] || v > limit || v <= floor) {
            ++i;
            continue;
        }
        long long end = i; // the last word of the run
        while (end < last && d[end + 1] == v) {
            ++end;
        }
        if (d[end + 1] < v && (exclude < i || exclude > end)) {
            best = i;
            floor = v;
        }
        i = end + 1;
    }
    return best;
}

// Whether some word of d[first, end) lies above threshold.
TORVEL_FOLD_CLONES
bool AnyAbove(const short* d, long long first, long long end, short threshold) {
    long long i = first;
    for (; i + kSearchLanes <= end; i += kSearchLanes) {
        int any = 0;
        for (int k = 0; k < kSearchLanes; ++k) {
            any |= d[i + k] > threshold;
        }
        if (any) {
            return true;
        }
    }
    for (; i < end; ++i) {
        if (d[i] > threshold) {
            return true;
        }
    }
    return false;
}

#undef TORVEL_FOLD_CLONES

} // namespace

CTraceStore::CTraceStore()
    : m_id(TakeTraceId()), m_envelope(new POINT[2 * kEnvelopeColumns]),
      m_ownEnvelope(new POINT[2 * kEnvelopeColumns]), m_envelopeX(new int[2 * kEnvelopeColumns]()) {
}

CTraceStore::~CTraceStore() = default;

DWORD CTraceStore::PeekNextId() {
    return s_nextTraceId.load();
}

void CTraceStore::SetNextId(DWORD id) {
    s_nextTraceId.store(id == 0 ? 1 : id);
}

int CTraceStore::Configure(DWORD start, DWORD step, DWORD points) {
    // An array of the same size is kept and refilled below: a grid moved or
    // rebuilt at the same size costs no new memory.
    const bool sameSize = m_data && points == m_points;
    if (!sameSize)
        m_data.reset();
    m_hasData = FALSE;
    m_copied = FALSE;
    m_start = start;
    m_step = step;
    m_points = points;
    m_initialized = 1;
    m_spare = 0;
    m_lastPosition = 0;
    m_envelopeCount = 0;
    m_envelopeXOfColumns = false;
    // A step of 0 would make every grid query divide by zero: such a grid holds
    // no data, like one whose array could not be allocated.
    if (step == 0 || points >= kMaxTracePoints) {
        m_data.reset();
        return 0;
    }
    const size_t words = static_cast<size_t>(points) + 1;
    if (!sameSize)
        m_data.reset(new (std::nothrow) short[words]);
    if (!m_data) {
        return 0;
    }
    std::fill_n(m_data.get(), words, kNoSample);
    return 1;
}

CTraceStore* CTraceStore::GetChainedStore(int k) {
    CTraceStore* store = this;
    while (k >= 1 && store) {
        store = store->m_next;
        --k;
    }
    return store;
}

int CTraceStore::GetChainLength() const {
    int n = 0;
    for (const CTraceStore* s = this; s && n < kMaxChainLength; s = s->m_next) {
        ++n;
    }
    return n;
}

void CTraceStore::StoreBlock(const short* words, int n, DWORD position, BOOL applyUnit) {
    // The block is cut at the end of the grid; a position past the end stores nothing.
    long long count = std::min<long long>(n, static_cast<long long>(m_points) - position);
    if (count < 0 || !words) {
        count = 0;
    }
    const short offset = applyUnit ? UnitOffset(m_unit) : 0;
    m_hasData = TRUE;
    if (m_initialized) {
        // A reinitialised trace is filled with 0x8001, the lowest level word, so
        // every hold starts over from the next block.
        if (m_data) {
            std::fill_n(m_data.get(), m_points, kLowestLevel);
        }
        m_initialized = 0;
        m_lastPosition = m_points + position;
    } else {
        if (m_data && count > 0) {
            short* d = m_data.get() + position;
            const int c = static_cast<int>(count);
            switch (m_traceState) {
            case kTraceMaxHold:
                FoldMaxHold(d, words, c, offset);
                break;
            case kTraceMinHold:
                FoldMinHold(d, words, c, offset);
                break;
            case kTraceWrite:
                FoldWrite(d, words, c, offset);
                break;
            default:
                break; // off or frozen: nothing is stored
            }
        }
        m_lastPosition = position + static_cast<DWORD>(count);
    }
    int k = 0;
    for (CTraceStore* s = this; s && k < kMaxChainLength; s = s->m_next, ++k) {
        s->ResetEnvelope();
    }
}

void CTraceStore::ApplyPendingReset() const {
    if (m_pendingSeed == 0) {
        return;
    }
    POINT* p = m_ownEnvelope.get();
    for (int i = 0; i < 2 * kEnvelopeColumns; ++i) {
        p[i].y = m_pendingSeed;
    }
    m_pendingSeed = 0;
}

void CTraceStore::ApplyOffsetTable(const short* table) {
    if (!m_data || !table) {
        return;
    }
    short* d = m_data.get();
    for (DWORD i = 0; i < m_points; ++i) {
        const long long f = static_cast<long long>(m_start) + static_cast<long long>(i) * m_step;
        const long long mhz = f / 1000;
        if (mhz >= kOffsetTableSize) {
            break; // the table ends at 3200 MHz; the rest of the grid is left as it is
        }
        d[i] = static_cast<short>(d[i] + table[mhz]);
    }
}

void CTraceStore::CopyFrom(const CTraceStore& other) {
    if (&other == this || !m_data || !other.m_data) {
        return;
    }
    if (m_start == other.m_start && m_step == other.m_step && m_points == other.m_points) {
        std::memcpy(m_data.get(), other.m_data.get(), (static_cast<size_t>(m_points) + 1) * 2);
        m_copied = TRUE;
        return;
    }
    if (m_step != other.m_step) {
        return;
    }
    // Equal steps: the points whose frequencies both grids hold.
    const long long delta = static_cast<long long>(other.m_start) - m_start;
    if (delta % m_step != 0) {
        return; // the grids are offset against each other: no point coincides
    }
    const long long shift = delta / m_step; // this index of other's point 0
    const long long first = std::max<long long>(0, shift);
    const long long last = std::min<long long>(m_points, shift + other.m_points); // exclusive
    if (first >= last) {
        return;
    }
    std::memcpy(m_data.get() + first, other.m_data.get() + (first - shift),
                static_cast<size_t>(last - first) * 2);
    m_copied = TRUE;
}

void CTraceStore::SetWord(DWORD i, short word) {
    if (m_data && i < m_points) {
        m_data[i] = word;
    }
}

bool CTraceStore::InRange(long long f) const {
    const long long end =
        static_cast<long long>(m_start) + static_cast<long long>(m_points) * m_step;
    return static_cast<long long>(m_start) <= f && f <= end;
}

long long CTraceStore::IndexUp(long long f) const {
    return (f - static_cast<long long>(m_start) + m_step - 1) / m_step;
}

long long CTraceStore::IndexDown(long long f) const {
    // Truncation toward zero, as the grid's own arithmetic; callers clamp.
    return (f - static_cast<long long>(m_start)) / m_step;
}

short CTraceStore::Sample(long long f) const {
    if (!m_data || !InRange(f)) {
        return kNoSample;
    }
    // The index is taken upward; at start + points x step it is the extra word.
    return m_data[IndexUp(f)];
}

double CTraceStore::Level(long long f) const {
    return Sample(f) * kLevelUnitDb;
}

long long CTraceStore::Snap(long long f) const {
    if (!m_data || !InRange(f)) {
        return 0;
    }
    // The nearest grid point, halves going up. The remainder is compared with
    // the half step as 2 x remainder >= step: with step / 2 in integers a step
    // of 1 would move every x one point up, and an odd step would round a
    // remainder of step / 2 up although the point below is nearer.
    const long long d = f - static_cast<long long>(m_start);
    long long s = static_cast<long long>(m_start) + static_cast<long long>(m_step) * (d / m_step);
    if (2 * (d % m_step) >= static_cast<long long>(m_step)) {
        s += m_step;
    }
    return s;
}

double CTraceStore::Difference(long long f1, long long f2) const {
    if (!m_data || !InRange(f1) || !InRange(f2)) {
        return kNoLevelDb;
    }
    // The difference of two words can exceed the 16-bit range (a level against
    // the reinitialisation word), so it is taken in int.
    const int diff = static_cast<int>(Sample(f1)) - static_cast<int>(Sample(f2));
    return diff * kLevelUnitDb;
}

double CTraceStore::BandPower(long long f, long long width) const {
    if (!m_data || !InRange(f) || !InRange(f + width)) {
        return kNoLevelDb;
    }
    const long long index = IndexUp(f);
    long long count = (width + m_step - 1) / m_step;
    // Both ends lie on the grid, so index + count never passes the extra word.
    count = std::clamp<long long>(count, 1, static_cast<long long>(m_points) + 1 - index);
    const short power = AccumulatePower(m_data.get() + index, static_cast<int>(count));
    return power * kLevelUnitDb;
}

long long CTraceStore::Peak(long long f1, long long f2) const {
    if (!m_data) {
        return m_start;
    }
    const long long first = std::max<long long>(0, IndexDown(f1));
    const long long end = std::min<long long>(IndexDown(f2), m_points);
    if (first >= end) {
        return m_start;
    }
    const long long best = FirstLargest(m_data.get(), first, end);
    return static_cast<long long>(m_start) + best * m_step;
}

long long CTraceStore::NextPeak(long long reference, long long f1, long long f2) const {
    if (!m_data) {
        return m_start;
    }
    const short limit = Sample(reference);
    const long long refIndex = InRange(reference) ? IndexUp(reference) : -1;
    // Every candidate has both neighbours inside the peak range.
    const long long first = std::max<long long>(1, IndexDown(f1) + 1);
    const long long last = std::min<long long>(IndexDown(f2), m_points) - 2; // inclusive
    const long long best = HighestLocalPeak(m_data.get(), first, last, limit, refIndex);
    return best < 0 ? static_cast<long long>(m_start)
                    : static_cast<long long>(m_start) + best * m_step;
}

bool CTraceStore::TestedRange(long long f1, long long f2, long long* first, long long* last) const {
    if (!m_data || m_points == 0 || f2 < static_cast<long long>(m_start)) {
        return false;
    }
    // The point of f2 belongs to the range: a carrier exactly at the stop
    // frequency of a window is a level in that window.
    *first = std::max<long long>(0, IndexDown(f1));
    *last = std::min<long long>(IndexDown(f2), static_cast<long long>(m_points) - 1);
    return *first <= *last;
}

int CTraceStore::ThresholdWord(double level, short* word) {
    const long long threshold = DbToWords(level);
    if (threshold >= 32767) {
        return -1; // no word lies above it
    }
    if (threshold < -32768) {
        return 1; // every word lies above it
    }
    *word = static_cast<short>(threshold);
    return 0;
}

int CTraceStore::Exceeds(double level, long long f1, long long f2) const {
    long long first = 0, last = 0;
    if (!TestedRange(f1, f2, &first, &last)) {
        return 0;
    }
    short threshold = 0;
    if (const int all = ThresholdWord(level, &threshold); all != 0) {
        return all > 0 ? 1 : 0;
    }
    return AnyAbove(m_data.get(), first, last + 1, threshold) ? 1 : 0;
}

LevelSide CTraceStore::SideOf(double level, long long f1, long long f2) const {
    long long first = 0, last = 0;
    if (!TestedRange(f1, f2, &first, &last)) {
        return LevelSide::kUnknown;
    }
    short threshold = 0;
    const int all = ThresholdWord(level, &threshold);
    bool measured = true;
    for (long long i = first; i <= last; ++i) {
        const short word = m_data[static_cast<size_t>(i)];
        if (!IsMeasuredWord(word)) {
            measured = false;
        } else if (all > 0 || (all == 0 && word > threshold)) {
            return LevelSide::kAbove;
        }
    }
    return measured ? LevelSide::kBelow : LevelSide::kUnknown;
}

int CTraceStore::SaveState(const char* section) {
    int ok = 1;
    ok &= WriteSettingFileINT(section, "TraceState", m_traceState);
    ok &= WriteSettingFileINT(section, "CompareMode", m_compareMode);
    ok &= WriteSettingFileINT(section, "InitializedFlag", m_initialized);
    ok &= WriteSettingFileINT(section, "UnitFlag", m_unit);
    return ok;
}

int CTraceStore::LoadState(const char* section) {
    int ok = 1;
    int v = m_traceState;
    if (GetSettingFileINT(section, "TraceState", &v)) {
        m_traceState = static_cast<BYTE>(v);
    } else {
        ok = 0;
    }
    v = m_compareMode;
    if (GetSettingFileINT(section, "CompareMode", &v)) {
        m_compareMode = static_cast<BYTE>(v);
    } else {
        ok = 0;
    }
    v = m_initialized;
    if (GetSettingFileINT(section, "InitializedFlag", &v)) {
        m_initialized = static_cast<BYTE>(v);
    } else {
        ok = 0;
    }
    v = m_unit;
    if (GetSettingFileINT(section, "UnitFlag", &v)) {
        m_unit = static_cast<BYTE>(v);
    } else {
        ok = 0;
    }
    return ok;
}
