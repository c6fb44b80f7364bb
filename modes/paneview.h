// CPaneView: a pane of a window with more than one graph. Like the window's
// own view it draws nothing itself: paint, mouse and key input go to the view
// interface it shows, which renders its tree through an off-screen image and
// runs the gestures. It takes the keyboard focus by a click or Tab and shows
// it as the window's view does.
#pragma once

#include "analysis/viewwindow.h"
#include "platform/wintypes.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

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
// The read-outs of a pane for screen readers: the texts a paint drew (marker,
// level, channel power, XPD and alarm read-outs, the scales), one a line, as
// the pane's accessible description. Renewed at most once a second, and only
// while an assistive technology is listening.
class CPaneReadout : public QAccessible::ActivationObserver {
public:
    CPaneReadout();
    ~CPaneReadout() override;
    CPaneReadout(const CPaneReadout&) = delete;
    CPaneReadout& operator=(const CPaneReadout&) = delete;
    // The platform's accessibility turned on or off (a screen reader started).
    void accessibilityActiveChanged(bool active) override { m_listening = active; }

    // The log a paint's DC is to write its texts to, or null when no renewal
    // is due.
    std::vector<QString>* Begin();
    // After the paint: the texts drawn become the pane's description.
    void End(QWidget& pane);

    // The least time between two renewals.
    static constexpr int kIntervalMs = 1000;

private:
    std::vector<QString> m_texts;
    QElapsedTimer m_since;
    bool m_logging = false;
    bool m_listening = false;
};

// The pane's accessible name: string table text `text`.
void NamePane(QWidget* pane, int text);
// Texts of the accessible names of panes.
namespace PaneNames {
constexpr int kGraph = 2350;
constexpr int kSpectrogram = 2351;
constexpr int kChunk = 2352;
constexpr int kTimeGraph = 2353;
constexpr int kChannelPanel = 2354;
constexpr int kWideGraph = 2355;
constexpr int kXpdValues = 2356;
constexpr int kSecondPath = 2357;
} // namespace PaneNames

// A view's paint: the interface draws the whole pane, straight on the back
// store when PaintSurface allows, else through the painter; with a read-out,
// the texts it drew become the pane's accessible description when due.
void PaintView(QPainter& painter, QWidget& pane, CViewInterface& intf,
               CPaneReadout* readout = nullptr);

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
    CPaneReadout m_readout;
};
