// The gradient push button: painting through the GDI layer, the cached
// gradient bitmap, and the click and release behaviour.
#include "draw/gradientbutton.h"

#include "lib/blendobject.h"
#include "lib/drawobject.h"
#include "platform/dc.h"

#include <QImage>
#include <QPainter>

#include <cstdint>

namespace {
// Band k of the gradient is AlphaBlendFunction(face, highlight, 15 + 16 k):
// nearly the highlight colour at the top, mostly the face colour at the bottom.
constexpr int kFirstBandAlpha = 15;
constexpr int kBandAlphaStep = 16;
// A line of the caption is drawn only when it is narrower than the width minus this.
constexpr int kCaptionMargin = 4;
// The second caption line starts this many pixels before the first line ends.
constexpr int kLineOverlap = 2;
// What stands for the end of a caption line that does not fit.
constexpr char kElision[] = "..";
} // namespace

CGradientButton::CGradientButton(QWidget* parent)
    : QAbstractButton(parent), m_HighlightColor(GetSysColor(COLOR_BTNHIGHLIGHT)) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(this, &QAbstractButton::pressed, this, &CGradientButton::OnClickMessage);
    connect(this, &QAbstractButton::released, this, &CGradientButton::OnReleaseMessage);
}

CGradientButton::~CGradientButton() = default;

void CGradientButton::SetState(int state) {
    if (state < kStateDisabled)
        state = kStateDisabled;
    if (state > kStatePressed)
        state = kStatePressed;
    if (state != m_State) {
        m_State = state;
        update();
    }
}

void CGradientButton::OnClickMessage() {
    if (!isEnabled() || m_State == kStateDisabled)
        return;
    m_State = m_State == kStateNormal ? kStatePressed : kStateNormal;
    RedrawNow();
}

void CGradientButton::OnReleaseMessage() {
    if (m_TickedFlag != 0 || m_State == kStateDisabled)
        return;
    m_State = kStateNormal;
    RedrawNow();
}

void CGradientButton::RedrawNow() {
    if (isVisible())
        repaint();
}

POINT CGradientButton::GetMenuPoint() {
    QPoint p = mapToGlobal(QPoint(width() / 2, 0));
    m_MenuPoint = POINT{p.x(), p.y()};
    return m_MenuPoint;
}

QSize CGradientButton::sizeHint() const {
    return QSize(80, 34);
}

