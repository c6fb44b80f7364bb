// The semi-real-time core against a scripted device: the band inside the
// device's limits, the ring of slices and what the spectrum and chunk graphs
// show of it, the start with its retry, the stream's request cycle, the slice
// and chunk commands, the channel bands, and the CSV columns of the ring.
#include "analysis/csvfile.h"
#include "analysis/viewowner.h"
#include "commandrun.h"
#include "lib/channellist.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/semirealanalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "scriptedstream.h"
#include "testutil.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct StartCall {
    int kHz, attenuation, rejection;
};

// The device: queued answers to starts, batches of slices, and counters.
class ScriptedSemiReal : public ScriptedStream<CSemiRealAnalysis> {
public:
    std::vector<StartCall> starts;
    int resultRequests = 0;

    // m slices whose every word is first + j (j = 0 .. m - 1), as intermediate data.
    void Deliver(int m, short first) {
        delivered.clear();
        for (int j = 0; j < m; ++j)
            delivered.insert(delivered.end(), kSlicePoints, static_cast<short>(first + j));
        AnalysisProgress(GetTaskTag(), static_cast<LPARAM>(m) << 16);
    }
    using CSpectrogramAnalysis::SliceIndexBack;

protected:
    int DeviceStart(int kHz, int attenuation, int rejection) override {
        starts.push_back({kHz, attenuation, rejection});
        return NextStartAnswer();
    }
    int DeviceNextResult() override { return ++resultRequests, 1; }
    BOOL ChooseColor(COLORREF, COLORREF* chosen) override {
        *chosen = RGB(9, 8, 7);
        return TRUE;
    }
};

class SemiRealTest : public ::testing::Test {
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
    // Puts the core into a running stream, as the scheduler would.
    void StartStream() {
        core.SetAnalyzeFlag(1);
        ASSERT_EQ(core.StartAnalysis(), 1);
    }
    short DataLineWord() { return core.GetDataLine()->GetData()[10]; }
    TempDir dir;
    ScriptedSemiReal core;
};

TEST_F(SemiRealTest, BandIsMovedInsideTheDeviceRangeOfItsKind) {
    EXPECT_EQ(core.GetDataLine()->GetStart(), 1000000u);
    EXPECT_EQ(core.GetDataLine()->GetStep(), 250u);
    EXPECT_EQ(core.GetDataLine()->GetPoints(), 400u);
    EXPECT_EQ(core.GetSliceLine(57).GetPoints(), 400u);
    // The normal sweep goes down to 1000 kHz, this kind only to 10000.
    core.SetStart(2000);
    core.SetStop(30000);
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetStart(), 10000);
    EXPECT_EQ(core.GetStop(), 110000);
    EXPECT_EQ(core.GetDataLine()->GetStart(), 10000u);
}

TEST_F(SemiRealTest, SlicePositionPicksTheNewestOrAnOlderSliceOfTheRing) {
    StartStream();
    // 101 slices with the values 1 .. 101: the first ring entry is reused.
    core.Deliver(60, 1);
    core.Deliver(41, 61);
    EXPECT_EQ(core.GetWritePosition(), 1);
    EXPECT_EQ(core.GetSliceLine(0).GetData()[0], 101);
    EXPECT_EQ(core.GetSliceLine(1).GetData()[0], 2);
    // Position 0 shows the slice just received, in the spectrum and as the
    // 3D graph's newest slice.
    EXPECT_EQ(DataLineWord(), 101);
    EXPECT_EQ(core.Get3DInterface().GetGraph().GetSliceAt(0), &core.GetSliceLine(0));
    EXPECT_EQ(core.Get3DInterface().GetGraph().GetSliceAt(99), &core.GetSliceLine(1));
    // Position 99 the oldest one kept, values above 99 count as 99.
    EXPECT_EQ(Run(203, 250), kCommandDone);
    EXPECT_EQ(core.GetSlicePosition(), 99);
    EXPECT_EQ(DataLineWord(), 2);
    EXPECT_EQ(core.Get3DInterface().GetHighlightedSlice(), 99 - CSemiRealAnalysis::kHidden);
    EXPECT_EQ(Run(203, -1), kCommandDone);
    EXPECT_EQ(core.GetSlicePosition(), 99);
    // The next batch is shown at that position too.
    core.Deliver(3, 200);
    EXPECT_EQ(DataLineWord(), 5);
    Run(203, 0);
    EXPECT_EQ(DataLineWord(), 202);
}

