// The draw context core without pixels: IDs and chains, 16.16 layout, hit
// testing by area and depth, removal from chains, counting and collecting,
// the tree dump and the two persisted keys.
#include "draw/backgroundcontext.h"
#include "draw/drawcontext.h"
#include "draw/drawframe.h"
#include "draw/drawtext.h"
#include "drawtestutil.h"

#include <array>
#include <vector>

using namespace drawtest;

namespace {

// A hit-testable context at a fixed rectangle that the parent's layout leaves alone.
void Place(CDrawContext& c, int l, int t, int r, int b) {
    c.SetRect(CRect(l, t, r, b));
    c.SetHitTestFlag(1);
    c.SetAutoLayoutFlag(0);
}

std::vector<WORD> ChainIds(CDrawElement* head) {
    std::vector<WORD> ids;
    for (CDrawElement* e = head; e && ids.size() < 100; e = e->GetNext()) {
        ids.push_back(e->GetID());
    }
    return ids;
}

} // namespace

TEST(DrawContextChain, ConsecutiveIdsAndAppendOfAKnownIdLeavesTheChain) {
    CDrawContext a;
    CDrawText b;
    CDrawFrame c;
    EXPECT_EQ(b.GetID(), static_cast<WORD>(a.GetID() + 1));
    EXPECT_EQ(c.GetID(), static_cast<WORD>(b.GetID() + 1));
    EXPECT_EQ(a.GetIdentifyValue(), a.GetID());
    EXPECT_EQ(a.GetRedrawFlag(), 1);

    a.Append(&b);
    a.Append(&c);
    a.Append(&b); // already on the chain
    a.Append(&a); // the head itself
    EXPECT_EQ(ChainIds(&a), (std::vector<WORD>{a.GetID(), b.GetID(), c.GetID()}));
    EXPECT_EQ(a.CountChain(0), 3);
    EXPECT_EQ(b.CountChain(0), 2);

    // A context never becomes its own child; AddChild appends after the first.
    a.AddChild(&a);
    EXPECT_EQ(a.GetChild(), nullptr);
    CDrawContext child1, child2;
    a.AddChild(&child1);
    a.AddChild(&child2);
    a.AddChild(&child1);
    EXPECT_EQ(ChainIds(a.GetChild()), (std::vector<WORD>{child1.GetID(), child2.GetID()}));

    a.UnlinkAll();
    EXPECT_EQ(a.GetNext(), nullptr);
    EXPECT_EQ(a.GetChild(), nullptr);
    EXPECT_EQ(b.GetNext(), nullptr);
    EXPECT_EQ(child1.GetNext(), nullptr);
}

TEST(DrawContextLayout, RatiosInSixteenSixteenAtSizesThatRound) {
    CDrawContext c;
    // 0x4000 of 333 is 83.25, 0x5555 of 101 is 33.66, 0xC000 of 333 is 249.75:
    // each is cut down, and a full ratio takes the parent's edge itself.
    c.SetRatio(0x4000, 0x5555, 0xC000, CDrawContext::kRatioOne);
    c.Layout(CRect(10, 20, 343, 121));
    EXPECT_EQ(c.GetRect(), CRect(93, 53, 259, 121));

    // Zero ratios and full ratios give the parent exactly.
    c.SetRatio(0, 0, CDrawContext::kRatioOne, CDrawContext::kRatioOne);
    c.Layout(CRect(-7, -9, 1913, 1071));
    EXPECT_EQ(c.GetRect(), CRect(-7, -9, 1913, 1071));

    // The shift is arithmetic: a negative product rounds toward minus infinity.
    c.SetRatio(0x8000, 0x8000, CDrawContext::kRatioOne, CDrawContext::kRatioOne);
    c.Layout(CRect(100, 100, -101, -101)); // width and height -201
    EXPECT_EQ(c.GetRect().left, 100 - 101);
    EXPECT_EQ(c.GetRect().top, 100 - 101);

    // A wide parent does not overflow the product.
    c.SetRatio(0, 0, 0xFFFF, CDrawContext::kRatioOne);
    c.Layout(CRect(0, 0, 100000, 10));
    EXPECT_EQ(c.GetRect().right, static_cast<LONG>((100000LL * 0xFFFF) >> 16));
}

