// The static splitter: its shapes, the panes' initial and minimum sizes, and
// the sizes read back after the user (here setSizes) moves the bar.
#include "platform/splitterwnd.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

TEST(SplitterTest, OnlyOneRowOrOneColumnOfPanesIsAccepted) {
    CSplitterWnd grid;
    EXPECT_FALSE(grid.CreateStatic(nullptr, 2, 2));
    EXPECT_FALSE(grid.CreateStatic(nullptr, 0, 2));
    EXPECT_EQ(grid.count(), 0);
    CSplitterWnd row;
    ASSERT_TRUE(row.CreateStatic(nullptr, 1, 2));
    EXPECT_FALSE(row.CreateStatic(nullptr, 1, 3)); // created once
    EXPECT_EQ(row.GetColumnCount(), 2);
    EXPECT_EQ(row.orientation(), Qt::Horizontal);
    EXPECT_EQ(row.GetPane(0, 0), nullptr);
    auto* a = new QWidget;
    EXPECT_TRUE(row.SetPane(0, 1, a, SIZE{100, 10}));
    EXPECT_EQ(row.GetPane(0, 1), a);
    QWidget stray;
    EXPECT_FALSE(row.SetPane(0, 1, &stray, SIZE{100, 10})); // filled already
    EXPECT_FALSE(row.SetPane(1, 0, &stray, SIZE{100, 10})); // outside
    EXPECT_EQ(row.count(), 2);
}

TEST(SplitterTest, PanesStartAtTheirIdealWidthsAndNeverGoBelowTheMinimum) {
    QWidget frame;
    frame.resize(500, 300);
    auto* splitter = new CSplitterWnd;
    ASSERT_TRUE(splitter->CreateStatic(&frame, 1, 2));
    splitter->setGeometry(0, 0, 500, 300);
    splitter->SetColumnInfo(0, -1, 50);
    splitter->SetColumnInfo(1, -1, 50);
    splitter->SetPane(0, 0, new QWidget, SIZE{100, 300});
    splitter->SetPane(0, 1, new QWidget, SIZE{400 - splitter->handleWidth(), 300});
    frame.show();
    ASSERT_TRUE(PumpUntil([&] { return splitter->isVisible(); }));
    int current = 0;
    int minimum = 0;
    ASSERT_TRUE(splitter->GetColumnInfo(0, &current, &minimum));
    EXPECT_EQ(current, 100);
    EXPECT_EQ(minimum, 50);
    ASSERT_TRUE(splitter->GetColumnInfo(1, &current, &minimum));
    EXPECT_EQ(current, 400 - splitter->handleWidth());
    // A one-row splitter's row is as high as the splitter.
    ASSERT_TRUE(splitter->GetRowInfo(0, &current, &minimum));
    EXPECT_EQ(current, 300);
    EXPECT_FALSE(splitter->GetColumnInfo(2, &current, &minimum));

    // Moving the bar to 10 pixels stops at the minimum.
    splitter->setSizes({10, 490 - splitter->handleWidth()});
    splitter->GetColumnInfo(0, &current, nullptr);
    EXPECT_EQ(current, 50);
    // The ideal sizes come back on the next layout.
    splitter->RecalcLayout();
    splitter->GetColumnInfo(0, &current, nullptr);
    EXPECT_EQ(current, 100);
}

TEST(SplitterTest, PanesMadeBeforeTheWindowHasItsSizeKeepTheirProportionsOnScreen) {
    // A window's panes get ideals from its size at creation (one fifth and the
    // rest of 100 pixels); on screen at 1000 pixels they keep one fifth, not
    // the minimum-inflated split of the small size.
    QWidget frame;
    frame.resize(100, 80);
    auto* splitter = new CSplitterWnd;
    ASSERT_TRUE(splitter->CreateStatic(&frame, 1, 2));
    splitter->setGeometry(0, 0, 100, 80);
    splitter->SetColumnInfo(0, 20, 50);
    splitter->SetColumnInfo(1, 80, 50);
    splitter->SetPane(0, 0, new QWidget, SIZE{20, 80});
    splitter->SetPane(0, 1, new QWidget, SIZE{80, 80});
    frame.show();
    frame.resize(1000 + splitter->handleWidth(), 400);
    splitter->setGeometry(0, 0, 1000 + splitter->handleWidth(), 400);
    PumpEvents();
    int left = 0, right = 0;
    ASSERT_TRUE(splitter->GetColumnInfo(0, &left, nullptr));
    ASSERT_TRUE(splitter->GetColumnInfo(1, &right, nullptr));
    EXPECT_NEAR(left, 200, 2);
    EXPECT_NEAR(right, 800, 2);
}

} // namespace
