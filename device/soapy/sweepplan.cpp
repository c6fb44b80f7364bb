#include "sweepplan.h"

#include <algorithm>
#include <cmath>

namespace torvelsoapy {
namespace {

// Share of the sample rate used on either side before the filter's edge.
constexpr double kEdgeShare = 0.4;
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

double UsableBandwidthHz(double rateHz) {
    return 2 * kEdgeShare * rateHz;
}

int BlockPoints(double stepHz, double minimumHz, double rateHz) {
    const double usable = UsableBandwidthHz(rateHz);
    const double tunings = std::max(1.0, std::ceil(minimumHz / usable - 1e-9));
    return std::max(1, static_cast<int>(std::floor(tunings * usable / stepHz + 1e-9)));
}

double NearestTuning(double centerHz, const std::vector<TuningRange>& ranges) {
    if (ranges.empty())
        return centerHz;
    double best = ranges.front().lowHz;
    for (const TuningRange& r : ranges) {
        const double inside = std::clamp(centerHz, r.lowHz, std::max(r.lowHz, r.highHz));
        if (std::fabs(inside - centerHz) < std::fabs(best - centerHz))
            best = inside;
    }
    return best;
}

namespace {

// The highest tuning at or below hz, or the lowest above it: none = NaN.
double HighestAtOrBelow(double hz, const std::vector<TuningRange>& ranges) {
    if (ranges.empty())
        return hz;
    double best = std::nan("");
    for (const TuningRange& r : ranges)
        if (r.lowHz <= hz && (std::isnan(best) || std::min(r.highHz, hz) > best))
            best = std::min(r.highHz, hz);
    return best;
}

double LowestAbove(double hz, const std::vector<TuningRange>& ranges) {
    double best = std::nan("");
    for (const TuningRange& r : ranges)
        if (r.highHz > hz && (std::isnan(best) || std::max(r.lowHz, hz) < best))
            best = std::max(r.lowHz, hz);
    return best;
}

} // namespace

SweepPlan PlanSweep(double startHz, double stepHz, int points, double rateHz, double enbwBins,
                    const std::vector<TuningRange>& ranges) {
    SweepPlan plan;
    plan.fftSize = FftSizeFor(rateHz, stepHz, enbwBins);
    plan.rbwHz = enbwBins * rateHz / plan.fftSize;
    const int n = plan.fftSize;
    const double binHz = rateHz / n;
    const double edge = kEdgeShare * rateHz;
    const double blockLow = startHz - stepHz / 2;
    const double blockHigh = blockLow + points * stepHz;
    std::vector<int> binsOf(static_cast<std::size_t>(std::max(points, 0)), 0);
    // Each tuning starts its band where the last one ended: centred as far
    // up as the ranges let it, so that the band begins at the first frequency
    // not measured yet (a tuning moved down measures below its centre).
    for (double low = blockLow; low < blockHigh;) {
        double center = HighestAtOrBelow(low + edge, ranges);
        if (std::isnan(center) || center <= low - edge) {
            // No tuning reaches this frequency: on from the next one that does.
            const double next = LowestAbove(low + edge, ranges);
            if (std::isnan(next))
                break;
            low = next - edge;
            continue;
        }
        SweepTuning t;
        t.centerHz = center;
        const double high = std::min(center + edge, blockHigh);
        // Bins whose frequency lies in [low, high).
        t.firstBin = static_cast<int>(std::ceil((low - center) / binHz)) + n / 2;
        t.lastBin = static_cast<int>(std::ceil((high - center) / binHz)) + n / 2 - 1;
        for (int b = t.firstBin; b <= t.lastBin; ++b) {
            const double f = center + (b - n / 2) * binHz;
            const int p =
                std::clamp(static_cast<int>(std::floor((f - blockLow) / stepHz)), 0, points - 1);
            t.pointOf.push_back(b == n / 2 ? -1 : p);
            if (b != n / 2)
                ++binsOf[static_cast<std::size_t>(p)];
        }
        if (t.firstBin <= t.lastBin)
            plan.tunings.push_back(std::move(t));
        low = high;
    }
    plan.unmeasured.resize(binsOf.size());
    for (std::size_t p = 0; p < binsOf.size(); ++p)
        plan.unmeasured[p] = binsOf[p] == 0;
    return plan;
}

} // namespace torvelsoapy
