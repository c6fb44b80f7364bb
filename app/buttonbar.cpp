#include "buttonbar.h"

#include "draw/gradientbutton.h"
#include "lib/drawobject.h"
#include "platform/dc.h"
#include "platform/profile.h"

#include <QResizeEvent>

#include <algorithm>

namespace {
constexpr char kProfileSection[] = "WINDOW";
constexpr char kTitle[] = "CTRL_BUTTON";
// A ticked button shows its caption in the line colour; blue unless the
// profile says otherwise.
constexpr COLORREF kDefaultTickedColor = RGB(0, 0, 255);
} // namespace

CButtonBar::CButtonBar(QWidget* parent)
    : QWidget(parent), m_drawObject(std::make_unique<CDrawObject>(0, kProfileSection)) {
    setObjectName(QString::number(kBarId));
    setMinimumHeight(40);
    // Without stored colours the buttons take the system's button face.
    m_drawObject->SetTitleString(kTitle);
    if (GetProfileString(kProfileSection, "Back").IsEmpty())
        m_drawObject->SetUpdateBkColor(GetSysColor(COLOR_BTNFACE));
    if (GetProfileString(kProfileSection, "Pen").IsEmpty()) {
        LOGPEN pen;
        m_drawObject->GetLOGPEN(&pen);
        pen.lopnColor = kDefaultTickedColor;
        m_drawObject->SetUpdateLOGPEN(&pen);
    }
    m_drawObject->SetUpdateFlag();
    m_drawObject->UpdateDrawObjectNow();
    for (int i = 0; i < kButtons; ++i) {
        auto* b = new CGradientButton(this);
        b->setObjectName(QString::number(kControlIds[static_cast<size_t>(i)]));
        b->SetDrawObject(m_drawObject.get());
        connect(b, &QAbstractButton::clicked, this, [this, i] {
            if (OnPressed)
                OnPressed(i);
        });
        m_buttons[static_cast<size_t>(i)] = b;
    }
}

// The buttons are children of this widget and go before the draw object they use.
CButtonBar::~CButtonBar() {
    for (CGradientButton*& b : m_buttons) {
        delete b;
        b = nullptr;
    }
}

std::array<CRect, CButtonBar::kButtons> CButtonBar::Layout(const CRect& client) {
    CRect r = client;
    r.DeflateRect(2, 3);
    std::array<CRect, kButtons> out{};
    // Column width and positions in 16.16: step = ((width + 1) << 16) / 10.
    const std::int64_t step = (static_cast<std::int64_t>(r.Width() + 1) << 16) / kButtons;
    std::int64_t x = 0;
    for (int i = 0; i < kButtons; ++i) {
        std::int64_t end = x + step;
        int left = r.left + static_cast<int>(x >> 16);
        int right = std::min(r.left + static_cast<int>(end >> 16), static_cast<int>(r.right));
        out[static_cast<size_t>(i)] = CRect(left, r.top, right, r.bottom);
        x = end + 1;
    }
    return out;
}

void CButtonBar::relayout() {
    auto rects = Layout(CRect(0, 0, width(), height()));
    for (int i = 0; i < kButtons; ++i) {
        const CRect& r = rects[static_cast<size_t>(i)];
        m_buttons[static_cast<size_t>(i)]->setGeometry(r.left, r.top, r.Width(), r.Height());
    }
    update();
}

void CButtonBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void CButtonBar::SetButtonState(int index, const ButtonState& state) {
    if (index < 0 || index >= kButtons)
        return;
    m_states[static_cast<size_t>(index)] = state;
    CGradientButton* b = m_buttons[static_cast<size_t>(index)];
    b->setText(state.caption);
    // The toggle look keeps a clicked button pressed; ticked is the look itself.
    b->SetTickedFlag(state.toggleLook);
    b->setEnabled(state.enabled);
    b->SetState(state.enabled ? (state.ticked == 1 ? CGradientButton::kStatePressed
                                                   : CGradientButton::kStateNormal)
                              : CGradientButton::kStateDisabled);
    b->update();
}

QPoint CButtonBar::MenuPoint(int index) const {
    CGradientButton* b = m_buttons[static_cast<size_t>(std::clamp(index, 0, kButtons - 1))];
    POINT p = b->GetMenuPoint();
    return QPoint(p.x, p.y);
}

bool CButtonBar::HandleFunctionKey(int qtKey, bool keyDown, Qt::KeyboardModifiers modifiers) {
    if (qtKey < Qt::Key_F1 || qtKey > Qt::Key_F10)
        return false;
    if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    int index = qtKey - Qt::Key_F1;
    CGradientButton* b = m_buttons[static_cast<size_t>(index)];
    if (keyDown && b->isEnabled())
        b->click();
    return true;
}
