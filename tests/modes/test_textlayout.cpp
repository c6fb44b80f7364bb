// The texts of the XPD and zero-span windows drawn at every size the panes
// allow, narrow to wide and low to tall: no two texts a graph shows (axis
// values, corner texts, title and readout lines, status text, marker labels)
// overprint each other, and the XPD graphs keep their path's caption in view.
#include "draw/markercontext.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/medicalanalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The panes of both windows are at least 50 pixels either way.
constexpr int kMinPane = 50;
const std::vector<int> kHeights = {50, 60, 75, 100, 140, 200, 300, 500, 800};

std::vector<int> Widths() {
    std::vector<int> widths;
    for (int w = kMinPane; w < 500; w += 5)
        widths.push_back(w);
    for (int w = 500; w <= 1600; w += 50)
        widths.push_back(w);
    return widths;
}

struct Shown {
    std::string name;
    CRect box;
};

// Every text of the graph drawn last time, with the box it took.
std::vector<Shown> TextsOf(CGraphInterface& intf) {
    CNormalGraphContext& graph = intf.GetGraph();
    std::vector<Shown> texts;
    auto add = [&](const std::string& name, CDrawText& text) {
        const CRect box = text.GetLastExtent();
        if (!box.IsRectEmpty())
            texts.push_back({name + " '" + text.GetText().c_str() + "'", box});
    };
    add("axis value 0", graph.GetAxisText(0));
    add("axis value 1", graph.GetAxisText(1));
    for (int k = 0; k < CNormalGraphContext::kCornerCount; ++k)
        add("corner " + std::to_string(k), graph.GetCorner(k));
    int n = 0;
    for (CDrawMultiLineText* line = &graph.GetFrame().GetTitle(); line;
         line = line->GetNextLine(), ++n) {
        if (line->GetRedrawFlag())
            add("title line " + std::to_string(n), *line);
    }
    if (graph.GetStatusText().GetRedrawFlag())
        add("status", graph.GetStatusText());
    if (graph.GetStatusMore().GetRedrawFlag())
        add("status line 2", graph.GetStatusMore());
    for (int k = 1; k <= CGraphInterface::kMarkers; ++k) {
        CMarkerContext* marker = intf.GetMarker(k);
        if (marker && marker->GetRedrawFlag() && !marker->GetLabelRect().IsRectEmpty())
            texts.push_back({"label of marker " + std::to_string(k), marker->GetLabelRect()});
    }
    return texts;
}

// Fails once per pair of texts of the graph that overlap.
void ExpectApart(CGraphInterface& intf, const std::string& where) {
    const std::vector<Shown> texts = TextsOf(intf);
    for (size_t a = 0; a < texts.size(); ++a) {
        for (size_t b = a + 1; b < texts.size(); ++b) {
            CRect common;
            EXPECT_FALSE(common.IntersectRect(texts[a].box, texts[b].box))
                << where << ": " << texts[a].name << " overlaps " << texts[b].name;
        }
    }
}

// Draws one graph interface alone, as its pane paints it.
void DrawPane(CGraphInterface& intf, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    CDC dc(&image);
    intf.Draw(&dc, CRect(0, 0, w, h));
}

std::string Size(const char* what, int w, int h) {
    return std::string(what) + " " + std::to_string(w) + "x" + std::to_string(h);
}

class TextLayout : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
    }
    void TearDown() override { SetProfileFile(nullptr); }
    TempDir m_dir;
};

