// Trace store: folding of received blocks, level queries at the grid's
// boundaries, peak searches, readout texts, setting-file keys and the drawing
// envelope.
#include "trace/tracestore.h"

#include "lib/settingfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<short> Words(const CTraceStore& s) {
    return std::vector<short>(s.GetData(), s.GetData() + s.GetPoints() + 1);
}

// A configured store whose first (reinitialising) block has been taken.
void Prime(CTraceStore& s, DWORD start, DWORD step, DWORD points, BYTE state = kTraceWrite) {
    ASSERT_EQ(s.Configure(start, step, points), 1);
    s.SetTraceState(state);
    short dummy = 0;
    s.StoreBlock(&dummy, 1, 0, FALSE);
}

} // namespace

TEST(TraceStoreId, CounterSkipsZeroWhenItWraps) {
    const DWORD saved = CTraceStore::PeekNextId();
    CTraceStore::SetNextId(0xFFFFFFFFu);
    CTraceStore a;
    CTraceStore b;
    CTraceStore c;
    EXPECT_EQ(a.GetId(), 0xFFFFFFFFu);
    EXPECT_EQ(b.GetId(), 1u);
    EXPECT_EQ(c.GetId(), 2u);
    CTraceStore::SetNextId(saved);
}

TEST(TraceStoreConfigure, FreshGridIsNoSampleAndRestartsOnFirstBlock) {
    CTraceStore s;
    ASSERT_EQ(s.Configure(1000, 10, 5), 1);
    EXPECT_EQ(Words(s), std::vector<short>(6, kNoSample));
    EXPECT_EQ(s.GetInitializedFlag(), 1);
    EXPECT_FALSE(s.GetHasData());

    // The first block only restarts the trace: every point (not the extra word)
    // becomes the lowest word and the block itself is not stored.
    const short block[] = {100, 200};
    s.StoreBlock(block, 2, 1, FALSE);
    EXPECT_EQ(Words(s), (std::vector<short>{kLowestLevel, kLowestLevel, kLowestLevel, kLowestLevel,
                                            kLowestLevel, kNoSample}));
    EXPECT_EQ(s.GetInitializedFlag(), 0);
    EXPECT_EQ(s.GetLastPosition(), 6u); // points + position
    EXPECT_TRUE(s.GetHasData());

    // Configured again at the same size (its array kept) or another, the grid
    // is fresh; a step of 0 after a kept array holds no data.
    for (const DWORD points : {5u, 5u, 3u}) {
        s.StoreBlock(block, 2, 1, FALSE);
        ASSERT_EQ(s.Configure(2000, 20, points), 1);
        EXPECT_EQ(Words(s), std::vector<short>(points + 1, kNoSample));
        EXPECT_EQ(s.GetInitializedFlag(), 1);
        EXPECT_FALSE(s.GetHasData());
        EXPECT_EQ(s.GetLastPosition(), 0u);
    }
    EXPECT_EQ(s.Configure(2000, 0, 3), 0);
    EXPECT_FALSE(s.HasArray());
}

TEST(TraceStoreConfigure, StepZeroOrHugeGridHoldsNoData) {
    CTraceStore s;
    EXPECT_EQ(s.Configure(1000, 0, 100), 0);
    EXPECT_FALSE(s.HasArray());
    EXPECT_EQ(s.Sample(1000), kNoSample);
    EXPECT_EQ(s.BandPower(1000, 10), kNoLevelDb);
    EXPECT_EQ(s.Peak(1000, 2000), 1000);
    EXPECT_EQ(s.Exceeds(-300.0, 0, 100000), 0);
    short w = 5;
    s.StoreBlock(&w, 1, 0, FALSE); // no crash without an array
    EXPECT_EQ(s.Configure(0, 1, 0xFFFFFFFFu), 0);
    EXPECT_FALSE(s.HasArray());
}

TEST(TraceStoreFold, BlockPastTheEndIsCut) {
    CTraceStore s;
    Prime(s, 0, 1, 10);
    const short block[] = {1, 2, 3, 4, 5};
    s.StoreBlock(block, 5, 8, FALSE);
    const auto w = Words(s);
    EXPECT_EQ(w[8], 1);
    EXPECT_EQ(w[9], 2);
    EXPECT_EQ(w[10], kNoSample); // the extra word is never written
    EXPECT_EQ(s.GetLastPosition(), 10u);

    // A position beyond the grid stores nothing and does not crash.
    s.StoreBlock(block, 5, 12, FALSE);
    EXPECT_EQ(Words(s), w);
}

TEST(TraceStoreFold, MaxMinAndWriteOnSequences) {
    const short a[] = {-1000, 500, 30, -7};
    const short b[] = {-2000, 900, 10, -7};
    const short c[] = {-1500, 100, 40, -8};

    CTraceStore maxHold, minHold, write;
    Prime(maxHold, 0, 1, 4, kTraceMaxHold);
    Prime(minHold, 0, 1, 4, kTraceMinHold);
    Prime(write, 0, 1, 4, kTraceWrite);
    for (const short* block : {a, b, c}) {
        maxHold.StoreBlock(block, 4, 0, FALSE);
        minHold.StoreBlock(block, 4, 0, FALSE);
        write.StoreBlock(block, 4, 0, FALSE);
    }
    EXPECT_EQ(Words(maxHold), (std::vector<short>{-1000, 900, 40, -7, kNoSample}));
    EXPECT_EQ(Words(minHold), (std::vector<short>{-2000, 100, 10, -8, kNoSample}));
    EXPECT_EQ(Words(write), (std::vector<short>{-1500, 100, 40, -8, kNoSample}));
    EXPECT_EQ(write.GetLastPosition(), 4u);
}

