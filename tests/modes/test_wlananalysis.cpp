// The WLAN core: channel zoom spans and the full band, the channel button
// panel (ten slots, clicks, removal of the selected channel), the channel
// bands on the spectrum, the colour commands and the profile keys.
#include "commandrun.h"
#include "lib/channellist.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/wlananalysis.h"
#include "panelpaint.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A core whose colour dialog answers with a fixed colour and counts its uses.
class TestWlan : public CWlanAnalysis {
public:
    TestWlan() : CWlanAnalysis(nullptr, nullptr) {}
    int dialogs = 0;
    COLORREF answer = RGB(1, 2, 3);

protected:
    BOOL ChooseColor(COLORREF, COLORREF* chosen) override {
        ++dialogs;
        *chosen = answer;
        return TRUE;
    }
};

class WlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        // 1..14: the 2.4 GHz channels (22000 kHz wide; channel 14 at
        // 2484000); 20: 8000 kHz wide; 21: 12000 kHz wide, category 5.
        std::vector<std::string> lines(kChannelCount, "NotEntry");
        for (int n = 1; n <= 13; ++n) {
            lines[n] = "CH" + std::to_string(n) + "," + std::to_string(2407000 + 5000 * n) +
                       ",22000,255,0,0,1,1";
        }
        lines[14] = "CH14,2484000,22000,255,0,0,1,1";
        lines[20] = "N8,2437000,8000,0,255,0,3,1";
        lines[21] = "N12,2450000,12000,0,0,255,5,1";
        const std::string path = m_dir.file("list.txt");
        std::ofstream out(path);
        for (int i = 0; i < kChannelCount; ++i) {
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "[%04d]:", i);
            out << prefix << lines[static_cast<size_t>(i)] << "\n";
        }
        out.close();
        ASSERT_EQ(LoadChannelList(path.c_str()), 1);
        core.FullBand();
    }
    void TearDown() override { LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"); }
    int Run(int action, int p1) { return RunCommand(core, action, p1); }
    // The centre of button k after the panel is laid out in 200 x 550.
    POINT ButtonCentre(int k) {
        core.GetPanel().Draw(nullptr, CRect(0, 0, 200, 550));
        const CRect& r = core.GetPanel().GetButton(k).GetRect();
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void Click(int k) {
        const POINT p = ButtonCentre(k);
        core.ClickPanel(p.x, p.y);
    }
    TempDir m_dir;
    TestWlan core;
};

TEST_F(WlanTest, ZoomSpansAreTwiceTheChannelButAtLeast20MHzAndMinusOneGoesBackToTheBand) {
    EXPECT_EQ(Run(155, 20), kCommandReset);
    EXPECT_EQ(core.GetSpan(), 20000);
    EXPECT_EQ(core.GetCenter(), 2437000);
    EXPECT_EQ(Run(155, 21), kCommandReset);
    EXPECT_EQ(core.GetSpan(), 24000);
    EXPECT_EQ(core.GetCenter(), 2450000);
    EXPECT_EQ(Run(155, -1), kCommandReset);
    EXPECT_EQ(core.GetStart(), 2400000);
    EXPECT_EQ(core.GetStop(), 2500000);
}

TEST_F(WlanTest, PanelHoldsTenChannelsAndTicksThem) {
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(Run(151, n), kCommandRedraw);
    EXPECT_EQ(Run(151, 11), kCommandRedraw); // refused silently
    EXPECT_FALSE(core.GetPanel().HasChannel(11));
    EXPECT_EQ(core.GetPanel().AddChannel(11), 0);
    EXPECT_EQ(core.GetCommandState(151, 10, 0, 0, 0, 0), kStateTicked);
    EXPECT_EQ(core.GetCommandState(151, 11, 0, 0, 0, 0), kStateUnticked);
    // A freed slot takes the next channel; an unknown number leaves it empty.
    Run(151, 3);
    EXPECT_EQ(core.GetPanel().GetSlotChannel(2), nullptr);
    Run(151, 11);
    ASSERT_NE(core.GetPanel().GetSlotChannel(2), nullptr);
    EXPECT_EQ(core.GetPanel().GetSlotChannel(2)->GetIndexNumber(), 11);
    core.GetPanel().RemoveChannel(11);
    Run(151, 15); // "NotEntry"
    EXPECT_EQ(core.GetPanel().GetSlotChannel(2), nullptr);
}

// Filled and empty slots, a selected button.
TEST_F(WlanTest, ThePanelPaintsEveryPixelOfItsPane) {
    Run(151, 1);
    Run(151, 20);
    Run(151, 21);
    Click(2);
    EXPECT_TRUE(PaintsItsWholeRectangle(core.GetPanel(), CRect(2, 3, 203, 554)));
}

TEST_F(WlanTest, ClickingTheSelectedButtonAgainReturnsToTheFullBand) {
    Run(151, 6);
    Run(151, 20);
    Click(2);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 2);
    EXPECT_EQ(core.GetCenter(), 2437000);
    EXPECT_EQ(core.GetSpan(), 20000);
    Click(1); // another button: zoom on its channel
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 1);
    EXPECT_EQ(core.GetSpan(), 44000);
    Click(1);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
    EXPECT_EQ(core.GetStart(), 2400000);
    EXPECT_EQ(core.GetStop(), 2500000);
    // An empty slot's button does nothing.
    Click(5);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
}

