// The medical core on the shipped channel list: defaults, the sweep cycle,
// the panel's category arithmetic and paging, picking channels, the alarm's
// edges, the commands, the marker rules and the three persistence paths.
#include "lib/channellist.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/medicalanalysis.h"
#include "panelpaint.h"
#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"
#include "trace/measuredwords.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cfloat>
#include <set>
#include <string>
#include <vector>

namespace {

// A core with scripted dialogs and a scripted device.
class TestMedical : public CMedicalAnalysis {
public:
    TestMedical() : CMedicalAnalysis(nullptr, nullptr) {}
    // Answers of the number dialogs (-1 / DBL_MAX cancel) and what they proposed.
    int intAnswer = -1;
    double doubleAnswer = DBL_MAX;
    int proposedInt = 0;
    double proposedDouble = 0;
    std::string entryTitle;
    std::vector<CString> alarms;
    std::vector<std::pair<int, int>> popups;  // kind, pressed button while shown
    std::vector<std::pair<bool, int>> sweeps; // narrow?, start
    std::vector<short> words;

protected:
    int EntryInt(int value, const char*, const char* title) override {
        proposedInt = value;
        entryTitle = title;
        return intAnswer;
    }
    double EntryDouble(double value, const char*, const char*) override {
        proposedDouble = value;
        return doubleAnswer;
    }
    BOOL ChooseColor(COLORREF, COLORREF* chosen) override {
        *chosen = RGB(1, 2, 3);
        return TRUE;
    }
    void SoundAlarm(const CString& text) override { alarms.push_back(text); }
    void ShowPopup(int kind, int) override { popups.emplace_back(kind, GetPanel().GetPressed()); }
    int StartWideSweep(int start) override {
        sweeps.emplace_back(false, start);
        return 1;
    }
    int StartNarrowSweep(int start) override {
        sweeps.emplace_back(true, start);
        return 1;
    }
    int DeviceDataCount() override { return static_cast<int>(words.size()); }
    int DeviceReceiveData(short* buffer, int count) override {
        std::copy_n(words.begin(), count, buffer);
        return 1;
    }
};

class MedicalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt");
    }
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        Open(core);
    }
    void TearDown() override { SetProfileFile(nullptr); }
    static void Open(TestMedical& c) {
        c.SetTitleIndex(1);
        c.ReadProfile();
        c.Reconfigure(TRUE);
        // A new grid takes its first block only as a fresh start: one cycle.
        for (int i = 0; i < 3; ++i)
            Receive(c, 0, 0);
        c.sweeps.clear();
    }
    int Run(int action, int p1, int p2 = 0) {
        const int result = core.ExecuteCommand(action, p1, p2, 0, 0, 0);
        if (result > 0)
            core.Reconfigure(result == kCommandReset);
        return result;
    }
    // One reception of n words of level word w (the device's whole answer).
    static void Receive(TestMedical& c, short w, int n) {
        c.words.assign(static_cast<size_t>(n), w);
        c.StartAnalysis();
        c.AnalysisFinished(0, 0);
    }
    // Receptions until the whole wide line holds w (the narrow phase between).
    static void FillWide(TestMedical& c, short w) {
        FillWide(c, std::vector<short>(c.GetWideLine(0).GetPoints(), w));
    }
    // The same with the words of the whole wide line.
    static void FillWide(TestMedical& c, const std::vector<short>& words) {
        do {
            c.words = words;
            c.StartAnalysis();
            c.AnalysisFinished(0, 0);
        } while (c.GetPhase() != 2 && c.GetPhase() != 0);
        if (c.GetPhase() == 2)
            Receive(c, words.front(), 10);
    }
    static int Index(const char* title) { return GetChannelIndex(title); }
    TempDir m_dir;
    TestMedical core;
};

// Level words of the wide line well above and below the alarm line half way
// up the default display.
short WordOf(double db) {
    return static_cast<short>(db * kWordsPerDb);
}

} // namespace