TEST(TraceStoreFold, ReinitialisationThenHoldStartsOver) {
    CTraceStore maxHold, minHold;
    Prime(maxHold, 0, 1, 3, kTraceMaxHold);
    Prime(minHold, 0, 1, 3, kTraceMinHold);
    const short high[] = {1000, 1000, 1000};
    const short low[] = {-3000, -3000, -3000};
    const short mid[] = {-100, -200, -300};
    maxHold.StoreBlock(high, 3, 0, FALSE);
    minHold.StoreBlock(low, 3, 0, FALSE);

    // Reinitialise: the next block clears, the block after it starts the hold.
    maxHold.SetInitializedFlag(1);
    minHold.SetInitializedFlag(1);
    maxHold.StoreBlock(high, 3, 0, FALSE);
    minHold.StoreBlock(low, 3, 0, FALSE);
    EXPECT_EQ(Words(maxHold)[0], kLowestLevel);
    EXPECT_EQ(Words(minHold)[0], kLowestLevel);

    maxHold.StoreBlock(mid, 3, 0, FALSE);
    minHold.StoreBlock(mid, 3, 0, FALSE);
    EXPECT_EQ(Words(maxHold), (std::vector<short>{-100, -200, -300, kNoSample}));
    // A min hold takes the first words after the reinitialisation, then keeps lows.
    EXPECT_EQ(Words(minHold), (std::vector<short>{-100, -200, -300, kNoSample}));
    const short lower[] = {-150, -100, -400};
    minHold.StoreBlock(lower, 3, 0, FALSE);
    EXPECT_EQ(Words(minHold), (std::vector<short>{-150, -200, -400, kNoSample}));
}

TEST(TraceStoreFold, UnitOffsetAndFrozenStates) {
    CTraceStore s;
    Prime(s, 0, 1, 2);
    s.SetUnit(2);
    const short block[] = {-16384, 0};
    s.StoreBlock(block, 2, 0, TRUE);
    EXPECT_EQ(Words(s)[0], static_cast<short>(-16384 + 0x4851));
    EXPECT_EQ(Words(s)[1], 0x4851);
    s.SetUnit(3);
    s.StoreBlock(block, 2, 0, TRUE);
    EXPECT_EQ(Words(s)[1], 0x447A);
    s.StoreBlock(block, 2, 0, FALSE);
    EXPECT_EQ(Words(s)[1], 0);

    // A no-sample word holds no level: it stays one in every unit, replaces
    // no level of a hold, and the next level replaces it.
    const short gap[] = {kNoSample, kNoSample};
    s.SetTraceState(kTraceWrite);
    s.StoreBlock(gap, 2, 0, TRUE);
    EXPECT_EQ(Words(s)[0], kNoSample);
    for (BYTE state : {kTraceMaxHold, kTraceMinHold}) {
        s.SetTraceState(kTraceWrite);
        s.StoreBlock(block, 2, 0, TRUE);
        s.SetTraceState(state);
        s.StoreBlock(gap, 2, 0, TRUE);
        EXPECT_EQ(Words(s)[1], 0x447A) << int(state);
    }
    s.SetTraceState(kTraceWrite);
    s.StoreBlock(gap, 2, 0, TRUE);
    s.SetTraceState(kTraceMinHold);
    s.StoreBlock(block, 2, 0, TRUE);
    EXPECT_EQ(Words(s)[1], 0x447A);
    s.SetTraceState(kTraceWrite);
    s.StoreBlock(block, 2, 0, FALSE);

    const short other[] = {7, 7};
    for (BYTE state : {kTraceOff, kTraceView}) {
        s.SetTraceState(state);
        s.StoreBlock(other, 2, 0, FALSE);
        EXPECT_EQ(Words(s)[1], 0) << int(state);
    }
}

TEST(TraceStoreFold, StoreResetsTheChainsEnvelopes) {
    CTraceStore line, maxTrace, minTrace;
    line.SetNext(&maxTrace);
    maxTrace.SetNext(&minTrace);
    EXPECT_EQ(line.GetChainLength(), 3);
    EXPECT_EQ(line.GetChainedStore(0), &line);
    EXPECT_EQ(line.GetChainedStore(2), &minTrace);
    EXPECT_EQ(line.GetChainedStore(3), nullptr);
    maxTrace.SetTraceState(kTraceMaxHold);
    minTrace.SetTraceState(kTraceMinHold);
    ASSERT_EQ(line.Configure(0, 1, 4), 1);
    short w = 1;
    line.StoreBlock(&w, 1, 0, FALSE);
    EXPECT_EQ(line.GetOwnPoints()[0].y, 0x10000);
    EXPECT_EQ(maxTrace.GetOwnPoints()[1999].y, 0x10000);
    EXPECT_EQ(minTrace.GetOwnPoints()[0].y, -1);
}

TEST(TraceStoreQuery, RangeBoundariesAndCeilingIndex) {
    CTraceStore s;
    Prime(s, 1000, 10, 100);
    std::vector<short> block(100);
    for (int i = 0; i < 100; ++i) {
        block[i] = static_cast<short>(i * 10);
    }
    s.StoreBlock(block.data(), 100, 0, FALSE);

    EXPECT_TRUE(s.InRange(1000));
    EXPECT_TRUE(s.InRange(2000)); // exactly start + points x step
    EXPECT_FALSE(s.InRange(2001));
    EXPECT_FALSE(s.InRange(999));
    EXPECT_EQ(s.Sample(1000), 0);
    EXPECT_EQ(s.Sample(1001), 10); // the index is taken upward
    EXPECT_EQ(s.Sample(1010), 10);
    EXPECT_EQ(s.Sample(1990), 990);
    EXPECT_EQ(s.Sample(2000), kNoSample); // the extra word
    EXPECT_EQ(s.Sample(2001), kNoSample);
    EXPECT_DOUBLE_EQ(s.Level(1010), 10 * 0.006103515625);
    EXPECT_DOUBLE_EQ(s.Level(5000), kNoSample * 0.006103515625);

    EXPECT_EQ(s.Snap(1004), 1000);
    EXPECT_EQ(s.Snap(1005), 1010); // halves go up
    EXPECT_EQ(s.Snap(2000), 2000);
    EXPECT_EQ(s.Snap(2001), 0);

    EXPECT_DOUBLE_EQ(s.Difference(1100, 1050), 50 * 0.006103515625);
    EXPECT_EQ(s.Difference(1100, 2001), kNoLevelDb);
    EXPECT_EQ(s.Difference(999, 1100), kNoLevelDb);
}

