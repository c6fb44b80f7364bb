// CButtonBar: the bar of ten command buttons at the bottom of the main window.
// Buttons are gradient push buttons sharing one draw object (profile section
// "WINDOW", title "CTRL_BUTTON"), laid out in ten equal columns computed in
// 16.16 fixed point; each shows the caption and state of one entry of the
// current button list. F1 to F10 press the buttons.
#pragma once

#include "platform/geometry.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class CDrawObject;
class CGradientButton;

class CButtonBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtons = 10;
    static constexpr int kBarId = 103;
    // The control ids of buttons 0..9.
    static constexpr std::array<int, kButtons> kControlIds = {1013, 1018, 1019, 1020, 1021,
                                                              1022, 1023, 1024, 1025, 1026};

    explicit CButtonBar(QWidget* parent = nullptr);
    ~CButtonBar() override;

    // The rectangles of the ten buttons inside a bar client rectangle.
    static std::array<CRect, kButtons> Layout(const CRect& client);

    struct ButtonState {
        QString caption;
        int toggleLook = 0; // 1: the button shows a ticked/unticked state
        int ticked = 0;     // 1 ticked, 0 unticked, -1 disabled
        bool enabled = true;
    };
    void SetButtonState(int index, const ButtonState& state);
    const ButtonState& GetButtonState(int index) const {
        return m_states[static_cast<size_t>(index)];
    }
    CGradientButton* Button(int index) const { return m_buttons[static_cast<size_t>(index)]; }
    CDrawObject* GetDrawObject() const { return m_drawObject.get(); }
    // The point (global) at which a pop-up menu of button index opens, bottom
    // aligned: the middle of the button's top edge.
    QPoint MenuPoint(int index) const;

    // Called with the button index when a button is pressed.
    std::function<void(int)> OnPressed;
    // F1..F10 without Ctrl, Shift, Alt or Meta: presses button key-F1 when it
    // is enabled. True when the key was one of them (the key is then consumed
    // whether or not the button was enabled); a function key with a modifier
    // is left to the window that has the focus.
    bool HandleFunctionKey(int qtKey, bool keyDown,
                           Qt::KeyboardModifiers modifiers = Qt::NoModifier);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();

    std::unique_ptr<CDrawObject> m_drawObject;
    std::array<CGradientButton*, kButtons> m_buttons{};
    std::array<ButtonState, kButtons> m_states{};
};
