// The waterfall views of the windows: the spectrogram windows' choice between
// the 3D graph and the waterfall (command, pane, drawing, profile and setting
// file), their slices on the waterfall through a scale change, the mouse on
// the waterfall, and the normal window's sweep history pane.
#include "commandrun.h"
#include "draw/blendingbackgroundcontext.h"
#include "lib/blendobject.h"
#include "lib/channellist.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "modes/paneview.h"
#include "modes/semirealanalysis.h"
#include "modes/waterfallinterface.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "scriptedstream.h"
#include "testutil.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr double kTone = -12.5; // dB, in the middle of a legend step
constexpr double kFloor = -87.5;

short Word(double dB) {
    return static_cast<short>(dB * 163.84);
}

// A colour as a QImage pixel without its alpha (0xRRGGBB).
unsigned PixelColor(COLORREF c) {
    return (static_cast<unsigned>(GetRValue(c)) << 16) |
           (static_cast<unsigned>(GetGValue(c)) << 8) | GetBValue(c);
}

COLORREF Step(int step) {
    return CWaterfallContext::LegendStepColor(step,
                                              CBlendingBackGroundContext::GetWindowAlphaFactor());
}

// The legend step of a level in the range lo .. hi.
int StepOf(double dB, double lo, double hi) {
    return 19 - std::clamp(static_cast<int>((dB - lo) / (hi - lo) * 20.0), 0, 19);
}

class ScriptedSemiReal : public ScriptedStream<CSemiRealAnalysis> {
public:
    // m slices, slice j with the tone at point first + j over the floor.
    void DeliverTones(int m, int first) {
        delivered.clear();
        for (int j = 0; j < m; ++j) {
            std::vector<short> words(kSlicePoints, Word(kFloor));
            words[static_cast<size_t>(first + j)] = Word(kTone);
            delivered.insert(delivered.end(), words.begin(), words.end());
        }
        AnalysisProgress(GetTaskTag(), static_cast<LPARAM>(m) << 16);
    }

protected:
    int DeviceStart(int, int, int) override { return NextStartAnswer(); }
    int DeviceNextResult() override { return 1; }
};

class SpectrogramViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        ASSERT_EQ(LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"), 1);
        core.ReadProfile();
        core.SetStart(1000000);
        core.SetStop(1100000);
        core.Reconfigure(TRUE);
    }
    void TearDown() override { SetProfileFile(nullptr); }
    int Run(int action, int p1) { return RunCommand(core, action, p1); }
    void Stream(int m) {
        core.SetAnalyzeFlag(1);
        ASSERT_EQ(core.StartAnalysis(), 1);
        core.DeliverTones(m, 10);
        core.UpdateView();
    }
    CWaterfallContext& Fall() { return core.GetWaterfallInterface().GetWaterfall(); }
    TempDir dir;
    ScriptedSemiReal core;
};

