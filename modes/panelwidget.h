// CPanelWidget: the pane of a window's button panel. It draws the panel
// through a memory image, or straight on the window's back store when all of
// it is repainted (the panel paints every pixel of it), and passes left and
// right presses to its owner; with keys set it takes the keyboard focus, shows
// it by a frame, and passes key presses on.
#pragma once

#include "modes/paneview.h"
#include "platform/geometry.h"

#include <QImage>
#include <QWidget>

#include <functional>

class CDC;

class CPanelWidget : public QWidget {
public:
    // draw lays the panel out in the rectangle and draws every pixel of it;
    // press gets the point and whether the right button was pressed.
    using DrawFunction = std::function<void(CDC*, const CRect&)>;
    using PressFunction = std::function<void(int x, int y, bool right)>;
    // Gets the Qt key code and whether the press is a held key's repeat;
    // false when the key is not the panel's.
    using KeyFunction = std::function<bool(int key, bool repeat)>;

    CPanelWidget(DrawFunction draw, PressFunction press, QWidget* parent = nullptr);
    // The panel takes the focus; toolTip (may be null) names its keys.
    void SetKeys(const char* toolTip, KeyFunction keys);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    DrawFunction m_draw;
    PressFunction m_press;
    KeyFunction m_keys;
    // The memory image, kept between paints; a new size or device pixel
    // ratio makes a new one.
    QImage m_image;
    CPaneReadout m_readout;
};