TEST(TraceStoreQuery, SnapTakesTheNearestPointForEveryStepAndKeepsGridPoints) {
    for (DWORD step = 1; step <= 25; ++step) {
        CTraceStore s;
        const long long start = 7000;
        ASSERT_EQ(s.Configure(static_cast<DWORD>(start), step, 12), 1);
        const long long end = start + 12LL * step;
        for (long long x = start; x <= end; ++x) {
            const long long below = start + (x - start) / step * step;
            const long long above = below + step;
            // The nearer neighbour; an exact half goes up.
            const long long nearest = (x - below) < (above - x) ? below : above;
            const long long snapped = s.Snap(x);
            ASSERT_EQ(snapped, nearest) << "step " << step << " x " << x;
            // A point on the grid stays where it is, so placing a marker again
            // (every reconfiguration does) never moves it.
            ASSERT_EQ(s.Snap(snapped), snapped) << "step " << step << " x " << x;
        }
    }
}

TEST(TraceStoreQuery, DifferenceAgainstTheReinitialisationWordDoesNotWrap) {
    CTraceStore s;
    Prime(s, 0, 1, 4);
    const short w = 5000;
    s.StoreBlock(&w, 1, 0, FALSE); // index 1..3 keep 0x8001
    EXPECT_DOUBLE_EQ(s.Difference(0, 2), (5000 + 32767) * 0.006103515625);
}

TEST(TraceStoreQuery, BandPowerSumsThroughThePowerTable) {
    CTraceStore s;
    Prime(s, 0, 100, 10);
    const short block[] = {-8192, -8192, -8192, -8192};
    s.StoreBlock(block, 4, 0, FALSE);
    // Two equal levels sum to the level plus 493 words (about 3.01 dB).
    EXPECT_DOUBLE_EQ(s.BandPower(0, 200), (-8192 + 493) * 0.006103515625);
    EXPECT_DOUBLE_EQ(s.BandPower(0, 150), (-8192 + 493) * 0.006103515625); // ceil(150/100) = 2
    EXPECT_DOUBLE_EQ(s.BandPower(0, 0), -8192 * 0.006103515625);
    EXPECT_EQ(s.BandPower(0, 1001), kNoLevelDb);
    EXPECT_EQ(s.BandPower(-1, 100), kNoLevelDb);
    // Up to the very end of the grid stays inside the array.
    EXPECT_NE(s.BandPower(900, 100), kNoLevelDb);
}

TEST(TraceStoreQuery, PeakOfRangeAndNextPeaksDescend) {
    CTraceStore s;
    Prime(s, 0, 10, 20);
    //                 0     1    2    3    4    5    6    7    8    9
    std::vector<short> w{900, 100, 500, 100, 800, 100, 700, 700, 100, 300,
                         //  10   11   12   13   14   15   16   17   18   19
                         100, 600, 100, 50, 400, 400, 100, 200, 100, 999};
    s.StoreBlock(w.data(), 20, 0, FALSE);

    // The first sample is the largest of its range.
    EXPECT_EQ(s.Peak(0, 190), 0);
    // The end index is excluded; index 19 (999) is outside 0..180.
    EXPECT_EQ(s.Peak(10, 190), 40);
    EXPECT_EQ(s.Peak(0, 200), 190);
    EXPECT_EQ(s.Peak(50, 50), 0);   // empty range: the store's start
    EXPECT_EQ(s.Peak(-500, 15), 0); // a range that starts before the grid is clipped

    // Peaks of 1..18 (runs of equal words strictly above the words on either
    // side): 2 (500), 4 (800), 6-7 (700), 9 (300), 11 (600), 14-15 (400),
    // 17 (200). A flat top is one peak, found at its first word.
    std::vector<long long> seq;
    long long ref = s.Peak(10, 200); // 190 (999)
    for (int k = 0; k < 8; ++k) {
        ref = s.NextPeak(ref, 0, 200);
        seq.push_back(ref);
    }
    // After the lowest peak there is none left: the answer is the store's start.
    EXPECT_EQ(seq, (std::vector<long long>{40, 60, 110, 20, 140, 90, 170, 0}));
    // A reference anywhere on a flat top excludes the whole top.
    EXPECT_EQ(s.NextPeak(70, 0, 200), 110);
    // A run is a peak only with the words on both its sides inside the range.
    EXPECT_EQ(s.NextPeak(40, 0, 90), 60);
    EXPECT_EQ(s.NextPeak(40, 0, 80), 20);

    // The reference sample itself is never the answer, even among equals.
    EXPECT_EQ(s.NextPeak(40, 30, 60), 0);
    // Out-of-range reference: nothing qualifies.
    EXPECT_EQ(s.NextPeak(5000, 0, 200), 0);
}

TEST(TraceStoreQuery, NextPeakSkipsNoSampleWords) {
    CTraceStore s;
    ASSERT_EQ(s.Configure(0, 1, 6), 1); // never folded: all 0x8080
    s.SetWord(2, static_cast<short>(-32000));
    s.SetWord(3, kNoSample);
    s.SetWord(4, static_cast<short>(-32700));
    s.SetWord(5, static_cast<short>(-32700));
    s.SetWord(1, kNoSample);
    s.SetWord(0, static_cast<short>(-32700));
    // Index 2 is a peak above its neighbours; nothing else is.
    EXPECT_EQ(s.NextPeak(2, 0, 6), 0);
    s.SetWord(4, static_cast<short>(-31000));
    EXPECT_EQ(s.NextPeak(4, 0, 6), 2);
}