TEST_F(MedicalTest, WithoutAProfileTheWindowOpensOnTheTelemetryBand) {
    EXPECT_EQ(core.GetStart(), 430000);
    EXPECT_EQ(core.GetStop(), 432000);
    EXPECT_EQ(core.GetFrequencyMode(), 1);
    EXPECT_EQ(core.GetWideStart(), 410000);
    EXPECT_EQ(core.GetWideStop(), 460000);
    EXPECT_EQ(core.GetBandWidth(), 1);
    EXPECT_EQ(core.GetAlarmFlag(), 0);
    EXPECT_EQ(core.GetAlarmLine().GetRedrawFlag(), 0);
    EXPECT_EQ(core.GetBandIndicateFlag(), 1);
    EXPECT_EQ(core.GetBandZoomFlag(), -1);
    for (int i = 0; i < CMedicalAnalysis::kBands; ++i)
        EXPECT_EQ(core.GetBand(i).GetRedrawFlag(), 1) << i;
    // The wide grid: 10 kHz steps over the wide axis; the graph shows it.
    EXPECT_EQ(core.GetWideLine(0).GetStart(), 410000u);
    EXPECT_EQ(core.GetWideLine(0).GetStep(), 10u);
    EXPECT_EQ(core.GetWideLine(0).GetPoints(), 5000u);
    EXPECT_EQ(core.GetWideInterface().GetGraph().GetXMin(), 410000.0);
    EXPECT_EQ(core.GetWideInterface().GetGraph().GetXMax(), 460000.0);
    // The centre marker stands on the narrow centre.
    EXPECT_EQ(core.GetCentreMarker().GetLockFrequency(), 431000);
    EXPECT_EQ(core.GetAnalysisType(), 6);
    EXPECT_EQ(core.GetProfileSection(), CString("MedicalAnalysis_1"));
    // No attenuation and the narrow graph 20 dB lower: the noise floor of the
    // fine narrow sweep is in view above the graph's bottom.
    EXPECT_EQ(core.GetAttenuation(), 0);
    EXPECT_EQ(core.GetYAxisOffset(), -20);
}

TEST_F(MedicalTest, AChannelFrequencyOutsideTheBandIsHeldToItsEdgeAndTheUserTold) {
    std::vector<CString> warnings;
    core.GetLoggingOutput().Prompts().warning = [&](const CString& text) {
        warnings.push_back(text);
    };
    for (double mhz : {1e99, -5.0}) {
        core.doubleAnswer = mhz;
        core.ExecuteCommand(CMedicalAnalysis::kCmdPickFrequency, 0, 0, 0, 0, 0);
        EXPECT_GE(core.GetCenter(), core.GetWideStart()) << mhz;
        EXPECT_LE(core.GetCenter(), core.GetWideStop()) << mhz;
    }
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].Find("Held to 460 MHz"), 0) << warnings[0].c_str();
    EXPECT_EQ(warnings[1].Find("Held to 410 MHz"), 0) << warnings[1].c_str();
    // Inside the band nothing is said.
    core.doubleAnswer = 431.125;
    core.ExecuteCommand(CMedicalAnalysis::kCmdPickFrequency, 0, 0, 0, 0, 0);
    EXPECT_EQ(warnings.size(), 2u);
}

TEST_F(MedicalTest, TheCycleSweepsTheWideBandTwiceInPiecesThenTheNarrowBand) {
    Receive(core, 0, 2000); // phase 0: 410000, 2000 points
    Receive(core, 0, 2000); // phase 1: from point 2000
    Receive(core, 0, 2001); // phase 2: the narrow band from its start
    Receive(core, 0, 2000); // phase 0: 1000 points remain
    Receive(core, 0, 2000); // phase 1: the line is full, back to its start
    ASSERT_EQ(core.sweeps.size(), 5u);
    EXPECT_EQ(core.sweeps[0], std::make_pair(false, 410000));
    EXPECT_EQ(core.sweeps[1], std::make_pair(false, 430000));
    EXPECT_EQ(core.sweeps[2], std::make_pair(true, 430000));
    EXPECT_EQ(core.sweeps[3], std::make_pair(false, 450000));
    EXPECT_EQ(core.sweeps[4], std::make_pair(false, 410000));
    EXPECT_EQ(core.GetPhase(), 2);
    // The narrow block lands on the narrow band, not at the start of the
    // (aligned) grid.
    EXPECT_TRUE(core.GetDataLineContext(0).InRange(430000));
    EXPECT_EQ(core.GetDataLineContext(0).Sample(431999), 0);
}

TEST_F(MedicalTest, ANarrowBandWiderThanOneBlockIsSweptInPiecesUntilEveryPointIsMeasured) {
    // The span preset of 10 MHz: 10000 points of 1 kHz, five blocks.
    ASSERT_EQ(Run(22, 10000), kCommandReset);
    const int start = core.GetStart();
    const int stop = core.GetStop();
    ASSERT_EQ(stop - start, 10000);
    const CTraceStore& narrow = core.GetDataLineContext(0);
    std::set<int> pieces;
    // The device answers a block of the sweep being measured: 200 points of a
    // wide sweep, 2000 of a narrow one.
    for (int i = 0; i < 3 * 7; ++i) {
        const bool narrowPhase = core.GetPhase() == 2;
        Receive(core, WordOf(-90), narrowPhase ? 2000 : 200);
        if (narrowPhase)
            pieces.insert(core.sweeps.back().second);
    }
    EXPECT_EQ(pieces,
              (std::set<int>{start, start + 2000, start + 4000, start + 6000, start + 8000}));
    EXPECT_TRUE(AllMeasured(narrow, start, stop - 1));
    // Each cycle still sweeps two wide pieces.
    EXPECT_EQ(std::count_if(core.sweeps.begin(), core.sweeps.end(),
                            [](const auto& s) { return !s.first; }),
              14);
}

