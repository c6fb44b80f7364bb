#include "programicon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The icon's design, on a square of 128 units.
constexpr double kUnits = 128.0;

// The spectrum trace across the screen, in units.
constexpr QPointF kTrace[] = {{12, 92}, {24, 90}, {30, 86}, {36, 90},  {44, 88},  {50, 74},
                              {54, 88}, {58, 60}, {62, 26}, {66, 26},  {70, 60},  {74, 86},
                              {82, 84}, {88, 70}, {92, 84}, {100, 88}, {108, 86}, {116, 90}};

QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kUnits, size / kUnits);
    p.setPen(Qt::NoPen);
    // The case and its screen.
    p.setBrush(QColor(0x5b, 0x66, 0x70));
    p.drawRoundedRect(QRectF(6, 10, 116, 108), 14, 14);
    QLinearGradient screen(0, 16, 0, 100);
    screen.setColorAt(0, QColor(0x1d, 0x2b, 0x3a));
    screen.setColorAt(1, QColor(0x0b, 0x11, 0x18));
    p.setBrush(screen);
    p.drawRoundedRect(QRectF(12, 16, 104, 84), 6, 6);
    // The graticule.
    p.setPen(QPen(QColor(0x3c, 0x52, 0x66), 1));
    for (double y : {37.0, 58.0, 79.0})
        p.drawLine(QPointF(12, y), QPointF(116, y));
    for (double x : {38.0, 64.0, 90.0})
        p.drawLine(QPointF(x, 16), QPointF(x, 100));
    // The trace, the area below it and the marker above its peak.
    QPainterPath line;
    line.moveTo(kTrace[0]);
    for (const QPointF& point : kTrace)
        line.lineTo(point);
    QPainterPath area = line;
    area.lineTo(116, 100);
    area.lineTo(12, 100);
    area.closeSubpath();
    QLinearGradient fill(0, 26, 0, 100);
    fill.setColorAt(0, QColor(0xf2, 0xc7, 0x44, 140));
    fill.setColorAt(1, QColor(0xf2, 0xc7, 0x44, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(area);
    p.setPen(QPen(QColor(0xff, 0xd9, 0x5a), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4f, 0xd1, 0xff));
    const QPointF marker[] = {{64, 20}, {59, 14}, {69, 14}};
    p.drawPolygon(marker, 3);
    // The knobs and the slot below the screen.
    p.setBrush(QColor(0x2e, 0x38, 0x40));
    p.drawEllipse(QPointF(26, 109), 4, 4);
    p.drawEllipse(QPointF(40, 109), 4, 4);
    p.drawRoundedRect(QRectF(74, 106, 36, 6), 3, 3);
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Draw(size));
    return icon;
}
