// How one block of sweep points is measured with a receiver that sees
// rate x 0.8 at a time: the tunings, the FFT size for the step, and which
// bins of each tuning give which points.
//
// Each tuning uses its whole band on both sides of its centre, up to 0.4 x
// rate either way (the outer tenth of either edge, where the receiver's filter
// rolls off, is discarded), with the bin at the centre left out (the DC spike
// of the receiver). The used parts of consecutive tunings abut without
// overlap, so every point is measured by one tuning, or by two where it
// straddles their border, and a band wider than the receiver has no seams.
// A tuning never lies outside the receiver's tuning ranges: one that would is
// moved inside, and the tuning at the top of a range measures its points from
// below its centre.
#pragma once

#include <vector>

namespace torvelsoapy {

// A range of frequencies the receiver tunes to, in Hz.
struct TuningRange {
    double lowHz = 0.0;
    double highHz = 0.0;
};

struct SweepTuning {
    double centerHz = 0.0;
    // Bins firstBin..lastBin (of the shifted spectrum) are used; bin b lies
    // at centerHz + (b - fftSize / 2) x rate / fftSize and gives point
    // pointOf[b - firstBin]. The centre bin has the point -1: it is not used.
    int firstBin = 0;
    int lastBin = -1;
    std::vector<int> pointOf;
};

struct SweepPlan {
    int fftSize = 0;
    double rbwHz = 0.0; // equivalent noise bandwidth of one bin's filter
    std::vector<SweepTuning> tunings;
    // Points no tuning reaches (a gap between the receiver's ranges).
    std::vector<bool> unmeasured;
};

// The bandwidth one tuning measures: 0.8 x rate.
double UsableBandwidthHz(double rateHz);

// The points of a block sized to whole tunings: as many tunings as a block
// of at least minimumHz needs, and the points of step stepHz they hold.
int BlockPoints(double stepHz, double minimumHz, double rateHz);

// The FFT size whose flat-top resolution bandwidth (enbwBins x rate / size)
// comes closest to one step, so that the step the device reports as its RBW
// is the real one: at least 16, a product of 2, 3 and 5 so the FFT stays fast.
int FftSizeFor(double rateHz, double stepHz, double enbwBins);

// Points p = 0..points-1 lie at startHz + p x stepHz; each takes the highest
// bin of its cell [f - step/2, f + step/2). Tunings lie within ranges (none
// given: anywhere).
SweepPlan PlanSweep(double startHz, double stepHz, int points, double rateHz, double enbwBins,
                    const std::vector<TuningRange>& ranges = {});

// The frequency nearest centerHz that lies within the ranges (centerHz
// itself when none are given).
double NearestTuning(double centerHz, const std::vector<TuningRange>& ranges);

} // namespace torvelsoapy
