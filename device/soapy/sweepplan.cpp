#include "sweepplan.h"

#include <algorithm>
#include <cmath>

namespace torvelsoapy {
namespace {

// Share of the sample rate used on either side before the filter's edge.
constexpr double kEdgeShare = 0.4;
// The guard below the centre: a share of the rate, and at least some bins.
constexpr double kGuardShare = 0.02;
constexpr int kGuardBins = 4;
constexpr int kMinFftSize = 16;

bool Smooth(int n) {
    for (int f : {2, 3, 5})
        while (n % f == 0)
            n /= f;
    return n == 1;
}

} // namespace

int FftSizeFor(double rateHz, double stepHz, double enbwBins) {
    // The resolution bandwidth is enbwBins x rate / n: the nearest smooth
    // sizes below and above the exact one, whichever comes closer to the step.
    const double exact = enbwBins * rateHz / stepHz;
    int below = std::max(kMinFftSize, static_cast<int>(std::floor(exact)));
    while (below > kMinFftSize && !Smooth(below))
        --below;
    int above = std::max(kMinFftSize, static_cast<int>(std::ceil(exact)));
    while (!Smooth(above))
        ++above;
    const auto error = [&](int n) { return std::fabs(enbwBins * rateHz / n - stepHz); };
    return Smooth(below) && error(below) <= error(above) ? below : above;
}

SweepPlan PlanSweep(double startHz, double stepHz, int points, double rateHz, double enbwBins) {
    SweepPlan plan;
    plan.fftSize = FftSizeFor(rateHz, stepHz, enbwBins);
    plan.rbwHz = enbwBins * rateHz / plan.fftSize;
    const int n = plan.fftSize;
    const double binHz = rateHz / n;
    const double guard = std::max(kGuardShare * rateHz, kGuardBins * binHz);
    const double used = kEdgeShare * rateHz - guard;
    const double blockLow = startHz - stepHz / 2;
    const double blockHigh = blockLow + points * stepHz;
    for (double low = blockLow; low < blockHigh; low += used) {
        SweepTuning t;
        t.centerHz = low + kEdgeShare * rateHz;
        const double high = std::min(low + used, blockHigh);
        // Bins whose frequency lies in [low, high).
        t.firstBin = static_cast<int>(std::ceil((low - t.centerHz) / binHz)) + n / 2;
        t.lastBin = static_cast<int>(std::ceil((high - t.centerHz) / binHz)) + n / 2 - 1;
        for (int b = t.firstBin; b <= t.lastBin; ++b) {
            const double f = t.centerHz + (b - n / 2) * binHz;
            t.pointOf.push_back(
                std::clamp(static_cast<int>(std::floor((f - blockLow) / stepHz)), 0, points - 1));
        }
        plan.tunings.push_back(std::move(t));
    }
    return plan;
}

} // namespace torvelsoapy
