// The channel button and the medical and XPD contexts: the colour patch, the
// detect-mode read-outs of a channel button, the medical centre marker with its
// hit test, the medical cursor's channel prefix, the read-out panel's lines and
// the XPD value formats.
#include "draw/channelbuttoncontext.h"
#include "draw/datalinecontext.h"
#include "draw/medicalcontexts.h"
#include "draw/xpdbuttoncontext.h"
#include "drawtestutil.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <vector>

using namespace drawtest;

namespace {

// 100 samples 100 kHz apart from 1000 kHz on 100 pixel columns.
constexpr DWORD kStart = 1000;
constexpr DWORD kStep = 100;
constexpr DWORD kPoints = 100;
const CRect kArea(0, 0, 99, 100);

class ChannelContextTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        FlatLine(m_line, kStart, kStep, kPoints, -80.0, kArea);
        m_line.SetDrawObject(m_lineObject.get());
    }
    // The only peak of the line at frequency f (kHz).
    void PeakAt(DWORD f, double dB = -20.0) { m_line.SetWord((f - kStart) / kStep, Word(dB)); }
    CChannelObject Channel(const char* text) {
        CChannelObject c;
        c.LoadChannel(CString("[0000]:") + text, 0);
        return c;
    }
    CString Readout(const char* channelText) {
        CChannelObject c = Channel(channelText);
        CChannelButtonContext b;
        b.m_pChannel = &c;
        b.m_pDataLine = &m_line;
        return b.MeasureText();
    }
    // A channel list file of 1500 lines holding the given lines first.
    std::string WriteList(const std::vector<std::string>& lines) {
        const std::string path = m_dir.file("list.txt");
        std::ofstream out(path);
        for (int i = 0; i < kChannelCount; ++i) {
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "[%04d]:", i);
            out << prefix << (i < static_cast<int>(lines.size()) ? lines[i] : "NotEntry") << "\n";
        }
        return path;
    }
    CDataLineContext m_line;
    std::unique_ptr<CDrawObject> m_lineObject = MakeDrawObject(kWhite, kBlack, kGrey, "LineTest");
    Surface m_surface{140, 110};
};

TEST_F(ChannelContextTest, PatchIsAboutASixthOfTheWidthInIntegerArithmetic) {
    // (130 - 10) x 11000 / 65536 = 20.14: truncated to 20.
    EXPECT_EQ(CChannelButtonContext::PatchRect(CRect(0, 0, 130, 40)), CRect(5, 5, 20, 35));
    // The right edge is measured from the left edge, not from the inset.
    EXPECT_EQ(CChannelButtonContext::PatchRect(CRect(100, 10, 700, 70)), CRect(105, 15, 199, 65));
}

TEST_F(ChannelContextTest, PeakOffsetReadsKHzBelowOneMHzAndMHzAboveInsideHalfTheSpan) {
    PeakAt(5500);
    EXPECT_EQ(Readout("A,5000,2000,1,1,1,1,2"), "500KHz");
    m_line.SetWord((5500 - kStart) / kStep, Word(-80.0));
    PeakAt(3500);
    EXPECT_EQ(Readout("A,5000,4000,1,1,1,1,2"), "-1.5MHz");
    // A peak on the band's edge is at half the span: not found.
    m_line.SetWord((3500 - kStart) / kStep, Word(-80.0));
    PeakAt(6000);
    EXPECT_EQ(Readout("A,5000,2000,1,1,1,1,2"), "Not Found");
    PeakAt(5900, -10.0);
    EXPECT_EQ(Readout("A,5000,2000,1,1,1,1,2"), "900KHz");
}

TEST_F(ChannelContextTest, OtherDetectModesAndMissingDataReadAsTheirTexts) {
    PeakAt(5200, -20.0);
    EXPECT_EQ(Readout("A,5000,2000,1,1,1,1,1"), "-20.00dBm");
    // Band power of 21 samples: one at -20 dB and twenty at -80 dB sum to
    // about -20 dB; the text has two decimals and the unit.
    const CString power = Readout("A,5000,2000,1,1,1,1,0");
    ASSERT_GT(power.GetLength(), 5);
    EXPECT_STREQ(static_cast<const char*>(power) + power.GetLength() - 3, "dBm");
    const double value = std::atof(power);
    EXPECT_GT(value, -20.5);
    EXPECT_LT(value, -19.0);
    EXPECT_EQ(Readout("A,5000,2000,1,1,1,1,3"), "Not Entry Func");
    // A band end beyond the samples (10900 kHz is the last).
    EXPECT_EQ(Readout("A,10500,2000,1,1,1,1,1"),
              GetTorvelString(CChannelButtonContext::kStrOutOfRange));
    EXPECT_EQ(Readout("A,1500,2000,1,1,1,1,0"),
              GetTorvelString(CChannelButtonContext::kStrOutOfRange));
    CChannelObject c = Channel("A,5000,2000,1,1,1,1,1");
    CChannelButtonContext b;
    b.m_pChannel = &c;
    EXPECT_EQ(b.MeasureText(), "Not Found");
}