// The threshold tests look at every point from the index of f1 up to and
// including the index of f2, held to the grid: a carrier at a window's stop
// frequency is in the window.
TEST(TraceStoreQuery, ExceedsTestsEveryPointUpToAndIncludingTheEndOfItsRange) {
    CTraceStore s;
    Prime(s, 0, 10, 6);
    const short w[] = {0, 164, 0, 0, 0, 5000};
    s.StoreBlock(w, 6, 0, FALSE);
    EXPECT_EQ(s.Exceeds(1.0, 0, 60), 1);    // 1.0 dB = 163.84 -> 163; 164 is above
    EXPECT_EQ(s.Exceeds(1.01, 0, 49), 0);   // 165 words: only index 5 lies above
    EXPECT_EQ(s.Exceeds(1.01, 0, 50), 1);   // the point at the range's end counts
    EXPECT_EQ(s.Exceeds(1.01, 0, 5000), 1); // an end past the grid: its last point
    EXPECT_EQ(s.Exceeds(1.0, 20, 49), 0);
    EXPECT_EQ(s.Exceeds(-100.0, 30, 30), 1); // a range of one point
    EXPECT_EQ(s.Exceeds(-100.0, 40, 20), 0); // an empty range
    EXPECT_EQ(s.Exceeds(-100.0, -30, -1), 0);
    EXPECT_EQ(s.Exceeds(-100.0, 0, 10), 1);
}

// Only a measured word says on which side of a level a range lies: the
// no-sample word of a fresh grid and the fill of a reinitialisation say
// nothing, below counts only when every point is measured, above as soon as
// one measured point lies above.
TEST(TraceStoreQuery, TheSideOfALevelCountsOnlyMeasuredWords) {
    CTraceStore s;
    ASSERT_EQ(s.Configure(0, 10, 6), 1);
    EXPECT_EQ(s.SideOf(-150.0, 0, 50), LevelSide::kUnknown);
    const short first = 0;
    s.StoreBlock(&first, 1, 0, FALSE); // only restarts the trace: the lowest word everywhere
    EXPECT_EQ(s.SideOf(-150.0, 0, 50), LevelSide::kUnknown);
    EXPECT_EQ(s.SideOf(-1000.0, 0, 50), LevelSide::kUnknown);
    const short low[] = {-1000, -1000, -1000};
    s.StoreBlock(low, 3, 0, FALSE); // -6.1 dB on points 0..2
    EXPECT_EQ(s.SideOf(-1.0, 0, 20), LevelSide::kBelow);
    EXPECT_EQ(s.SideOf(-1.0, 0, 50), LevelSide::kUnknown);
    EXPECT_EQ(s.SideOf(-10.0, 0, 50), LevelSide::kAbove);
    const short rest[] = {0, 0, 500};
    s.StoreBlock(rest, 3, 3, FALSE); // 3.05 dB on the last point
    EXPECT_EQ(s.SideOf(1.0, 0, 49), LevelSide::kBelow);
    EXPECT_EQ(s.SideOf(1.0, 0, 50), LevelSide::kAbove);
    EXPECT_EQ(s.SideOf(1.0, 60, 50), LevelSide::kUnknown);
    EXPECT_EQ(s.SideOf(-300.0, 0, 50), LevelSide::kAbove);
    EXPECT_EQ(s.SideOf(300.0, 0, 50), LevelSide::kBelow);
    CTraceStore none;
    EXPECT_EQ(none.SideOf(-300.0, 0, 50), LevelSide::kUnknown);
}

TEST(TraceStoreCopy, EqualGridsOverlappingGridsAndDifferentSteps) {
    CTraceStore src, same, shifted, coarse, misaligned;
    Prime(src, 1000, 10, 5);
    const short w[] = {1, 2, 3, 4, 5};
    src.StoreBlock(w, 5, 0, FALSE);

    Prime(same, 1000, 10, 5);
    same.CopyFrom(src);
    EXPECT_EQ(Words(same), Words(src));
    EXPECT_TRUE(same.GetCopied());

    // This grid starts two points later and runs two points past src's end.
    ASSERT_EQ(shifted.Configure(1020, 10, 5), 1);
    shifted.CopyFrom(src);
    EXPECT_EQ(Words(shifted), (std::vector<short>{3, 4, 5, kNoSample, kNoSample, kNoSample}));
    EXPECT_TRUE(shifted.GetCopied());

    ASSERT_EQ(coarse.Configure(1000, 20, 5), 1);
    coarse.CopyFrom(src);
    EXPECT_EQ(Words(coarse), std::vector<short>(6, kNoSample));
    EXPECT_FALSE(coarse.GetCopied());

    ASSERT_EQ(misaligned.Configure(1005, 10, 5), 1);
    misaligned.CopyFrom(src);
    EXPECT_FALSE(misaligned.GetCopied());

    CTraceStore before;
    ASSERT_EQ(before.Configure(900, 10, 5), 1); // ends before src starts
    before.CopyFrom(src);
    EXPECT_FALSE(before.GetCopied());
}

TEST(TraceStoreOffset, TableIsIndexedByMegahertzAndEndsAt3200) {
    CTraceStore s;
    ASSERT_EQ(s.Configure(3198000, 500, 8), 1); // 3198.0 .. 3201.5 MHz
    std::vector<short> table(kOffsetTableSize);
    for (int i = 0; i < kOffsetTableSize; ++i) {
        table[i] = static_cast<short>(i);
    }
    s.ApplyOffsetTable(table.data());
    const auto w = Words(s);
    EXPECT_EQ(w[0], static_cast<short>(kNoSample + 3198));
    EXPECT_EQ(w[1], static_cast<short>(kNoSample + 3198));
    EXPECT_EQ(w[2], static_cast<short>(kNoSample + 3199));
    EXPECT_EQ(w[4], kNoSample); // 3200 MHz lies beyond the table
    EXPECT_EQ(w[7], kNoSample);
}

