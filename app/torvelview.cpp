#include "torvelview.h"

#include "analysis/analysiscore.h"
#include "platform/dc.h"

#include <QPainter>

CTorvelView::CTorvelView(QWidget* parent) : QWidget(parent) {
    // The core paints every pixel; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

void CTorvelView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_core) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    CDC dc(&painter);
    m_core->DrawView(&dc, CRect(0, 0, width(), height()));
}
