// Blend objects: ratio placement, the ID counter and copy rules, boost, the
// alpha blend, chains with blended clones, and the setting-file keys.
#include "lib/blendobject.h"
#include "lib/settingfile.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

// Deletes the clones (non-master objects) of a chain, as a chain's owner does.
void FreeClones(CBlendObject* first) {
    for (CBlendObject* o = first; o;) {
        CBlendObject* next = o->GetNext();
        o->ClearNext();
        if (o->GetMasterFlag() == 0)
            delete o;
        o = next;
    }
}

} // namespace

TEST(BlendObject, RatiosPlaceTheRectangleInsideTheOuterOne) {
    CBlendObject band;
    band.SetUpdateFlag(0);
    band.SetRatio(0.25, 0, 0.75, 1.0);
    EXPECT_EQ(band.GetLeftRatio(), 16384);
    EXPECT_EQ(band.GetTopRatio(), 0);
    EXPECT_EQ(band.GetRightRatio(), 49152);
    EXPECT_EQ(band.GetBottomRatio(), 65536);
    EXPECT_EQ(band.GetUpdateFlag(), 1);

    band.SetRect(RECT{0, 0, 399, 99});
    EXPECT_EQ(band.GetRect(), CRect(100, 0, 300, 100));
    EXPECT_EQ(band.GetUpdateFlag(), 0);

    // The outer extent counts both edges and the offset is the outer origin.
    band.SetRect(RECT{10, 20, 409, 119});
    EXPECT_EQ(band.GetRect(), CRect(110, 20, 310, 120));

    // Negative ratios truncate toward zero when stored, then shift (floor) when placed.
    band.SetRatio(-0.1, 0, 0.5, 0.5);
    EXPECT_EQ(band.GetLeftRatio(), -6553);
    band.SetRect(RECT{0, 0, 99, 99});
    EXPECT_EQ(band.GetRect().left, -10);

    // Wide screens do not overflow the ratio product.
    band.SetRatio(1.0, 0, 1.0, 1.0);
    band.SetRect(RECT{0, 0, 99999, 9});
    EXPECT_EQ(band.GetRect().right, 100000);

    // Values no int can hold are kept inside the int range.
    band.SetRatio(1e12, -1e12, std::numeric_limits<double>::quiet_NaN(), 0);
    EXPECT_EQ(band.GetLeftRatio(), 2147483647);
    EXPECT_EQ(band.GetTopRatio(), -2147483647 - 1);
    EXPECT_EQ(band.GetRightRatio(), 0);
}

TEST(BlendObject, AllRatiosZeroTakesTheOuterRectangle) {
    CBlendObject plain(RGB(1, 2, 3), RECT{5, 6, 7, 8});
    EXPECT_EQ(plain.GetRect(), CRect(5, 6, 7, 8));
    plain.SetRect(RECT{-3, 4, 500, 600});
    EXPECT_EQ(plain.GetRect(), CRect(-3, 4, 500, 600));

    CBlendObject placed(RGB(1, 2, 3), RECT{0, 0, 199, 9}, 0.5, 0, 1.0, 1.0);
    EXPECT_EQ(placed.GetRect(), CRect(100, 0, 200, 10));
    EXPECT_EQ(placed.GetUpdateFlag(), 0);
}

TEST(BlendObject, ValueConstructorsTakeNewIDsAndCopiesFollowTheirRules) {
    DWORD next = CBlendObject::PeekNextIDNumber();
    CBlendObject a;
    CBlendObject b(RGB(9, 9, 9), RECT{});
    CBlendObject c(RGB(9, 9, 9), RECT{}, 0, 0, 1, 1);
    EXPECT_EQ(a.GetIDNumber(), next);
    EXPECT_EQ(b.GetIDNumber(), next + 1);
    EXPECT_EQ(c.GetIDNumber(), next + 2);
    EXPECT_EQ(a.GetColor(), RGB(255, 255, 255));

    // The copy constructor copies the ID and the link and takes no new number.
    a.AddNext(&b);
    CBlendObject copy(a);
    EXPECT_EQ(CBlendObject::PeekNextIDNumber(), next + 3);
    EXPECT_EQ(copy.GetIDNumber(), a.GetIDNumber());
    EXPECT_EQ(copy.GetNext(), &b);

    // Assignment copies placement and look, but keeps ID, update flag and link.
    c.SetBoostFlag(1);
    c.SetMasterFlag(0);
    c.SetRedrawFlag(0);
    b.SetUpdateFlag(0);
    b = c;
    EXPECT_EQ(b.GetIDNumber(), next + 1);
    EXPECT_EQ(b.GetUpdateFlag(), 0);
    EXPECT_EQ(b.GetNext(), nullptr);
    EXPECT_EQ(b.GetRect(), c.GetRect());
    EXPECT_EQ(b.GetBoostFlag(), 1);
    EXPECT_EQ(b.GetMasterFlag(), 0);
    EXPECT_EQ(b.GetRedrawFlag(), 0);
    EXPECT_EQ(b.GetRightRatio(), 65536);
}

TEST(BlendObject, BoostBrightensEachComponentModulo256) {
    CBlendObject o(RGB(100, 200, 240), RECT{});
    o.SetUpdateFlag(0);
    o.SetBoostFlag(1);
    EXPECT_EQ(o.GetUpdateFlag(), 1);
    EXPECT_EQ(o.GetColor(), RGB(125, 250, 44));
    o.SetBoostFlag(0);
    EXPECT_EQ(o.GetColor(), RGB(100, 200, 240));
}