TEST(TraceStoreReadout, TimeThresholdsForEveryUnit) {
    CTraceStore s;
    s.SetUnit(1);
    EXPECT_EQ(s.MarkerText(999, -10.5, kReadoutTimeAxis), "999uS -10.50dBm");
    EXPECT_EQ(s.MarkerText(1000, -10.5, kReadoutTimeAxis), "1mS -10.50dBm");
    EXPECT_EQ(s.MarkerText(999999, 0, kReadoutTimeAxis), "999.999mS 0.00dBm");
    EXPECT_EQ(s.MarkerText(1000000, 0, kReadoutTimeAxis), "1S 0.00dBm");
    EXPECT_EQ(s.MarkerText(-1500, 0, kReadoutTimeAxis), "-1.5mS 0.00dBm");
    EXPECT_EQ(s.MarkerText(2500000, 3.456, kReadoutTimeAxis | kReadoutRelative), "2.5S 3.46dBc");
    EXPECT_EQ(s.MarkerText(2500, 3.456, kReadoutTimeAxis | kReadoutRelative), "2.5mS 3.46dBc");
    EXPECT_EQ(s.MarkerText(25, 3.456, kReadoutTimeAxis | kReadoutRelative), "25uS 3.46dBc");
    for (BYTE unit : {2, 3}) {
        s.SetUnit(unit);
        EXPECT_EQ(s.MarkerText(5, 40, kReadoutTimeAxis), "5uS 40.00dBuV");
        EXPECT_EQ(s.MarkerText(5000, 40, kReadoutTimeAxis), "5mS 40.00dBuV");
        EXPECT_EQ(s.MarkerText(5000000, 40, kReadoutTimeAxis), "5S 40.00dBuV");
    }
    s.SetUnit(7);
    EXPECT_EQ(s.MarkerText(5, 40, kReadoutTimeAxis), "5uS 40.00dBm");
}

TEST(TraceStoreReadout, FrequencyThresholdsForEveryUnit) {
    CTraceStore s;
    s.SetUnit(1);
    EXPECT_EQ(s.MarkerText(999, -50.126, 0), "999KHz -50.13dBm");
    EXPECT_EQ(s.MarkerText(1000, -50, 0), "1MHz -50.00dBm");
    EXPECT_EQ(s.MarkerText(2412345, -50, 0), "2412.345MHz -50.00dBm");
    EXPECT_EQ(s.MarkerText(-1000, 1, kReadoutRelative), "-1MHz 1.00dBc");
    EXPECT_EQ(s.MarkerText(10, 1, kReadoutRelative), "10KHz 1.00dBc");
    s.SetUnit(2);
    EXPECT_EQ(s.MarkerText(433920, 60, 0), "433.92MHz 60.00dBuV");
    EXPECT_EQ(s.MarkerText(500, 60, 0), "500KHz 60.00dBuV");
    EXPECT_EQ(s.MarkerText(500, 60, kReadoutRelative), "500KHz 60.00dBc");
    s.SetUnit(3);
    EXPECT_EQ(s.MarkerText(500, 60, 0), "500KHz 60.00dBuV");
    // Any other unit: dBm with the frequency in plain %g (six significant digits).
    s.SetUnit(0);
    EXPECT_EQ(s.MarkerText(2412345, -50, 0), "2412.35MHz -50.00dBm");
    EXPECT_EQ(s.MarkerText(123, -50, 0), "123KHz -50.00dBm");
    EXPECT_EQ(s.MarkerText(2412345, -50, kReadoutRelative), "2412.345MHz -50.00dBc");
}

TEST(TraceStoreReadout, UnitTexts) {
    CTraceStore s;
    const std::pair<BYTE, const char*> cases[] = {{1, "dBm"}, {2, "dBuV"}, {3, "dBuV"}, {4, "dB"}};
    for (const auto& [unit, text] : cases) {
        s.SetUnit(unit);
        EXPECT_EQ(s.UnitText(0), text);
        EXPECT_EQ(s.UnitText(kReadoutRelative), "dBc");
    }
    EXPECT_EQ(CTraceStore::UnitOffset(1), 0);
    EXPECT_EQ(CTraceStore::UnitOffset(2), 18513);
    EXPECT_EQ(CTraceStore::UnitOffset(3), 17530);
    EXPECT_EQ(CTraceStore::UnitOffset(9), 0);
}

TEST(TraceStoreSetting, StateRoundTripAndMissingKeysKeepValues) {
    TempDir dir;
    const std::string path = dir.file("trace.SPE");
    ReleaseSettingFileObject();
    CTraceStore a;
    a.SetTraceState(kTraceMinHold);
    a.SetCompareMode(kCompareMean);
    a.SetInitializedFlag(0);
    a.SetUnit(3);
    EXPECT_EQ(a.SaveState("Trace2"), 1);
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    ReleaseSettingFileObject();
    const std::string text = ReadWholeFile(path);
    EXPECT_NE(
        text.find("[Trace2]\r\nTraceState=3\r\nCompareMode=2\r\nInitializedFlag=0\r\nUnitFlag=3"),
        std::string::npos);

    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
    CTraceStore b;
    EXPECT_EQ(b.LoadState("Trace2"), 1);
    EXPECT_EQ(b.GetTraceState(), kTraceMinHold);
    EXPECT_EQ(b.GetCompareMode(), kCompareMean);
    EXPECT_EQ(b.GetInitializedFlag(), 0);
    EXPECT_EQ(b.GetUnit(), 3);

    CTraceStore c;
    c.SetUnit(2);
    EXPECT_EQ(c.LoadState("Trace9"), 0);
    EXPECT_EQ(c.GetTraceState(), kTraceWrite);
    EXPECT_EQ(c.GetUnit(), 2);
    ReleaseSettingFileObject();
}