QImage CGradientButton::RenderImage(double ratio) {
    // The button's device pixels: its caption in the font at the device size.
    QImage image(qMax(qRound(width() * ratio), 1), qMax(qRound(height() * ratio), 1),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    CDC dc(&image);
    DrawItem(&dc, CRect(0, 0, width(), height()));
    dc.Detach();
    return image;
}

void CGradientButton::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    QImage image = RenderImage(devicePixelRatioF());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void CGradientButton::BuildGradient(CDC* pDC, const CRect& item, COLORREF face) {
    const int width = item.Width();
    const int height = item.Height();
    m_Gradient.DeleteObject();
    m_CachedSize = item;
    m_CachedFace = face;
    m_CachedHighlight = m_HighlightColor;
    m_CachedRatio = pDC ? pDC->CompatibleRatio() : 1.0;
    ++m_GradientBuilds;
    if (width <= 0 || height <= 0 || !m_Gradient.CreateCompatibleBitmap(pDC, width, height))
        return;
    CDC memDC;
    memDC.CreateCompatibleDC(pDC);
    CBitmap* old = memDC.SelectObject(&m_Gradient);
    // Bands of equal height in 16.16; the last one ends at the bottom.
    const std::int64_t band = (static_cast<std::int64_t>(height + 1) << 16) / kBands;
    for (int k = 0; k < kBands; ++k) {
        const int top = static_cast<int>((k * band) >> 16);
        int bottom = static_cast<int>(((k + 1) * band) >> 16);
        if (bottom > height || k == kBands - 1)
            bottom = height;
        if (bottom <= top)
            continue;
        const COLORREF color =
            AlphaBlendFunction(face, m_HighlightColor, kFirstBandAlpha + kBandAlphaStep * k);
        memDC.FillSolidRect(0, top, width, bottom - top, color);
    }
    memDC.SelectObject(old);
    memDC.DeleteDC();
}

void CGradientButton::DrawItem(CDC* pDC, const RECT& itemRect) {
    if (!pDC)
        return;
    const CRect item(itemRect);

    // 1. Transparent text in the draw object's font and text colour.
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    CFont* oldFont = nullptr;
    COLORREF oldText = pDC->GetTextColor();
    COLORREF face = m_FaceColor;
    if (m_pDrawObject) {
        m_pDrawObject->UpdateDrawObjectNow();
        oldFont = pDC->SelectObject(m_pDrawObject->GetFont());
        pDC->SetTextColor(m_pDrawObject->GetTextColor());
        if (face == 0)
            face = m_pDrawObject->GetBackGroundColor();
    } else {
        pDC->SetTextColor(GetSysColor(COLOR_BTNTEXT));
        if (face == 0)
            face = GetSysColor(COLOR_BTNFACE);
    }

    // 2. The gradient is rebuilt only when the size (or its colours) changed.
    if (item.Width() != m_CachedSize.Width() || item.Height() != m_CachedSize.Height() ||
        face != m_CachedFace || m_HighlightColor != m_CachedHighlight ||
        pDC->CompatibleRatio() != m_CachedRatio || !m_Gradient.GetSafeHandle())
        BuildGradient(pDC, item, face);

    // 3. The gradient.
    if (m_Gradient.GetSafeHandle()) {
        CDC memDC;
        memDC.CreateCompatibleDC(pDC);
        CBitmap* old = memDC.SelectObject(&m_Gradient);
        pDC->BitBlt(item.left, item.top, item.Width(), item.Height(), &memDC, 0, 0, SRCCOPY);
        memDC.SelectObject(old);
        memDC.DeleteDC();
    }

    // 4. The caption; 5. the edge.
    DrawCaption(pDC, item);
    RECT edge = item;
    pDC->DrawEdge(&edge, m_State == kStatePressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    // 6. The menu point below the button, and the DC as it was.
    const QPoint below = mapToGlobal(QPoint((item.left + item.right) / 2, item.bottom));
    m_MenuPoint = POINT{below.x(), below.y()};
    if (oldFont)
        pDC->SelectObject(oldFont);
    pDC->SetTextColor(oldText);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
}

void CGradientButton::DrawCaption(CDC* pDC, const CRect& item) {
    const CString caption(text().toUtf8().constData());
    if (caption.IsEmpty())
        return;
    const int blank = caption.Find(' ');
    const int width = item.Width();
    const int height = item.Height();
    if (blank < 0) {
        const CSize size = pDC->GetTextExtent(caption);
        DrawCaptionLine(pDC, item.left + (width - size.cx) / 2, item.top + (height - size.cy) / 2,
                        caption, size, width);
        return;
    }
    const CString first = caption.Left(blank);
    const CString second = caption.Mid(blank + 1);
    const CSize size1 = pDC->GetTextExtent(first);
    const CSize size2 = pDC->GetTextExtent(second);
    // The two lines are centred as one block.
    const int block = size1.cy - kLineOverlap + size2.cy;
    const int y1 = item.top + (height - block) / 2;
    const int y2 = y1 + size1.cy - kLineOverlap;
    DrawCaptionLine(pDC, item.left + (width - size1.cx) / 2, y1, first, size1, width);
    DrawCaptionLine(pDC, item.left + (width - size2.cx) / 2, y2, second, size2, width);
}

CString CGradientButton::FitCaptionLine(CDC* pDC, const CString& line, int width) {
    // A line that does not fit loses characters at its end and shows ".."
    // instead, so that a narrow bar still says what a button does; a button
    // too narrow even for that shows nothing.
    if (pDC->GetTextExtent(line).cx < width - kCaptionMargin)
        return line;
    for (int keep = line.GetLength() - 1; keep > 0; --keep) {
        // Never cut a multibyte character.
        if ((static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80)
            continue;
        const CString shortened = line.Left(keep) + kElision;
        if (pDC->GetTextExtent(shortened).cx < width - kCaptionMargin)
            return shortened;
    }
    return CString();
}

void CGradientButton::DrawCaptionLine(CDC* pDC, int x, int y, const CString& text, CSize size,
                                      int width) {
    const CString line = FitCaptionLine(pDC, text, width);
    if (line.IsEmpty())
        return;
    if (line.GetLength() != text.GetLength()) {
        const CSize fitted = pDC->GetTextExtent(line);
        x += (size.cx - fitted.cx) / 2;
        size = fitted;
    }
    switch (m_State) {
    case kStateDisabled:
        pDC->DrawState(CPoint(x, y), size, line, DST_PREFIXTEXT | DSS_DISABLED);
        break;
    case kStatePressed: {
        COLORREF old = pDC->GetTextColor();
        if (m_TickedFlag != 0 && m_pDrawObject)
            pDC->SetTextColor(m_pDrawObject->GetLineColor());
        pDC->TextOut(x + 1, y + 1, line);
        pDC->SetTextColor(old);
        break;
    }
    default:
        pDC->TextOut(x, y, line);
        break;
    }
}