TEST_F(WlanTest, ThePanelIsWorkedFromTheKeyboard) {
    QWidget parent;
    parent.resize(800, 500);
    QWidget* view = new QWidget;
    core.CreatePanes(&parent, view);
    QWidget* panel = nullptr;
    for (QWidget* w : parent.findChildren<QWidget*>()) {
        if (w != view && w->focusPolicy() == Qt::StrongFocus)
            panel = w;
    }
    ASSERT_NE(panel, nullptr);
    auto press = [&](int key, bool repeat = false) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeat);
        QCoreApplication::sendEvent(panel, &down);
    };
    Run(151, 6);
    Run(151, 20);
    press(Qt::Key_2);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 2);
    EXPECT_EQ(core.GetCenter(), 2437000);
    press(Qt::Key_0); // button 10: an empty slot changes nothing
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 2);
    press(Qt::Key_Escape);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
    EXPECT_TRUE(core.IsFullBand());
    press(Qt::Key_Escape); // nothing selected: stays on the band
    EXPECT_TRUE(core.IsFullBand());
    // A held key acts once: its repeats neither release nor press again.
    press(Qt::Key_1);
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_1, true);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 1);
    EXPECT_EQ(core.GetCenter(), 2437000);
}

TEST_F(WlanTest, TheWholeBandIs2400To2500MHzFromAnyRangeAndSelectsNoButton) {
    Run(151, 6);
    Run(151, 20);
    // With button 1 selected the range is moved above or below the band; every
    // way back to the band ends on the band with no button selected.
    const std::pair<int, int> ranges[] = {{2680000, 40000}, {1000000, 40000}, {2450000, 300000}};
    const std::function<void()> ways[] = {
        [&] { Run(155, -1); },
        [&] { Click(1); }, // the selected button again (Esc alike)
        [&] {
            Run(153, -1);
            Run(151, 6);
            Run(151, 20);
        },
        [&] {
            Run(151, 6);
            Run(151, 6);
        },
    };
    for (const auto& range : ranges) {
        for (size_t w = 0; w < std::size(ways); ++w) {
            Click(1);
            ASSERT_EQ(core.GetPanel().GetSelectedButton(), 1);
            core.SetCenter(range.first);
            core.SetSpan(range.second);
            core.Reconfigure(TRUE);
            ASSERT_EQ(core.GetCenter(), range.first);
            ways[w]();
            EXPECT_EQ(core.GetStart(), 2400000) << range.first << " way " << w;
            EXPECT_EQ(core.GetStop(), 2500000) << range.first << " way " << w;
            EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1) << range.first << " way " << w;
        }
    }
}

