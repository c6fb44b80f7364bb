// Tests of the gradient push button (bands, caption lines, looks, edge, menu
// point, click and release) and of the main frame's button bar built on it.
#include "app/buttonbar.h"
#include "draw/gradientbutton.h"
#include "lib/blendobject.h"
#include "lib/drawobject.h"
#include "platform/dc.h"

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr COLORREF kFace = RGB(40, 80, 160);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kLine = RGB(255, 0, 0);

COLORREF PixelAt(const QImage& image, int x, int y) {
    QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

// The bounding box of the pixels of one colour inside the edge (2 pixels).
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int count = 0;
    bool empty() const { return count == 0; }
};
Box FindColor(const QImage& image, COLORREF color, int yFrom = 2, int yTo = -1) {
    Box b;
    if (yTo < 0)
        yTo = image.height() - 2;
    for (int y = yFrom; y < yTo; ++y)
        for (int x = 2; x < image.width() - 2; ++x)
            if (PixelAt(image, x, y) == color) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
    return b;
}

class GradientButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_object.SetUpdateBkColor(kFace);
        m_object.SetUpdateTextColor(kText);
        LOGPEN pen;
        m_object.GetLOGPEN(&pen);
        pen.lopnColor = kLine;
        m_object.SetUpdateLOGPEN(&pen);
        LOGFONT font;
        m_object.GetLOGFONT(&font);
        font.lfHeight = -12;
        m_object.SetUpdateLOGFONT(&font);
        m_object.SetUpdateFlag();
        m_object.UpdateDrawObjectNow();
        m_button.SetDrawObject(&m_object);
        m_button.resize(120, 48);
    }
    CDrawObject m_object;
    CGradientButton m_button;
};

TEST_F(GradientButtonTest, TwelveBandsRunFromHighlightToFace) {
    QImage image = m_button.RenderImage();
    const int height = m_button.height();
    const std::int64_t band = (static_cast<std::int64_t>(height + 1) << 16) / 12;
    const COLORREF highlight = m_button.GetHighlightColor();
    for (int k = 0; k < 12; ++k) {
        int top = static_cast<int>((k * band) >> 16);
        int bottom = k == 11 ? height : static_cast<int>(((k + 1) * band) >> 16);
        COLORREF expected = AlphaBlendFunction(kFace, highlight, 15 + 16 * k);
        // Rows inside the band, clear of the 2-pixel edge.
        for (int y = std::max(top, 2); y < std::min(bottom, height - 2); ++y)
            EXPECT_EQ(PixelAt(image, 5, y), expected) << "band " << k << " row " << y;
    }
    // The top is nearly the highlight colour, the bottom mostly the face colour.
    EXPECT_GT(GetRValue(PixelAt(image, 5, 2)), 200);
    EXPECT_LT(GetRValue(PixelAt(image, 5, height - 3)), 100);
}

TEST_F(GradientButtonTest, FaceColourOverridesTheDrawObjectBackground) {
    m_button.SetFaceColor(RGB(0, 200, 0));
    QImage image = m_button.RenderImage();
    EXPECT_EQ(PixelAt(image, 5, m_button.height() - 3),
              AlphaBlendFunction(RGB(0, 200, 0), m_button.GetHighlightColor(), 15 + 16 * 11));
}

TEST_F(GradientButtonTest, GradientIsBuiltOncePerSize) {
    m_button.RenderImage();
    m_button.RenderImage();
    m_button.RenderImage();
    EXPECT_EQ(m_button.GradientBuildCount(), 1);
    m_button.resize(90, 40);
    m_button.RenderImage();
    m_button.RenderImage();
    EXPECT_EQ(m_button.GradientBuildCount(), 2);
}

TEST_F(GradientButtonTest, TwoWordsGoOnTwoLinesFirstWordAbove) {
    m_button.setText("WWWW ii");
    QImage image = m_button.RenderImage();
    const int middle = m_button.height() / 2;
    Box upper = FindColor(image, kText, 2, middle);
    Box lower = FindColor(image, kText, middle, -1);
    ASSERT_FALSE(upper.empty());
    ASSERT_FALSE(lower.empty());
    // The wide first word is above, the narrow second word below; both centred.
    EXPECT_GT(upper.right - upper.left, 2 * (lower.right - lower.left));
    const int centre = m_button.width() / 2;
    EXPECT_NEAR((upper.left + upper.right) / 2, centre, 2);
    EXPECT_NEAR((lower.left + lower.right) / 2, centre, 2);
    // The block is centred vertically.
    Box all = FindColor(image, kText);
    EXPECT_NEAR(all.top - 0, m_button.height() - 1 - all.bottom, 6);
}