TEST_F(SpectrogramViewTest, ViewCommandSwitchesTheTopPaneAndIsKeptWithTheWindow) {
    QWidget parent;
    parent.resize(800, 600);
    core.CreatePanes(&parent, new QWidget);
    CPaneView* pane = core.Get3DView();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->GetViewInterface(), &core.Get3DInterface());
    EXPECT_EQ(core.GetCommandState(208, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(core.GetCommandState(208, 2, 0, 0, 0, 0), 0);
    EXPECT_EQ(Run(208, 1), kCommandDone);
    EXPECT_EQ(core.GetViewMode(), 1);
    EXPECT_EQ(pane->GetViewInterface(), &core.GetWaterfallInterface());
    EXPECT_EQ(core.GetCommandState(208, 1, 0, 0, 0, 0), 1);
    EXPECT_EQ(core.GetCommandState(208, 2, 0, 0, 0, 0), 1);
    Run(208, 2); // the button: the other view
    EXPECT_EQ(core.GetViewMode(), 0);
    EXPECT_EQ(pane->GetViewInterface(), &core.Get3DInterface());
    Run(208, 7); // no such view: nothing changes
    EXPECT_EQ(core.GetViewMode(), 0);

    // Setting file and profile keep the choice.
    Run(208, 1);
    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    ScriptedSemiReal fromFile;
    fromFile.ReadProfile();
    EXPECT_EQ(fromFile.GetViewMode(), 0);
    EXPECT_EQ(fromFile.LoadSettings(), 1);
    EXPECT_EQ(fromFile.GetViewMode(), 1);
    ReleaseSettingFileObject();
    core.WriteProfile();
    ScriptedSemiReal fromProfile;
    fromProfile.ReadProfile();
    EXPECT_EQ(fromProfile.GetViewMode(), 1);
    QWidget other;
    fromProfile.CreatePanes(&other, new QWidget);
    EXPECT_EQ(fromProfile.Get3DView()->GetViewInterface(), &fromProfile.GetWaterfallInterface());
}

TEST_F(SpectrogramViewTest, SlicesAreDrawnAsShownAndAScaleChangeKeepsThem) {
    Stream(5);
    ASSERT_EQ(Fall().GetFilled(), 5);
    EXPECT_EQ(Fall().SampleAt(0, 14), Word(kTone)); // the newest: tone at 10 + 4
    EXPECT_EQ(Fall().SampleAt(4, 10), Word(kTone));
    Run(208, 1);
    // The window's image: the waterfall on top, as the pane shows it.
    QImage image(640, 480, QImage::Format_RGB32);
    auto draw = [&] {
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, 640, 480));
    };
    draw();
    const double lo = core.Graph().yMin;
    const double hi = core.Graph().yMax;
    // A column narrower than the 250 kHz step shows the sample at or after it.
    const int x = Fall().ColumnOfFrequency(core.GetSliceBack(0).GetStart() + 14 * 250 - 1);
    const int y = Fall().RowOfSlice(0);
    ASSERT_GE(x, 0);
    EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, PixelColor(Step(StepOf(kTone, lo, hi))));
    EXPECT_EQ(image.pixel(x + 8, y) & 0xFFFFFF, PixelColor(Step(StepOf(kFloor, lo, hi))));
    // 5 dB a division: the range halves, the slices stay and change colour.
    EXPECT_EQ(Run(31, 2), kCommandRedraw);
    core.UpdateView();
    const double lo2 = core.Graph().yMin;
    ASSERT_NE(lo2, lo);
    EXPECT_EQ(Fall().GetFilled(), 5);
    draw();
    EXPECT_EQ(image.pixel(x + 8, y) & 0xFFFFFF,
              PixelColor(Step(StepOf(kFloor, lo2, core.Graph().yMax))));
    EXPECT_EQ(Fall().GetLevelMin(), lo2);
}

TEST_F(SpectrogramViewTest, ColoursFollowTheUnitOfDisplay) {
    // In dBuV the graph's levels are about 113 dB higher; the waterfall's
    // colours and read-out move with them.
    Stream(5);
    Run(208, 1);
    core.SetUnitAll(2);
    core.Reconfigure(FALSE);
    core.UpdateView();
    QImage image(640, 480, QImage::Format_RGB32);
    {
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, 640, 480));
    }
    const double offset = kUnitOffsetDbuv113 / 163.84;
    const double lo = core.Graph().yMin;
    const double hi = core.Graph().yMax;
    ASSERT_GT(lo, 0.0);
    const int x = Fall().ColumnOfFrequency(core.GetSliceBack(0).GetStart() + 14 * 250 - 1);
    const int y = Fall().RowOfSlice(0);
    ASSERT_GE(x, 0);
    EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, PixelColor(Step(StepOf(kTone + offset, lo, hi))));
    EXPECT_EQ(image.pixel(x + 8, y) & 0xFFFFFF, PixelColor(Step(StepOf(kFloor + offset, lo, hi))));
    CString text;
    ASSERT_TRUE(Fall().ReadoutAt(x, y, &text));
    EXPECT_GE(text.Find("100.49dBuV"), 0) << text.c_str();
}

