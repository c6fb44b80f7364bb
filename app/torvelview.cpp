#include "torvelview.h"

#include "analysis/viewinterface.h"
#include "modes/paneview.h"
#include "platform/framepacer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

namespace {
// Scroll codes of the scroll messages.
constexpr UINT kScrollLineLeft = 0;  // SB_LINELEFT
constexpr UINT kScrollLineRight = 1; // SB_LINERIGHT
} // namespace

CTorvelView::CTorvelView(QWidget* parent) : QWidget(parent) {
    // The view interface paints every pixel; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    NamePane(this, PaneNames::kGraph);
}

CTorvelView::~CTorvelView() {
    if (m_intf) {
        m_intf->SetViewWindow(nullptr);
    }
}

void CTorvelView::SetCore(CAnalysisCore* core) {
    m_core = core;
    if (!core && m_intf) {
        m_intf->SetViewWindow(nullptr);
    }
}

// Live data asks for a repaint with every block: the repaints are paced to the
// display's frames.
void CTorvelView::Invalidate() {
    CFramePacer::Update(this);
}

void CTorvelView::InvalidateRect(const CRect& rect) {
    CFramePacer::Update(this, QRect(rect.left, rect.top, rect.Width(), rect.Height()));
}

CRect CTorvelView::GetClientRect() const {
    return CRect(0, 0, width(), height());
}

void CTorvelView::SetCursorShape(ViewCursorShape shape) {
    setCursor(QtCursorShape(shape));
}

UINT CTorvelView::KeyFlags(const QInputEvent* event) {
    UINT flags = 0;
    if (const auto* mouse = dynamic_cast<const QSinglePointEvent*>(event)) {
        const Qt::MouseButtons buttons = mouse->buttons();
        if (buttons & Qt::LeftButton) {
            flags |= ViewKeys::kLButton;
        }
        if (buttons & Qt::RightButton) {
            flags |= ViewKeys::kRButton;
        }
        if (buttons & Qt::MiddleButton) {
            flags |= ViewKeys::kMButton;
        }
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        flags |= ViewKeys::kShift;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        flags |= ViewKeys::kControl;
    }
    return flags;
}

void CTorvelView::paintEvent(QPaintEvent*) {
    if (m_intf) {
        QPainter painter(this);
        PaintView(painter, *this, *m_intf, &m_readout);
        if (hasFocus()) {
            DrawFocusMark(painter, *this);
        }
    } else {
        paintWithoutInterface();
    }
}

void CTorvelView::paintWithoutInterface() {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
}

bool CTorvelView::ExecuteViewCommand(UINT id) {
    if (!m_intf || id < CViewInterface::kFirstCommand || id > CViewInterface::kLastCommand) {
        return false;
    }
    return m_intf->OnCommand(id) != FALSE;
}

bool CTorvelView::ViewCommandState(UINT id, int* state) {
    if (!m_intf || !state || id < CViewInterface::kFirstCommand ||
        id > CViewInterface::kLastCommand) {
        return false;
    }
    return m_intf->OnUpdateCommand(id, state) != FALSE;
}

void CTorvelView::HScroll(UINT code, int position) {
    if (m_intf) {
        m_intf->OnHScroll(code, position);
    }
}

void CTorvelView::VScroll(UINT code, int position) {
    if (m_intf) {
        m_intf->OnVScroll(code, position);
    }
}

void CTorvelView::releaseCapture() {
    if (!m_hasCapture) {
        return;
    }
    m_hasCapture = false;
    if (m_intf) {
        m_intf->OnCaptureChanged();
    }
}

bool CTorvelView::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusIn:
        // The focus mark comes and goes with the focus.
        update();
        break;
    case QEvent::FocusOut:
        update();
        releaseCapture();
        break;
    case QEvent::UngrabMouse:
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        releaseCapture();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void CTorvelView::mousePressEvent(QMouseEvent* event) {
    m_hasCapture = true;
    if (!m_intf) {
        return;
    }
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        m_intf->OnLButtonDown(KeyFlags(event), p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        m_intf->OnRButtonDown(KeyFlags(event), p.x(), p.y());
    }
}

void CTorvelView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_intf) {
        const QPoint p = event->position().toPoint();
        if (event->button() == Qt::LeftButton) {
            m_intf->OnLButtonUp(KeyFlags(event), p.x(), p.y());
        } else if (event->button() == Qt::RightButton) {
            m_intf->OnRButtonUp(KeyFlags(event), p.x(), p.y());
        }
    }
    if (event->buttons() == Qt::NoButton) {
        releaseCapture();
    }
}

void CTorvelView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!m_intf) {
        return;
    }
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        m_intf->OnLButtonDblClk(KeyFlags(event), p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        m_intf->OnRButtonDblClk(KeyFlags(event), p.x(), p.y());
    }
}

void CTorvelView::mouseMoveEvent(QMouseEvent* event) {
    if (m_intf) {
        const QPoint p = event->position().toPoint();
        m_intf->OnMouseMove(KeyFlags(event), p.x(), p.y());
    }
}

void CTorvelView::wheelEvent(QWheelEvent* event) {
    if (!m_intf) {
        return;
    }
    const QPoint p = event->position().toPoint();
    if (event->angleDelta().y() != 0) {
        m_intf->OnMouseWheel(KeyFlags(event), static_cast<short>(event->angleDelta().y()), p.x(),
                             p.y());
    }
    // A sideways wheel scrolls horizontally, a line per notch.
    if (event->angleDelta().x() != 0) {
        HScroll(event->angleDelta().x() > 0 ? kScrollLineLeft : kScrollLineRight, 0);
    }
}

void CTorvelView::keyReleaseEvent(QKeyEvent* event) {
    if (m_intf && !event->isAutoRepeat()) {
        m_intf->OnKeyUp(ViewVirtualKey(event->key()), 1, 0);
    }
    QWidget::keyReleaseEvent(event);
}

void CTorvelView::resizeEvent(QResizeEvent* event) {
    if (m_intf) {
        m_intf->OnSize(0, event->size().width(), event->size().height());
    }
    QWidget::resizeEvent(event);
}
