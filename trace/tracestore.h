// CTraceStore: one measured trace on a regular frequency (or time) grid, held as
// signed 16-bit level words of 1/163.84 dB. Received blocks are folded in by the
// trace state (write, max hold, min hold); the store answers level, difference,
// band-power, peak, next-peak and threshold queries, formats readout texts, keeps
// the per-pixel-column envelope of its last drawing, and saves its four state
// values in a setting data file. Every analysis core owns a data line and five
// traces of this kind.
#pragma once

#include "platform/cstring.h"
#include "platform/wintypes.h"

#include <array>
#include <memory>
#include <vector>

// The level word: level in dB = word x 0.006103515625 (1/163.84).
constexpr double kLevelUnitDb = 0.006103515625;
constexpr double kWordsPerDb = 163.84;
// 0x8080: no sample (a fresh grid, or a query outside the grid).
constexpr short kNoSample = static_cast<short>(0x8080);
// 0x8001: the lowest level word, written by a reinitialisation.
constexpr short kLowestLevel = static_cast<short>(0x8001);
// The level of a query that cannot be answered.
constexpr double kNoLevelDb = -199.0;

// Offsets added to stored words for the units of display.
constexpr short kUnitOffsetDbuv113 = 0x4851; // unit 2: about 113 dB
constexpr short kUnitOffsetDbuv107 = 0x447A; // unit 3: about 107 dB

// Trace states.
constexpr BYTE kTraceOff = 0;     // not shown, nothing stored
constexpr BYTE kTraceView = 1;    // shown, frozen: nothing stored
constexpr BYTE kTraceMaxHold = 2; // a new word is kept where it is higher
constexpr BYTE kTraceMinHold = 3; // a new word is kept where it is lower
constexpr BYTE kTraceWrite = 4;   // the newest block replaces the old words

// Compare modes: how the samples of one pixel column are reduced for drawing.
constexpr BYTE kCompareHighest = 0;
constexpr BYTE kCompareLowest = 1;
constexpr BYTE kCompareMean = 2;
constexpr BYTE kCompareBoth = 3;

// Readout flags.
constexpr int kReadoutTimeAxis = 0x1; // x is a time in microseconds, else a frequency in kHz
constexpr int kReadoutRelative = 0x2; // the level is relative ("dBc")

// The envelope holds one entry per pixel column of the last drawing.
constexpr int kEnvelopeColumns = 2000;
// A reset envelope column: max hold and write take any new y below 0x10000,
// min hold any new y above -1.
constexpr int kEnvelopeSeedHigh = 0x10000;
constexpr int kEnvelopeSeedLow = -1;
// Chains are walked at most this far (a core chains six stores).
constexpr int kMaxChainLength = 64;
// The grid never holds more points than this; a larger request is refused like
// an allocation failure.
constexpr DWORD kMaxTracePoints = 1u << 24;

// The side of a level that a measurement lies on (CTraceStore::SideOf).
enum class LevelSide { kBelow, kAbove, kUnknown };

class CTraceStore {
public:
    CTraceStore();
    CTraceStore(const CTraceStore&) = delete;
    CTraceStore& operator=(const CTraceStore&) = delete;
    virtual ~CTraceStore();

