// CDoubleBufferContext: the root of a window's drawing. It renders its whole
// subtree into an off-screen bitmap of its size (in the window's device
// pixels) and copies it to the window in one BitBlt, so painting never
// flickers. The bitmap is kept between paints and made anew only when the
// size or the device pixel ratio changes.
#pragma once

#include "draw/backgroundcontext.h"
#include "platform/gdiobjects.h"

class CDoubleBufferContext : public CBackGroundContext {
public:
    CDoubleBufferContext();
    ~CDoubleBufferContext() override;

    // With a draw object and the redraw flag set: the subtree is drawn into the
    // off-screen bitmap and copied to pDC at the window position (or, on an
    // image that is exactly the window, straight onto it). Without a draw
    // object nothing of the subtree is drawn. Then the later siblings.
    void Render(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // The rectangle becomes (0, 0, width, height) of rect, the window position
    // its top-left corner. Null is ignored.
    virtual void SetWindowRect(const RECT* rect);

    int GetWindowX() const { return m_WindowX; }
    int GetWindowY() const { return m_WindowY; }
    // The window rectangle last set.
    CRect GetWindowRect() const {
        return CRect(m_WindowX, m_WindowY, m_WindowX + m_Rect.Width(), m_WindowY + m_Rect.Height());
    }
    // Number of times the subtree was painted on a DC (one per render, through
    // the buffer or straight); for tests and benchmarks.
    unsigned long GetPaintCount() const { return m_PaintCount; }
    // The off-screen bitmap of the last render through the buffer.
    const CBitmap& GetBuffer() const { return m_Buffer; }

private:
    int m_WindowX = 0;
    int m_WindowY = 0;
    CBitmap m_Buffer;
    int m_BufferWidth = 0;
    int m_BufferHeight = 0;
    double m_BufferRatio = 1.0;
    unsigned long m_PaintCount = 0;
};