TEST_F(SemiRealTest, ChunkLineRunsNewestFirstAndAnEmptyBatchOnlyRebuildsIt) {
    StartStream();
    core.Deliver(5, 10);
    const int chunkAt = core.GetChunkFrequency();
    EXPECT_EQ(chunkAt, 1000000 + 200 * 250);
    const short* chunk = core.GetChunkLine().GetData();
    EXPECT_EQ(chunk[0], 14);
    EXPECT_EQ(chunk[4], 10);
    EXPECT_EQ(chunk[5], kNoSample);
    // A slice changed behind the core's back shows in the chunk line after a
    // notification without slices, which leaves the rest alone.
    core.GetSliceBack(1).SetWord(200, 77);
    const short shown = DataLineWord();
    core.Deliver(0, 0);
    EXPECT_EQ(core.GetChunkLine().GetData()[1], 77);
    EXPECT_EQ(core.GetWritePosition(), 5);
    EXPECT_EQ(DataLineWord(), shown);
}

TEST_F(SemiRealTest, ChunkFrequencyIsRoundedToTheGridAndHeldInsideTheBand) {
    EXPECT_EQ(Run(204, 1000124), kCommandDone);
    EXPECT_EQ(core.GetChunkPosition(), 0);
    EXPECT_EQ(Run(204, 1000125), kCommandDone);
    EXPECT_EQ(core.GetChunkPosition(), 1);
    Run(204, 5000);
    EXPECT_EQ(core.GetChunkPosition(), 0);
    // Above the band: the last point, which the slices measure (the word
    // after it belongs to no point).
    StartStream();
    core.Deliver(3, 100);
    Run(204, 2900000);
    EXPECT_EQ(core.GetChunkPosition(), 399);
    EXPECT_EQ(core.Get3DInterface().GetHighlightedFrequency(),
              1099750 - CSemiRealAnalysis::kHidden);
    EXPECT_EQ(core.GetChunkLine().GetData()[0], 102);
}

TEST_F(SemiRealTest, ABandWiderThanTheSlicesIsCutToThemAndTheUserIsTold) {
    std::vector<CString> warnings;
    core.GetLoggingOutput().Prompts().warning = [&](const CString& t) { warnings.push_back(t); };
    // The span preset of 1 GHz about 1050 MHz: the slices cover 100 MHz.
    EXPECT_EQ(Run(22, 1000000), kCommandReset);
    EXPECT_EQ(core.GetStart(), 1000000);
    EXPECT_EQ(core.GetStop(), 1100000);
    EXPECT_EQ(core.GetDataLine()->GetPoints(), 400u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], CString(GetTorvelString(95)));
    // Given by start and stop, the band keeps its start; off the 2 MHz grid,
    // the grid's start counts: 1001 to 1101 MHz would need 408 points.
    core.SetStart(1001000);
    core.SetStop(1301000);
    ASSERT_EQ(core.GetFrequencyMode(), 0);
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetStart(), 1001000);
    EXPECT_EQ(core.GetStop(), 1100000);
    EXPECT_EQ(core.GetDataLine()->GetPoints(), 400u);
    // A band the slices cover is left alone, without a word.
    EXPECT_EQ(Run(22, 50000), kCommandReset);
    EXPECT_EQ(core.GetStop() - core.GetStart(), 50000);
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(SemiRealTest, RefusedStartIsRetriedOnceAfterATerminate) {
    core.SetAnalyzeFlag(1);
    core.startAnswers = {0, 1};
    EXPECT_EQ(core.StartAnalysis(), 1);
    ASSERT_EQ(core.starts.size(), 2u);
    EXPECT_EQ(core.terminates, 1);
    EXPECT_EQ(core.starts[1].kHz, 1000000);
    EXPECT_EQ(core.starts[1].attenuation, core.GetAttenuation());
    EXPECT_EQ(core.starts[1].rejection, core.GetRejectionRate());
    core.startAnswers = {0, 0};
    EXPECT_EQ(core.StartAnalysis(), 0);
    EXPECT_EQ(core.starts.size(), 4u);
}