    // Builds a fresh grid of points + 1 words, all kNoSample, and sets the
    // initialized flag so the next block restarts the trace. 0 when the array
    // cannot be allocated (or the step is 0, or the grid is too large); the
    // store then has no data and every query answers kNoSample or -199.0.
    virtual int Configure(DWORD start, DWORD step, DWORD points);
    // k < 1: this store; otherwise the next store's (k - 1)-th.
    virtual CTraceStore* GetChainedStore(int k);
    // Folds n words received for grid position `position` into the trace by its
    // state; the unit offset is added when applyUnit is set. A block that runs
    // past the end of the grid is cut there. With the initialized flag set the
    // block only restarts the trace (every point becomes kLowestLevel).
    virtual void StoreBlock(const short* words, int n, DWORD position, BOOL applyUnit);
    // Adds table[frequency / 1000] (one signed offset per MHz, kOffsetTableSize
    // entries) to every point; points beyond the table get nothing.
    virtual void ApplyOffsetTable(const short* table);
    // The point mapping of the drawing: maps the grid points inside xa..xb onto
    // the pixel columns of rect (x by frequency, y by level between ymax at the
    // top and ymin at the bottom) and keeps one point per column by the compare
    // mode; the chained stores then merge the result into their own envelopes.
    // Returns the x and y factors in *fx and *fy (0 when nothing was mapped).
    virtual void MakePoints(const RECT& rect, int xa, int xb, double ymax, double ymin, int* fx,
                            int* fy);
    // The points MakePoints makes when every pixel column of rect holds one
    // sample (a short trace in a wide box), written to out (room for
    // kEnvelopeColumns points) instead of the envelope, which stays as it was
    // (nor are they merged into the chained stores). Returns their count, or
    // -1 when nothing is mapped or a column holds more than one sample.
    int MakeColumnPoints(const RECT& rect, int xa, int xb, double ymax, double ymin, POINT* out);
    // Merges n envelope points into this store's own envelope by its state
    // (max hold keeps the smaller y, min hold the larger, write replaces), then
    // passes them on along the chain.
    virtual void MergeEnvelope(const POINT* pairs, int n);
    // "TraceState", "CompareMode", "InitializedFlag", "UnitFlag" in the given
    // section; 1 only when every item succeeded. A missing key keeps the value.
    virtual int SaveState(const char* section);
    virtual int LoadState(const char* section);

    // The whole array is copied when the grids are equal; with equal steps the
    // overlapping part of the grids is copied to its place; otherwise nothing.
    void CopyFrom(const CTraceStore& other);

    // Queries. Frequencies (or times) are in the grid's unit.
    bool InRange(long long f) const;
    short Sample(long long f) const;
    double Level(long long f) const;
    // The grid frequency nearest to f (halves going up); 0 outside the grid.
    long long Snap(long long f) const;
    double Difference(long long f1, long long f2) const;
    double BandPower(long long f, long long width) const;
    long long Peak(long long f1, long long f2) const;
    // The next lower peak after the one at reference: a run of equal words
    // counts as one peak at its first word, compared with the words on either
    // side of the run; the run holding the reference is never the answer.
    long long NextPeak(long long reference, long long f1, long long f2) const;
    // The threshold tests look at the points from the index of f1 up to and
    // including the index of f2 (a carrier exactly at f2 is in the range),
    // held within the grid. Exceeds: 1 when some word there lies above level
    // (truncated to whole level words), else 0 (also for an empty range).
    int Exceeds(double level, long long f1, long long f2) const;
    // Which side of level the measurement of that range is on: above when a
    // measured word lies above it; below only when every word of the range
    // is measured and none lies above; unknown otherwise (a no-sample or
    // fill word with nothing measured above, an empty range, no data), so
    // that words nobody measured never count as a level on either side.
    LevelSide SideOf(double level, long long f1, long long f2) const;
    // The x of the envelope point nearest to pixel column px (the right one on a
    // tie); the first or last point's x beyond the ends; 0 without an envelope.
    int PixelToX(int px) const;
    // The envelope point that stands for x: the first whose x is not below it,
    // else the last. False without an envelope.
    bool PointOfX(long long x, POINT* point) const;

    // Readout texts: "<x><unit> <level><unit>" by the readout flags and the unit.
    CString MarkerText(double x, double level, int flags) const;
    CString UnitText(int flags) const;
    // The offset of unit u added to stored words.
    static short UnitOffset(int unit) {
        return unit == 2 ? kUnitOffsetDbuv113 : unit == 3 ? kUnitOffsetDbuv107 : 0;
    }

    // The chain of stores drawn together.
    void SetNext(CTraceStore* next) { m_next = next; }
    CTraceStore* GetNext() const { return m_next; }
    int GetChainLength() const;

    DWORD GetId() const { return m_id; }
    DWORD GetPoints() const { return m_points; }
    DWORD GetStart() const { return m_start; }
    DWORD GetStep() const { return m_step; }
    bool HasArray() const { return m_data != nullptr; }
    // The grid's words (points + 1 of them), or null.
    const short* GetData() const { return m_data.get(); }
    // Sets the word at index i of the grid (CSV reading); ignored outside it.
    void SetWord(DWORD i, short word);

