// How one block of sweep points is measured with a receiver that sees
// rate x 0.8 at a time: the tunings, the FFT size for the step, and which
// bins of each tuning give which points.
//
// Each tuning uses only the part of its band below its centre, from 0.4 x
// rate below it (the outer tenth of either edge, where the receiver's filter
// rolls off, is discarded) up to a guard below the centre (the DC spike and
// the receiver's 1/f noise stay out). The used parts of consecutive tunings
// abut without overlap, so every point is measured by exactly one tuning and
// a band wider than the receiver has no seams.
#pragma once

#include <vector>

namespace torvelsoapy {

struct SweepTuning {
    double centerHz = 0.0;
    // Bins firstBin..lastBin (of the shifted spectrum) are used; bin b lies
    // at centerHz + (b - fftSize / 2) x rate / fftSize and gives point
    // pointOf[b - firstBin].
    int firstBin = 0;
    int lastBin = -1;
    std::vector<int> pointOf;
};

struct SweepPlan {
    int fftSize = 0;
    double rbwHz = 0.0; // equivalent noise bandwidth of one bin's filter
    std::vector<SweepTuning> tunings;
};

// The FFT size whose flat-top resolution bandwidth (enbwBins x rate / size)
// comes closest to one step, so that the step the device reports as its RBW
// is the real one: at least 16, a product of 2, 3 and 5 so the FFT stays fast.
int FftSizeFor(double rateHz, double stepHz, double enbwBins);

// Points p = 0..points-1 lie at startHz + p x stepHz; each takes the highest
// bin of its cell [f - step/2, f + step/2).
SweepPlan PlanSweep(double startHz, double stepHz, int points, double rateHz, double enbwBins);

} // namespace torvelsoapy