TEST_F(ChannelContextTest, ButtonPaintsCategoryColourAndPatchOnlyWithAChannel) {
    WriteChannelCategoryColor(5, kGreen);
    CChannelObject c = Channel("CH,5000,2000,255,0,0,5,1");
    CChannelButtonContext b;
    b.SetRect(CRect(0, 0, 130, 40));
    b.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m_surface.Count(kWhite, CRect(0, 0, 130, 40)), 130 * 40); // no channel: nothing
    b.m_pChannel = &c;
    b.m_pDataLine = &m_line;
    b.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m_surface.BoxOf(kRed), CRect(5, 5, 20, 35));
    EXPECT_EQ(m_surface.At(129, 39), kGreen);
    EXPECT_EQ(m_surface.At(0, 0), kGreen);
}

TEST_F(ChannelContextTest, MedicalButtonPatchOnlyWhenFlagged) {
    auto object = MakeDrawObject(kGrey, kBlack, kBlack, "MedButton");
    CMedicalButtonContext b;
    b.SetDrawObject(object.get());
    b.SetRect(CRect(0, 0, 130, 40));
    b.m_PatchColor = kBlue;
    b.Render(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m_surface.Count(kBlue), 0);
    EXPECT_EQ(m_surface.At(100, 2), kGrey);
    b.m_PatchFlag = 1;
    b.Render(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m_surface.BoxOf(kBlue), CRect(5, 5, 20, 35));
}

TEST_F(ChannelContextTest, MedicalMarkerOutsideTheTraceStandsAtTheNearEdgeWithTheOutOfRangeText) {
    auto object = MakeDrawObject(kWhite, kBlack, kRed, "MedMarker");
    CMedicalMarkerContext m;
    m.SetRect(CRect(10, 5, 90, 95));
    m.SetDrawObject(object.get());
    m.SetDataLine(&m_line);
    m.SetHitTestFlag(1);
    m_line.Draw(&m_surface.dc, nullptr, nullptr);
    const CString outside = CString("CENTER:") + GetTorvelString(CMarkerContext::kStrNotFound);

    m.SetLockFrequency(500);
    m.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m.GetMainPoint().x, 10);
    EXPECT_EQ(m.GetReadoutLine().GetText(), outside);
    EXPECT_EQ(m.GetMeasuredValue(), 0.0);

    m.SetLockFrequency(20000);
    m.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m.GetMainPoint().x, 90);
    EXPECT_EQ(m.GetReadoutLine().GetText(), outside);

    PeakAt(5000, -30.0);
    m.SetLockFrequency(5000);
    m.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(m.GetReadoutLine().GetText(), "CENTER:5MHz");
    EXPECT_DOUBLE_EQ(m.GetMeasuredValue(), Word(-30.0) * 0.006103515625);
    POINT p;
    ASSERT_TRUE(m_line.PointOfX(5000, &p));
    EXPECT_EQ(m.GetMainPoint().x, p.x);
    // The line from the bottom up to the triangle, and the triangle's top row.
    EXPECT_EQ(m_surface.At(p.x, 50), kRed);
    EXPECT_EQ(m_surface.At(p.x - 4, 5), kRed);
    EXPECT_EQ(m_surface.At(p.x + 4, 5), kRed);
}

TEST_F(ChannelContextTest, MedicalMarkerHitsWithinFourPixelsBetweenTopAndBottom) {
    CMedicalMarkerContext m;
    m.SetRect(CRect(10, 5, 90, 95));
    m.SetDataLine(&m_line);
    m.SetHitTestFlag(1);
    m_line.Draw(&m_surface.dc, nullptr, nullptr);
    m.SetLockFrequency(5000);
    m.Draw(&m_surface.dc, nullptr, nullptr);
    const int x = m.GetMainPoint().x;
    ASSERT_GT(x, 20);
    EXPECT_EQ(m.HitTest(x + 4, 50, INT_MAX, 0), &m);
    EXPECT_EQ(m.HitTest(x - 4, 50, INT_MAX, 0), &m);
    EXPECT_EQ(m.HitTest(x + 5, 50, INT_MAX, 0), nullptr);
    EXPECT_EQ(m.HitTest(x - 5, 50, INT_MAX, 0), nullptr);
    EXPECT_EQ(m.HitTest(x, 6, INT_MAX, 0), &m);
    EXPECT_EQ(m.HitTest(x, 5, INT_MAX, 0), nullptr);  // top edge excluded
    EXPECT_EQ(m.HitTest(x, 95, INT_MAX, 0), nullptr); // bottom edge excluded
    EXPECT_EQ(m.GetHitArea(), 90 * 8);
    m.SetHitTestFlag(0);
    EXPECT_EQ(m.HitTest(40, 50, INT_MAX, 0), nullptr);
}