TEST_F(SemiRealTest, NextBatchIsAskedForOnlyAfterDataArrivedAndAChangeRestartsTheStream) {
    StartStream();
    core.ViewProgress();
    EXPECT_EQ(core.resultRequests, 0);
    core.Deliver(1, 1);
    core.ViewProgress();
    EXPECT_EQ(core.resultRequests, 1);
    // A new attenuation cuts the running task and starts it again with it.
    EXPECT_EQ(Run(17, 10), kCommandRedraw);
    EXPECT_EQ(core.terminates, 1);
    ASSERT_EQ(core.starts.size(), 2u);
    EXPECT_EQ(core.starts[1].attenuation, 10);
    EXPECT_EQ(core.GetTaskRunning(), 1);
    // Without a running task nothing is taken in.
    core.SetTaskRunning(0);
    core.Deliver(2, 50);
    EXPECT_EQ(core.GetWritePosition(), 1);
}

TEST_F(SemiRealTest, TwentyChannelEntriesAndTheirCommands) {
    // The WLAN channels 1..14 and the telemetry bands 100..105.
    std::vector<int> numbers;
    for (int n = 1; n <= 14; ++n)
        numbers.push_back(n);
    for (int n = 100; n <= 105; ++n)
        numbers.push_back(n);
    for (int n : numbers)
        EXPECT_EQ(Run(205, n), kCommandRedraw);
    EXPECT_EQ(core.GetCommandState(205, 103, 0, 0, 0, 0), kStateTicked);
    // A 21st channel changes nothing.
    Run(205, 200);
    EXPECT_FALSE(core.HasChannel(200));
    for (int i = 0; i < CSemiRealAnalysis::kChannelEntries; ++i)
        EXPECT_EQ(core.GetChannelEntry(i), numbers[static_cast<size_t>(i)]);
    // Off again, and a whole category at once.
    Run(205, 3);
    EXPECT_EQ(core.GetChannelEntry(2), -1);
    EXPECT_EQ(core.GetChannelBand(2).GetRedrawFlag(), 0);
    EXPECT_EQ(Run(207, 2), kCommandRedraw);
    for (int n = 100; n <= 105; ++n)
        EXPECT_FALSE(core.HasChannel(n));
    EXPECT_TRUE(core.HasChannel(14));
    // While analysing the commands ask for no reconfiguration.
    core.SetAnalyzeFlag(1);
    EXPECT_EQ(Run(205, 200), kCommandDone);
    EXPECT_EQ(Run(206, 200), kCommandDone);
    EXPECT_EQ(GetChannelObject(200)->GetColor(), RGB(9, 8, 7));
    EXPECT_EQ(core.GetChannelBand(2).GetColor(), RGB(9, 8, 7));
}