TEST_F(TextLayout, XpdCaptionsNeverRunIntoTheRbwTextAndKeepTheirPathInView) {
    CXpdAnalysis core(nullptr, nullptr);
    core.SetTitleIndex(1);
    core.ReadProfile();
    core.Reconfigure(TRUE);
    CGraphInterface& rf1 = core.GetGraphInterface();
    CGraphInterface& rf2 = core.GetSecondGraph();
    ASSERT_EQ(std::string(rf1.GetGraph().GetCorner(0).GetText().c_str()).rfind("[RF1] ", 0), 0u);
    ASSERT_EQ(std::string(rf2.GetGraph().GetCorner(0).GetText().c_str()).rfind("[RF2] ", 0), 0u);

    for (int h : kHeights) {
        for (int w : Widths()) {
            DrawPane(rf1, w, h);
            ExpectApart(rf1, Size("RF1 pane", w, h));
            DrawPane(rf2, w, h);
            ExpectApart(rf2, Size("RF2 pane", w, h));
            // Wide enough for the caption's head, the path is named.
            if (w >= 120) {
                EXPECT_EQ(std::string(rf1.GetGraph().GetCorner(0).GetShownText().c_str())
                              .rfind("[RF1]", 0),
                          0u)
                    << Size("RF1 pane", w, h);
                EXPECT_EQ(std::string(rf2.GetGraph().GetCorner(0).GetShownText().c_str())
                              .rfind("[RF2]", 0),
                          0u)
                    << Size("RF2 pane", w, h);
            }
        }
    }
    // The whole window as printed: the panel, then the two graphs.
    for (int w = 200; w <= 1600; w += 40) {
        QImage image(w, 400, QImage::Format_RGB32);
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, w, 400));
        ExpectApart(rf1, Size("XPD window, RF1", w, 400));
        ExpectApart(rf2, Size("XPD window, RF2", w, 400));
    }
    // With room for both, both texts are whole.
    DrawPane(rf1, 1000, 300);
    EXPECT_EQ(rf1.GetGraph().GetCorner(0).GetShownText(), rf1.GetGraph().GetCorner(0).GetText());
    EXPECT_EQ(rf1.GetGraph().GetCorner(1).GetShownText(), rf1.GetGraph().GetCorner(1).GetText());
}

// The status text as the graph showed it, its lines joined by a blank.
std::string ShownStatus(CGraphInterface& intf) {
    CNormalGraphContext& graph = intf.GetGraph();
    std::string shown = graph.GetStatusText().GetShownText().c_str();
    if (graph.GetStatusMore().GetRedrawFlag())
        shown += std::string(" ") + graph.GetStatusMore().GetShownText().c_str();
    return shown;
}

TEST_F(TextLayout, AStoppedWindowSaysSoWholeInEveryGraphClearOfItsOtherTexts) {
    const std::string stopped = GetTorvelString(2408);
    ASSERT_FALSE(stopped.empty());
    // The XPD window's graphs, stopped, drawn as the window draws them: at
    // its opening size and larger the text is whole, on two lines when one is
    // too short; never cut, never over another text.
    CXpdAnalysis xpd(nullptr, nullptr);
    xpd.SetTitleIndex(1);
    xpd.ReadProfile();
    xpd.Reconfigure(TRUE);
    xpd.UpdateView();
    CGraphInterface& rf1 = xpd.GetGraphInterface();
    ASSERT_EQ(rf1.GetGraph().GetStatusText().GetText().c_str(), stopped);
    for (int w = 560; w <= 1600; w += 40) {
        for (int h : {420, 480, 600, 1000}) {
            QImage image(w, h, QImage::Format_RGB32);
            CDC dc(&image);
            xpd.DrawView(&dc, CRect(0, 0, w, h));
            ExpectApart(rf1, Size("XPD window, RF1", w, h));
            ExpectApart(xpd.GetSecondGraph(), Size("XPD window, RF2", w, h));
            EXPECT_EQ(ShownStatus(rf1), stopped) << Size("XPD window", w, h);
            EXPECT_EQ(ShownStatus(xpd.GetSecondGraph()), stopped) << Size("XPD window", w, h);
        }
    }
    // A graph pane as on the screen, from a third of the window's opening
    // width on (the panel takes the rest).
    for (int h : kHeights) {
        for (int w : Widths()) {
            DrawPane(rf1, w, h);
            ExpectApart(rf1, Size("stopped RF1 pane", w, h));
            if (w >= 260 && h >= 100) {
                EXPECT_EQ(ShownStatus(rf1), stopped) << Size("stopped RF1 pane", w, h);
            }
        }
    }

    // The zero-span window says it in its time graph as well as in its spectrum.
    CZeroSpanAnalysis zero(nullptr, nullptr);
    zero.SetTitleIndex(1);
    zero.ReadProfile();
    zero.SetAnalyzeFlag(0);
    zero.Reconfigure(TRUE);
    zero.UpdateView();
    CGraphInterface& time = zero.GetTimeGraph();
    ASSERT_TRUE(time.GetGraph().GetStatusText().GetRedrawFlag());
    for (int w : {440, 640, 1000}) {
        QImage image(w, 420, QImage::Format_RGB32);
        CDC dc(&image);
        zero.DrawView(&dc, CRect(0, 0, w, 420));
        EXPECT_EQ(ShownStatus(time), stopped) << Size("zero-span window, time", w, 420);
        EXPECT_EQ(ShownStatus(zero.GetGraphInterface()), stopped)
            << Size("zero-span window, spectrum", w, 420);
        ExpectApart(time, Size("zero-span window, time", w, 420));
    }
    // Running, neither graph says it.
    zero.SetAnalyzeFlag(1);
    zero.UpdateView();
    EXPECT_FALSE(time.GetGraph().GetStatusText().GetRedrawFlag());
    EXPECT_FALSE(zero.GetGraphInterface().GetGraph().GetStatusText().GetRedrawFlag());
}