TEST_F(MedicalTest, ANarrowBandOffTheBlockGridIsMeasuredUpToItsStopPoint) {
    // 430.5 - 432.5 MHz: the stop point is the first point of the second
    // block of the grid, and the graph shows it.
    core.SetStart(430500);
    core.SetStop(432500);
    core.Reconfigure(TRUE);
    ASSERT_EQ(core.GetStop(), 432500);
    for (int i = 0; i < 3 * 4; ++i)
        Receive(core, WordOf(-90), core.GetPhase() == 2 ? 2000 : 200);
    EXPECT_TRUE(AllMeasured(core.GetDataLineContext(0), 430500, 432500));
}

TEST_F(MedicalTest, ThePeakListFollowsTheLineJustReceivedAndFeedsTheMarkersOfItsGraph) {
    // A wide block with peaks at 410100 (highest), 410300 and 410500.
    std::vector<short> block(2000, WordOf(-100));
    block[10] = WordOf(-20);
    block[30] = WordOf(-30);
    block[50] = WordOf(-40);
    core.words = block;
    CMarkerContext* wide = core.GetMarker(4);
    CMarkerContext* narrow = core.GetMarker(1);
    wide->SetPeakHold(2);
    narrow->SetPeakHold(1);
    narrow->SetLockFrequency(431500);
    core.StartAnalysis();
    core.AnalysisFinished(0, 0);
    EXPECT_EQ(core.GetPeakList()[0], 410100);
    EXPECT_EQ(core.GetPeakList()[1], 410300);
    EXPECT_EQ(wide->GetLockFrequency(), 410300);
    EXPECT_EQ(narrow->GetLockFrequency(), 431500); // not on this graph
}

TEST_F(MedicalTest, CategoryNineIsGroupSevenLetterCAndAPageOfEight) {
    const int first = GetChannelIndex(9, nullptr);
    ASSERT_GE(first, 0);
    core.MakeCurrent(first + 11);
    EXPECT_EQ(core.GetPanel().GetCategoryNumber(), 7);
    EXPECT_EQ(core.GetPanel().GetCategoryOffset(), 2);
    EXPECT_EQ(CMedicalChannelPanel::LetterOf(core.GetPanel().GetCategoryOffset()), 'C');
    EXPECT_EQ(core.GetPanel().GetIndexOffset(), 8);
    // Button 2 holds the page's first channel, button 5 the current one.
    EXPECT_EQ(core.GetPanel().GetButtonChannel(2), GetChannelObject(first + 8));
    EXPECT_EQ(core.GetPanel().GetButtonChannel(5), GetChannelObject(first + 11));
}

TEST_F(MedicalTest, PagingWrapsAtBothEndsOfTheCategory) {
    // Letter C of the first group: category 5, 20 channels.
    Run(CMedicalAnalysis::kCmdGroup, 0);
    Run(CMedicalAnalysis::kCmdLetter, 2);
    ASSERT_EQ(GetCategoryChannelNum(core.GetPanel().GetCategory()), 20);
    CMedicalChannelPanel& panel = core.GetPanel();
    panel.PageBack();
    EXPECT_EQ(panel.GetIndexOffset(), 12);
    // The last page shows the last eight channels.
    EXPECT_NE(panel.GetButtonChannel(9), nullptr);
    panel.PageForward();
    EXPECT_EQ(panel.GetIndexOffset(), 0);
    panel.PageForward();
    panel.PageForward();
    EXPECT_EQ(panel.GetIndexOffset(), 16);
    EXPECT_NE(panel.GetButtonChannel(5), nullptr);
    EXPECT_EQ(panel.GetButtonChannel(6), nullptr); // past the 20th channel
    panel.PageForward();
    EXPECT_EQ(panel.GetIndexOffset(), 0);
}

TEST_F(MedicalTest, TheNumberDialogLooksUpTheLetterAndTheNumber) {
    Run(CMedicalAnalysis::kCmdLetter, 1);
    core.intAnswer = 1001;
    EXPECT_EQ(Run(CMedicalAnalysis::kCmdPickNumber, 0), kCommandReset);
    EXPECT_EQ(core.proposedInt, 1001); // no channel yet
    const int b1001 = Index("B1001");
    ASSERT_GE(b1001, 0);
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), b1001);
    EXPECT_EQ(core.GetCenter(), GetChannelObject(b1001)->GetCenterFrequency());
    EXPECT_EQ(core.GetCentreMarker().GetLockFrequency(), core.GetCenter());
    // The next dialog proposes the current number; an unknown number or a
    // cancelled dialog changes nothing.
    core.intAnswer = 9999;
    EXPECT_EQ(Run(CMedicalAnalysis::kCmdPickNumber, 0), kCommandDone);
    EXPECT_EQ(core.proposedInt, 1001);
    core.intAnswer = -1;
    Run(CMedicalAnalysis::kCmdPickNumber, 0);
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), b1001);
}

