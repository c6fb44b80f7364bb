#include "buttonbar.h"

#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

CButtonBar::CButtonBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::number(kBarId));
    setMinimumHeight(40);
    for (int i = 0; i < kButtons; ++i) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::number(kControlIds[static_cast<size_t>(i)]));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, i] {
            if (OnPressed)
                OnPressed(i);
        });
        m_buttons[static_cast<size_t>(i)] = b;
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
    QPushButton* b = m_buttons[static_cast<size_t>(index)];
    b->setText(state.caption);
    b->setCheckable(state.toggleLook != 0);
    b->setChecked(state.toggleLook != 0 && state.ticked == 1);
    b->setEnabled(state.enabled);
}

QPoint CButtonBar::MenuPoint(int index) const {
    QPushButton* b = m_buttons[static_cast<size_t>(std::clamp(index, 0, kButtons - 1))];
    return b->mapToGlobal(QPoint(0, 0));
}

bool CButtonBar::HandleFunctionKey(int qtKey, bool keyDown) {
    if (qtKey < Qt::Key_F1 || qtKey > Qt::Key_F10)
        return false;
    int index = qtKey - Qt::Key_F1;
    QPushButton* b = m_buttons[static_cast<size_t>(index)];
    if (keyDown && b->isEnabled())
        b->click();
    return true;
}
