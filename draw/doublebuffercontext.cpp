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
        CDC memDC;
        memDC.CreateCompatibleDC(pDC);
        // The bitmap is kept between paints; only a new size makes a new one.
        if (!m_Buffer.GetSafeHandle() || width != m_BufferWidth || height != m_BufferHeight) {
            m_Buffer.DeleteObject();
            if (m_Buffer.CreateCompatibleBitmap(pDC, width, height)) {
                m_BufferWidth = width;
                m_BufferHeight = height;
            } else {
                m_BufferWidth = m_BufferHeight = 0;
            }
        }
        if (m_Buffer.GetSafeHandle()) {
            CDrawStockObject stock;
            m_pDrawObject->SelectDrawObject(&memDC, &stock);
            CBitmap* oldBitmap = memDC.SelectObject(&m_Buffer);
            Draw(&memDC, parent, nullptr);
            if (m_pChild) {
                m_pChild->Render(&memDC, this, nullptr);
            }
            pDC->BitBlt(m_WindowX, m_WindowY, width, height, &memDC, 0, 0, SRCCOPY);
            ++m_BlitCount;
            memDC.SelectObject(oldBitmap);
        }
        memDC.DeleteDC();
    }
    if (m_pNext) {
        m_pNext->Render(pDC, parent, reserved);
    }
}