TEST_F(MedicalTest, AFrequencyPicksTheChannelCentredThereOrCentresWithoutOne) {
    core.doubleAnswer = 429.25;
    EXPECT_EQ(Run(CMedicalAnalysis::kCmdPickFrequency, 0), kCommandReset);
    EXPECT_DOUBLE_EQ(core.proposedDouble, 431.0);
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), Index("A3001"));
    EXPECT_EQ(core.GetCenter(), 429250);
    EXPECT_EQ(core.GetPanel().GetCategoryNumber(), 11);
    // The narrow graph shows the channel's band: 2 x BandWidth + 1.
    EXPECT_EQ(core.GetChannel().GetSpanFrequency(), 3);
    EXPECT_EQ(core.GetChannel().GetRedrawFlag(), 1);
    // Beside a centre there is no channel: the centre moves all the same.
    core.doubleAnswer = 429.253;
    Run(CMedicalAnalysis::kCmdPickFrequency, 0);
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), -1);
    EXPECT_EQ(core.GetCenter(), 429253);
    EXPECT_EQ(core.GetChannel().GetRedrawFlag(), 0);
    // A click inside the channel's band picks it.
    if (core.PickAt(429255) == kCommandReset)
        core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), Index("A3001"));
    EXPECT_EQ(core.GetCenter(), 429250);
}

TEST_F(MedicalTest, TheAlarmFiresOncePerCrossingAfterTheConditionClearedOnce) {
    Run(CMedicalAnalysis::kCmdAlarm, 1); // above the line
    const double level = core.GetAlarmLine().GetLevel();
    const short high = WordOf(level + 20);
    const short low = WordOf(level - 20);
    FillWide(core, high); // already above when switched on: no alarm
    EXPECT_TRUE(core.alarms.empty());
    EXPECT_EQ(core.GetAlarmState(), CMedicalAnalysis::kAlarmWaiting);
    FillWide(core, low);
    EXPECT_EQ(core.GetAlarmState(), CMedicalAnalysis::kAlarmArmed);
    FillWide(core, high);
    EXPECT_EQ(core.alarms.size(), 1u);
    FillWide(core, high);
    EXPECT_EQ(core.alarms.size(), 1u);
    FillWide(core, low);
    FillWide(core, high);
    EXPECT_EQ(core.alarms.size(), 2u);
    // The text names the peak of the wide line.
    EXPECT_NE(std::string(core.alarms[0]).find("410"), std::string::npos) << core.alarms[0];

    // Below the line: the mirror image.
    Run(CMedicalAnalysis::kCmdAlarm, 2);
    core.alarms.clear();
    FillWide(core, low);
    EXPECT_TRUE(core.alarms.empty());
    FillWide(core, high);
    FillWide(core, low);
    FillWide(core, low);
    EXPECT_EQ(core.alarms.size(), 1u);
    // Off: nothing at all.
    Run(CMedicalAnalysis::kCmdAlarm, 0);
    FillWide(core, high);
    FillWide(core, low);
    EXPECT_EQ(core.alarms.size(), 1u);
    EXPECT_EQ(core.GetAlarmLine().GetRedrawFlag(), 0);
}

// The alarm watches the whole wide window, its last point included.
TEST_F(MedicalTest, ACarrierOnTheLastPointOfTheWideWindowRaisesTheAlarm) {
    Run(CMedicalAnalysis::kCmdAlarm, 1);
    const double level = core.GetAlarmLine().GetLevel();
    FillWide(core, WordOf(level - 20));
    ASSERT_EQ(core.GetAlarmState(), CMedicalAnalysis::kAlarmArmed);
    const CDataLineContext& wide = core.GetWideLine(0);
    const long long last = wide.GetStart() + (wide.GetPoints() - 1) * wide.GetStep();
    ASSERT_LE(last, wide.GetXMax());
    std::vector<short> words(wide.GetPoints(), WordOf(level - 20));
    words.back() = WordOf(level + 20);
    FillWide(core, words);
    ASSERT_EQ(core.alarms.size(), 1u);
    EXPECT_NE(std::string(core.alarms[0]).find(std::to_string(last / 1000)), std::string::npos)
        << core.alarms[0];
}