TEST_F(WlanTest, TheSelectedButtonAlwaysMatchesTheZoom) {
    Run(151, 6);
    Run(151, 20);
    // Whole Band from the menu releases the button; the window reopens on the band.
    Click(1);
    ASSERT_EQ(core.GetPanel().GetSelectedButton(), 1);
    Run(155, -1);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
    core.WriteProfile();
    EXPECT_EQ(GetProfileInt("WLANAnalysis_0", "CHSelect", 0), -2);
    // A channel chosen from the menu selects its button.
    Run(155, 20);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 2);
    Run(155, 21); // not on the panel
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
    // Removing every channel leaves no button selected: the next channel in
    // that slot shows normal and zooms on its first press.
    Click(1);
    EXPECT_EQ(Run(153, -1), kCommandReset);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
    Run(151, 7);
    EXPECT_EQ(core.GetPanel().GetButtonState(1), CChannelButtonInterface::kStateNormal);
    Click(1);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), 1);
    EXPECT_EQ(core.GetCenter(), 2442000);
    // A category removed while its channel is selected on the whole band.
    core.GetPanel().RemoveCategory(-1);
    Run(151, 21);
    core.GetPanel().SelectSlot(0);
    core.GetPanel().RemoveCategory(5);
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
}

TEST_F(WlanTest, RemovingTheSelectedChannelReturnsToTheFullBandOnlyWhenZoomed) {
    Run(151, 6);
    Click(1);
    ASSERT_FALSE(core.IsFullBand());
    EXPECT_EQ(Run(151, 6), kCommandReset);
    EXPECT_TRUE(core.IsFullBand());
    EXPECT_EQ(core.GetPanel().GetSelectedButton(), -1);
    // Already the full band: nothing to go back to.
    Run(151, 6);
    core.GetPanel().SelectSlot(0);
    EXPECT_EQ(Run(151, 6), kCommandRedraw);
    // Removing a category empties its slots and returns to the band.
    Run(151, 20);
    Run(151, 21);
    Run(155, 21);
    EXPECT_EQ(Run(153, 5), kCommandReset);
    EXPECT_FALSE(core.GetPanel().HasChannel(21));
    EXPECT_TRUE(core.GetPanel().HasChannel(20));
    EXPECT_EQ(Run(153, -1), kCommandRedraw);
    EXPECT_FALSE(core.GetPanel().HasChannel(20));
}

TEST_F(WlanTest, BandsShowOnlyWhereTheyOverlapTheSweptRange) {
    Run(151, 1);  // 2401000..2423000
    Run(151, 14); // 2473000..2495000
    Run(151, 6);
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetBand(0).GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetBand(1).GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetBand(3).GetRedrawFlag(), 0); // empty slot
    Run(155, 6);                                   // 2415000..2459000
    EXPECT_EQ(core.GetBand(0).GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetBand(1).GetRedrawFlag(), 0); // wholly above
    EXPECT_EQ(core.GetBand(2).GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetBand(2).GetColor(), RGB(255, 0, 0));
    EXPECT_EQ(core.GetBand(0).GetMasterFlag(), 1);
}

TEST_F(WlanTest, ColourCommandsAskTheDialogOnlyForKnownChannelsAndCategoriesUpTo15) {
    EXPECT_EQ(Run(154, 16), kCommandDone);
    EXPECT_EQ(Run(154, -1), kCommandDone);
    EXPECT_EQ(core.dialogs, 0);
    EXPECT_EQ(Run(154, 15), kCommandRedraw);
    EXPECT_EQ(GetChannelCategoryColor(15), RGB(1, 2, 3));
    EXPECT_EQ(Run(152, 15), kCommandDone); // "NotEntry"
    EXPECT_EQ(Run(152, 6), kCommandRedraw);
    EXPECT_EQ(GetChannelObject(6)->GetColor(), RGB(1, 2, 3));
    EXPECT_EQ(core.dialogs, 2);
}

