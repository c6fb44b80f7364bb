// The drawing primitives and plain contexts on the pixels of memory images:
// the graticule and its reference mark, text anchors, line lists, the double
// buffer's single blit, blending backgrounds, array, text and border contexts.
#include "draw/aroundcontext.h"
#include "draw/arraycontext.h"
#include "draw/blendingbackgroundcontext.h"
#include "draw/doublebuffercontext.h"
#include "draw/drawframe.h"
#include "draw/drawtext.h"
#include "draw/normalframecontext.h"
#include "draw/normaltextcontext.h"
#include "drawtestutil.h"
#include "lib/blendobject.h"

#include <QImage>

using namespace drawtest;

namespace {

// A context holding a frame, drawn with a black pen into a white surface.
struct FrameScene {
    Surface surface{140, 100};
    CDrawContext holder;
    CDrawFrame frame;
    std::unique_ptr<CDrawObject> pen = MakeDrawObject(kWhite, kBlack, kBlack);
    FrameScene(const CRect& rect) {
        holder.SetRect(rect);
        holder.SetDrawObject(pen.get());
        holder.AddChild(&frame);
    }
    void Draw() { holder.Render(&surface.dc, nullptr, nullptr); }
};

} // namespace

TEST(DrawFrame, GridLinesFollowTwelveTwentySteps) {
    // 97 + 1 pixels over 10 divisions is 9.8 a division; the step is cut to
    // 20 fraction bits first, so the fifth line lands on 48, not 49.
    FrameScene scene(CRect(10, 5, 107, 66));
    scene.frame.SetReferenceLine(-40000); // no mark
    scene.Draw();
    const int y = 5 + 3; // a row between horizontal lines
    std::vector<int> columns;
    for (int x = 11; x < 107; ++x) {
        if (scene.surface.At(x, y) == kBlack) {
            columns.push_back(x - 10);
        }
    }
    EXPECT_EQ(columns, (std::vector<int>{9, 19, 29, 39, 48, 58, 68, 78, 88}));
    // 61 + 1 rows over 10: 6.2 a division.
    std::vector<int> rows;
    for (int yy = 6; yy < 66; ++yy) {
        if (scene.surface.At(12, yy) == kBlack) {
            rows.push_back(yy - 5);
        }
    }
    EXPECT_EQ(rows, (std::vector<int>{6, 12, 18, 24, 30, 37, 43, 49, 55}));
    // The outline is closed: all four corners are drawn.
    EXPECT_EQ(scene.surface.At(10, 5), kBlack);
    EXPECT_EQ(scene.surface.At(107, 5), kBlack);
    EXPECT_EQ(scene.surface.At(10, 66), kBlack);
    EXPECT_EQ(scene.surface.At(107, 66), kBlack);
    EXPECT_EQ(scene.frame.GetLastRect(), CRect(10, 5, 107, 66));
}

TEST(DrawFrame, ReferenceMarkAtBottomTopAndFree) {
    // 3 divisions over 90 + 1 rows: sy = 30.33, the mark is 10 pixels, half 5.
    // Its slanted sides lie in the 9 columns right of the left edge.
    const CRect rect(10, 5, 110, 95);
    auto marked = [](const FrameScene& scene, int top, int bottom) {
        return scene.surface.Count(kBlack, CRect(11, top, 20, bottom));
    };
    {
        FrameScene scene(rect);
        scene.frame.SetDivision(2, 3);
        scene.frame.SetReferenceLine(0);
        scene.Draw();
        EXPECT_GT(marked(scene, 90, 95), 0); // closed triangle on the bottom edge
        EXPECT_EQ(marked(scene, 0, 5), 0);
        // A reference above the divisions is also drawn at the bottom.
        FrameScene above(rect);
        above.frame.SetDivision(2, 3);
        above.frame.SetReferenceLine(4);
        above.Draw();
        EXPECT_GT(marked(above, 90, 95), 0);
    }
    {
        FrameScene scene(rect);
        scene.frame.SetDivision(2, 3);
        scene.frame.SetReferenceLine(3);
        scene.Draw();
        EXPECT_GT(marked(scene, 0, 5), 0); // on the top edge, reaching above it
        EXPECT_EQ(marked(scene, 90, 95), 0);
    }
    {
        // On a grid line: an open arrow around line j = 3 - 2 = 1, y = 5 + 30.
        FrameScene scene(rect);
        scene.frame.SetDivision(2, 3);
        scene.frame.SetReferenceLine(2);
        scene.Draw();
        EXPECT_GT(marked(scene, 30, 35), 0);
        EXPECT_GT(marked(scene, 36, 41), 0);
        EXPECT_EQ(marked(scene, 60, 65), 0);
    }
    {
        // Free at -16384: halfway up, y = 95 - 45 = 50, with a line across.
        FrameScene scene(rect);
        scene.frame.SetDivision(2, 3);
        scene.frame.SetReferenceLine(-16384);
        scene.Draw();
        EXPECT_GT(marked(scene, 45, 50), 0);
        EXPECT_GT(marked(scene, 51, 57), 0);
        EXPECT_EQ(scene.surface.At(80, 50), kBlack);
        EXPECT_EQ(scene.surface.At(109, 50), kBlack);
        EXPECT_EQ(scene.surface.At(80, 49), kWhite);
        EXPECT_EQ(scene.surface.At(80, 51), kWhite);
    }
}