TEST_F(SemiRealTest, BandsShowOnlyWhereTheyReachIntoTheSlices) {
    core.SetStart(420000);
    core.SetStop(440000);
    core.Reconfigure(TRUE);
    Run(205, 100); // 420543 kHz, inside
    Run(205, 6);   // 2437000 kHz, outside
    core.Reconfigure(FALSE);
    EXPECT_EQ(core.GetChannelBand(0).GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetChannelBand(1).GetRedrawFlag(), 0);

    // A channel wider than the band shown (CH6, 2426-2448 MHz, over 2432-2442
    // MHz) fills it, on the spectrum and on the spectrogram.
    Run(205, 100);
    core.SetStop(2442000);
    core.SetStart(2432000);
    core.Reconfigure(TRUE);
    ASSERT_EQ(core.GetSliceLine(0).GetStart(), 2432000u);
    auto spectrogram = [&] {
        QImage image(400, 300, QImage::Format_RGB32);
        CDC dc(&image);
        core.Get3DInterface().Draw(&dc, CRect(0, 0, 400, 300));
        dc.Flush();
        return image;
    };
    EXPECT_EQ(core.GetChannelBand(1).GetRedrawFlag(), 1);
    const QImage with = spectrogram();
    const COLORREF colour = core.GetChannelBand(1).GetColor();
    const QRgb band = qRgb(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    int painted = 0;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            painted += with.pixel(x, y) == band;
    EXPECT_GT(painted, 1000);
    Run(205, 6);
    EXPECT_NE(spectrogram(), with);
}

TEST_F(SemiRealTest, TheChunkGraphSpansTheRealTimeOfTheRing) {
    // A slice every 10 ms x RejectionRate: 100 slices at rejection 1 are 1 s.
    const CString stop = GetTorvelString(14);
    EXPECT_EQ(*core.GetChunkInterface().GetGraph().GetCornerText(3),
              stop + " : 5s"); // nominal at the default rejection 5
    WriteProfileInt(core.GetProfileSection(), "RejectionRate", 1);
    ScriptedSemiReal fast;
    fast.ReadProfile();
    fast.SetStart(1000000);
    fast.SetStop(1100000);
    fast.Reconfigure(TRUE);
    auto label = [&] { return *fast.GetChunkInterface().GetGraph().GetCornerText(3); };
    fast.SetAnalyzeFlag(1);
    ASSERT_EQ(fast.StartAnalysis(), 1);
    fast.Deliver(100, 0);
    EXPECT_EQ(label(), stop + " : 1s");
    EXPECT_EQ(fast.GetChunkLine().GetStep(), 10000u);
    // 40 slices dropped before the next 10 (the count below bit 16 of
    // lParam): the ring now spans 90 slices, a gap of 40 and 10 slices.
    fast.delivered.assign(static_cast<size_t>(10) * CSemiRealAnalysis::kSlicePoints, 1);
    fast.AnalysisProgress(fast.GetTaskTag(), (static_cast<LPARAM>(10) << 16) | 40);
    EXPECT_EQ(label(), stop + " : 1.4s");
    EXPECT_EQ(fast.GetChunkLine().GetStep(), 14000u);
    EXPECT_DOUBLE_EQ(fast.GetChunkInterface().GetGraph().GetXMax(), 1400000.0);
    // A ring not yet full counts a slice's time for every slice still to come.
    fast.Reconfigure(TRUE);
    fast.SetAnalyzeFlag(1);
    ASSERT_EQ(fast.StartAnalysis(), 1);
    fast.Deliver(30, 0);
    EXPECT_EQ(label(), stop + " : 1s");
}

TEST_F(SemiRealTest, CsvKeepsTheRingNewestFirstAndReadsBackToTheSameFile) {
    StartStream();
    core.Deliver(70, -9000);
    core.Deliver(45, -4000);
    Run(203, 7);
    Run(204, 1050000);
    core.SetAnalyzeFlag(0);
    const std::string first = dir.file("a.csv");
    ASSERT_EQ(CCsvFile::Write(core, first.c_str()), 1);
    const std::string text = ReadWholeFile(first);
    EXPECT_NE(text.find("Trace5,SLICE0,SLICE1,"), std::string::npos);
    EXPECT_NE(text.find(",SLICE99\r\n"), std::string::npos);
    EXPECT_NE(text.find("SlicePosition,7\r\nChunkPosition,200\r\n"), std::string::npos);

    ScriptedSemiReal other;
    other.ReadProfile();
    ASSERT_EQ(other.ReadCSVSections(first.c_str()), 1);
    EXPECT_EQ(other.GetSlicePosition(), 7);
    EXPECT_EQ(other.GetChunkPosition(), 200);
    // SLICE0 is the newest slice again, SLICE99 the oldest (two decimals of a
    // dB keep a level to within a word).
    EXPECT_NEAR(other.GetSliceBack(0).GetData()[3], -4000 + 44, 1);
    EXPECT_NEAR(other.GetSliceBack(99).GetData()[3], -9000 + 15, 1);
    EXPECT_EQ(other.GetChunkLine().GetData()[0], other.GetSliceBack(0).GetData()[200]);
    const std::string second = dir.file("b.csv");
    ASSERT_EQ(CCsvFile::Write(other, second.c_str()), 1);
    auto body = [](const std::string& s) { return s.substr(s.find("[PARAM ENTRY]")); };
    EXPECT_EQ(body(ReadWholeFile(second)), body(text));
    // Shown at 2 dB/div the slices read from the file stay.
    EXPECT_EQ(RunCommand(other, 31, 3), kCommandRedraw);
    EXPECT_NEAR(other.GetSliceBack(0).GetData()[3], -4000 + 44, 1);
    EXPECT_NEAR(other.GetSliceBack(99).GetData()[3], -9000 + 15, 1);
}

TEST_F(SemiRealTest, SettingFileAndProfileKeepSliceChunkAndChannels) {
    ReleaseSettingFileObject();
    Run(205, 6);
    Run(205, 101);
    Run(203, 42);
    Run(204, 1030000);
    ASSERT_EQ(core.SaveSettings(), 1);
    int entries[CSemiRealAnalysis::kChannelEntries];
    ASSERT_EQ(GetSettingFileINTARRAY("SEMIREAL_CORE", "ChannelEntry", entries, 20), 1);
    EXPECT_EQ(entries[1], 101);
    // A window loads its profile before the settings.
    ScriptedSemiReal again;
    again.ReadProfile();
    EXPECT_EQ(again.LoadSettings(), 1);
    EXPECT_EQ(again.GetSlicePosition(), 42);
    EXPECT_EQ(again.GetChunkPosition(), 120);
    EXPECT_EQ(again.GetChannelEntry(0), 6);
    EXPECT_EQ(again.GetChannelEntry(1), 101);
    EXPECT_EQ(again.GetChannelBand(1).GetRedrawFlag(), 1);
    // An entry the channel list does not hold binds nothing.
    entries[0] = 9999;
    WriteSettingFileINTARRAY("SEMIREAL_CORE", "ChannelEntry", entries, 20);
    ScriptedSemiReal third;
    third.ReadProfile();
    third.LoadSettings();
    EXPECT_EQ(third.GetChannelEntry(0), -1);
    EXPECT_EQ(third.GetChannelEntry(1), 101);
    ReleaseSettingFileObject();

    core.WriteProfile();
    ScriptedSemiReal fromProfile;
    fromProfile.ReadProfile();
    EXPECT_EQ(fromProfile.GetSlicePosition(), 42);
    EXPECT_EQ(fromProfile.GetChunkPosition(), 120);
    EXPECT_TRUE(fromProfile.HasChannel(101));
    EXPECT_EQ(fromProfile.GetStart(), 1000000);
}

TEST_F(SemiRealTest, ImagesDrawTheThreeGraphsInTheirPlaces) {
    // Without panes on screen the rectangle is split in halves: the 3D graph
    // (dark) on top, the chunk graph at the lower left, the spectrum at the
    // lower right (both white).
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(Qt::red);
    {
        CDC dc(&image);
        core.DrawView(&dc, CRect(0, 0, 640, 480));
    }
    const COLORREF dark = core.Get3DInterface().GetFrameObject().GetBackGroundColor();
    const QColor top = image.pixelColor(300, 200);
    EXPECT_EQ(RGB(top.red(), top.green(), top.blue()), dark);
    EXPECT_EQ(image.pixelColor(300, 260), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(2, 470), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(636, 470), QColor(Qt::white));
    EXPECT_EQ(core.GetChunkInterface().GetGraph().GetRect().right, 320);
}

TEST_F(SemiRealTest, MouseShowsAndDragsTheSliceOnlyWhileStopped) {
    StartStream();
    core.Deliver(100, 1);
    C3DGraphInterface& pane = core.Get3DInterface();
    C3DGraphContext& graph = pane.GetGraph();
    pane.Layout(CRect(0, 0, 640, 400));
    Run(203, 10);
    // On the base line of slice 10, halfway along its frequency axis.
    const int half = graph.GetDepthWidth() / 2;
    const CPoint origin = graph.SliceOrigin(10);
    const int x = origin.x + half;
    const int y =
        origin.y + graph.GetDepthHeight() + graph.GetTopMargin() - graph.DepthAt(half) - 1;
    pane.OnMouseMove(0, x, y);
    EXPECT_FALSE(C3DGraphInterface::IsShown(pane.GetHighlightedSlice()));
    pane.OnLButtonDown(ViewKeys::kLButton, x, y);
    EXPECT_FALSE(pane.IsSliceDrag());

    core.SetAnalyzeFlag(0);
    pane.OnMouseMove(0, x, y);
    EXPECT_EQ(pane.GetHighlightedSlice(), 10);
    pane.OnLButtonDown(ViewKeys::kLButton, x, y);
    ASSERT_TRUE(pane.IsSliceDrag());
    EXPECT_EQ(pane.GetCursorShape(), ViewCursorShape::SizeAll);
    // Upwards, towards the older slices at the back.
    const int step = std::max(1, graph.GetFrontWidth() * 2 / 300);
    pane.OnMouseMove(ViewKeys::kLButton, x, y - 5 * step - 1);
    EXPECT_EQ(core.GetSlicePosition(), 15);
    EXPECT_EQ(pane.GetHighlightedSlice(), 15);
    EXPECT_EQ(DataLineWord(), 100 - 15);
    pane.OnMouseMove(ViewKeys::kLButton, x, y - 500 * step);
    EXPECT_EQ(core.GetSlicePosition(), 99);
    pane.OnLButtonUp(0, x, y);
    EXPECT_FALSE(pane.IsSliceDrag());
    EXPECT_EQ(pane.GetCursorShape(), ViewCursorShape::Arrow);
    // Away from the lines both highlights hide.
    pane.OnMouseMove(0, 2, 2);
    EXPECT_FALSE(C3DGraphInterface::IsShown(pane.GetHighlightedSlice()));
    EXPECT_FALSE(C3DGraphInterface::IsShown(pane.GetHighlightedFrequency()));
}

} // namespace