TEST_F(WlanTest, ProfileKeepsTheSlotsAndTheSelectedChannel) {
    Run(151, 6);
    Run(151, 20);
    Click(2);
    core.WriteProfile();
    TestWlan again;
    again.ReadProfile();
    EXPECT_TRUE(again.GetPanel().HasChannel(6));
    EXPECT_TRUE(again.GetPanel().HasChannel(20));
    EXPECT_EQ(again.GetPanel().GetSelectedButton(), 2);
    EXPECT_EQ(again.GetCenter(), 2437000);
    EXPECT_EQ(again.GetSpan(), 20000);
    EXPECT_EQ(again.GetAnalysisType(), 2);
}

TEST_F(WlanTest, SettingDataFileKeepsThePanelAndTheSelection) {
    ReleaseSettingFileObject();
    Run(151, 6);
    Run(151, 20);
    Click(2);
    ASSERT_EQ(core.SaveSettings(), 1);
    int select = 0;
    ASSERT_EQ(GetSettingFileINT("WLAN_CORE", "CHSelect", &select), 1);
    EXPECT_EQ(select, 1);
    TestWlan again;
    // The catcher rate is not in the WLAN section: the load still succeeds.
    EXPECT_EQ(again.LoadSettings(), 1);
    EXPECT_TRUE(again.GetPanel().HasChannel(6));
    EXPECT_TRUE(again.GetPanel().HasChannel(20));
    EXPECT_EQ(again.GetPanel().GetSelectedButton(), 2);
    // A damaged entry list binds nothing it does not know.
    int entries[CChannelButtonInterface::kSlots] = {6, 9999, -7, 20, -1, -1, -1, -1, -1, -1};
    WriteSettingFileINTARRAY("CHANNEL_BUTTON_INTF", "ChannelEntry", entries, 10);
    TestWlan third;
    third.LoadSettings();
    EXPECT_NE(third.GetPanel().GetSlotChannel(0), nullptr);
    EXPECT_EQ(third.GetPanel().GetSlotChannel(1), nullptr);
    EXPECT_EQ(third.GetPanel().GetSlotChannel(2), nullptr);
    EXPECT_NE(third.GetPanel().GetSlotChannel(3), nullptr);
    ReleaseSettingFileObject();
}

TEST_F(WlanTest, ImagesAndPrintsDrawThePanelAndTheSpectrumInTheSplitProportions) {
    // Without panes on screen the panel takes a fifth of the width (a 16.16
    // share, truncated): in 501 pixels the spectrum is exactly the graph drawn
    // alone in x 100..501.
    Run(151, 6);
    Run(151, 11);
    const int w = 501, h = 300;
    auto surface = [&](COLORREF fill) {
        auto dc = std::make_unique<CDC>();
        dc->CreateCompatibleDC(nullptr);
        auto bitmap = std::make_unique<CBitmap>();
        bitmap->CreateCompatibleBitmap(dc.get(), w, h);
        dc->SelectObject(bitmap.get());
        dc->FillSolidRect(0, 0, w, h, fill);
        return std::make_pair(std::move(dc), std::move(bitmap));
    };
    auto whole = surface(RGB(1, 2, 3));
    core.DrawView(whole.first.get(), CRect(0, 0, w, h));
    auto graphAlone = surface(RGB(1, 2, 3));
    core.CNormalAnalysis::DrawView(graphAlone.first.get(), CRect(100, 0, w, h));
    int differing = 0, panelPixels = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const COLORREF a = whole.first->GetPixel(x, y);
            if (x >= 100)
                differing += a != graphAlone.first->GetPixel(x, y);
            else
                panelPixels += a != RGB(1, 2, 3);
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(panelPixels, 100 * h); // the panel covers its whole share
}

} // namespace
