// Typed profile values: their texts, their defaults for missing or bad texts,
// and a round trip through TORVEL.INI.
#include "lib/profilevalues.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
struct ProfileValuesTest : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("TORVEL.INI");
    void SetUp() override { SetProfileFile(path.c_str()); }
    void TearDown() override {
        FlushProfile();
        SetProfileFile(nullptr);
    }
    void reopen() {
        ASSERT_TRUE(FlushProfile());
        SetProfileFile(nullptr);
        SetProfileFile(path.c_str());
    }
};
} // namespace

TEST_F(ProfileValuesTest, ColoursFallBackToTheCallersDefault) {
    EXPECT_EQ(GetProfileRGB("DRAW", "Color", RGB(1, 2, 3)), RGB(1, 2, 3));
    WriteProfileString("DRAW", "Red", "255,0,0");
    WriteProfileString("DRAW", "Wrap", "300,0,0");
    WriteProfileString("DRAW", "Bad", "255,0");
    EXPECT_EQ(GetProfileRGB("DRAW", "Red", 0), RGB(255, 0, 0));
    EXPECT_EQ(GetProfileRGB("DRAW", "Wrap", 0), RGB(44, 0, 0));
    EXPECT_EQ(GetProfileRGB("DRAW", "Bad", RGB(9, 9, 9)), RGB(9, 9, 9));
    WriteProfileRGB("DRAW", "Color", RGB(10, 20, 30));
    reopen();
    EXPECT_EQ(GetProfileString("DRAW", "Color"), "10,20,30");
    EXPECT_EQ(GetProfileRGB("DRAW", "Color", 0), RGB(10, 20, 30));
}

TEST_F(ProfileValuesTest, PensBrushesAndFontsHaveTheirOwnDefaults) {
    LOGPEN pen;
    pen.lopnStyle = PS_DOT;
    pen.lopnWidth = {5, 6};
    pen.lopnColor = RGB(1, 1, 1);
    GetProfileLOGPEN("DRAW", "Pen", &pen);
    EXPECT_EQ(pen.lopnStyle, PS_SOLID);
    EXPECT_EQ(pen.lopnWidth.x, 1);
    EXPECT_EQ(pen.lopnColor, RGB(0, 0, 0));

    LOGBRUSH brush;
    brush.lbStyle = BS_HATCHED;
    brush.lbHatch = HS_CROSS;
    GetProfileLOGBRUSH("DRAW", "Brush", &brush);
    EXPECT_EQ(brush.lbStyle, BS_SOLID);
    EXPECT_EQ(brush.lbColor, RGB(255, 255, 255));
    EXPECT_EQ(brush.lbHatch, 0u);

    LOGFONT font;
    std::strcpy(font.lfFaceName, "Arial");
    WriteProfileString("DRAW", "Font", "1,2,3");
    GetProfileLOGFONT("DRAW", "Font", &font);
    EXPECT_STREQ(font.lfFaceName, "FixedSys");
    EXPECT_LT(font.lfHeight, 0);
    EXPECT_EQ(font.lfPitchAndFamily & 3, FIXED_PITCH);

    pen = {PS_DASH, {3, 0}, RGB(7, 8, 9)};
    brush = {BS_HATCHED, RGB(4, 5, 6), HS_DIAGCROSS};
    font.lfHeight = -20;
    font.lfUnderline = 1;
    std::strcpy(font.lfFaceName, "DejaVu Sans Mono");
    WriteProfileLOGPEN("DRAW", "Pen", &pen);
    WriteProfileLOGBRUSH("DRAW", "Brush", &brush);
    WriteProfileLOGFONT("DRAW", "Font", &font);
    reopen();
    EXPECT_EQ(GetProfileString("DRAW", "Pen"), "1,3,7,8,9");
    EXPECT_EQ(GetProfileString("DRAW", "Brush"), "2,5,4,5,6");
    LOGPEN pen2;
    LOGBRUSH brush2;
    LOGFONT font2;
    GetProfileLOGPEN("DRAW", "Pen", &pen2);
    GetProfileLOGBRUSH("DRAW", "Brush", &brush2);
    GetProfileLOGFONT("DRAW", "Font", &font2);
    EXPECT_EQ(pen2.lopnStyle, PS_DASH);
    EXPECT_EQ(pen2.lopnWidth.x, 3);
    EXPECT_EQ(pen2.lopnColor, RGB(7, 8, 9));
    EXPECT_EQ(brush2.lbHatch, static_cast<std::uintptr_t>(HS_DIAGCROSS));
    EXPECT_EQ(brush2.lbColor, RGB(4, 5, 6));
    EXPECT_EQ(font2.lfHeight, -20);
    EXPECT_EQ(font2.lfUnderline, 1);
    EXPECT_STREQ(font2.lfFaceName, "DejaVu Sans Mono");
}