TEST_F(SemiRealTest, ADisplayChangeKeepsTheSlicesAndTheStream) {
    StartStream();
    core.Deliver(50, 1);
    // 5 dB/div, a reference position, the RBW index it has, and a reference
    // level entry that is cancelled: the stream runs on and the 50 slices
    // stay, newest first, in the spectrogram too.
    EXPECT_EQ(Run(31, 2), kCommandRedraw);
    Run(33, 8);
    EXPECT_EQ(Run(24, core.GetRBWIndex()), kCommandDone);
    QTimer::singleShot(20, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->reject();
    });
    EXPECT_EQ(Run(18, 0), kCommandDone);
    EXPECT_EQ(core.terminates, 0);
    EXPECT_EQ(core.starts.size(), 1u);
    EXPECT_EQ(core.GetWritePosition(), 50);
    EXPECT_EQ(core.GetSliceBack(0).GetData()[0], 50);
    EXPECT_EQ(core.GetSliceBack(49).GetData()[0], 1);
    EXPECT_EQ(core.Get3DInterface().GetGraph().GetSliceAt(0), &core.GetSliceBack(0));
    EXPECT_EQ(DataLineWord(), 50);
    // The spectrogram maps the slices it holds to a new scale (a slice's
    // points are made when the graph next asks for it).
    C3DGraphContext& graph = core.Get3DInterface().GetGraph();
    graph.SetWindowRect(0, 0, 600, 400);
    POINT before{};
    ASSERT_TRUE(graph.GetSliceAt(0)->PointOfX(1050000, &before));
    Run(31, 3);
    POINT after{};
    ASSERT_TRUE(graph.GetSliceAt(0)->PointOfX(1050000, &after));
    EXPECT_NE(after.y, before.y);
    // A new band measures something else: the ring starts over.
    core.SetStart(1200000);
    core.SetStop(1300000);
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetWritePosition(), 0);
    const short* newest = core.GetSliceBack(0).GetData();
    EXPECT_TRUE(!newest || newest[0] == kNoSample);
}
