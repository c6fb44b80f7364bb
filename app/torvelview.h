// CTorvelView: the client widget of an analysis window. It draws nothing
// itself: paint and input go to the view interface of its core, which renders
// the window's drawing through an off-screen image, runs the mouse gestures and
// tells the core about the input.
#pragma once

#include "analysis/viewwindow.h"
#include "modes/paneview.h"
#include "platform/wintypes.h"

#include <QWidget>

class CAnalysisCore;
class CViewInterface;
class QInputEvent;
class QMouseEvent;

class CTorvelView : public QWidget, public CViewWindow {
    Q_OBJECT
public:
    explicit CTorvelView(QWidget* parent = nullptr);
    ~CTorvelView() override;
    // Null also detaches the view interface: the core is going away.
    void SetCore(CAnalysisCore* core);
    CAnalysisCore* GetCore() const { return m_core; }

    // ---- The window as its view interface sees it.
    // Set by the interface when its core attaches to the window.
    void SetViewInterface(CViewInterface* intf) override { m_intf = intf; }
    CViewInterface* GetViewInterface() const override { return m_intf; }
    void Invalidate() override;
    void InvalidateRect(const CRect& rect) override;
    CRect GetClientRect() const override;
    void SetCursorShape(ViewCursorShape shape) override;

    // The key and button flags (MK_ values) of an input event.
    static UINT KeyFlags(const QInputEvent* event);

    // Commands 37000-37199 and their states go to the view interface; false
    // when the id is outside that range or nothing handled it.
    bool ExecuteViewCommand(UINT id);
    bool ViewCommandState(UINT id, int* state);
    // Scroll messages (a scroll code and a position) go to the view interface.
    void HScroll(UINT code, int position);
    void VScroll(UINT code, int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The view holds the mouse from a button press until the last button is
    // released; losing it then, or on any other way, is a capture change.
    void releaseCapture();
    bool m_hasCapture = false;

    void paintWithoutInterface();

    CAnalysisCore* m_core = nullptr;
    CViewInterface* m_intf = nullptr;
    CPaneReadout m_readout;
};