TEST(DrawFrame, NoParentOrNoDivisionsDrawsSafely) {
    Surface s(20, 20);
    CDrawFrame frame;
    frame.Draw(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.Count(kWhite), 400);
    FrameScene scene(CRect(2, 2, 30, 30));
    scene.frame.SetDivision(0, -3);
    scene.Draw();
    EXPECT_EQ(scene.surface.At(2, 2), kBlack);
}

TEST(DrawText, AnchorFourCentresAndAnchorThreeAlignsRightBottom) {
    Surface s(200, 100);
    CDrawText text;
    text.SetText("Wg8");
    text.SetTransparent(0); // the opaque cell shows where the text sits
    s.dc.SetBkColor(kGrey);
    s.dc.SetTextColor(kBlack);
    SIZE size{0, 0};
    s.dc.GetTextExtentPoint32("Wg8", 3, &size);
    ASSERT_GT(size.cx, 0);

    text.SetPosition(100, 50, CDrawText::kAnchorCentre);
    text.Draw(&s.dc, nullptr, nullptr);
    CRect grey = s.BoxOf(kGrey);
    CRect ink = s.BoxOf(kBlack);
    CRect cell(std::min(grey.left, ink.left), std::min(grey.top, ink.top),
               std::max(grey.right, ink.right), std::max(grey.bottom, ink.bottom));
    EXPECT_EQ(cell.left, 100 - (size.cx + 1) / 2);
    EXPECT_EQ(cell.top, 50 - (size.cy + 1) / 2);
    EXPECT_EQ(s.dc.GetTextAlign(), 0u); // the DC's alignment is put back

    Surface s2(200, 100);
    s2.dc.SetBkColor(kGrey);
    text.SetPosition(150, 80, CDrawText::kAnchorRightBottom);
    text.Draw(&s2.dc, nullptr, nullptr);
    grey = s2.BoxOf(kGrey);
    ink = s2.BoxOf(kBlack);
    EXPECT_EQ(std::max(grey.right, ink.right), 150);
    EXPECT_EQ(std::max(grey.bottom, ink.bottom), 80);

    // Codes above 8 keep the alignment.
    text.SetPosition(1, 2, 9);
    EXPECT_EQ(text.GetAlignment(), 10u);
}