TEST(TraceStoreEnvelope, LevelsMapToEdgesAndPeaksSurvive) {
    CTraceStore s;
    Prime(s, 0, 1, 1000);
    std::vector<short> w(1000, static_cast<short>(-60 * 163.84));
    w[10] = static_cast<short>(-20 * 163.84);  // exactly ymax: the top edge
    w[20] = static_cast<short>(-10 * 163.84);  // above ymax: the top edge too
    w[30] = static_cast<short>(-130 * 163.84); // below ymin: the bottom edge
    w[503] = static_cast<short>(-30 * 163.84); // a narrow peak among 1000 samples
    s.StoreBlock(w.data(), 1000, 0, FALSE);

    // 1000 samples into 100 columns: compare mode 0 keeps each column's highest.
    const RECT rect{0, 0, 99, 99};
    int fx = 0, fy = 0;
    s.MakePoints(rect, 0, 1000, -20.0, -120.0, &fx, &fy);
    ASSERT_NE(fx, 0);
    ASSERT_NE(fy, 0);
    const int n = s.GetEnvelopeCount();
    ASSERT_GE(n, 95);
    ASSERT_LE(n, 101);
    const POINT* p = s.GetEnvelopePoints();
    POINT pt;
    ASSERT_TRUE(s.PointOfX(10, &pt));
    EXPECT_EQ(pt.y, 0);
    ASSERT_TRUE(s.PointOfX(20, &pt));
    EXPECT_EQ(pt.y, 0);
    ASSERT_TRUE(s.PointOfX(503, &pt));
    EXPECT_EQ(pt.y, 10); // 10 dB below the top of a 100 dB window
    int peakIndex = -1;
    for (int i = 0; i < n; ++i) {
        if (s.GetEnvelopeX()[i] == 503) {
            peakIndex = i;
        }
    }
    ASSERT_GE(peakIndex, 0); // the column keeps the peak sample's x
    EXPECT_EQ(p[peakIndex].y, 10);
    for (int i = 1; i < n; ++i) {
        EXPECT_LT(p[i - 1].x, p[i].x);
    }

    // Compare mode 1 keeps the lowest: the column of sample 30 sits on the bottom edge.
    s.SetCompareMode(kCompareLowest);
    s.MakePoints(rect, 0, 1000, -20.0, -120.0, &fx, &fy);
    ASSERT_TRUE(s.PointOfX(30, &pt));
    EXPECT_EQ(pt.y, 99);
}

TEST(TraceStoreEnvelope, WindowOutsideTheSamplesMapsNothing) {
    CTraceStore s;
    Prime(s, 1000, 10, 100);
    int fx = -1, fy = -1;
    s.MakePoints(RECT{0, 0, 99, 99}, 5000, 6000, 0.0, -100.0, &fx, &fy);
    EXPECT_EQ(s.GetEnvelopeCount(), 0);
    EXPECT_EQ(fx, 0);
    EXPECT_EQ(s.PixelToX(10), 0);
    POINT pt;
    EXPECT_FALSE(s.PointOfX(1000, &pt));
}

TEST(TraceStoreEnvelope, PixelLookupAndChainMerge) {
    CTraceStore line, maxTrace, minTrace;
    line.SetNext(&maxTrace);
    maxTrace.SetNext(&minTrace);
    maxTrace.SetTraceState(kTraceMaxHold);
    minTrace.SetTraceState(kTraceMinHold);
    Prime(line, 0, 100, 10);
    const short lowBlock[10] = {-8000, -8000, -8000, -8000, -8000,
                                -8000, -8000, -8000, -8000, -8000};
    line.StoreBlock(lowBlock, 10, 0, FALSE);

    // 10 samples over a 41-pixel-wide rectangle: every sample its own column.
    const RECT rect{0, 0, 40, 99};
    int fx, fy;
    line.MakePoints(rect, 0, 1000, 0.0, -100.0, &fx, &fy);
    ASSERT_EQ(line.GetEnvelopeCount(), 10);
    const POINT* p = line.GetEnvelopePoints();
    EXPECT_EQ(p[0].x, 0);
    EXPECT_EQ(line.PixelToX(-5), 0);
    EXPECT_EQ(line.PixelToX(500), 900);
    // Between two points the nearer wins, the right one on a tie.
    const int mid = (p[1].x + p[2].x) / 2;
    if ((p[1].x + p[2].x) % 2 == 0) {
        EXPECT_EQ(line.PixelToX(mid), 200);
    }
    EXPECT_EQ(line.PixelToX(p[1].x + 1), 100);

    const int lowY = p[0].y;
    EXPECT_EQ(maxTrace.GetOwnPoints()[0].y, lowY);
    EXPECT_EQ(minTrace.GetOwnPoints()[0].y, lowY);

    // A higher block: the max hold keeps the higher level (smaller y), the min
    // hold the lower (larger y). Without a store in between, the envelopes merge.
    const short highBlock[10] = {-1000, -1000, -1000, -1000, -1000,
                                 -1000, -1000, -1000, -1000, -1000};
    line.SetTraceState(kTraceWrite);
    for (int i = 0; i < 10; ++i) {
        line.SetWord(i, highBlock[i]);
    }
    line.MakePoints(rect, 0, 1000, 0.0, -100.0, &fx, &fy);
    const int highY = line.GetEnvelopePoints()[0].y;
    ASSERT_LT(highY, lowY);
    EXPECT_EQ(maxTrace.GetOwnPoints()[0].y, highY);
    EXPECT_EQ(minTrace.GetOwnPoints()[0].y, lowY);
    EXPECT_EQ(line.GetOwnPoints()[0].y, 0x10000); // the head merges into its chain only
}