TEST(DrawContextLayout, DrawLaysOutOnlyDirectChildrenWithAutoLayout) {
    CDrawContext parent, laid, fixed, grandchild;
    parent.SetRect(CRect(0, 0, 200, 100));
    laid.SetRatio(0x8000, 0, CDrawContext::kRatioOne, 0x8000);
    fixed.SetRatio(0x8000, 0, CDrawContext::kRatioOne, 0x8000);
    fixed.SetAutoLayoutFlag(0);
    fixed.SetRect(CRect(1, 2, 3, 4));
    grandchild.SetRatio(0, 0, 0x8000, 0x8000);
    parent.AddChild(&laid);
    parent.AddChild(&fixed);
    laid.AddChild(&grandchild);

    Surface s(10, 10);
    parent.Draw(&s.dc, nullptr, nullptr);
    EXPECT_EQ(laid.GetRect(), CRect(100, 0, 200, 50));
    EXPECT_EQ(fixed.GetRect(), CRect(1, 2, 3, 4));
    EXPECT_EQ(grandchild.GetRect(), CRect(0, 0, 0, 0)); // laid out by its own parent's draw

    parent.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(grandchild.GetRect(), CRect(100, 0, 150, 25));
}

TEST(DrawContextLayout, SetWeight) {
    CDrawContext c;
    EXPECT_EQ(c.GetWeight(), 128);
    c.SetWeight(0.5);
    EXPECT_EQ(c.GetWeight(), 64);
    c.SetWeight(0.999);
    EXPECT_EQ(c.GetWeight(), 127);
    c.SetWeight(1.5);
    EXPECT_EQ(c.GetWeight(), 128);
    c.SetWeight(-0.5);
    EXPECT_EQ(c.GetWeight(), 0);
}

TEST(DrawContextHitTest, EdgesAreInsideAndTheInnerContextWins) {
    CDrawContext outer, inner;
    Place(outer, 0, 0, 100, 100);
    Place(inner, 10, 10, 50, 50);
    outer.AddChild(&inner);
    const int big = 1 << 30;
    EXPECT_EQ(outer.HitTest(100, 100, big, 1), &outer); // right-bottom corner
    EXPECT_EQ(outer.HitTest(101, 50, big, 1), nullptr);
    EXPECT_EQ(outer.HitTest(50, 50, big, 1), &inner); // inner edge
    EXPECT_EQ(outer.HitTest(10, 10, big, 1), &inner);
    EXPECT_EQ(outer.HitTest(51, 50, big, 1), &outer);
    // Depth 0 does not look at the children.
    EXPECT_EQ(outer.HitTest(20, 20, big, 0), &outer);
    // Nothing smaller than the best area given is found.
    EXPECT_EQ(outer.HitTest(20, 20, 40 * 40, 1), nullptr);
    EXPECT_EQ(outer.HitTest(20, 20, 40 * 40 + 1, 1), &inner);
    // A context without the hit-test flag is passed over, its children are not.
    outer.SetHitTestFlag(0);
    EXPECT_EQ(outer.HitTest(80, 80, big, 1), nullptr);
    EXPECT_EQ(outer.HitTest(20, 20, big, 1), &inner);
}

