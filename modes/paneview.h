// CPaneView: a pane of a window with more than one graph. Like the window's
// own view it draws nothing itself: paint and mouse input go to the view
// interface it shows, which renders its tree through an off-screen image and
// runs the gestures.
#pragma once

#include "analysis/viewwindow.h"

#include <QWidget>

// The mouse cursor of a shape a view interface asks for.
Qt::CursorShape QtCursorShape(ViewCursorShape shape);

class CPaneView : public QWidget, public CViewWindow {
public:
    explicit CPaneView(QWidget* parent = nullptr);
    ~CPaneView() override;

    void SetViewInterface(CViewInterface* intf) override { m_intf = intf; }
    CViewInterface* GetViewInterface() const override { return m_intf; }
    void Invalidate() override { update(); }
    void InvalidateRect(const CRect& rect) override;
    CRect GetClientRect() const override;
    void SetCursorShape(ViewCursorShape shape) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    CViewInterface* m_intf = nullptr;
};