TEST_F(SpectrogramViewTest, ChannelBandsLieOverTheWaterfallWhereTheyAre) {
    // Telemetry band 1 (420.543 MHz, 1 MHz wide) on a 400-500 MHz band.
    core.SetStart(400000);
    core.SetStop(500000);
    core.Reconfigure(TRUE);
    ASSERT_EQ(Fall().GetSampleCount(), CSemiRealAnalysis::kSlicePoints);
    ASSERT_EQ(Run(205, 100), kCommandRedraw);
    Stream(3);
    Run(208, 1);
    QImage image(640, 480, QImage::Format_RGB32);
    {
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, 640, 480));
    }
    const int y = Fall().RowOfSlice(1);
    const COLORREF floor = Step(StepOf(kFloor, core.Graph().yMin, core.Graph().yMax));
    const CChannelObject& band = core.GetChannelBand(0);
    const COLORREF blended = AlphaBlendFunction(band.GetColor(), floor,
                                                CBlendingBackGroundContext::GetWindowAlphaFactor());
    EXPECT_EQ(image.pixel(Fall().ColumnOfFrequency(420543), y) & 0xFFFFFF, PixelColor(blended));
    EXPECT_EQ(image.pixel(Fall().ColumnOfFrequency(470000), y) & 0xFFFFFF, PixelColor(floor));
}

TEST_F(SpectrogramViewTest, DraggingTheRowOrTheColumnPicksSliceAndChunkWhileStopped) {
    Stream(30);
    CWaterfallInterface& intf = core.GetWaterfallInterface();
    intf.Layout(CRect(0, 0, 700, 330));
    CWaterfallContext& fall = Fall();
    const int x = fall.GetImageRect().left + 40;
    // Running: the pointer only reads out.
    intf.OnMouseMove(0, x, fall.RowOfSlice(0));
    EXPECT_LT(core.Get3DInterface().GetHighlightedSlice(), 0);
    core.SetAnalyzeFlag(0);
    // Hovering the row of the selected slice (0) shows it; a drag down to the
    // row of slice 12 selects that slice.
    intf.OnMouseMove(0, x, fall.RowOfSlice(0));
    EXPECT_EQ(core.Get3DInterface().GetHighlightedSlice(), 0);
    intf.OnLButtonDown(0, x, fall.RowOfSlice(0));
    EXPECT_TRUE(intf.IsSliceDrag());
    intf.OnMouseMove(0, x, fall.RowOfSlice(12));
    EXPECT_EQ(core.GetSlicePosition(), 12);
    EXPECT_EQ(core.Get3DInterface().GetHighlightedSlice(), 12);
    intf.OnLButtonUp(0, x, fall.RowOfSlice(12));
    EXPECT_FALSE(intf.IsSliceDrag());
    // The chunk column: hovered, then dragged to another frequency.
    const int column = fall.ColumnOfFrequency(core.GetChunkFrequency());
    ASSERT_GE(column, 0);
    const int y = fall.RowOfSlice(25);
    intf.OnMouseMove(0, column, y);
    EXPECT_GE(core.Get3DInterface().GetHighlightedFrequency(), 0);
    EXPECT_LT(core.Get3DInterface().GetHighlightedSlice(), 0);
    intf.OnLButtonDown(0, column, y);
    ASSERT_TRUE(intf.IsFrequencyDrag());
    int kHz = 0;
    ASSERT_TRUE(fall.FrequencyAtColumn(fall.GetImageRect().left + 100, &kHz));
    intf.OnMouseMove(0, fall.GetImageRect().left + 100, y);
    EXPECT_NEAR(core.GetChunkFrequency(), kHz, 250);
    intf.OnLButtonUp(0, 0, 0);
}

// ---- The normal window's sweep history

class HistoryCore : public CNormalAnalysis {
public:
    HistoryCore() : CNormalAnalysis(nullptr, nullptr) {}
    std::vector<short> words;
    // One whole sweep of words.
    void Sweep() {
        m_sweepPosition = 0;
        SetTaskRunning(1);
        AnalysisFinished(0, 0);
    }

protected:
    int DeviceDataCount() override { return static_cast<int>(words.size()); }
    int DeviceReceiveData(short* buffer, int count) override {
        std::copy_n(words.begin(), count, buffer);
        return 1;
    }
};

class SweepHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        core.ReadProfile();
        RunCommand(core, 24, 1); // 10 kHz steps
        core.SetStart(100000);
        core.SetStop(101000);
        core.Reconfigure(TRUE);
        core.words.assign(core.GetDataLine()->GetPoints(), Word(kFloor));
    }
    void TearDown() override { SetProfileFile(nullptr); }
    CWaterfallContext& Fall() { return core.GetHistoryInterface().GetWaterfall(); }
    TempDir dir;
    HistoryCore core;
};

TEST_F(SweepHistoryTest, FinishedSweepsJoinTheShownHistoryUntilTheGridChanges) {
    const int points = static_cast<int>(core.GetDataLine()->GetPoints());
    ASSERT_GE(points, 10);
    core.Sweep(); // hidden: nothing kept
    EXPECT_EQ(Fall().GetFilled(), 0);
    EXPECT_EQ(core.GetCommandState(110, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(RunCommand(core, 110, 0), kCommandDone);
    EXPECT_TRUE(core.IsHistoryShown());
    EXPECT_EQ(core.GetCommandState(110, 0, 0, 0, 0, 0), 1);
    for (int k = 0; k < 3; ++k) {
        core.words.assign(static_cast<size_t>(points), Word(kFloor));
        core.words[static_cast<size_t>(k)] = Word(kTone);
        core.Sweep();
    }
    ASSERT_EQ(Fall().GetFilled(), 3);
    EXPECT_EQ(Fall().SampleAt(0, 2), Word(kTone));
    EXPECT_EQ(Fall().SampleAt(1, 1), Word(kTone));
    // The same grid keeps the history; a new one starts it over.
    core.Reconfigure(TRUE);
    core.Sweep();
    EXPECT_EQ(Fall().GetFilled(), 4);
    core.SetStop(150000);
    core.Reconfigure(TRUE);
    core.words.assign(core.GetDataLine()->GetPoints(), Word(kFloor));
    core.Sweep();
    EXPECT_EQ(Fall().GetFilled(), 1);
}

TEST_F(SweepHistoryTest, HistoryIsDrawnUnderTheSpectrumAndKeptInTheProfile) {
    RunCommand(core, 110, 0);
    core.words[50] = Word(kTone);
    core.Sweep();
    core.Sweep();
    core.UpdateView();
    QImage image(640, 480, QImage::Format_RGB32);
    {
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, 640, 480));
    }
    // The lower quarter (from row 360): the history's legend and its newest
    // sweep, 10 rows under the top of the pane.
    const CRect picture = Fall().GetImageRect();
    const int top = 360 + picture.top;
    EXPECT_EQ(picture.top, 10);
    EXPECT_EQ(image.pixel(Fall().GetLegendRect().left + 3, top) & 0xFFFFFF, PixelColor(Step(0)));
    // A column narrower than the 10 kHz step shows the sample at or after it.
    const int toneColumn = Fall().ColumnOfFrequency(core.GetDataLine()->GetStart() + 50 * 10 - 1);
    ASSERT_GE(toneColumn, 0);
    EXPECT_EQ(image.pixel(toneColumn, top) & 0xFFFFFF,
              PixelColor(Step(StepOf(kTone, core.Graph().yMin, core.Graph().yMax))));
    // In dBuV the colours move with the graph's levels.
    core.SetUnitAll(3);
    core.Reconfigure(FALSE);
    {
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, 640, 480));
    }
    EXPECT_EQ(Fall().LevelColor(Word(kTone)), Step(StepOf(kTone + kUnitOffsetDbuv107 / 163.84,
                                                          core.Graph().yMin, core.Graph().yMax)));
    // The choice survives in the profile; other kinds never show the pane.
    core.WriteProfile();
    HistoryCore again;
    again.ReadProfile();
    EXPECT_TRUE(again.IsHistoryShown());
    RunCommand(core, 110, 0);
    core.WriteProfile();
    HistoryCore hidden;
    hidden.ReadProfile();
    EXPECT_FALSE(hidden.IsHistoryShown());
}

} // namespace