TEST(DrawContextHitTest, HiddenContextsAndTheirChildrenAreNotHitButLaterSiblingsAre) {
    CDrawContext root, hidden, hiddenChild, sibling;
    Place(root, 0, 0, 1000, 1000);
    Place(hidden, 0, 0, 100, 100);
    Place(hiddenChild, 10, 10, 20, 20);
    Place(sibling, 0, 0, 200, 200);
    root.AddChild(&hidden);
    root.AddChild(&sibling);
    hidden.AddChild(&hiddenChild);
    EXPECT_EQ(root.HitTest(15, 15, 1 << 30, 127), &hiddenChild);
    hidden.SetRedrawFlag(0);
    EXPECT_EQ(root.HitTest(15, 15, 1 << 30, 127), &sibling);

    // Nor is a hidden context drawn: it fills nothing, its sibling does.
    auto red = MakeDrawObject(kRed, kBlack, kBlack);
    auto blue = MakeDrawObject(kBlue, kBlack, kBlack);
    CBackGroundContext panel, later;
    panel.SetRatio(0, 0, 0x8000, CDrawContext::kRatioOne);
    later.SetRatio(0x8000, 0, CDrawContext::kRatioOne, CDrawContext::kRatioOne);
    panel.SetDrawObject(red.get());
    later.SetDrawObject(blue.get());
    CDrawContext top;
    top.SetRect(CRect(0, 0, 20, 10));
    top.AddChild(&panel);
    top.AddChild(&later);
    panel.SetRedrawFlag(0);
    Surface s(20, 10);
    top.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.At(5, 5), kWhite);
    EXPECT_EQ(s.At(15, 5), kBlue);
}

TEST(DrawContextHitTest, EqualAreasGoToTheFirstMetAndDepthCountsLevels) {
    CDrawContext parent, child, sibling;
    Place(parent, 0, 0, 50, 50);
    Place(child, 0, 0, 50, 50);
    Place(sibling, 0, 0, 50, 50);
    parent.AddChild(&child);
    parent.Append(&sibling);
    EXPECT_EQ(parent.HitTest(5, 5, 1 << 30, 5), &parent);
    parent.SetHitTestFlag(0);
    EXPECT_EQ(parent.HitTest(5, 5, 1 << 30, 5), &child);

    // A chain of nested contexts: level k is searched with depth 127 - k.
    constexpr int kLevels = 130;
    std::vector<std::unique_ptr<CDrawContext>> nest;
    for (int k = 0; k < kLevels; ++k) {
        nest.push_back(std::make_unique<CDrawContext>());
        Place(*nest.back(), 0, 0, 1000 - k, 1000 - k);
        if (k > 0) {
            nest[static_cast<size_t>(k - 1)]->AddChild(nest.back().get());
        }
    }
    EXPECT_EQ(nest[0]->HitTest(1, 1, 1 << 30, 127), nest[127].get());
}

TEST(DrawContextRemove, FromTheMiddleTheHeadAndChildChains) {
    CDrawContext a, b, c, d;
    CDrawText t1, t2;
    a.Append(&b);
    a.Append(&c);
    a.Append(&d);
    // From the middle: the chain closes, the removed element is cut loose.
    EXPECT_EQ(a.Remove(c.GetID(), nullptr), &a);
    EXPECT_EQ(ChainIds(&a), (std::vector<WORD>{a.GetID(), b.GetID(), d.GetID()}));
    EXPECT_EQ(c.GetNext(), nullptr);
    // The head: the new head is returned.
    EXPECT_EQ(a.Remove(a.GetID(), nullptr), &b);
    EXPECT_EQ(a.GetNext(), nullptr);
    EXPECT_EQ(ChainIds(&b), (std::vector<WORD>{b.GetID(), d.GetID()}));
    // An unknown ID changes nothing.
    EXPECT_EQ(b.Remove(0xFFFF, nullptr), &b);
    EXPECT_EQ(b.CountChain(0), 2);

    // From the child chains, at any depth: the child head is replaced.
    b.AddChild(&t1);
    b.AddChild(&c);
    c.AddChild(&t2);
    b.Remove(t1.GetID(), nullptr);
    EXPECT_EQ(b.GetChild(), &c);
    b.Remove(t2.GetID(), nullptr);
    EXPECT_EQ(c.GetChild(), nullptr);
    b.Remove(c.GetID(), nullptr);
    EXPECT_EQ(b.GetChild(), nullptr);
    EXPECT_EQ(ChainIds(&b), (std::vector<WORD>{b.GetID(), d.GetID()}));
}

