#include "modes/paneview.h"

#include "analysis/viewinterface.h"
#include "platform/dc.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
UINT MouseFlags(const QMouseEvent* event) {
    UINT flags = 0;
    if (event->buttons() & Qt::LeftButton)
        flags |= ViewKeys::kLButton;
    if (event->buttons() & Qt::RightButton)
        flags |= ViewKeys::kRButton;
    if (event->modifiers() & Qt::ShiftModifier)
        flags |= ViewKeys::kShift;
    if (event->modifiers() & Qt::ControlModifier)
        flags |= ViewKeys::kControl;
    return flags;
}
} // namespace

CPaneView::CPaneView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

CPaneView::~CPaneView() {
    if (m_intf)
        m_intf->SetViewWindow(nullptr);
}

void CPaneView::InvalidateRect(const CRect& rect) {
    update(rect.left, rect.top, rect.Width(), rect.Height());
}

CRect CPaneView::GetClientRect() const {
    return CRect(0, 0, width(), height());
}

Qt::CursorShape QtCursorShape(ViewCursorShape shape) {
    switch (shape) {
    case ViewCursorShape::SizeWE:
        return Qt::SizeHorCursor;
    case ViewCursorShape::SizeNS:
        return Qt::SizeVerCursor;
    case ViewCursorShape::SizeAll:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

void CPaneView::SetCursorShape(ViewCursorShape shape) {
    setCursor(QtCursorShape(shape));
}

void CPaneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_intf) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    CDC dc(&painter);
    m_intf->Draw(&dc, CRect(0, 0, width(), height()));
}

void CPaneView::mousePressEvent(QMouseEvent* event) {
    if (m_intf && event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        m_intf->OnLButtonDown(MouseFlags(event), p.x(), p.y());
    }
}

void CPaneView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_intf && event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        m_intf->OnLButtonUp(MouseFlags(event), p.x(), p.y());
    }
}

void CPaneView::mouseMoveEvent(QMouseEvent* event) {
    if (m_intf) {
        const QPoint p = event->position().toPoint();
        m_intf->OnMouseMove(MouseFlags(event), p.x(), p.y());
    }
}
