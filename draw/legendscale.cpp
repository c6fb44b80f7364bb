#include "draw/legendscale.h"

#include "lib/blendobject.h"

#include <algorithm>

namespace {
constexpr COLORREF kColors[] = {RGB(250, 0, 0), RGB(250, 250, 0), RGB(0, 250, 120), RGB(0, 50, 250),
                                RGB(0, 0, 0)};
constexpr int kBandsPerColor = 5;
} // namespace

COLORREF LegendScale::BandColor(int band) {
    const int i = std::clamp(band, 0, kBands - 1);
    const int k = i / kBandsPerColor;
    return AlphaBlendFunction(kColors[k + 1], kColors[k],
                              255 * (i % kBandsPerColor) / kBandsPerColor);
}

void LegendScale::StepRows(int height, int step, int* y0, int* y1) {
    const long long unit = (static_cast<long long>(height) << 16) / kBands;
    *y0 = static_cast<int>((step * unit) >> 16);
    *y1 = step + 1 >= kBands ? height : static_cast<int>(((step + 1) * unit) >> 16);
}

COLORREF LegendScale::StepColor(int step, int alpha) {
    const int i = std::clamp(step, 0, kBands - 1);
    if (i + 1 == kBands)
        return BandColor(i);
    return AlphaBlendFunction(BandColor(i + 1), BandColor(i), alpha);
}