    BYTE GetTraceState() const { return m_traceState; }
    void SetTraceState(BYTE state) { m_traceState = state; }
    BYTE GetCompareMode() const { return m_compareMode; }
    void SetCompareMode(BYTE mode) { m_compareMode = mode; }
    BYTE GetInitializedFlag() const { return m_initialized; }
    void SetInitializedFlag(BYTE flag) { m_initialized = flag; }
    BYTE GetUnit() const { return m_unit; }
    void SetUnit(BYTE unit) { m_unit = unit; }
    DWORD GetLastPosition() const { return m_lastPosition; }
    BOOL GetHasData() const { return m_hasData; }
    BOOL GetCopied() const { return m_copied; }

    // The envelope of the last drawing: the main points, this store's own
    // (merged) points, and the x of the sample each main point stands for.
    // The points run from left to right: their x never decreases.
    const POINT* GetEnvelopePoints() const { return m_envelope.get(); }
    const POINT* GetOwnPoints() const {
        ApplyPendingReset();
        return m_ownEnvelope.get();
    }
    const int* GetEnvelopeX() const { return m_envelopeX.get(); }
    int GetEnvelopeCount() const { return m_envelopeCount; }

    // The process-wide id counter (the next id handed out); for tests.
    static DWORD PeekNextId();
    static void SetNextId(DWORD id);

private:
    long long IndexUp(long long f) const; // ceiling index of f
    long long IndexDown(long long f) const;
    // The indexes the threshold tests look at, first..last (both included);
    // false when the range holds no grid point.
    bool TestedRange(long long f1, long long f2, long long* first, long long* last) const;
    // A threshold as a level word: -1 when no word can lie above it, 1 when
    // every word does, else 0 with the word in *word.
    static int ThresholdWord(double level, short* word);
    // Resets this store's own envelope by its state. The seed is taken now and
    // written when the envelope is next used, so folding a block costs nothing
    // per envelope column.
    void ResetEnvelope() {
        if (m_traceState == kTraceMaxHold || m_traceState == kTraceWrite) {
            m_pendingSeed = kEnvelopeSeedHigh;
        } else if (m_traceState == kTraceMinHold) {
            m_pendingSeed = kEnvelopeSeedLow;
        }
    }
    void ApplyPendingReset() const;

    DWORD m_id;
    CTraceStore* m_next = nullptr;
    std::unique_ptr<short[]> m_data;
    std::unique_ptr<POINT[]> m_envelope;
    std::unique_ptr<POINT[]> m_ownEnvelope;
    std::unique_ptr<int[]> m_envelopeX;
    DWORD m_points = 0;
    DWORD m_start = 0;
    DWORD m_step = 0;
    DWORD m_spare = 0;
    BYTE m_traceState = kTraceWrite;
    BYTE m_compareMode = kCompareHighest;
    BYTE m_initialized = 1;
    BYTE m_unit = 1;
    DWORD m_lastPosition = 0;
    BOOL m_hasData = FALSE;
    BOOL m_copied = FALSE;
    int m_envelopeCount = 0;
    // Where each pixel column of the last mapping begins (sample indices, one
    // more entry for the end) and what they follow from: the grid, the window
    // and the rectangle's columns seldom change from one drawing to the next.
    std::vector<long long> m_columnStarts;
    // The mapping of one drawing (traceenvelope.cpp). SetUpMapping makes it
    // and the columns for MakePoints' arguments; false (with the factors 0
    // when nothing is mapped) when there is nothing to map.
    struct Mapping;
    bool SetUpMapping(const RECT& rect, int xa, int xb, double ymax, double ymin, int* fx, int* fy,
                      Mapping& mapping);
    // Whether the columns of the last mapping hold one sample each.
    bool EveryColumnOneSample() const;
    std::array<long long, 9> m_columnsOf{};
    // Whether the envelope's x (the points' columns and their samples' x) are
    // those the mapping of every column one sample left for these columns:
    // a later mapping of that kind then writes only the rows.
    bool m_envelopeXOfColumns = false;
    // Per pixel row of the last level mapping: the smallest and the largest
    // word that land on it (INT_MIN until first needed), and what they follow from.
    std::vector<int> m_rowHighest, m_rowLowest;
    std::array<long long, 5> m_rowsOf{};
    // The seed a reset left for this store's own envelope (0: none pending).
    mutable int m_pendingSeed = 0;
};

// The level-offset table: one signed offset (level words) per MHz from 0 MHz.
constexpr int kOffsetTableSize = 3200;