TEST(BlendObject, AlphaBlendWeighsTheFirstColourByAlpha) {
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    EXPECT_EQ(AlphaBlendFunction(white, black, 128), RGB(127, 127, 127));
    EXPECT_EQ(AlphaBlendFunction(RGB(10, 20, 30), black, 256), RGB(10, 20, 30));
    EXPECT_EQ(AlphaBlendFunction(white, RGB(10, 20, 30), 0), RGB(10, 20, 30));
    EXPECT_EQ(AlphaBlendFunction(RGB(200, 0, 100), RGB(0, 200, 100), 64), RGB(50, 150, 100));
}

TEST(BlendObject, AddingAnObjectClonesEveryOverlapAndEndsTheChain) {
    CBlendObject left(RGB(255, 0, 0), RECT{0, 0, 100, 100});
    CBlendObject right(RGB(0, 0, 255), RECT{200, 0, 300, 100});
    CBlendObject far(RGB(0, 255, 0), RECT{1000, 0, 1100, 100});
    left.AddNext(&right);
    right.AddNext(&far);
    CBlendObject across(RGB(255, 255, 255), RECT{50, 20, 250, 80});
    left.SetUpdateFlag(0);
    far.SetUpdateFlag(0);

    left.AddBlendObject(&across, 128);
    EXPECT_EQ(left.GetCloneCount(), 2u);
    EXPECT_EQ(left.GetUpdateFlag(), 1);
    EXPECT_EQ(far.GetUpdateFlag(), 1);

    // Order: the chain, then the new object, then its clones.
    std::vector<CBlendObject*> chain;
    for (CBlendObject* o = &left; o; o = o->GetNext())
        chain.push_back(o);
    ASSERT_EQ(chain.size(), 6u);
    EXPECT_EQ(chain[2], &far);
    EXPECT_EQ(chain[3], &across);
    EXPECT_EQ(chain[4]->GetRect(), CRect(50, 20, 100, 80));
    EXPECT_EQ(chain[4]->GetColor(), RGB(255, 127, 127));
    EXPECT_EQ(chain[4]->GetMasterFlag(), 0);
    EXPECT_EQ(chain[5]->GetRect(), CRect(200, 20, 250, 80));
    EXPECT_EQ(chain[5]->GetColor(), RGB(127, 127, 255));
    EXPECT_EQ(across.GetCloneCount(), 2u);

    // Adding an object that is already in the chain leaves the chain as it is.
    left.AddBlendObject(&right, 128);
    left.AddNext(&far);
    EXPECT_EQ(left.GetCloneCount(), 2u);
    size_t length = 0;
    for (CBlendObject* o = &left; o && length < 100; o = o->GetNext())
        ++length;
    EXPECT_EQ(length, 6u);

    FreeClones(&left);
}

TEST(BlendObject, TheClonesBlendTheBoostedColours) {
    CBlendObject base(RGB(100, 200, 240), RECT{0, 0, 10, 10});
    base.SetBoostFlag(1);
    CBlendObject top(RGB(0, 0, 0), RECT{5, 5, 20, 20});
    base.AddBlendObject(&top, 0);
    ASSERT_NE(top.GetNext(), nullptr);
    EXPECT_EQ(top.GetNext()->GetColor(), RGB(125, 250, 44));
    FreeClones(&base);
}

TEST(BlendObject, SettingFileKeysRoundTripAndTheHighlightDoesNotComeBack) {
    ReleaseSettingFileObject();
    CBlendObject saved(RGB(10, 20, 30), RECT{}, 0.25, 0.125, 0.75, 0.5);
    saved.SetBoostFlag(1);
    saved.SetMasterFlag(0);
    saved.SetRedrawFlag(0);
    EXPECT_EQ(saved.WriteSettingFile("BAND"), 1);
    int ratio = 0;
    ASSERT_EQ(GetSettingFileINT("BAND", "TopRatio", &ratio), 1);
    EXPECT_EQ(ratio, 8192);

    CBlendObject loaded;
    EXPECT_EQ(loaded.ReadSettingFile("BAND"), 1);
    // Saved while highlighted (boosted), read back plain.
    EXPECT_EQ(loaded.GetBoostFlag(), 0);
    EXPECT_EQ(loaded.GetColor(), RGB(10, 20, 30));
    EXPECT_EQ(loaded.GetMasterFlag(), 0);
    EXPECT_EQ(loaded.GetRedrawFlag(), 0);
    EXPECT_EQ(loaded.GetLeftRatio(), 16384);
    EXPECT_EQ(loaded.GetBottomRatio(), 32768);
    EXPECT_EQ(loaded.GetUpdateFlag(), 1);

    // Flags take their low 8 bits.
    WriteSettingFileINT("BAND", "MasterFlag", 0x101);
    EXPECT_EQ(loaded.ReadSettingFile("BAND"), 1);
    EXPECT_EQ(loaded.GetMasterFlag(), 1);

    CBlendObject keep(RGB(1, 2, 3), RECT{}, 0.5, 0, 1, 1);
    keep.SetBoostFlag(1);
    EXPECT_EQ(keep.ReadSettingFile("MISSING"), 0);
    EXPECT_EQ(keep.GetLeftRatio(), 32768);
    EXPECT_EQ(keep.GetBoostFlag(), 0);
    EXPECT_EQ(keep.GetMasterFlag(), 1);
    EXPECT_EQ(keep.GetRedrawFlag(), 1);
    ReleaseSettingFileObject();
}