TEST_F(MedicalTest, ModeCommandsToggleClampAndReportTheirStates) {
    EXPECT_EQ(Run(CMedicalAnalysis::kCmdBandZoom, 2), kCommandReset);
    EXPECT_EQ(core.GetBandZoomFlag(), 2);
    EXPECT_EQ(core.GetCommandState(CMedicalAnalysis::kCmdBandZoom, 2, 0, 0, 0, 0), kStateTicked);
    const CChannelObject* band3 = GetChannelObject(GetChannelIndex(2, nullptr) + 2);
    EXPECT_EQ(core.GetWideStart(), band3->GetCenterFrequency() - band3->GetSpanFrequency());
    EXPECT_EQ(core.GetWideLine(0).GetStart(), static_cast<DWORD>(core.GetWideStart()));
    Run(CMedicalAnalysis::kCmdBandZoom, 2); // again: back to the whole band
    EXPECT_EQ(core.GetBandZoomFlag(), -1);
    EXPECT_EQ(core.GetWideStart(), 410000);

    Run(CMedicalAnalysis::kCmdYAxisOffset, 20);
    EXPECT_EQ(core.GetYAxisOffset(), 20);
    const double top = core.Graph().yMax;
    Run(CMedicalAnalysis::kCmdYAxisOffset, 20); // the same value: back to 0
    EXPECT_EQ(core.GetYAxisOffset(), 0);
    EXPECT_DOUBLE_EQ(core.Graph().yMax, top - 20);
    core.doubleAnswer = -250;
    Run(CMedicalAnalysis::kCmdYAxisOffset, 0, 1);
    EXPECT_EQ(core.GetYAxisOffset(), -100);
    core.doubleAnswer = DBL_MAX;
    Run(CMedicalAnalysis::kCmdYAxisOffset, 0, 1);
    EXPECT_EQ(core.GetYAxisOffset(), -100);

    Run(CMedicalAnalysis::kCmdBandWidth, 50);
    EXPECT_EQ(core.GetBandWidth(), 40);
    core.intAnswer = 41;
    Run(CMedicalAnalysis::kCmdBandWidth, 0, 1);
    EXPECT_EQ(core.GetBandWidth(), 40);
    core.intAnswer = 7;
    Run(CMedicalAnalysis::kCmdBandWidth, 0, 1);
    EXPECT_EQ(core.GetBandWidth(), 7);
    EXPECT_EQ(core.GetCommandState(CMedicalAnalysis::kCmdBandWidth, 7, 0, 0, 0, 0), kStateTicked);
    EXPECT_EQ(core.GetPanel().GetReadout().m_HalfBand, 7);

    Run(CMedicalAnalysis::kCmdBandIndicate, 0);
    for (int i = 0; i < CMedicalAnalysis::kBands; ++i)
        EXPECT_EQ(core.GetBand(i).GetRedrawFlag(), 0) << i;
    Run(CMedicalAnalysis::kCmdBandIndicate, 1);
    EXPECT_EQ(core.GetBand(5).GetRedrawFlag(), 1);

    core.GetPanel().PageForward();
    Run(CMedicalAnalysis::kCmdGroup, 4);
    EXPECT_EQ(core.GetPanel().GetCategoryNumber(), 19);
    EXPECT_EQ(core.GetPanel().GetIndexOffset(), 0);
    core.GetPanel().PageForward();
    Run(CMedicalAnalysis::kCmdLetter, 3);
    EXPECT_EQ(core.GetPanel().GetCategory(), 22);
    EXPECT_EQ(core.GetPanel().GetIndexOffset(), 0);
    EXPECT_EQ(core.GetCommandState(CMedicalAnalysis::kCmdLetter, 3, 0, 0, 0, 0), kStateTicked);
    EXPECT_EQ(core.GetCommandState(CMedicalAnalysis::kCmdGroup, 4, 0, 0, 0, 0), kStateTicked);

    Run(CMedicalAnalysis::kCmdBandColor, 1);
    EXPECT_EQ(GetChannelObject(GetChannelIndex(2, nullptr))->GetColor(), RGB(1, 2, 3));
    EXPECT_EQ(core.GetBand(0).GetColor(), RGB(1, 2, 3));
}

TEST_F(MedicalTest, MarkersComeIntoViewOnTheirOwnGraph) {
    // Marker 4 belongs to the wide graph: from outside it goes to 435000.
    core.GetMarker(4)->SetLockFrequency(100000);
    Run(34, 4);
    EXPECT_EQ(core.GetMarker(4)->GetLockFrequency(), 435000);
    EXPECT_EQ(core.GetWideInterface().GetMarker(4), core.GetMarker(4));
    // Marker 2 belongs to the narrow graph: to its centre.
    core.GetMarker(2)->SetLockFrequency(435000);
    Run(34, 2);
    EXPECT_EQ(core.GetMarker(2)->GetLockFrequency(), 431000);
    // The entry proposes MHz and takes kHz; a cancelled entry keeps it.
    core.doubleAnswer = 430.5;
    Run(35, 0);
    EXPECT_DOUBLE_EQ(core.proposedDouble, 431.0);
    EXPECT_EQ(core.GetMarker(2)->GetLockFrequency(), 430500);
    core.doubleAnswer = DBL_MAX;
    Run(35, 0);
    EXPECT_EQ(core.GetMarker(2)->GetLockFrequency(), 430500);
    // With no marker selected a peak search takes marker 1 on the narrow graph.
    Run(34, 2); // deselects
    ASSERT_EQ(core.GetCurrentMarkerIndex(), 0);
    std::vector<short> block(2001, WordOf(-100));
    block[700] = WordOf(-10);
    Receive(core, 0, 10);
    Receive(core, 0, 10);
    core.words = block;
    core.StartAnalysis();
    core.AnalysisFinished(0, 0);
    Run(36, 0);
    EXPECT_EQ(core.GetCurrentMarkerIndex(), 1);
    EXPECT_EQ(core.GetMarker(1)->GetLockFrequency(), 430700);
}