TEST_F(ProfileValuesTest, GeometryIsLeftAloneWhenMissing) {
    POINT p{7, 8};
    SIZE s{9, 10};
    RECT r{1, 2, 3, 4};
    GetProfilePOINT("WINDOW", "Pos", &p);
    GetProfileSIZE("WINDOW", "Size", &s);
    GetProfileRECT("WINDOW", "RECT", &r);
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(s.cy, 10);
    EXPECT_EQ(r.bottom, 4);

    RECT w{100, 100, 500, 400};
    POINT q{-5, 6};
    WriteProfileRECT("WINDOW", "RECT", &w);
    WriteProfilePOINT("WINDOW", "Pos", &q);
    reopen();
    EXPECT_EQ(GetProfileString("WINDOW", "RECT"), "100,100,500,400");
    GetProfileRECT("WINDOW", "RECT", &r);
    GetProfilePOINT("WINDOW", "Pos", &p);
    EXPECT_EQ(r.right, 500);
    EXPECT_EQ(p.x, -5);
}

TEST_F(ProfileValuesTest, IntArraysNeedEveryValue) {
    int a[2] = {5, 6};
    EXPECT_EQ(GetProfileINTARRAY("LOG", "Missing", a, 0), 1);
    EXPECT_EQ(GetProfileINTARRAY("LOG", "Missing", a, 2), 0);
    EXPECT_EQ(a[0], 5); // a missing key is the empty text, not "0"
    WriteProfileString("LOG", "One", "11");
    EXPECT_EQ(GetProfileINTARRAY("LOG", "One", a, 2), 0);
    EXPECT_EQ(a[0], 11);
    EXPECT_EQ(a[1], 6);
    int w[3] = {1, -2, 3};
    WriteProfileINTARRAY("LOG", "Three", w, 3);
    reopen();
    int r[3] = {};
    EXPECT_EQ(GetProfileINTARRAY("LOG", "Three", r, 3), 1);
    EXPECT_EQ(r[1], -2);
}

TEST_F(ProfileValuesTest, TimesAndSpansFallBackToTheDefault) {
    CTime dflt(2001, 2, 3, 4, 5, 6);
    EXPECT_EQ(GetProfileTime("LOG", "Start", dflt), dflt);
    EXPECT_EQ(GetProfileTimeSpan("LOG", "Span", CTimeSpan(42)), CTimeSpan(42));
    CTime t(2024, 12, 31, 23, 59, 58);
    WriteProfileTime("LOG", "Start", t);
    WriteProfileTimeSpan("LOG", "Span", CTimeSpan(2, 3, 4, 5));
    reopen();
    EXPECT_EQ(GetProfileString("LOG", "Start"), "2024,12,31,23,59,58");
    EXPECT_EQ(GetProfileString("LOG", "Span"), "2,3,4,5");
    EXPECT_EQ(GetProfileTime("LOG", "Start", dflt), t);
    EXPECT_EQ(GetProfileTimeSpan("LOG", "Span", CTimeSpan()), CTimeSpan(2, 3, 4, 5));
}
