#include "torvelview.h"

#include "analysis/viewinterface.h"
#include "modes/paneview.h"
#include "platform/dc.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

namespace {
// Scroll codes of the scroll messages.
constexpr UINT kScrollLineLeft = 0;  // SB_LINELEFT
constexpr UINT kScrollLineRight = 1; // SB_LINERIGHT

// The virtual-key code of a released key: letters and digits as their upper
// case character, the arrows and a few editing keys as their VK_ codes, other
// keys as Qt's key code.
UINT VirtualKey(int key) {
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
        return static_cast<UINT>(key);
    }
    switch (key) {
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    default:
        return static_cast<UINT>(key);
    }
}
} // namespace

CTorvelView::CTorvelView(QWidget* parent) : QWidget(parent) {
    // The view interface paints every pixel; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
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

void CTorvelView::InvalidateRect(const CRect& rect) {
    update(rect.left, rect.top, rect.Width(), rect.Height());
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
        CDC dc(&painter);
        m_intf->Draw(&dc, CRect(0, 0, width(), height()));
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
    case QEvent::UngrabMouse:
    case QEvent::FocusOut:
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
        m_intf->OnKeyUp(VirtualKey(event->key()), 1, 0);
    }
    QWidget::keyReleaseEvent(event);
}

void CTorvelView::resizeEvent(QResizeEvent* event) {
    if (m_intf) {
        m_intf->OnSize(0, event->size().width(), event->size().height());
    }
    QWidget::resizeEvent(event);
}