// The point mapping against its definition, sample by sample: every sample's
// column and clamped row from the fixed-point factors, consecutive samples of
// one column reduced by the compare mode. Random grids, windows, rectangles and
// levels (many beyond the window's edges, the extreme words included) so that
// columns of one sample, of thousands, and rows clamped on both edges occur.
TEST(TraceStoreEnvelope, EveryCompareModeFollowsTheDefinitionSampleBySample) {
    struct Factor {
        long long f = 0;
        int shift = 0;
    };
    const auto factor = [](long long p, long long q) {
        int n = 0;
        while ((p >> (n + 1)) != 0) {
            ++n;
        }
        long long f =
            static_cast<long long>(static_cast<double>(p) / q * std::ldexp(1.0, 15 - n) * 32768.0);
        int halvings = 0;
        for (; halvings < 15 && f >= 65536; ++halvings) {
            f /= 2;
        }
        return Factor{f, 30 - n - halvings};
    };
    std::mt19937 rng(23);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    // Odd rounds keep the grid, the samples, the window and the rectangle's
    // corner of the round before and change only its size, or keep the whole
    // rectangle and the level range and only move the levels, on one store.
    CTraceStore s;
    long long x0 = 0, dx = 1, n = 1, xa = 0, xb = 1;
    std::vector<short> w;
    LONG left = 0, top = 0;
    RECT r{};
    double ymax = 0.0, ymin = -100.0;
    for (int round = 0; round < 80; ++round) {
        const bool moveLevels = round % 4 == 3;
        if (moveLevels) {
            const double shift = pick(1, 30);
            ymax += shift;
            ymin += shift;
        } else {
            ymax = pick(-60, 20);
            ymin = ymax - pick(5, 140);
        }
        if (round % 2 == 0) {
            left = pick(0, 50);
            top = pick(0, 50);
            x0 = pick(0, 5000);
            dx = pick(1, 40);
            // Some grids fewer than the columns: each column one sample.
            n = pick(1, round % 6 == 2 ? 400 : 30000);
            xa = x0 + pick(-200, static_cast<int>(n * dx / 2));
            xb = xa + pick(1, static_cast<int>(n * dx + 400));
            Prime(s, static_cast<DWORD>(x0), static_cast<DWORD>(dx), static_cast<DWORD>(n));
            w.assign(static_cast<size_t>(n), 0);
            const int spread = pick(0, 1) ? 32767 : 3000;
            for (auto& v : w) {
                v = static_cast<short>(std::clamp(
                    static_cast<int>(ymin * 163.84) + pick(-spread, spread + 4000), -32768, 32767));
            }
            w[static_cast<size_t>(pick(0, static_cast<int>(n - 1)))] = SHRT_MIN;
            w[static_cast<size_t>(pick(0, static_cast<int>(n - 1)))] = SHRT_MAX;
            s.StoreBlock(w.data(), static_cast<DWORD>(n), 0, FALSE);
        }
        if (!moveLevels) {
            r = RECT{left, top, left + pick(0, 1500), top + pick(0, 900)};
        }

        const long long lo = std::max(xa, x0), hi = std::min(xb, x0 + n * dx);
        const Factor fx = factor(r.right - r.left + 1, hi - lo);
        const Factor fy =
            factor(r.bottom - r.top + 1, static_cast<long long>((ymax - ymin) * 163.84));
        const long long top = static_cast<long long>(ymax * 163.84);
        const long long i0 = (lo - x0 + dx - 1) / dx;
        const long long iEnd = std::min(i0 + (hi - lo + dx - 1) / dx, n - 1);
        struct Column {
            long long px, firstI, highI, lowI, sum, count;
            long long highY, lowY;
        };
        std::vector<Column> columns;
        for (long long i = i0; i <= iEnd && hi > lo; ++i) {
            const long long px = r.left + (((x0 + i * dx - lo) * fx.f) >> fx.shift);
            const long long py =
                std::clamp(r.top + (((top - w[static_cast<size_t>(i)]) * fy.f) >> fy.shift),
                           static_cast<long long>(r.top), static_cast<long long>(r.bottom));
            if (columns.empty() || columns.back().px != px) {
                columns.push_back({px, i, i, i, 0, 0, py, py});
            }
            Column& c = columns.back();
            c.sum += py;
            ++c.count;
            if (py < c.highY) {
                c.highY = py;
                c.highI = i;
            }
            if (py > c.lowY) {
                c.lowY = py;
                c.lowI = i;
            }
        }
        if (columns.size() > 2000) {
            continue; // beyond the envelope's columns; not what this test is about
        }
        const std::string where = "round " + std::to_string(round);
        for (const BYTE mode : {kCompareHighest, kCompareLowest, kCompareMean, kCompareBoth}) {
            s.SetCompareMode(mode);
            int gotFx = 0, gotFy = 0;
            s.MakePoints(r, static_cast<int>(xa), static_cast<int>(xb), ymax, ymin, &gotFx, &gotFy);
            ASSERT_EQ(gotFx, fx.f) << where;
            std::vector<std::pair<POINT, long long>> expected;
            for (const Column& c : columns) {
                const auto x = static_cast<LONG>(c.px);
                const auto point = [&](long long y, long long i) {
                    expected.push_back({POINT{x, static_cast<LONG>(y)}, x0 + i * dx});
                };
                if (mode == kCompareMean) {
                    point(c.sum / c.count, c.firstI);
                    continue;
                }
                if (mode != kCompareLowest) {
                    point(c.highY, c.highI);
                }
                if (mode != kCompareHighest && (mode == kCompareLowest || c.lowY != c.highY)) {
                    point(c.lowY, c.lowI);
                }
            }
            ASSERT_EQ(s.GetEnvelopeCount(), static_cast<int>(expected.size()))
                << where << " mode " << int(mode);
            for (size_t k = 0; k < expected.size(); ++k) {
                const POINT got = s.GetEnvelopePoints()[k];
                if (k > 0) { // the envelope runs from left to right
                    ASSERT_LE(s.GetEnvelopePoints()[k - 1].x, got.x) << where << " point " << k;
                }
                ASSERT_EQ(got.x, expected[k].first.x) << where << " point " << k;
                ASSERT_EQ(got.y, expected[k].first.y)
                    << where << " point " << k << " mode " << int(mode);
                ASSERT_EQ(s.GetEnvelopeX()[k], expected[k].second) << where << " point " << k;
            }
        }
    }
}