TEST_F(TextLayout, ZeroSpanReadoutsTitlesStatusAndCornerTextsNeverOverlap) {
    CZeroSpanAnalysis core(nullptr, nullptr);
    core.SetTitleIndex(1);
    core.ReadProfile();
    core.SetAnalyzeFlag(1);
    core.SetCenter(433750);
    core.Reconfigure(TRUE);
    // Everything the window can show at once: the zero-span marker measuring
    // a band near the start of the span (its label among the title lines) and
    // a second spectrum marker, three time markers, the trigger line's
    // readout and the waiting-for-trigger status.
    core.ExecuteCommand(257, 1, 0, 0, 0, 0);
    core.ExecuteCommand(258, 0, 8, 0, 0, 0);
    core.ExecuteCommand(258, 1, 12, 0, 0, 0);
    core.Reconfigure(FALSE);
    ASSERT_EQ(core.GetAccumulateMode(), CMarkerContext::kModeBandPower);
    core.GetZeroSpanMarker().SetRedrawFlag(1);
    core.GetGraphInterface().GetMarker(1)->SetRedrawFlag(1);
    for (int k = 1; k <= 3; ++k)
        core.GetMarker(k)->SetRedrawFlag(1);
    core.ExecuteCommand(253, 1, 0, 0, 0, 0);
    core.Reconfigure(FALSE);
    core.AnalysisProgress(0, CZeroSpanAnalysis::kWaitingForTrigger);
    CGraphInterface& spectrum = core.GetGraphInterface();
    CGraphInterface& time = core.GetTimeGraph();
    ASSERT_TRUE(spectrum.GetGraph().GetStatusText().GetRedrawFlag());
    ASSERT_TRUE(spectrum.GetTrigger()->GetReadoutLine().GetRedrawFlag());

    for (int h : kHeights) {
        for (int w : Widths()) {
            DrawPane(spectrum, w, h);
            ExpectApart(spectrum, Size("spectrum pane", w, h));
            DrawPane(time, w, h);
            ExpectApart(time, Size("time pane", w, h));
        }
    }
    // The whole window as printed: the time graph above the spectrum.
    for (int w = 100; w <= 1600; w += 50) {
        for (int h : {100, 160, 300, 800}) {
            QImage image(w, h, QImage::Format_RGB32);
            CDC dc(&image);
            core.DrawView(&dc, CRect(0, 0, w, h));
            ExpectApart(time, Size("zero-span window, time", w, h));
            ExpectApart(spectrum, Size("zero-span window, spectrum", w, h));
        }
    }
    // On a tall, wide pane every line is shown whole, and the band's label
    // below the lines too.
    DrawPane(spectrum, 1000, 800);
    EXPECT_FALSE(core.GetZeroSpanMarker().GetLabelRect().IsRectEmpty());
    for (CDrawMultiLineText* line = &spectrum.GetGraph().GetFrame().GetTitle(); line;
         line = line->GetNextLine()) {
        if (line->GetRedrawFlag()) {
            EXPECT_EQ(line->GetShownText(), line->GetText());
        }
    }
}

TEST_F(TextLayout, TheReferenceMarkLeavesTheFirstLetterOfEveryReadoutLineFree) {
    CXpdAnalysis core(nullptr, nullptr);
    core.SetTitleIndex(1);
    core.ReadProfile();
    core.Reconfigure(TRUE);
    CGraphInterface& intf = core.GetGraphInterface();
    CNormalGraphContext& graph = intf.GetGraph();
    intf.GetMarker(1)->SetRedrawFlag(1);
    for (int h : {100, 200, 300, 500, 800}) {
        for (int w : {200, 400, 800}) {
            DrawPane(intf, w, h);
            CDrawFrame& frame = graph.GetFrame().GetFrame();
            const CRect grid = frame.GetLastRect();
            // The mark is a third of a division wide and high, at the grid's
            // left edge on the reference line (division 9 of 10 from below).
            const int division = grid.Height() / std::max(frame.GetYDivision(), 1);
            const int mark = (division / 3) & ~1;
            const int markY = grid.top + (frame.GetYDivision() - frame.GetReferenceLine()) *
                                             grid.Height() / std::max(frame.GetYDivision(), 1);
            const CRect markBox(grid.left, markY - mark / 2, grid.left + mark + 1,
                                markY + mark / 2 + 1);
            int lines = 0;
            for (CDrawMultiLineText* line = &graph.GetFrame().GetTitle(); line;
                 line = line->GetNextLine()) {
                const CRect box = line->GetLastExtent();
                if (!line->GetRedrawFlag() || box.IsRectEmpty())
                    continue;
                ++lines;
                CRect common;
                EXPECT_FALSE(common.IntersectRect(box, markBox))
                    << Size("graph", w, h) << " '" << line->GetText().c_str() << "'";
            }
            EXPECT_GE(lines, 1) << Size("graph", w, h);
        }
    }
}

