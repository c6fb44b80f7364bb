// CPaneView: a pane of a window with more than one graph. Like the window's
// own view it draws nothing itself: paint, mouse and key input go to the view
// interface it shows, which renders its tree through an off-screen image and
// runs the gestures. It takes the keyboard focus by a click or Tab and shows
// it as the window's view does.
#pragma once

#include "analysis/viewwindow.h"
#include "platform/wintypes.h"

#include <QImage>
#include <QWidget>

class QPainter;

// The mouse cursor of a shape a view interface asks for.
Qt::CursorShape QtCursorShape(ViewCursorShape shape);
// The virtual-key code of a key as a view interface receives it: letters and
// digits as their upper case character, the arrows and a few editing keys as
// their VK_ codes, other keys as Qt's key code.
UINT ViewVirtualKey(int qtKey);
// The focus mark of a pane that has the keyboard focus: a frame in the
// highlight colour just inside its edge, over what the pane shows.
void DrawFocusMark(QPainter& painter, const QWidget& pane);
// The part of the window's back store a paint of the whole pane writes, as an
// image over the store's own pixels at the store's device pixel ratio, or a
// null image. A pane whose view draws on it straight saves its off-screen
// image and the copy of it: the picture is the same, since the view paints
// every pixel of the pane. Null when the painter does not paint on such a
// store (another device or format, a painter transformed beyond the store's
// scale or clipped, a pane not on whole device pixels), or when a part of the
// pane is not being repainted (another window covers it, or only a part was
// invalidated).
QImage PaintSurface(QPainter& painter, const QWidget& pane);
// A blank (uninitialised) image of the pane's size in its device pixels, at
// its device pixel ratio: what a pane draws through a DC before it is copied.
// One of that size and ratio is kept: image is made anew only when it differs.
void FitPaneImage(QImage& image, const QWidget& pane);
// A view's paint: the interface draws the whole pane, straight on the back
// store when PaintSurface allows, else through the painter.
void PaintView(QPainter& painter, const QWidget& pane, CViewInterface& intf);

class CPaneView : public QWidget, public CViewWindow {
public:
    explicit CPaneView(QWidget* parent = nullptr);
    ~CPaneView() override;

    void SetViewInterface(CViewInterface* intf) override { m_intf = intf; }
    CViewInterface* GetViewInterface() const override { return m_intf; }
    void Invalidate() override;
    void InvalidateRect(const CRect& rect) override;
    CRect GetClientRect() const override;
    void SetCursorShape(ViewCursorShape shape) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CViewInterface* m_intf = nullptr;
};