TEST(DrawText, OwnColourAndInverseAreRestoredAfterDrawing) {
    Surface s(100, 40, kGrey);
    auto object = MakeDrawObject(kBlue, kWhite, kBlack);
    CDrawContext parent;
    parent.SetDrawObject(object.get());
    CDrawText text;
    text.SetText("X");
    text.SetInverse(1);
    text.SetTransparent(0);
    s.dc.SetTextColor(kGreen);
    s.dc.SetBkColor(kGrey);
    text.SetPosition(10, 10, CDrawText::kAnchorLeftTop);
    text.Draw(&s.dc, &parent, nullptr);
    // Inverse with a parent's draw object: text in its background colour on its text colour.
    EXPECT_GT(s.Count(kBlue), 0);
    EXPECT_GT(s.Count(kWhite), 0);
    EXPECT_EQ(s.dc.GetTextColor(), kGreen);
    EXPECT_EQ(s.dc.GetBkColor(), kGrey);

    CDrawText own;
    own.SetText("X");
    own.SetOwnColor(1, kRed);
    own.SetPosition(50, 10, CDrawText::kAnchorLeftTop);
    own.Draw(&s.dc, nullptr, nullptr);
    EXPECT_GT(s.Count(kRed), 0);
    EXPECT_EQ(s.dc.GetTextColor(), kGreen);
    EXPECT_EQ(s.dc.GetBkMode(), OPAQUE);
}

TEST(DrawMultiLineText, HiddenLinesTakeNoRoom) {
    Surface s(200, 200);
    CDrawMultiLineText title, second, third;
    title.SetText("[Torvel]");
    second.SetText("M1: second");
    third.SetText("M2: third");
    title.AppendLine(&second);
    title.AppendLine(&third);
    title.AppendLine(&second); // already on the list
    EXPECT_EQ(title.GetNextLine(), &second);
    EXPECT_EQ(second.GetNextLine(), &third);
    EXPECT_EQ(third.GetNextLine(), nullptr);
    SIZE size{0, 0};
    s.dc.GetTextExtentPoint32("[Torvel]", 8, &size);

    title.SetPosition(4, 10, CDrawText::kAnchorLeftTop);
    second.SetRedrawFlag(0);
    title.Append(&second);
    title.Append(&third);
    title.Render(&s.dc, nullptr, nullptr); // drawn in list order
    EXPECT_EQ(third.GetY(), 10 + size.cy + 2);

    second.SetRedrawFlag(1);
    title.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(second.GetY(), 10 + size.cy + 2);
    EXPECT_EQ(third.GetY(), 10 + 2 * (size.cy + 2));
}

TEST(DoubleBufferContext, RendersTheTreeOffScreenAndBlitsOnce) {
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::black);
    CDC dc(&image);
    auto white = MakeDrawObject(kWhite, kBlack, kBlack);
    auto red = MakeDrawObject(kRed, kBlack, kBlack);
    CDoubleBufferContext root;
    CBackGroundContext half;
    half.SetRatio(0x8000, 0, CDrawContext::kRatioOne, CDrawContext::kRatioOne);
    half.SetDrawObject(red.get());
    root.AddChild(&half);

    const CRect window(10, 20, 110, 70);
    root.SetWindowRect(&window);
    root.SetWindowRect(nullptr); // ignored
    EXPECT_EQ(root.GetRect(), CRect(0, 0, 100, 50));
    EXPECT_EQ(root.GetWindowRect(), window);

    // Without a draw object nothing of the subtree is drawn.
    root.Render(&dc, nullptr, nullptr);
    EXPECT_EQ(root.GetPaintCount(), 0u);
    EXPECT_EQ(dc.GetPixel(80, 40), kBlack);

    root.SetDrawObject(white.get());
    root.Render(&dc, nullptr, nullptr);
    EXPECT_EQ(root.GetPaintCount(), 1u);
    EXPECT_EQ(dc.GetPixel(10, 20), kWhite);
    EXPECT_EQ(dc.GetPixel(59, 69), kWhite);
    EXPECT_EQ(dc.GetPixel(60, 20), kRed); // the child, laid out in the buffer
    EXPECT_EQ(dc.GetPixel(109, 69), kRed);
    EXPECT_EQ(dc.GetPixel(9, 20), kBlack); // outside the window rectangle
    EXPECT_EQ(dc.GetPixel(110, 69), kBlack);
    EXPECT_EQ(dc.GetPixel(10, 70), kBlack);
    EXPECT_EQ(half.GetRect(), CRect(50, 0, 100, 50)); // buffer coordinates

    // The bitmap is kept while the size stays.
    const HGDIOBJ buffer = root.GetBuffer().GetSafeHandle();
    root.Render(&dc, nullptr, nullptr);
    EXPECT_EQ(root.GetPaintCount(), 2u);
    EXPECT_EQ(root.GetBuffer().GetSafeHandle(), buffer);
    const CRect smaller(0, 0, 30, 30);
    root.SetWindowRect(&smaller);
    root.Render(&dc, nullptr, nullptr);
    BITMAP info;
    root.GetBuffer().GetBitmap(&info);
    EXPECT_EQ(info.bmWidth, 30);
    EXPECT_EQ(dc.GetPixel(29, 29), kRed);

    // A hidden root draws nothing.
    root.SetRedrawFlag(0);
    root.Render(&dc, nullptr, nullptr);
    EXPECT_EQ(root.GetPaintCount(), 3u);
}

