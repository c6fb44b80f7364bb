// CViewWindow: the window that shows a view interface's drawing and passes its
// paint and input messages to it (the analysis window's view). The interface
// reaches its window only through these operations.
#pragma once

#include "platform/geometry.h"

class CViewInterface;

// The mouse cursor shapes a view interface asks for.
enum class ViewCursorShape { Arrow, SizeWE, SizeNS, SizeAll };

class CViewWindow {
public:
    // The interface that draws this window and takes its input; null = none.
    // A window that goes away detaches the interface it shows first.
    virtual void SetViewInterface(CViewInterface* intf) = 0;
    virtual CViewInterface* GetViewInterface() const = 0;
    // The whole window or rect is repainted in the next turn of the event loop.
    virtual void Invalidate() = 0;
    virtual void InvalidateRect(const CRect& rect) = 0;
    // (0, 0, width, height).
    virtual CRect GetClientRect() const = 0;
    virtual void SetCursorShape(ViewCursorShape shape) = 0;

protected:
    ~CViewWindow() = default;
};
