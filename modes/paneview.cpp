#include "modes/paneview.h"

#include "analysis/viewinterface.h"
#include "lib/stringtable.h"
#include "platform/dc.h"
#include "platform/framepacer.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>

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
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    NamePane(this, PaneNames::kGraph);
}

CPaneView::~CPaneView() {
    if (m_intf)
        m_intf->SetViewWindow(nullptr);
}

void CPaneView::Invalidate() {
    CFramePacer::Update(this);
}

void CPaneView::InvalidateRect(const CRect& rect) {
    CFramePacer::Update(this, QRect(rect.left, rect.top, rect.Width(), rect.Height()));
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

UINT ViewVirtualKey(int key) {
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return static_cast<UINT>(key);
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

void DrawFocusMark(QPainter& painter, const QWidget& pane) {
    painter.setPen(QPen(pane.palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(pane.rect().adjusted(1, 1, -1, -1));
}

QImage PaintSurface(QPainter& painter, const QWidget& pane) {
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter.hasClipping())
        return {};
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return {};
    const auto* store = static_cast<const QImage*>(device);
    // An opaque store: an RGB32 picture copied onto it keeps its bytes.
    if (store->format() != QImage::Format_RGB32 &&
        store->format() != QImage::Format_ARGB32_Premultiplied)
        return {};
    // The painter scales by the store's pixel ratio and moves to the pane's
    // place, a whole device pixel.
    const double ratio = store->devicePixelRatio();
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxScale || transform.m11() != ratio ||
        transform.m22() != ratio)
        return {};
    const QPoint offset(qRound(transform.dx()), qRound(transform.dy()));
    if (offset.x() != transform.dx() || offset.y() != transform.dy())
        return {};
    // The pane's device pixels, as a DC of that ratio places its corners.
    auto devicePixels = [ratio](int v) { return static_cast<int>(std::floor(v * ratio + 0.5)); };
    const QRect area(offset, QSize(devicePixels(pane.width()), devicePixels(pane.height())));
    if (area.isEmpty() || !store->rect().contains(area))
        return {};
    // The repaint covers the whole pane. At a ratio that is not a whole
    // number the window system may round the pane's edge otherwise: then it
    // may not reach a pixel beside the pane that a DC would not paint.
    const QRegion clip = engine->systemClip();
    if (clip.isEmpty() || clip.intersected(area) != QRegion(area) ||
        (ratio != std::round(ratio) && !area.contains(clip.boundingRect())))
        return {};
    // The store's own pixels: constBits does not detach it, and the painter
    // that is active on it writes there too.
    auto* bits = const_cast<uchar*>(store->constBits()) +
                 static_cast<qsizetype>(area.y()) * store->bytesPerLine() + area.x() * 4;
    QImage surface(bits, area.width(), area.height(), store->bytesPerLine(), QImage::Format_RGB32);
    surface.setDevicePixelRatio(ratio);
    return surface;
}

void FitPaneImage(QImage& image, const QWidget& pane) {
    const double ratio = pane.devicePixelRatioF();
    const QSize size(std::max(1, static_cast<int>(std::floor(pane.width() * ratio + 0.5))),
                     std::max(1, static_cast<int>(std::floor(pane.height() * ratio + 0.5))));
    if (image.size() != size || image.devicePixelRatio() != ratio ||
        image.format() != QImage::Format_RGB32) {
        image = QImage(size, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
    }
}

CPaneReadout::CPaneReadout() {
    QAccessible::installActivationObserver(this);
}

CPaneReadout::~CPaneReadout() {
    QAccessible::removeActivationObserver(this);
}

std::vector<QString>* CPaneReadout::Begin() {
    m_logging = (m_listening || QAccessible::isActive()) && (!m_since.isValid() || m_since.elapsed() >= kIntervalMs);
    if (!m_logging)
        return nullptr;
    m_texts.clear();
    return &m_texts;
}

void CPaneReadout::End(QWidget& pane) {
    if (!m_logging)
        return;
    m_logging = false;
    m_since.start();
    QStringList lines;
    for (const QString& text : m_texts) {
        const QString line = text.simplified();
        if (!line.isEmpty())
            lines << line;
    }
    const QString description = lines.join(QLatin1Char('\n'));
    // Setting it tells the screen reader of the change.
    if (description != pane.accessibleDescription())
        pane.setAccessibleDescription(description);
}

void NamePane(QWidget* pane, int text) {
    const char* name = GetTorvelString(text);
    if (pane && name)
        pane->setAccessibleName(QString::fromUtf8(name));
}

void PaintView(QPainter& painter, QWidget& pane, CViewInterface& intf, CPaneReadout* readout) {
    const CRect client(0, 0, pane.width(), pane.height());
    std::vector<QString>* log = readout ? readout->Begin() : nullptr;
    QImage surface = PaintSurface(painter, pane);
    if (!surface.isNull()) {
        CDC dc(&surface);
        dc.SetTextLog(log);
        intf.Draw(&dc, client);
    } else {
        CDC dc(&painter);
        dc.SetTextLog(log);
        intf.Draw(&dc, client);
    }
    if (readout)
        readout->End(pane);
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
    PaintView(painter, *this, *m_intf, &m_readout);
    if (hasFocus())
        DrawFocusMark(painter, *this);
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

void CPaneView::leaveEvent(QEvent* event) {
    if (m_intf)
        m_intf->OnMouseLeave();
    QWidget::leaveEvent(event);
}

void CPaneView::keyReleaseEvent(QKeyEvent* event) {
    if (m_intf && !event->isAutoRepeat())
        m_intf->OnKeyUp(ViewVirtualKey(event->key()), 1, 0);
    QWidget::keyReleaseEvent(event);
}

// The focus mark comes and goes with the focus.
void CPaneView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void CPaneView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