class BlendingTest : public DrawTest {};

TEST_F(BlendingTest, OverlapsAreBlendedWithTheWindowAlphaFactor) {
    Surface s(200, 100);
    auto white = MakeDrawObject(kWhite, kBlack, kBlack);
    CBlendingBackGroundContext bg;
    bg.SetRect(CRect(0, 0, 199, 99));
    bg.SetDrawObject(white.get());
    CBlendObject red(kRed, CRect(0, 0, 0, 0), 0.0, 0.0, 0.5, 1.0);
    CBlendObject blue(kBlue, CRect(0, 0, 0, 0), 0.25, 0.0, 0.75, 1.0);
    CBlendObject hidden(kGreen, CRect(0, 0, 0, 0), 0.8, 0.0, 0.9, 1.0);
    CBlendObject outside(kGreen, CRect(0, 0, 0, 0), 1.5, 0.0, 2.0, 1.0);
    hidden.SetRedrawFlag(0);
    EXPECT_EQ(bg.AddBlend(&red), red.GetIDNumber());
    bg.AddBlend(&blue);
    bg.AddBlend(&hidden);
    bg.AddBlend(&outside);
    EXPECT_EQ(bg.GetChangedFlag(), 1);

    for (int pass = 0; pass < 3; ++pass) {
        bg.Render(&s.dc, nullptr, nullptr);
        // Red 0..100, blue 50..150 of the 200 pixels; the blend of blue into red between.
        EXPECT_EQ(s.At(20, 50), kRed);
        EXPECT_EQ(s.At(120, 50), kBlue);
        EXPECT_EQ(s.At(75, 50), AlphaBlendFunction(kBlue, kRed, 128));
        EXPECT_EQ(s.At(170, 50), kWhite); // hidden and outside bands are not painted
        EXPECT_EQ(s.At(199, 50), kWhite);
        // Only the masters are left after every draw.
        EXPECT_EQ(red.GetCloneCount(), 0u);
        EXPECT_EQ(red.GetNext(), nullptr);
        EXPECT_EQ(blue.GetNext(), nullptr);
    }
    EXPECT_EQ(GetProfileInt("WINDOW", "AlphaFactor", -1), 128); // written back

    WriteProfileInt("WINDOW", "AlphaFactor", 64);
    bg.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.At(75, 50), AlphaBlendFunction(kBlue, kRed, 64));
    // The DC's colours are as before the bands.
    EXPECT_EQ(s.dc.GetBkColor(), kWhite);

    bg.ClearBlendObjects();
    EXPECT_EQ(bg.GetBlendCount(), 0);
    bg.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.At(75, 50), kWhite);
}

// A blend object that counts its own destruction.
class CountedBlend : public CBlendObject {
public:
    CountedBlend(COLORREF color, double left, double right, int* deleted)
        : CBlendObject(color, CRect(0, 0, 0, 0), left, 0.0, right, 1.0), m_deleted(deleted) {}
    ~CountedBlend() override { ++*m_deleted; }

private:
    int* m_deleted;
};