TEST_F(MedicalTest, PanelPressesPickPageAndOpenTheirMenus) {
    CMedicalChannelPanel& panel = core.GetPanel();
    panel.Draw(nullptr, CRect(0, 0, 600, 100));
    auto centre = [&](int k) {
        const CRect& r = panel.GetButton(k).GetRect();
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    const int a1001 = Index("A1001");
    core.PressPanel(centre(3).x, centre(3).y, false);
    EXPECT_EQ(panel.GetCurrentIndex(), a1001 + 1);
    EXPECT_EQ(core.GetCenter(), GetChannelObject(a1001 + 1)->GetCenterFrequency());
    core.PressPanel(centre(10).x, centre(10).y, false);
    EXPECT_EQ(panel.GetIndexOffset(), 8);
    core.PressPanel(centre(1).x, centre(1).y, false);
    core.PressPanel(centre(1).x, centre(1).y, false);
    EXPECT_EQ(panel.GetIndexOffset(), 72); // 80 channels of letter A
    // Menus: right on button 0 kind 2, right on a channel kind 1 (the button is
    // remembered), left on button 0 kind 0 while it is shown pressed.
    core.PressPanel(centre(0).x, centre(0).y, true);
    core.PressPanel(centre(4).x, centre(4).y, true);
    core.PressPanel(centre(0).x, centre(0).y, false);
    ASSERT_EQ(core.popups.size(), 3u);
    EXPECT_EQ(core.popups[0], std::make_pair(2, -1));
    EXPECT_EQ(core.popups[1], std::make_pair(1, -1));
    EXPECT_EQ(core.popups[2], std::make_pair(0, 0));
    EXPECT_EQ(panel.GetPressed(), -1);
    EXPECT_EQ(core.GetRememberedButton(), 4);
    EXPECT_EQ(Run(CMedicalAnalysis::kCmdPickButton, 0), kCommandReset);
    EXPECT_EQ(panel.GetCurrentIndex(), a1001 + 74);
}

TEST_F(MedicalTest, ThePanelPaintsEveryPixelOfItsPane) {
    EXPECT_TRUE(PaintsItsWholeRectangle(core.GetPanel(), CRect(2, 3, 603, 104)));
}

TEST_F(MedicalTest, WideTracesHoldAndShowAsTheNarrowOnesDo) {
    Run(47, 2); // Trace2
    Run(48, 2); // max hold
    Run(25, 0); // the data line holds its maximum too
    Receive(core, WordOf(-40), 5000);
    Receive(core, WordOf(-60), 5000);
    EXPECT_EQ(core.GetWideLine(2).GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetWideLine(2).Sample(420000), WordOf(-40));
    EXPECT_EQ(core.GetWideLine(0).Sample(420000), WordOf(-40));
    EXPECT_EQ(core.GetWideLine(1).GetRedrawFlag(), 0);
}

TEST_F(MedicalTest, PanelKeysPickTheChannelsOfThePageAndTurnIt) {
    const int a1001 = Index("A1001");
    EXPECT_TRUE(core.PressKey(Qt::Key_8));
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), a1001 + 7);
    EXPECT_TRUE(core.PressKey(Qt::Key_Right));
    EXPECT_TRUE(core.PressKey(Qt::Key_1));
    EXPECT_EQ(core.GetPanel().GetCurrentIndex(), a1001 + 8);
    EXPECT_EQ(core.GetCenter(), GetChannelObject(a1001 + 8)->GetCenterFrequency());
    EXPECT_TRUE(core.PressKey(Qt::Key_PageUp));
    EXPECT_TRUE(core.PressKey(Qt::Key_Left));
    EXPECT_EQ(core.GetPanel().GetIndexOffset(), 72);
    EXPECT_FALSE(core.PressKey(Qt::Key_9)); // no ninth channel on a page
    EXPECT_FALSE(core.PressKey(Qt::Key_A));
}