TEST_F(GradientButtonTest, OneWordIsOneCentredLine) {
    m_button.setText("WWWW");
    QImage image = m_button.RenderImage();
    Box all = FindColor(image, kText);
    ASSERT_FALSE(all.empty());
    EXPECT_LT(all.bottom - all.top, 14);
    EXPECT_NEAR((all.top + all.bottom) / 2, m_button.height() / 2, 4);
    EXPECT_NEAR((all.left + all.right) / 2, m_button.width() / 2, 2);
}

TEST_F(GradientButtonTest, ACaptionWiderThanTheButtonIsShortenedNotLost) {
    m_button.resize(40, 40);
    m_button.setText("WWWWWWWWWWWW");
    Box one = FindColor(m_button.RenderImage(), kText);
    ASSERT_FALSE(one.empty());
    EXPECT_GE(one.left, 2);
    EXPECT_LE(one.right, m_button.width() - 3);
    // Both lines of a two-word caption stay, each inside the button.
    m_button.setText("WWWWWWWWWWWW i");
    Box upper = FindColor(m_button.RenderImage(), kText, 2, m_button.height() / 2);
    Box lower = FindColor(m_button.RenderImage(), kText, m_button.height() / 2, -1);
    ASSERT_FALSE(upper.empty());
    ASSERT_FALSE(lower.empty());
    EXPECT_LE(upper.right, m_button.width() - 3);
    // A button too narrow even for the shortened text shows none.
    m_button.resize(6, 40);
    EXPECT_TRUE(FindColor(m_button.RenderImage(), kText).empty());
}

TEST_F(GradientButtonTest, ThreeLooks) {
    m_button.setText("WWWW");
    Box normal = FindColor(m_button.RenderImage(), kText);
    ASSERT_FALSE(normal.empty());

    // Pressed and ticked: one pixel right and down, in the line colour.
    m_button.SetState(CGradientButton::kStatePressed);
    QImage pressed = m_button.RenderImage();
    EXPECT_TRUE(FindColor(pressed, kText).empty());
    Box red = FindColor(pressed, kLine);
    ASSERT_FALSE(red.empty());
    EXPECT_EQ(red.left, normal.left + 1);
    EXPECT_EQ(red.top, normal.top + 1);

    // Pressed without the ticked flag: moved, in the text colour.
    m_button.SetTickedFlag(0);
    Box moved = FindColor(m_button.RenderImage(), kText);
    EXPECT_EQ(moved.left, normal.left + 1);
    EXPECT_EQ(moved.top, normal.top + 1);

    // Disabled: embossed grey, no text colour.
    m_button.SetState(CGradientButton::kStateDisabled);
    QImage disabled = m_button.RenderImage();
    EXPECT_TRUE(FindColor(disabled, kText).empty());
    EXPECT_FALSE(FindColor(disabled, GetSysColor(COLOR_BTNSHADOW)).empty());
}