TEST_F(BlendingTest, NonMasterObjectsOfTheListSurviveEveryDrawUntilCleared) {
    Surface s(200, 100);
    auto white = MakeDrawObject(kWhite, kBlack, kBlack);
    int deleted = 0;
    {
        CBlendingBackGroundContext bg;
        bg.SetRect(CRect(0, 0, 199, 99));
        bg.SetDrawObject(white.get());
        CBlendObject master(kRed, CRect(0, 0, 0, 0), 0.0, 0.0, 0.5, 1.0);
        auto* owned = new CountedBlend(kBlue, 0.25, 0.75, &deleted);
        owned->SetMasterFlag(0);
        bg.AddBlend(&master);
        bg.AddBlend(owned);
        bg.AddBlend(owned); // added twice: still one entry, deleted once
        EXPECT_EQ(bg.GetBlendCount(), 2);
        for (int pass = 0; pass < 3; ++pass) {
            bg.Render(&s.dc, nullptr, nullptr);
            EXPECT_EQ(deleted, 0) << pass;
            EXPECT_EQ(s.At(120, 50), kBlue) << pass;
            EXPECT_EQ(s.At(75, 50), AlphaBlendFunction(kBlue, kRed, 128)) << pass;
        }
        bg.ClearBlendObjects();
        EXPECT_EQ(deleted, 1);

        // One the list owns at its destruction goes with it.
        auto* kept = new CountedBlend(kGreen, 0.0, 1.0, &deleted);
        kept->SetMasterFlag(0);
        bg.AddBlend(kept);
        bg.Render(&s.dc, nullptr, nullptr);
        EXPECT_EQ(s.At(120, 50), kGreen);
        EXPECT_EQ(deleted, 1);
    }
    EXPECT_EQ(deleted, 2);
}

// The background with its blend pieces painted over it one after the other.
struct LayeredBackground : CBlendingBackGroundContext {
    void Layer(CDC* dc) {
        dc->FillSolidRect(&m_Rect, GetDrawObject()->GetBackGroundColor());
        for (const BlendPiece& piece : BlendPieces(m_Rect)) {
            CRect r;
            if (r.IntersectRect(piece.rect, m_Rect))
                dc->FillSolidRect(&r, piece.color);
        }
    }
};

TEST_F(BlendingTest, EveryPixelIsThatOfTheBandsPaintedInTurnOverTheBackground) {
    auto white = MakeDrawObject(kWhite, kBlack, kBlack);
    // Bands of the whole height (overlapping, touching, reaching out of the
    // rectangle), then one of part of the height among them.
    CBlendObject red(kRed, CRect(0, 0, 0, 0), 0.1, 0.0, 0.4, 1.0);
    CBlendObject blue(kBlue, CRect(0, 0, 0, 0), 0.3, 0.0, 0.6, 1.0);
    CBlendObject green(kGreen, CRect(0, 0, 0, 0), 0.6, 0.0, 0.7, 1.0);
    CBlendObject wide(kRed, CRect(0, 0, 0, 0), -0.2, 0.0, 0.05, 1.0);
    CBlendObject far(kBlue, CRect(0, 0, 0, 0), 0.9, 0.0, 1.3, 1.0);
    CBlendObject part(kGreen, CRect(0, 0, 0, 0), 0.2, 0.2, 0.5, 0.8);
    for (int partial = 0; partial < 2; ++partial) {
        Surface drawn(220, 110, kBlack);
        Surface layered(220, 110, kBlack);
        CBlendingBackGroundContext bg;
        LayeredBackground reference;
        for (CBlendingBackGroundContext* b :
             {&bg, static_cast<CBlendingBackGroundContext*>(&reference)}) {
            b->SetRect(CRect(10, 5, 200, 100));
            b->SetDrawObject(white.get());
            for (CBlendObject* band : {&red, &blue, &green, &wide, &far})
                b->AddBlend(band);
            if (partial)
                b->AddBlend(&part);
        }
        drawn.dc.SetBkColor(kBlue);
        bg.Render(&drawn.dc, nullptr, nullptr);
        reference.Layer(&layered.dc);
        for (int y = 0; y < 110; ++y)
            for (int x = 0; x < 220; ++x)
                ASSERT_EQ(drawn.At(x, y), layered.At(x, y)) << x << "," << y << " " << partial;
        // The background colour is left selected, as by a fill of the background.
        EXPECT_EQ(drawn.dc.GetBkColor(), kWhite);
    }
}

