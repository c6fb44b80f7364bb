// The root context: one off-screen render and one blit per paint.
#include "draw/doublebuffercontext.h"

#include "lib/drawobject.h"
#include "platform/dc.h"

CDoubleBufferContext::CDoubleBufferContext() = default;
CDoubleBufferContext::~CDoubleBufferContext() = default;

WORD CDoubleBufferContext::GetTypeCode() {
    return DrawType::kDoubleBufferContext;
}

CString CDoubleBufferContext::GetClassName() {
    return "CDoubleBufferContext";
}

void CDoubleBufferContext::SetWindowRect(const RECT* rect) {
    if (!rect) {
        return;
    }
    m_Rect = CRect(0, 0, rect->right - rect->left, rect->bottom - rect->top);
    m_WindowX = rect->left;
    m_WindowY = rect->top;
}

void CDoubleBufferContext::Render(CDC* pDC, CDrawContext* parent, void* reserved) {
    const int width = m_Rect.Width();
    const int height = m_Rect.Height();
    if (m_RedrawFlag && m_pDrawObject && pDC && width > 0 && height > 0) {
        // An image that is exactly the window is drawn on straight: the buffer
        // and its blit would give it the same pixels, since the background
        // covers the whole bitmap before anything else is drawn.
        CBitmap surface;
        const bool straight =
            m_WindowX == 0 && m_WindowY == 0 && surface.CreateOverSurface(pDC, width, height);
        CDC memDC;
        memDC.CreateCompatibleDC(pDC);
        // The bitmap is kept between paints; only a new size makes a new one,
        // or a window that moved to a screen of another device pixel ratio.
        // It has the device pixels of pDC, so the window's picture is drawn
        // at the screen's resolution, not enlarged.
        const double ratio = pDC->CompatibleRatio();
        if (!straight && (!m_Buffer.GetSafeHandle() || width != m_BufferWidth ||
                          height != m_BufferHeight || ratio != m_BufferRatio)) {
            m_Buffer.DeleteObject();
            if (m_Buffer.CreateCompatibleBitmap(pDC, width, height)) {
                m_BufferWidth = width;
                m_BufferHeight = height;
                m_BufferRatio = ratio;
            } else {
                m_BufferWidth = m_BufferHeight = 0;
            }
        }
        CBitmap& bitmap = straight ? surface : m_Buffer;
        if (bitmap.GetSafeHandle()) {
            CDrawStockObject stock;
            m_pDrawObject->SelectDrawObject(&memDC, &stock);
            CBitmap* oldBitmap = memDC.SelectObject(&bitmap);
            Draw(&memDC, parent, nullptr);
            if (m_pChild) {
                m_pChild->Render(&memDC, this, nullptr);
            }
            if (!straight) {
                pDC->BitBlt(m_WindowX, m_WindowY, width, height, &memDC, 0, 0, SRCCOPY);
            }
            ++m_PaintCount;
            memDC.SelectObject(oldBitmap);
        }
        memDC.DeleteDC();
    }
    if (m_pNext) {
        m_pNext->Render(pDC, parent, reserved);
    }
}