TEST_F(GradientButtonTest, PressedButtonHasASunkenEdge) {
    QImage raised = m_button.RenderImage();
    const int r = m_button.width() - 1, b = m_button.height() - 1;
    EXPECT_EQ(PixelAt(raised, 0, 0), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(PixelAt(raised, r, b), GetSysColor(COLOR_3DDKSHADOW));
    m_button.SetState(CGradientButton::kStatePressed);
    QImage sunken = m_button.RenderImage();
    EXPECT_EQ(PixelAt(sunken, 0, 0), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(PixelAt(sunken, r, b), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(GradientButtonTest, MenuPointIsBelowAfterPaintAndAboveWhenAsked) {
    m_button.move(30, 20);
    m_button.RenderImage();
    QPoint below = m_button.mapToGlobal(QPoint(60, 48));
    EXPECT_EQ(m_button.MenuPoint().x, below.x());
    EXPECT_EQ(m_button.MenuPoint().y, below.y());
    POINT above = m_button.GetMenuPoint();
    QPoint top = m_button.mapToGlobal(QPoint(60, 0));
    EXPECT_EQ(above.x, top.x());
    EXPECT_EQ(above.y, top.y());
}

TEST_F(GradientButtonTest, ClickTogglesAndReleaseReturnsWithoutTickedFlag) {
    int clicks = 0;
    QObject::connect(&m_button, &QAbstractButton::clicked, [&] { ++clicks; });
    // A latching button: every click toggles, a release keeps the state.
    m_button.SetTickedFlag(1);
    m_button.click();
    EXPECT_EQ(m_button.GetState(), 1);
    m_button.click();
    EXPECT_EQ(m_button.GetState(), 0);

    // A momentary button: pressed while the mouse is down, back on release.
    m_button.SetTickedFlag(0);
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_button, &down);
    EXPECT_EQ(m_button.GetState(), 1);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_button, &up);
    EXPECT_EQ(m_button.GetState(), 0);
    EXPECT_EQ(clicks, 3);

    // The disabled look ignores clicks.
    m_button.SetState(CGradientButton::kStateDisabled);
    m_button.click();
    EXPECT_EQ(m_button.GetState(), -1);
}

TEST_F(GradientButtonTest, WithoutDrawObjectTheButtonStillPaints) {
    CGradientButton plain;
    plain.resize(60, 30);
    plain.setText("A B");
    QImage image = plain.RenderImage();
    // Row 27 of 30 lies in band 10.
    EXPECT_EQ(PixelAt(image, 5, 27), AlphaBlendFunction(GetSysColor(COLOR_BTNFACE),
                                                        plain.GetHighlightColor(), 15 + 16 * 10));
}

// ---- The button bar

TEST(ButtonBar, StatesBecomeButtonLooks) {
    CButtonBar bar;
    bar.resize(800, 40);
    CButtonBar::ButtonState ticked{QString("Max Hold"), 1, 1, true};
    bar.SetButtonState(0, ticked);
    EXPECT_EQ(bar.Button(0)->GetState(), CGradientButton::kStatePressed);
    EXPECT_EQ(bar.Button(0)->GetTickedFlag(), 1);
    EXPECT_EQ(bar.Button(0)->text(), QString("Max Hold"));

    CButtonBar::ButtonState plain{QString("Start"), 0, 0, true};
    bar.SetButtonState(1, plain);
    EXPECT_EQ(bar.Button(1)->GetState(), CGradientButton::kStateNormal);
    EXPECT_EQ(bar.Button(1)->GetTickedFlag(), 0);

    CButtonBar::ButtonState disabled{QString("Peak"), 0, -1, false};
    bar.SetButtonState(2, disabled);
    EXPECT_EQ(bar.Button(2)->GetState(), CGradientButton::kStateDisabled);
    EXPECT_FALSE(bar.Button(2)->isEnabled());

    // All buttons share the bar's draw object.
    for (int i = 0; i < CButtonBar::kButtons; ++i)
        EXPECT_EQ(bar.Button(i)->GetDrawObject(), bar.GetDrawObject());
    EXPECT_STREQ(bar.GetDrawObject()->GetTitleString(), "CTRL_BUTTON");
    EXPECT_STREQ(bar.GetDrawObject()->GetIDString(), "WINDOW");
}

TEST(ButtonBar, FunctionKeysClickOnlyEnabledButtons) {
    CButtonBar bar;
    bar.resize(800, 40);
    std::vector<int> pressed;
    bar.OnPressed = [&](int i) { pressed.push_back(i); };
    bar.SetButtonState(2, CButtonBar::ButtonState{QString("X"), 0, -1, false});
    bar.SetButtonState(3, CButtonBar::ButtonState{QString("Y"), 0, 0, true});
    EXPECT_TRUE(bar.HandleFunctionKey(Qt::Key_F3, true));
    EXPECT_TRUE(pressed.empty());
    EXPECT_TRUE(bar.HandleFunctionKey(Qt::Key_F4, true));
    EXPECT_TRUE(bar.HandleFunctionKey(Qt::Key_F4, false));
    ASSERT_EQ(pressed.size(), 1u);
    EXPECT_EQ(pressed[0], 3);
    EXPECT_FALSE(bar.HandleFunctionKey(Qt::Key_F11, true));
    // A momentary button is back to normal after its key click.
    EXPECT_EQ(bar.Button(3)->GetState(), CGradientButton::kStateNormal);
}

} // namespace