TEST_F(BlendingTest, FrameContextPlacesItsTitleAndDrawsGridAndTitle) {
    Surface s(200, 120);
    auto panel = MakeDrawObject(kWhite, kRed, kBlack);
    CNormalFrameContext frame;
    frame.SetDrawObject(panel.get());
    frame.SetRect(CRect(20, 10, 180, 110));
    EXPECT_EQ(frame.GetTitle().GetText(), CString("[Torvel]"));
    EXPECT_EQ(frame.GetChild(), &frame.GetFrame());
    EXPECT_EQ(frame.GetFrame().GetNext(), &frame.GetTitle());
    frame.Render(&s.dc, nullptr, nullptr);
    // Right of the reference mark at the left edge: two pixels in, the mark's
    // 2 pixels (a third of a 10-pixel division) and one more.
    EXPECT_EQ(frame.GetTitle().GetX(), 25);
    EXPECT_EQ(frame.GetTitle().GetY(), 12);
    EXPECT_EQ(s.At(20, 10), kBlack);
    const CRect ink = s.BoxOf(kRed);
    EXPECT_GE(ink.left, 22);
    EXPECT_GE(ink.top, 12);
    EXPECT_EQ(CString(frame.Dump("")),
              CString("CNormalFrameContext\n -- CDrawFrame\n -- CDrawMultiLineText\n"));
}

TEST(ArrayContext, WeightsShareTheRoomWithGaps) {
    Surface s(300, 300);
    auto grey = MakeDrawObject(kGrey, kBlack, kBlack);
    CArrayContext array;
    array.SetDrawObject(grey.get());
    array.SetOrientation(CArrayContext::kColumn);
    array.SetGap(5);
    array.SetRect(CRect(10, 20, 60, 20 + 3 * 64 + 3 * 5));
    CDrawContext big, small;
    CDrawText notAContext;
    small.SetWeight(0.5);
    array.AddChild(&big);
    array.AddChild(&notAContext);
    array.AddChild(&small);
    array.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(big.GetRect(), CRect(10, 25, 60, 25 + 128));
    EXPECT_EQ(small.GetRect(), CRect(10, 25 + 128 + 5, 60, 25 + 128 + 5 + 64));

    // Three equal children along 100 pixels: positions in 1/1024 pixel.
    array.SetOrientation(CArrayContext::kRow);
    array.SetGap(0);
    array.SetRect(CRect(0, 0, 100, 10));
    CDrawContext third;
    small.SetWeight(1.0);
    array.AddChild(&third);
    array.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(big.GetRect(), CRect(0, 0, 33, 10));
    EXPECT_EQ(small.GetRect(), CRect(33, 0, 66, 10));
    EXPECT_EQ(third.GetRect(), CRect(66, 0, 99, 10));

    // Weights that add up to nothing leave the children where their ratios put them.
    big.SetWeight(0);
    small.SetWeight(0);
    third.SetWeight(0);
    array.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(third.GetRect(), CRect(0, 0, 100, 10));
}

TEST(TextAndAroundContexts, CentredTextAndOutline) {
    Surface s(100, 60);
    auto panel = MakeDrawObject(kGrey, kBlack, kRed);
    CNormalTextContext text;
    text.SetDrawObject(panel.get());
    text.SetRect(CRect(0, 0, 81, 41));
    text.GetText().SetText("ok");
    text.GetText().SetAnchor(CDrawText::kAnchorCentre);
    text.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(text.GetText().GetX(), 40);
    EXPECT_EQ(text.GetText().GetY(), 20);
    EXPECT_EQ(text.GetText().GetAlignment(), CDrawText::kAlignCentred);
    EXPECT_EQ(s.At(1, 1), kGrey);

    CAroundContext around;
    around.SetDrawObject(panel.get());
    around.SetStyle(CAroundContext::kStyleOutline);
    around.SetRect(CRect(50, 10, 90, 50));
    around.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.At(50, 49), kRed);
    EXPECT_EQ(s.At(89, 10), kRed);
    EXPECT_EQ(s.At(89, 49), kRed);
    EXPECT_EQ(s.At(90, 50), kWhite);
    EXPECT_EQ(s.At(70, 45), kWhite);
}
