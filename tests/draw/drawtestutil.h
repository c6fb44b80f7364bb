// Helpers of the drawing tests: a white memory surface, draw objects with
// chosen colours and pens, ink boxes, and a test fixture with its own profile.
#pragma once

#include "draw/datalinecontext.h"
#include "lib/drawobject.h"
#include "lib/settingfile.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace drawtest {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kGrey = RGB(200, 200, 200);

// A memory DC drawing into a colour bitmap filled with one colour.
struct Surface {
    CDC dc;
    CBitmap bitmap;
    int width;
    int height;
    Surface(int w, int h, COLORREF fill = kWhite) : width(w), height(h) {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, w, h);
        dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, w, h, fill);
    }
    COLORREF At(int x, int y) const { return dc.GetPixel(x, y); }
    // The bounding box of the pixels of that colour inside area (default: all).
    CRect BoxOf(COLORREF color, CRect area = CRect(0, 0, 0, 0)) const {
        if (area.IsRectEmpty()) {
            area = CRect(0, 0, width, height);
        }
        CRect box(INT_MAX, INT_MAX, INT_MIN, INT_MIN);
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                if (dc.GetPixel(x, y) == color) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
            }
        }
        return box.left == INT_MAX ? CRect(0, 0, 0, 0) : box;
    }
    // Pixels of that colour inside area (default: all).
    int Count(COLORREF color, CRect area = CRect(0, 0, 0, 0)) const {
        if (area.IsRectEmpty()) {
            area = CRect(0, 0, width, height);
        }
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                n += dc.GetPixel(x, y) == color;
            }
        }
        return n;
    }
};

// A draw object with live GDI objects: background, text colour and a solid
// one-pixel pen of the given colours (a profile section nobody writes).
inline std::unique_ptr<CDrawObject> MakeDrawObject(COLORREF background, COLORREF text,
                                                   COLORREF line, const char* id = "DrawTest") {
    auto object = std::make_unique<CDrawObject>(0, id);
    LOGPEN pen;
    pen.lopnStyle = PS_SOLID;
    pen.lopnWidth.x = 1;
    pen.lopnColor = line;
    object->SetUpdateLOGPEN(&pen);
    object->SetUpdateBkColor(background);
    object->SetUpdateTextColor(text);
    object->SetUpdateFlag();
    object->UpdateDrawObjectNow();
    return object;
}

// Each test runs with its own empty profile and setting store.
// A level in dB as a level word (1/163.84 dB, truncated).
inline short Word(double dB) {
    return static_cast<short>(dB * 163.84);
}

// A data line of points samples from start, step apart, all at dB, shown in
// area with the window 0 dB .. -100 dB over the whole line.
inline void FlatLine(CDataLineContext& line, DWORD start, DWORD step, DWORD points, double dB,
                     const CRect& area) {
    ASSERT_EQ(line.Configure(start, step, points), 1);
    for (DWORD i = 0; i < points; ++i) {
        line.SetWord(i, Word(dB));
    }
    line.SetWindow(static_cast<int>(start), static_cast<int>(start + points * step), 0.0, -100.0);
    line.SetRect(area);
}

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        ReleaseSettingFileObject();
    }
    void TearDown() override { ReleaseSettingFileObject(); }
    TempDir m_dir;
};

} // namespace drawtest
