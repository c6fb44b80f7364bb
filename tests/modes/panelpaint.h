// Whether a button panel's drawing paints every pixel of its rectangle and
// none outside: drawn over two different grounds, the pictures are the same
// inside it and keep their ground outside (its pane is painted without being
// cleared first).
#pragma once

#include "platform/dc.h"

#include <QImage>

template <typename Panel> bool PaintsItsWholeRectangle(Panel& panel, const CRect& rect) {
    QImage ground[2];
    const QRgb colour[2] = {qRgb(0, 0, 0), qRgb(255, 0, 255)};
    for (int i = 0; i < 2; ++i) {
        ground[i] = QImage(rect.right + 3, rect.bottom + 3, QImage::Format_RGB32);
        ground[i].fill(colour[i]);
        CDC dc(&ground[i]);
        panel.Draw(&dc, rect);
    }
    for (int y = 0; y < ground[0].height(); ++y) {
        for (int x = 0; x < ground[0].width(); ++x) {
            const bool inside =
                x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            for (int i = 0; i < 2; ++i) {
                const bool same = ground[i].pixel(x, y) == ground[1 - i].pixel(x, y);
                if (inside ? !same : ground[i].pixel(x, y) != colour[i])
                    return false;
            }
        }
    }
    return true;
}