TEST_F(ChannelContextTest, MedicalCursorNamesTheChannelOfTheLetterGroupUnderThePointer) {
    // Two band groups (category 2); the second group's letter categories
    // start at 4 x 1 + 3 = 7.
    ASSERT_EQ(LoadChannelList(WriteList({"G1,2000,2000,1,1,1,2,0", "G2,6000,2000,1,1,1,2,0",
                                         "B0,6000,400,1,1,1,7,0", "B1,6000,400,1,1,1,8,0"})
                                  .c_str()),
              1);
    CCMedicalCursolContext cursor;
    cursor.SetRect(kArea);
    cursor.SetDataLine(&m_line);
    m_line.Draw(&m_surface.dc, nullptr, nullptr);
    const auto text = [&](int px) {
        const int x = m_line.PixelToX(px);
        return m_line.MarkerText(x, m_line.Level(x), 0);
    };
    const CString plain = text(50);

    cursor.SetPointer(50, 50); // 6000 kHz
    cursor.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(cursor.GetText(), CString("[B0] ") + plain);
    cursor.m_LetterIndex = 1;
    cursor.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(cursor.GetText(), CString("[B1] ") + plain);
    cursor.m_LetterIndex = 2; // no channel of category 9
    cursor.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(cursor.GetText(), plain);
    // In the first group, with no letter channel, and outside every group.
    cursor.SetPointer(10, 50);
    cursor.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(cursor.GetText(), text(10));
    cursor.SetPointer(80, 50);
    cursor.Draw(&m_surface.dc, nullptr, nullptr);
    EXPECT_EQ(cursor.GetText(), text(80));
    LoadChannelList(WriteList({}).c_str());
}

TEST_F(ChannelContextTest, MedicalPanelValuesAndLineSteps) {
    CChannelObject c = Channel("M,5000,400,1,1,1,1,0,300");
    CMedicalTextContext t;
    t.m_pChannel = &c;
    t.m_HalfBand = 300;
    CString values[3];
    t.MakeValues(values);
    EXPECT_EQ(values[0], "5.0003MHz");
    EXPECT_TRUE(values[1].IsEmpty());
    EXPECT_TRUE(values[2].IsEmpty());
    PeakAt(5200, -25.0);
    t.m_pDataLine = &m_line;
    t.MakeValues(values);
    EXPECT_EQ(values[1], "5.2000MHz +199.70kHz -25.00dBm");
    EXPECT_EQ(CString(values[2]).Right(3), "dBm");
    // Eight lines of 90 / 8 = 11.25 pixels: the fraction is kept.
    const CRect area(0, 10, 100, 100);
    EXPECT_EQ(CMedicalTextContext::LineTop(area, 1), 21);
    EXPECT_EQ(CMedicalTextContext::LineTop(area, 4), 55);
    EXPECT_EQ(CMedicalTextContext::LineTop(area, 8), 100);
}

TEST_F(ChannelContextTest, AChannelButtonReadsNoDataUntilItsBandIsMeasuredAllOver) {
    const CString noData = GetTorvelString(CChannelButtonContext::kStrNoData);
    ASSERT_EQ(noData, "no data");
    CDataLineContext line;
    ASSERT_EQ(line.Configure(kStart, kStep, kPoints), 1); // a new window: no samples
    CChannelButtonContext b;
    b.m_pDataLine = &line;
    for (const char* text : {"A,5000,2000,1,1,1,1,0", "A,5000,2000,1,1,1,1,1"}) {
        CChannelObject c = Channel(text);
        b.m_pChannel = &c;
        EXPECT_EQ(b.MeasureText(), noData) << text;
    }
    CChannelObject power = Channel("A,5000,2000,1,1,1,1,0");
    b.m_pChannel = &power;
    // The first block of a new grid only restarts the trace; then the sweep
    // reaches the band's lower half, then all of it.
    const std::vector<short> block(50, Word(-60.0));
    line.StoreBlock(block.data(), 50, 0, TRUE);
    EXPECT_EQ(b.MeasureText(), noData);
    line.StoreBlock(block.data(), 45, 0, TRUE);
    EXPECT_EQ(b.MeasureText(), noData);
    line.StoreBlock(block.data(), 50, 45, TRUE);
    EXPECT_NE(b.MeasureText(), noData);
    EXPECT_EQ(CString(b.MeasureText()).Right(3), "dBm");
}