// One store drawn again and again (a slice of the 3D graph refilled by every
// capture) keeps the columns of its last mapping; whatever changes in between
// (the words only, the levels, the rectangle, the window, the compare mode, the
// grid, a grid configured anew) its envelope is that of a store made afresh.
TEST(TraceStoreEnvelope, KeptColumnsGiveTheEnvelopeOfAFreshStore) {
    struct Step {
        DWORD start, step, points;
        RECT rect;
        int xa, xb;
        double ymax, ymin;
        BYTE mode;
        bool configure; // the grid is configured again even when it is the same
    };
    // 60 samples over 200 columns is one sample a column; 50 columns take
    // several samples each.
    const Step base{1000, 10,  60,     RECT{3, 5, 202, 104}, 1000,
                    1600, 0.0, -100.0, kCompareHighest,      false};
    std::vector<Step> steps(3, base); // the words only
    steps.push_back(base);
    steps.back().ymax = -20.0; // the levels
    steps.back().ymin = -90.0;
    steps.push_back(base);
    steps.back().rect.right = 302; // the rectangle
    steps.push_back(base);
    steps.back().xa = 1100; // the window
    steps.push_back(base);
    steps.back().rect.right = 52; // several samples a column, each mode
    for (const BYTE mode : {kCompareLowest, kCompareMean, kCompareBoth}) {
        steps.push_back(steps.back());
        steps.back().mode = mode;
    }
    steps.push_back(base); // back, in another mode
    steps.back().mode = kCompareMean;
    steps.push_back(base);
    steps.back().configure = true; // the same grid again
    steps.push_back(base);
    steps.back().start = 1005; // another grid
    steps.back().points = 70;
    steps.push_back(base);
    steps.push_back(base);

    std::mt19937 rng(77);
    std::uniform_int_distribution<int> level(-18000, 1000);
    CTraceStore kept;
    DWORD keptStart = 0, keptStep = 0, keptPoints = 0;
    for (size_t k = 0; k < steps.size(); ++k) {
        const Step& st = steps[k];
        std::vector<short> words(st.points);
        for (short& w : words) {
            w = static_cast<short>(level(rng));
        }
        if (st.configure || st.start != keptStart || st.step != keptStep ||
            st.points != keptPoints) {
            ASSERT_EQ(kept.Configure(st.start, st.step, st.points), 1);
            keptStart = st.start;
            keptStep = st.step;
            keptPoints = st.points;
        }
        CTraceStore fresh;
        ASSERT_EQ(fresh.Configure(st.start, st.step, st.points), 1);
        for (CTraceStore* s : {&kept, &fresh}) {
            s->SetInitializedFlag(0);
            s->StoreBlock(words.data(), static_cast<int>(st.points), 0, FALSE);
            s->SetCompareMode(st.mode);
            int fx = 0, fy = 0;
            s->MakePoints(st.rect, st.xa, st.xb, st.ymax, st.ymin, &fx, &fy);
        }
        const int n = fresh.GetEnvelopeCount();
        ASSERT_GT(n, 0) << "step " << k;
        ASSERT_EQ(kept.GetEnvelopeCount(), n) << "step " << k;
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(kept.GetEnvelopePoints()[i].x, fresh.GetEnvelopePoints()[i].x)
                << "step " << k << " point " << i;
            ASSERT_EQ(kept.GetEnvelopePoints()[i].y, fresh.GetEnvelopePoints()[i].y)
                << "step " << k << " point " << i;
            ASSERT_EQ(kept.GetEnvelopeX()[i], fresh.GetEnvelopeX()[i])
                << "step " << k << " point " << i;
        }
    }
}

// With power-of-two ratios the mapping is exact: 1024 samples onto 128 columns
// puts 8 samples in each, and 100 dB (16384 words) over 128 rows makes a row
// of every 128 words below the top. The mean of each column must then equal
// the mean of its samples' clamped rows, for words inside, above and below the
// window, wherever the window starts in the grid.
TEST(TraceStoreEnvelope, MeanIsTheAverageOfTheClampedRowsOfEachColumn) {
    const auto row = [](int w) {
        return std::clamp(static_cast<int>(std::floor(-w / 128.0)), 0, 127);
    };
    for (const DWORD first : {0u, 256u, 1024u}) {
        CTraceStore s;
        Prime(s, 0, 1, 2048);
        std::mt19937 rng(first + 5);
        std::uniform_int_distribution<int> level(-20000, 2000);
        std::vector<short> w(2048);
        for (short& v : w) {
            v = static_cast<short>(level(rng));
        }
        for (int k = 0; k < 8; ++k) {
            w[first + 40 + k] = -3000; // one column of equal words
        }
        s.StoreBlock(w.data(), 2048, 0, FALSE);
        s.SetCompareMode(kCompareMean);
        int fx = 0, fy = 0;
        s.MakePoints(RECT{0, 0, 127, 127}, static_cast<int>(first), static_cast<int>(first + 1024),
                     0.0, -100.0, &fx, &fy);
        // The sample at the window's end, where there is one, opens a column of its own.
        ASSERT_EQ(s.GetEnvelopeCount(), first + 1024 < 2048 ? 129 : 128);
        for (int c = 0; c < 128; ++c) {
            int sum = 0;
            for (int k = 0; k < 8; ++k) {
                sum += row(w[first + 8 * c + k]);
            }
            EXPECT_EQ(s.GetEnvelopePoints()[c].x, c);
            EXPECT_EQ(s.GetEnvelopePoints()[c].y, sum / 8) << "column " << c << " from " << first;
            EXPECT_EQ(s.GetEnvelopeX()[c], static_cast<int>(first) + 8 * c);
        }
        EXPECT_EQ(s.GetEnvelopePoints()[5].y, 3000 / 128);
    }
}