TEST_F(MedicalTest, CsvKeepsBothGraphsAndTheCurrentChannel) {
    std::vector<short> block(2000, WordOf(-80));
    block[5] = WordOf(-31.25);
    core.words = block;
    core.StartAnalysis();
    core.AnalysisFinished(0, 0);
    const std::string path = m_dir.file("m.csv");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    const std::string text = ReadWholeFile(path);
    EXPECT_NE(text.find("CurrentChannel,-1\r\n"), std::string::npos);
    EXPECT_NE(text.find("Wide Start Freq,410000\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nNarrow Frequency,DataLine,"), std::string::npos);
    EXPECT_NE(text.find("\n410050,-31.25,"), std::string::npos);

    core.intAnswer = 1012;
    Run(CMedicalAnalysis::kCmdPickNumber, 0);
    core.GetPanel().PageForward();
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    EXPECT_NE(ReadWholeFile(path).find("CurrentChannel,A1012\r\n"), std::string::npos);
    TestMedical again;
    Open(again);
    ASSERT_EQ(again.ReadCSVSections(path.c_str()), 1);
    EXPECT_EQ(again.GetPanel().GetCurrentIndex(), Index("A1012"));
    EXPECT_EQ(again.GetPanel().GetIndexOffset(), core.GetPanel().GetIndexOffset());
    EXPECT_EQ(again.GetCenter(), core.GetCenter());
    EXPECT_EQ(again.GetWideLine(0).Sample(410050), WordOf(-31.25));
    EXPECT_EQ(again.GetWideLine(0).Sample(410060), WordOf(-80));
    // Written again, the file is the same.
    const std::string second = m_dir.file("n.csv");
    again.SetTitle(core.GetTitle());
    again.SetLastDataTime(core.GetLastDataTime());
    ASSERT_EQ(again.WriteCSVFile(second.c_str()), 1);
    const std::string a = ReadWholeFile(path), b = ReadWholeFile(second);
    EXPECT_EQ(a.substr(a.find("[PARAM ENTRY]")), b.substr(b.find("[PARAM ENTRY]")));
}

// A channel whose title begins with a quote is written as it stands, and the
// window reading the file picks it again, from a line padded with empty
// fields (a spreadsheet's) too.
TEST_F(MedicalTest, CsvCurrentChannelWithAQuoteInItsTitleReadsBack) {
    struct ShippedListAfterwards {
        ~ShippedListAfterwards() { LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"); }
    } restore;
    std::string list = ReadWholeFile(TORVEL_SOURCE_RESOURCES "/TorvelList.txt");
    const size_t at = list.find(":A1012,");
    ASSERT_NE(at, std::string::npos);
    list.insert(at + 1, "\"");
    WriteWholeFile(m_dir.file("list.txt"), list);
    ASSERT_GT(LoadChannelList(m_dir.file("list.txt").c_str()), 0);
    const int quoted = Index("\"A1012");
    ASSERT_GE(quoted, 0);
    core.GetPanel().SetCurrentChannel(quoted);
    const std::string path = m_dir.file("q.csv");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    std::string text = ReadWholeFile(path);
    const size_t current = text.find("CurrentChannel,\"A1012\r\n");
    ASSERT_NE(current, std::string::npos);
    for (const char* padding : {"", ",,,"}) {
        text.replace(current, text.find('\r', current) - current,
                     std::string("CurrentChannel,\"A1012") + padding);
        WriteWholeFile(path, text);
        TestMedical again;
        Open(again);
        ASSERT_EQ(again.ReadCSVSections(path.c_str()), 1) << padding;
        EXPECT_EQ(again.GetPanel().GetCurrentIndex(), quoted) << padding;
    }
}

// A page offset from a damaged file stays inside the channel list: the
// buttons and paging add to it, and the next page wraps to the first.
TEST_F(MedicalTest, CsvPageOffsetBeyondTheChannelListIsHeldInsideIt) {
    const std::string path = m_dir.file("m.csv");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    std::string text = ReadWholeFile(path);
    const std::string key = "CurrentChannelIndexOffset,0\r\n";
    const size_t at = text.find(key);
    ASSERT_NE(at, std::string::npos);
    for (const char* offset : {"2147483647", "2147483640", "1500", "99999"}) {
        SCOPED_TRACE(offset);
        std::string hostile = text;
        hostile.replace(at, key.size(),
                        std::string("CurrentChannelIndexOffset,") + offset + "\r\n");
        WriteWholeFile(path, hostile);
        TestMedical again;
        Open(again);
        ASSERT_EQ(again.ReadCSVSections(path.c_str()), 1);
        CMedicalChannelPanel& panel = again.GetPanel();
        EXPECT_GE(panel.GetIndexOffset(), 0);
        EXPECT_LE(panel.GetIndexOffset(), kChannelCount);
        for (int k = CMedicalChannelPanel::kFirstChannelButton;
             k <= CMedicalChannelPanel::kLastChannelButton; ++k)
            EXPECT_EQ(panel.GetButtonChannel(k), nullptr);
        panel.PageForward();
        EXPECT_EQ(panel.GetIndexOffset(), 0);
        const CChannelObject* first =
            panel.GetButtonChannel(CMedicalChannelPanel::kFirstChannelButton);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->GetCategory(), panel.GetCategory());
    }
}