TEST_F(TextLayout, MedicalReadoutLabelsNeverRunIntoTheirValues) {
    CMedicalAnalysis core(nullptr, nullptr);
    core.SetTitleIndex(1);
    core.ReadProfile();
    core.Reconfigure(TRUE);
    CMedicalTextContext& readout = core.GetPanel().GetReadout();
    // A channel picked: the read-out has its lines.
    ASSERT_EQ(LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"), 1);
    readout.m_pChannel = GetChannelObject(GetChannelIndex("A1001"));
    ASSERT_TRUE(readout.m_pChannel);
    readout.m_LabelColor = RGB(255, 0, 0);
    readout.m_ValueColor = RGB(0, 0, 255);
    for (int w = 120; w <= 1600; w += 40) {
        QImage image(w, 600, QImage::Format_RGB32);
        image.fill(Qt::white);
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, w, 600));
        const CRect r = readout.GetRect();
        ASSERT_FALSE(r.IsRectEmpty()) << w;
        // Per row of pixels: every label pixel lies left of every value pixel.
        int labelRows = 0;
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, image.height()); ++y) {
            int labelRight = -1;
            int valueLeft = image.width();
            for (int x = std::max(r.left, 0); x < std::min(r.right, image.width()); ++x) {
                // Text may be smoothed: a pixel counts by its strongest colour.
                const QColor p = image.pixelColor(x, y);
                if (p.red() > 120 && p.green() < 80 && p.blue() < 80)
                    labelRight = x;
                else if (p.blue() > 120 && p.red() < 80 && p.green() < 80 &&
                         valueLeft == image.width())
                    valueLeft = x;
            }
            EXPECT_LT(labelRight, valueLeft) << "width " << w << ", row " << y;
            labelRows += labelRight >= 0 ? 1 : 0;
        }
        EXPECT_GT(labelRows, 0) << "width " << w;
        // The three lines keep apart: their label pixels lie in three runs of
        // rows, whatever the window's height (the read-out is a small share
        // of it, with room for fewer than eight lines of the font).
        if (w == 800) {
            for (int h : {440, 520, 600, 800}) { // from the window's least height
                QImage tall(w, h, QImage::Format_RGB32);
                tall.fill(Qt::white);
                CDC tallDc(&tall);
                core.DrawView(&tallDc, CRect(0, 0, w, h));
                const CRect area = readout.GetRect();
                int runs = 0;
                bool inRun = false;
                for (int y = std::max(area.top, 0); y < std::min(area.bottom, h); ++y) {
                    bool label = false;
                    for (int x = area.left; x < area.left + w / 6 && !label; ++x) {
                        const QColor p = tall.pixelColor(x, y);
                        label = p.red() > 120 && p.green() < 80 && p.blue() < 80;
                    }
                    runs += label && !inRun ? 1 : 0;
                    inRun = label;
                }
                EXPECT_EQ(runs, 3) << "height " << h << ", read-out " << area.Height();
            }
        }
        // The channel buttons' captions keep apart, however narrow the buttons.
        std::vector<Shown> captions;
        for (int k = 0; k < CMedicalChannelPanel::kButtons; ++k) {
            const CRect box = core.GetPanel().GetButton(k).GetText().GetLastExtent();
            if (!box.IsRectEmpty())
                captions.push_back({"button " + std::to_string(k), box});
        }
        for (size_t a = 0; a < captions.size(); ++a)
            for (size_t b = a + 1; b < captions.size(); ++b) {
                CRect common;
                EXPECT_FALSE(common.IntersectRect(captions[a].box, captions[b].box))
                    << "width " << w << ": " << captions[a].name << " and " << captions[b].name;
            }
    }
}

} // namespace
