#include "modes/panelwidget.h"

#include "modes/paneview.h"
#include "platform/dc.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

CPanelWidget::CPanelWidget(DrawFunction draw, PressFunction press, QWidget* parent)
    : QWidget(parent), m_draw(std::move(draw)), m_press(std::move(press)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    NamePane(this, PaneNames::kChannelPanel);
}

void CPanelWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Straight on the window's back store when the whole panel is repainted.
    QImage surface = PaintSurface(painter, *this);
    const bool straight = !surface.isNull();
    if (!straight)
        FitPaneImage(m_image, *this);
    // The panel paints every pixel, so neither is cleared first.
    QImage& image = straight ? surface : m_image;
    {
        CDC dc(&image);
        dc.SetTextLog(m_readout.Begin());
        m_draw(&dc, CRect(0, 0, width(), height()));
    }
    m_readout.End(*this);
    if (!straight)
        painter.drawImage(0, 0, m_image);
    if (hasFocus())
        DrawFocusMark(painter, *this);
}

void CPanelWidget::SetKeys(const char* toolTip, KeyFunction keys) {
    m_keys = std::move(keys);
    setFocusPolicy(Qt::StrongFocus);
    if (toolTip)
        setToolTip(QString::fromUtf8(toolTip));
}

void CPanelWidget::keyPressEvent(QKeyEvent* event) {
    if (!m_keys || !m_keys(event->key(), event->isAutoRepeat()))
        QWidget::keyPressEvent(event);
}

void CPanelWidget::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void CPanelWidget::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void CPanelWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
        return;
    const QPoint p = event->position().toPoint();
    m_press(p.x(), p.y(), event->button() == Qt::RightButton);
}