TEST_F(MedicalTest, SettingDataAndProfileKeepTheModeValues) {
    Run(CMedicalAnalysis::kCmdBandWidth, 9);
    Run(CMedicalAnalysis::kCmdAlarm, 2);
    Run(CMedicalAnalysis::kCmdBandIndicate, 0);
    Run(CMedicalAnalysis::kCmdYAxisOffset, -30);
    core.doubleAnswer = 441.125;
    Run(CMedicalAnalysis::kCmdPickFrequency, 0);
    core.GetAlarmLine().SetPositionRatio(300000);

    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    int value = 0;
    ASSERT_EQ(GetSettingFileINT("MEDICAL_CORE", "BandWidth", &value), 1);
    EXPECT_EQ(value, 9);
    TestMedical loaded;
    Open(loaded);
    EXPECT_EQ(loaded.LoadSettings(), 1);
    loaded.Reconfigure(TRUE);
    EXPECT_EQ(loaded.GetBandWidth(), 9);
    EXPECT_EQ(loaded.GetAlarmFlag(), 2);
    EXPECT_EQ(loaded.GetAlarmState(), CMedicalAnalysis::kAlarmWaiting);
    EXPECT_EQ(loaded.GetAlarmLine().GetDirectionFlag(), 1);
    EXPECT_EQ(loaded.GetAlarmLine().GetRedrawFlag(), 1);
    EXPECT_EQ(loaded.GetAlarmLine().GetPositionRatio(), 300000);
    EXPECT_EQ(loaded.GetBand(0).GetRedrawFlag(), 0);
    EXPECT_EQ(loaded.GetYAxisOffset(), -30);
    // The channel at the loaded centre is found again.
    EXPECT_EQ(loaded.GetPanel().GetCurrentIndex(), Index("A4046"));
    EXPECT_EQ(loaded.GetCentreMarker().GetLockFrequency(), 441125);
    ReleaseSettingFileObject();

    // The profile, with the alarm line's height under "AlarmPosition".
    core.WriteProfile();
    EXPECT_EQ(GetProfileInt("MedicalWideGraph_1", "AlarmPosition", 0), 300000);
    TestMedical reopened;
    Open(reopened);
    EXPECT_EQ(reopened.GetBandWidth(), 9);
    EXPECT_EQ(reopened.GetAlarmFlag(), 2);
    EXPECT_EQ(reopened.GetAlarmLine().GetPositionRatio(), 300000);
    EXPECT_EQ(reopened.GetCenter(), 441125);
    EXPECT_EQ(reopened.GetPanel().GetCurrentIndex(), Index("A4046"));
}

TEST_F(MedicalTest, TheReadoutPanelsPowerLabelIsNotTheOffsetDialogsMessage) {
    // Library text 58 belongs to the level offset dialog.
    EXPECT_STRNE(GetLibraryString(CMedicalTextContext::kStrPower), GetLibraryString(58));
    EXPECT_STRNE(GetLibraryString(CMedicalTextContext::kStrPower), "NotEntry");
}

TEST_F(MedicalTest, ACentreDragThatLeavesTheWideGraphEndsWhereThePointerLeft) {
    FillWide(core, WordOf(-60));
    CMedicalGraphInterface& wide = core.GetWideInterface();
    QImage image(600, 400, QImage::Format_RGB32);
    CDC dc(&image);
    wide.Draw(&dc, CRect(0, 0, 600, 400));
    dc.Flush();
    const int before = core.GetCenter();
    const POINT p = core.GetCentreMarker().GetMainPoint();
    wide.OnLButtonDown(ViewKeys::kLButton, p.x, p.y);
    ASSERT_EQ(wide.GetDragKind(), CMedicalGraphInterface::kDragCentre);
    wide.OnMouseMove(ViewKeys::kLButton, p.x + 40, p.y);
    EXPECT_EQ(core.GetCenter(), before); // the band follows at the end of the drag
    // Out through the right edge: the drag ends there, band and marker agree.
    const CRect root(0, 0, 600, 400); // the graph fills what it was drawn in
    wide.OnMouseMove(ViewKeys::kLButton, root.right + 50, p.y);
    EXPECT_EQ(wide.GetDragKind(), 0);
    EXPECT_GT(core.GetCenter(), before);
    EXPECT_EQ(core.GetCentreMarker().GetLockFrequency(), core.GetCenter());
    const int ended = core.GetCenter();
    wide.OnMouseMove(ViewKeys::kLButton, root.right + 80, p.y);
    wide.OnLButtonUp(0, root.right + 80, p.y);
    EXPECT_EQ(core.GetCenter(), ended);
}