TEST(DrawContextTree, DumpCountAndCollect) {
    CDrawContext a, b, c;
    a.AddChild(&b);
    b.AddChild(&c);
    EXPECT_EQ(CString(a.Dump("")),
              CString("CDrawContext\n -- CDrawContext\n --  -- CDrawContext\n"));

    CBackGroundContext bg1, bg2;
    CDrawText text;
    CDrawFrame frame;
    // Counting contexts looks for type codes above 1000: plain contexts do not count.
    a.Append(&text);
    a.Append(&bg1);
    a.Append(&frame);
    a.Append(&bg2);
    EXPECT_EQ(a.CountContexts(0), 2);
    EXPECT_EQ(a.CountTree(0), 3); // a, bg1, bg2
    EXPECT_EQ(a.CountTree(1), 4); // and b
    EXPECT_EQ(a.CountTree(2), 5); // and c
    EXPECT_EQ(a.GetFirstChildContext(), nullptr);

    // Collecting stores contexts in chain order, each followed by its children.
    std::array<CDrawContext*, 8> out{};
    EXPECT_EQ(a.CollectContexts(out.data(), 8, 0), 3);
    EXPECT_EQ(out[0], &a);
    EXPECT_EQ(out[1], &bg1);
    EXPECT_EQ(out[2], &bg2);
    EXPECT_EQ(a.CollectContexts(out.data(), 8, 2), 5);
    EXPECT_EQ(out[1], &b);
    EXPECT_EQ(out[2], &c);
    EXPECT_EQ(out[3], &bg1);
    EXPECT_EQ(a.CollectContexts(out.data(), 2, 2), 2);

    // Never more than 128 entries, whatever is asked.
    std::vector<std::unique_ptr<CDrawContext>> many;
    for (int i = 0; i < 200; ++i) {
        many.push_back(std::make_unique<CDrawContext>());
        if (i > 0) {
            many.front()->Append(many.back().get());
        }
    }
    std::vector<CDrawContext*> big(300, nullptr);
    EXPECT_EQ(many.front()->CollectContexts(big.data(), 300, 0), kMaxCollectedContexts);
    EXPECT_EQ(big[kMaxCollectedContexts], nullptr);
}

TEST_F(DrawTest, RedrawFlagAndIdentifyValueRoundTripThroughASettingFile) {
    CDrawContext a, b, c;
    a.SetRedrawFlag(0);
    a.SetIdentifyValue(300);
    b.SetIdentifyValue(255);
    c.SetIdentifyValue(50);
    ASSERT_TRUE(a.WriteSetting("ELEMENT_A"));
    ASSERT_TRUE(b.WriteSetting("ELEMENT_B"));
    ASSERT_TRUE(c.WriteSetting("ELEMENT_C"));
    const std::string path = m_dir.file("round.SPE");
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);

    CDrawContext ra, rb, rc;
    EXPECT_TRUE(ra.ReadSetting("ELEMENT_A"));
    EXPECT_TRUE(rb.ReadSetting("ELEMENT_B"));
    EXPECT_TRUE(rc.ReadSetting("ELEMENT_C"));
    EXPECT_EQ(ra.GetRedrawFlag(), 0);
    EXPECT_EQ(ra.GetIdentifyValue(), 44); // the low 8 bits
    EXPECT_EQ(rb.GetIdentifyValue(), -1); // sign-extended
    EXPECT_EQ(rc.GetIdentifyValue(), 50);
    EXPECT_EQ(rc.GetRedrawFlag(), 1);

    // A missing section fails and leaves the fields as they were.
    CDrawContext missing;
    missing.SetIdentifyValue(7);
    EXPECT_FALSE(missing.ReadSetting("NO_SUCH_SECTION"));
    EXPECT_EQ(missing.GetIdentifyValue(), 7);
    EXPECT_EQ(missing.GetRedrawFlag(), 1);
}
