// A pane's paint straight on the window's back store: PaintSurface gives the
// pane's part of the store only when a paint there writes exactly what the
// toolkit would copy from the pane's own image.
#include "modes/paneview.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A store of 200 x 100 pixels with a painter whose origin is the pane's
// place (30, 20) and whose system clip is `clip` (store coordinates).
struct Store {
    explicit Store(QImage::Format format, const QRegion& clip) : image(200, 100, format) {
        image.fill(Qt::black);
        image.paintEngine()->setSystemClip(clip);
        painter.begin(&image);
        painter.translate(30, 20);
    }
    QImage image;
    QPainter painter;
};

const QRect kPane(30, 20, 120, 60);

TEST(PaintSurface, IsThePanesPartOfTheStoreWhenAllOfItIsRepainted) {
    QWidget pane;
    pane.resize(kPane.size());
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        Store store(format, QRegion(0, 0, 200, 100));
        QImage surface = PaintSurface(store.painter, pane);
        ASSERT_FALSE(surface.isNull());
        EXPECT_EQ(surface.size(), kPane.size());
        // The store's own pixels, not a copy: its corners land at the pane's.
        surface.setPixel(0, 0, 0xFF123456u);
        surface.setPixel(119, 59, 0xFF654321u);
        EXPECT_EQ(store.image.pixel(30, 20), 0xFF123456u);
        EXPECT_EQ(store.image.pixel(149, 79), 0xFF654321u);
        EXPECT_EQ(store.image.pixel(29, 20), 0xFF000000u);
        EXPECT_EQ(store.image.pixel(150, 79), 0xFF000000u);
    }
}

TEST(PaintSurface, IsNullWhenThePaintCannotGoThereStraight) {
    QWidget pane;
    pane.resize(kPane.size());
    // Only a part of the pane is repainted (another window covers the rest).
    {
        Store store(QImage::Format_RGB32, QRegion(kPane) - QRegion(100, 40, 10, 10));
        EXPECT_TRUE(PaintSurface(store.painter, pane).isNull());
    }
    // A store with alpha or of another depth.
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB888}) {
        Store store(format, QRegion(0, 0, 200, 100));
        EXPECT_TRUE(PaintSurface(store.painter, pane).isNull());
    }
    // A scaled or clipped painter, a pane reaching out of the store.
    {
        Store store(QImage::Format_RGB32, QRegion(0, 0, 200, 100));
        store.painter.scale(2, 1);
        EXPECT_TRUE(PaintSurface(store.painter, pane).isNull());
    }
    {
        Store store(QImage::Format_RGB32, QRegion(0, 0, 200, 100));
        store.painter.setClipRect(0, 0, 10, 10);
        EXPECT_TRUE(PaintSurface(store.painter, pane).isNull());
    }
    {
        Store store(QImage::Format_RGB32, QRegion(0, 0, 200, 100));
        store.painter.translate(100, 0);
        EXPECT_TRUE(PaintSurface(store.painter, pane).isNull());
    }
}

} // namespace
