// The colour scale of the spectrogram legends: 20 bands from red at the top
// level through yellow, green and blue to black at the bottom, five from each
// colour to the next. The 3D graph's legend and the waterfall both use it, so
// that their colours agree.
#pragma once

#include "platform/wintypes.h"

namespace LegendScale {
constexpr int kBands = 20;
// Band i's own colour (band 0 pure red, band 5 pure yellow, band 19 nearly black).
COLORREF BandColor(int band);
// Step i (0 the top) of a legend drawn in twenty steps: where bands i and
// i + 1 overlap, their blend with the alpha factor; the last step is the last
// band's colour.
COLORREF StepColor(int step, int alpha);
// The rows y0 .. y1 - 1 of step i of a legend height rows high: each step
// 1/20 of the height (16.16), the last one down to the bottom.
void StepRows(int height, int step, int* y0, int* y1);
} // namespace LegendScale