TEST_F(ChannelContextTest, MedicalReadoutBandIsCentreMinusToPlusHalfWidthInclusive) {
    // A 1 kHz grid as the narrow sweep measures it, a -20 dBm carrier on the
    // channel centre and nothing else above -100 dBm.
    CDataLineContext line;
    FlatLine(line, 430000, 1, 2000, -100.0, kArea);
    CChannelObject c = Channel("A,431000,8,1,1,1,1,0");
    CMedicalTextContext t;
    t.m_pChannel = &c;
    t.m_pDataLine = &line;
    auto carrierAt = [&](DWORD f) {
        FlatLine(line, 430000, 1, 2000, -100.0, kArea);
        line.SetWord(f - 430000, Word(-20.0));
    };
    CString values[3];
    // +/- 1 kHz: three points, the carrier among them.
    carrierAt(431000);
    t.m_HalfBand = 1;
    t.MakeValues(values);
    EXPECT_EQ(values[1], "431.0000MHz +0.00kHz -20.00dBm");
    EXPECT_NEAR(std::atof(values[2]), -20.0, 0.01) << static_cast<const char*>(values[2]);
    // A carrier on the band's upper edge is found there.
    carrierAt(431001);
    t.MakeValues(values);
    EXPECT_EQ(values[1], "431.0010MHz +1.00kHz -20.00dBm");
    // Width 0 is the centre point alone.
    carrierAt(431000);
    t.m_HalfBand = 0;
    t.MakeValues(values);
    EXPECT_EQ(values[1], "431.0000MHz +0.00kHz -20.00dBm");
    EXPECT_NEAR(std::atof(values[2]), -20.0, 0.01) << static_cast<const char*>(values[2]);
    carrierAt(431001);
    t.MakeValues(values);
    EXPECT_NEAR(std::atof(values[2]), -100.0, 0.01) << static_cast<const char*>(values[2]);
}

TEST_F(ChannelContextTest, XpdPanelRowsScaleTheirWordsAndNeverUseTheTextLogTexts) {
    CXPDButtonContext x;
    x.m_Values[0] = 2550;   // XPD, hundredths of a dB
    x.m_Values[1] = -2000;  // RF1
    x.m_Values[3] = 430125; // peak, kHz
    x.m_Values[5] = 75;     // remaining percent
    EXPECT_EQ(x.RowValue(0), "25.50dB");
    EXPECT_EQ(x.RowValue(1), "-20.00dBm"); // a level, not a ratio
    x.m_RowTexts[2] = "no signal";         // a row's reason replaces its number
    EXPECT_EQ(x.RowValue(2), "no signal");
    EXPECT_EQ(x.RowValue(3), "430.125MHz");
    EXPECT_EQ(x.RowValue(5), "75%");
    EXPECT_TRUE(x.RowValue(CXPDButtonContext::kRows).IsEmpty());
    // The panel's texts are its own: the log dialog's title, buttons, font,
    // countdown and folder warning (68 to 74) are not the panel's; the level
    // format (91) follows the panel's block.
    EXPECT_GE(CXPDButtonContext::kStrTitle, 80);
    for (const auto& row : CXPDButtonContext::kRowTable) {
        for (int text : {row.label, row.format}) {
            EXPECT_GE(text, 80);
            EXPECT_TRUE(text <= 89 || text == 91) << text;
        }
    }
}

TEST_F(ChannelContextTest, XpdPanelTextsStayInsideTheBoxAtEverySize) {
    CXPDButtonContext x;
    auto object = MakeDrawObject(kGrey, kBlack, kBlack, "XpdPanel");
    x.SetDrawObject(object.get());
    x.m_Values[3] = 430125;
    Surface s(500, 400);
    auto inkBox = [&](int w, int h) {
        s.dc.FillSolidRect(0, 0, 500, 400, kWhite);
        const CRect rect(20, 20, 20 + w, 20 + h);
        x.SetRect(rect);
        x.Draw(&s.dc, nullptr, nullptr);
        CRect inside = rect;
        inside.DeflateRect(CXPDButtonContext::kInset, CXPDButtonContext::kInset);
        const int outside = s.Count(kBlack) - s.Count(kBlack, inside);
        EXPECT_EQ(outside, 0) << w << "x" << h;
        return s.BoxOf(kBlack);
    };
    for (int w = 50; w <= 250; w += 25) {
        for (int h = 30; h <= 200; h += 10) {
            inkBox(w, h);
        }
    }
    // A large box shows the title and all six rows; a low one fewer of them.
    const CRect all = inkBox(400, 300);
    const CRect fewer = inkBox(400, 80);
    EXPECT_GT(all.Height(), fewer.Height() * 2);
}

} // namespace
