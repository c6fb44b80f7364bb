// The channel list: the line format, lookups, band placement, category
// colours, the shipped list's round trip and layout, hostile files and the
// safe replacement of the list file.
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <dirent.h>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>

namespace {

const std::string kShippedList = std::string(TORVEL_SOURCE_RESOURCES) + "/TorvelList.txt";

std::string Slot(int i) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "[%04d]:", i);
    return prefix;
}

std::string Lf(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

struct ChannelListTest : ::testing::Test {
    TempDir dir;

    void SetUp() override {
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    }

    // Loads a list with the given slots; every other slot is unused and holds
    // the default fields (a first list sets every field of every slot, so
    // nothing carries over from an earlier test).
    void LoadSlots(const std::map<int, std::string>& slots) {
        std::string reset, list;
        for (int i = 0; i < kChannelCount; ++i) {
            reset += Slot(i) + "Z,0,2,255,255,255,0,0,0,0\n";
            auto it = slots.find(i);
            list += Slot(i) + (it == slots.end() ? "NotEntry" : it->second) + "\n";
        }
        WriteWholeFile(dir.file("reset.txt"), reset);
        WriteWholeFile(dir.file("list.txt"), list);
        ASSERT_EQ(LoadChannelList(dir.file("reset.txt").c_str()), 1);
        ASSERT_EQ(LoadChannelList(dir.file("list.txt").c_str()), 1);
    }
};

} // namespace

TEST_F(ChannelListTest, LineFieldsLoadInOrderAndMissingOnesKeepTheirValues) {
    CChannelObject full;
    full.LoadChannel("[0009]:CH 6,2437000,22001,10,20,300,1,2,-500,77", 12);
    EXPECT_EQ(full.GetTitle(), "CH 6");
    EXPECT_EQ(full.GetCenterFrequency(), 2437000);
    EXPECT_EQ(full.GetSpanFrequency(), 22000);
    EXPECT_EQ(full.GetColor(), RGB(10, 20, 300 & 0xFF));
    EXPECT_EQ(full.GetCategory(), 1);
    EXPECT_EQ(full.GetDetectMode(), 2);
    EXPECT_EQ(full.GetFineFrequency(), -500);
    EXPECT_EQ(full.GetAdditionalParam(), 77);
    EXPECT_EQ(full.GetIndexNumber(), 12); // the position given, not the prefix

    // The empty token is skipped: A, then 100 as the centre.
    CChannelObject a;
    a.LoadChannel("[0000]:A,,100", 0);
    EXPECT_EQ(a.GetTitle(), "A");
    EXPECT_EQ(a.GetCenterFrequency(), 100);
    EXPECT_EQ(a.GetSpanFrequency(), 2);
    EXPECT_EQ(a.GetColor(), RGB(255, 255, 255));
    EXPECT_EQ(a.GetIndexNumber(), 0);

    CChannelObject odd;
    odd.LoadChannel("[0000]:B,5,25", 3);
    EXPECT_EQ(odd.GetSpanFrequency(), 24);
    // Only red and green given: the colour needs all three.
    odd.LoadChannel("[0000]:B,5,25,1,2", 3);
    EXPECT_EQ(odd.GetColor(), RGB(255, 255, 255));

    // Decimal conversion: blanks skipped, stops at a non-digit, none gives 0,
    // out-of-range values saturate.
    CChannelObject conv;
    conv.LoadChannel("[0000]:C,  42kHz,x9,1,1,1,200,-1,99999999999,-99999999999", 1);
    EXPECT_EQ(conv.GetCenterFrequency(), 42);
    EXPECT_EQ(conv.GetSpanFrequency(), 0);
    EXPECT_EQ(conv.GetCategory(), static_cast<char>(200));
    EXPECT_EQ(conv.GetDetectMode(), -1);
    EXPECT_EQ(conv.GetFineFrequency(), INT_MAX);
    EXPECT_EQ(conv.GetAdditionalParam(), INT_MIN);
    EXPECT_EQ(conv.GetDetectModeText(), nullptr);

    // NotEntry stops after the title; the other fields stay.
    full.LoadChannel("[0009]:NotEntry,1,2,3", 9);
    EXPECT_EQ(full.GetTitle(), "NotEntry");
    EXPECT_EQ(full.GetCenterFrequency(), 2437000);
    EXPECT_EQ(full.GetRawText(), "NotEntry");
}

TEST_F(ChannelListTest, ShortAndOverlongLinesAreBounded) {
    CChannelObject c;
    c.LoadChannel("A,1,2,3,4,5,6,7,8,9", 5);
    c.LoadChannel("[0005]", 5); // shorter than the prefix: an unused slot
    EXPECT_EQ(c.GetTitle(), "NotEntry");
    c.LoadChannel("", 5);
    EXPECT_EQ(c.GetTitle(), "NotEntry");

    // Nothing after the prefix: an empty title, written back as unused
    // (an empty title would not read back).
    c.LoadChannel("[0005]:", 5);
    EXPECT_EQ(c.GetTitle(), "");
    EXPECT_EQ(c.GetRawText(), "NotEntry");

    // The text after the prefix is read up to its bound; the rest is ignored.
    std::string title(5000, 'T');
    c.LoadChannel(("[0005]:" + title + ",123").c_str(), 5);
    EXPECT_EQ(c.GetTitle().GetLength(), CChannelObject::kMaxLineText);
    std::string near(CChannelObject::kMaxLineText - 4, 'N');
    c.LoadChannel(("[0005]:" + near + ",123").c_str(), 5);
    EXPECT_EQ(c.GetTitle().GetLength(), CChannelObject::kMaxLineText - 4);
    EXPECT_EQ(c.GetCenterFrequency(), 123);
}

TEST_F(ChannelListTest, RangeAndAxisPlacement) {
    CChannelObject c;
    c.LoadChannel("[0000]:R,1000,200", 0);
    EXPECT_EQ(c.IsRange(900), 1);
    EXPECT_EQ(c.IsRange(1100), 1);
    EXPECT_EQ(c.IsRange(899), 0);
    EXPECT_EQ(c.IsRange(1101), 0);

    c.SetxAxisRatio(800, 1200);
    EXPECT_EQ(c.GetLeftRatio(), 16384);
    EXPECT_EQ(c.GetRightRatio(), 49152);
    EXPECT_EQ(c.GetTopRatio(), 0);
    EXPECT_EQ(c.GetBottomRatio(), 65536);
    EXPECT_EQ(c.GetUpdateFlag(), 1);

    // Band edges beyond the axis clamp to 0 and 1.
    c.SetxAxisRatio(950, 1050);
    EXPECT_EQ(c.GetLeftRatio(), 0);
    EXPECT_EQ(c.GetRightRatio(), 65536);
    c.SetxAxisRatio(2000, 3000);
    EXPECT_EQ(c.GetLeftRatio(), 0);
    EXPECT_EQ(c.GetRightRatio(), 0);
    // An empty axis divides by nothing.
    c.SetxAxisRatio(900, 900);
    EXPECT_EQ(c.GetLeftRatio(), 0);
    EXPECT_EQ(c.GetRightRatio(), 65536);

    // Extreme centres do not overflow.
    c.LoadChannel("[0000]:R,2147483647,2147483646", 0);
    EXPECT_EQ(c.IsRange(INT_MAX), 1);
    EXPECT_EQ(c.IsRange(1073741824), 1);
    EXPECT_EQ(c.IsRange(1073741823), 0);
}

TEST_F(ChannelListTest, LookupsByIndexTitleCategoryAndFrequency) {
    LoadSlots({{0, "A,100,10,1,1,1,1,0"},
               {1, "B,200,10,1,1,1,2,0"},
               {2, "C,300,10,1,1,1,2,0"},
               {3, "D,400,10,1,1,1,3,0"},
               {4, "E,500,10,1,1,1,2,0"},
               {6, "C,300,10,1,1,1,5,0"}});
    EXPECT_EQ(GetCategoryChannelNum(2), 2);
    EXPECT_EQ(GetCategoryChannelNum(3), 1);
    EXPECT_EQ(GetCategoryChannelNum(9), 0);
    EXPECT_EQ(GetChannelIndex("C"), 2);
    EXPECT_EQ(GetChannelIndex("c"), -1);
    EXPECT_EQ(GetChannelIndex("NotEntry"), 5);
    EXPECT_EQ(GetChannelIndex(nullptr), -1);
    EXPECT_EQ(GetChannelIndex(2, nullptr), 1);
    EXPECT_EQ(GetChannelIndex(2, "E"), 4);
    EXPECT_EQ(GetChannelIndex(5, "C"), 6);
    EXPECT_EQ(GetChannelIndex(2 + 256, "E"), 4); // the category's low 8 bits
    EXPECT_EQ(GetChannelIndex(2, "D"), -1);

    ASSERT_NE(GetChannelObject(4), nullptr);
    EXPECT_EQ(GetChannelObject(4)->GetTitle(), "E");
    EXPECT_EQ(GetChannelObject(4)->GetIndexNumber(), 4);
    EXPECT_EQ(GetChannelObject(5), nullptr);
    EXPECT_EQ(GetChannelObject(-1), nullptr);
    EXPECT_EQ(GetChannelObject(kChannelCount), nullptr);
    EXPECT_EQ(GetChannelObject(INT_MIN), nullptr);

    // All categories: by centre or by range.
    EXPECT_EQ(SerchChannelObject(300, -1, 0), GetChannelObject(2));
    EXPECT_EQ(SerchChannelObject(304, -1, 0), nullptr);
    EXPECT_EQ(SerchChannelObject(304, -1, 1), GetChannelObject(2));
    // One category: the walk covers only its first run.
    EXPECT_EQ(SerchChannelObject(300, 5, 0), GetChannelObject(6));
    EXPECT_EQ(SerchChannelObject(200, 2, 1), GetChannelObject(1));
    EXPECT_EQ(SerchChannelObject(500, 2, 0), nullptr);
    EXPECT_EQ(SerchChannelObject(100, 7, 1), nullptr);
    // Unused slots (centre 0, span 2 here) are never found.
    EXPECT_EQ(SerchChannelObject(0, -1, 1), nullptr);
}

TEST_F(ChannelListTest, CategoryColoursLiveInTheProfile) {
    const char* section = GetLibraryString(59);
    // The start-up wrote all 64 colours with their defaults.
    EXPECT_EQ(GetProfileString(section, "Category_63_Color", ""), "180,180,190");
    EXPECT_EQ(GetChannelCategoryColor(1), kDefaultCategoryColor);

    EXPECT_EQ(WriteChannelCategoryColor(65, RGB(1, 2, 3)), kDefaultCategoryColor);
    EXPECT_EQ(GetChannelCategoryColor(1), RGB(1, 2, 3));
    EXPECT_EQ(GetProfileString(section, "Category_1_Color", ""), "1,2,3");
    EXPECT_EQ(WriteChannelCategoryColor(-1, RGB(4, 5, 6)), kDefaultCategoryColor);
    EXPECT_EQ(GetChannelCategoryColor(63), RGB(4, 5, 6));
    EXPECT_EQ(GetProfileString(section, "Category_63_Color", ""), "4,5,6");

    CChannelObject c;
    c.LoadChannel("[0000]:X,1,2,3,4,5,65", 0);
    EXPECT_EQ(c.GetCategoryColor(), RGB(1, 2, 3));

    // A fresh start reads the stored colours back.
    WriteProfileString(section, "Category_7_Color", "9,8,7");
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    EXPECT_EQ(GetChannelCategoryColor(7), RGB(9, 8, 7));
    EXPECT_EQ(GetChannelCategoryColor(1), RGB(1, 2, 3));
    WriteChannelCategoryColor(1, kDefaultCategoryColor);
    WriteChannelCategoryColor(63, kDefaultCategoryColor);
    WriteChannelCategoryColor(7, kDefaultCategoryColor);
}

TEST_F(ChannelListTest, CopiesAndDetectModeTexts) {
    CChannelObject source;
    source.LoadChannel("[0000]:S,1000,200,1,2,3,4,1,55,66", 9);
    source.SetRatio(0.5, 0, 1, 1);
    EXPECT_STREQ(source.GetDetectModeText(), GetLibraryString(61));
    // With a base that puts the text past the table there is none.
    const std::string table = std::string(TORVEL_SOURCE_RESOURCES) + "/Torvel.txt";
    ASSERT_EQ(InitializeTorvelLibDLL(table.c_str(), 2938), 1);
    EXPECT_STREQ(source.GetDetectModeText(), GetTorvelString(2999)); // 2938 + 60 + mode 1
    ASSERT_EQ(InitializeTorvelLibDLL(table.c_str(), 2939), 1);
    EXPECT_EQ(source.GetDetectModeText(), nullptr);
    ASSERT_EQ(InitializeTorvelLibDLL(table.c_str(), 2500), 1);

    CChannelObject target;
    target.LoadChannel("[0000]:T,1,2,3,3,3,3,0,11,22", 1);
    target.CopyChannel(&source);
    EXPECT_EQ(target.GetTitle(), "S");
    EXPECT_EQ(target.GetIndexNumber(), 9);
    EXPECT_EQ(target.GetCenterFrequency(), 1000);
    EXPECT_EQ(target.GetSpanFrequency(), 200);
    EXPECT_EQ(target.GetCategory(), 4);
    EXPECT_EQ(target.GetDetectMode(), 1);
    EXPECT_EQ(target.GetColor(), RGB(1, 2, 3));
    EXPECT_EQ(target.GetLeftRatio(), 32768);
    EXPECT_EQ(target.GetFineFrequency(), 11);
    EXPECT_EQ(target.GetAdditionalParam(), 22);
    EXPECT_NE(target.GetIDNumber(), source.GetIDNumber());

    CChannelObject assigned;
    assigned = source;
    EXPECT_EQ(assigned.GetFineFrequency(), 55);
    EXPECT_EQ(assigned.GetAdditionalParam(), 66);
    EXPECT_NE(assigned.GetIDNumber(), source.GetIDNumber());
    CChannelObject copied(source);
    EXPECT_EQ(copied.GetIDNumber(), source.GetIDNumber());
    EXPECT_EQ(copied.GetRawText(), source.GetRawText());
}

TEST_F(ChannelListTest, TheShippedListRoundTripsUnchanged) {
    ASSERT_EQ(LoadChannelList(kShippedList.c_str()), 1);
    const std::string out = dir.file("TorvelList.txt");
    ASSERT_EQ(WriteChannelList(out.c_str()), 1);
    const std::string written = ReadWholeFile(out);
    EXPECT_EQ(Lf(written), Lf(ReadWholeFile(kShippedList)));
    // The list is written in its canonical form: 1500 lines ending CR LF.
    EXPECT_EQ(written, ReadWholeFile(kShippedList));
    size_t lines = 0;
    for (size_t p = written.find("\r\n"); p != std::string::npos; p = written.find("\r\n", p + 2))
        ++lines;
    EXPECT_EQ(lines, static_cast<size_t>(kChannelCount));
}

TEST_F(ChannelListTest, TheShippedListHoldsTheWlanAndTelemetryPlans) {
    LoadSlots({}); // as at start-up: no fields left from an earlier list
    ASSERT_EQ(LoadChannelList(kShippedList.c_str()), 1);
    // WLAN channels 1-14 in slots 1-14, one category, 22 MHz wide.
    for (int n = 1; n <= 14; ++n) {
        CChannelObject* ch = GetChannelObject(n);
        ASSERT_NE(ch, nullptr) << n;
        EXPECT_EQ(ch->GetTitle(), CString("CH") + CString(std::to_string(n)));
        EXPECT_EQ(ch->GetCenterFrequency(), n == 14 ? 2484000 : 2412000 + 5000 * (n - 1));
        EXPECT_EQ(ch->GetSpanFrequency(), 22000);
        EXPECT_EQ(ch->GetCategory(), 1);
    }
    EXPECT_EQ(GetCategoryChannelNum(1), 14);
    EXPECT_EQ(SerchChannelObject(2437000, 1, 0), GetChannelObject(6));

    // Six band groups in category 2, in consecutive slots.
    const int firstGroup = GetChannelIndex(2, nullptr);
    ASSERT_GE(firstGroup, 0);
    EXPECT_EQ(GetCategoryChannelNum(2), 6);

    // The medical cursor's lookup: group g of the frequency, then the channel
    // of category 4g + 3 + letter that contains it.
    auto cursorTitle = [&](int frequency, int letter) -> std::string {
        CChannelObject* group = SerchChannelObject(frequency, 2, 1);
        if (!group)
            return "";
        int g = group->GetIndexNumber() - firstGroup;
        CChannelObject* ch = SerchChannelObject(frequency, 4 * g + 3 + letter, 1);
        return ch ? ch->GetTitle().str() : "";
    };
    EXPECT_EQ(cursorTitle(420050, 0), "A1001");
    EXPECT_EQ(cursorTitle(420063, 0), "A1002");
    EXPECT_EQ(cursorTitle(420063, 1), "B1001");
    EXPECT_EQ(cursorTitle(429500, 3), "D3003");
    EXPECT_EQ(cursorTitle(449662, 0), "A6080");
    EXPECT_EQ(cursorTitle(435000, 0), ""); // between the bands

    // Every telemetry category lies in one run and its titles count up from
    // letter + band + 001, so the medical panel can page through it.
    for (int g = 0; g < 6; ++g) {
        CChannelObject* group = GetChannelObject(firstGroup + g);
        ASSERT_NE(group, nullptr);
        for (int letter = 0; letter < 4; ++letter) {
            const int category = 4 * g + 3 + letter;
            const int first = GetChannelIndex(category, nullptr);
            const int count = GetCategoryChannelNum(category);
            ASSERT_GE(first, 0);
            ASSERT_GE(count, 5);
            for (int i = 0; i < count; ++i) {
                CChannelObject* ch = GetChannelObject(first + i);
                ASSERT_NE(ch, nullptr);
                char title[16];
                std::snprintf(title, sizeof title, "%c%d%03d", 'A' + letter, g + 1, i + 1);
                EXPECT_EQ(ch->GetTitle(), title);
                EXPECT_EQ(GetChannelIndex(title), first + i);
                // Inside its band group, so the cursor finds it.
                EXPECT_EQ(group->IsRange(ch->GetCenterFrequency() - ch->GetSpanFrequency() / 2), 1)
                    << title;
                EXPECT_EQ(group->IsRange(ch->GetCenterFrequency() + ch->GetSpanFrequency() / 2), 1)
                    << title;
            }
        }
    }
}

TEST_F(ChannelListTest, MissingFilesLeaveTheListAndShortFilesKeepTheRest) {
    LoadSlots({{0, "KEEP,1,2"}, {7, "SEVEN,7,8"}});
    EXPECT_EQ(LoadChannelList(dir.file("missing.txt").c_str()), 0);
    EXPECT_EQ(LoadChannelList(dir.path().c_str()), 0);
    EXPECT_EQ(LoadChannelList(nullptr), 0);
    EXPECT_EQ(GetChannelObject(0)->GetTitle(), "KEEP");

    WriteWholeFile(dir.file("short.txt"), "[0000]:NEW,5,6\r\n");
    EXPECT_EQ(LoadChannelList(dir.file("short.txt").c_str()), 1);
    EXPECT_EQ(GetChannelObject(0)->GetTitle(), "NEW");
    ASSERT_NE(GetChannelObject(7), nullptr);
    EXPECT_EQ(GetChannelObject(7)->GetTitle(), "SEVEN");
}

TEST_F(ChannelListTest, HostileFilesLoadWithoutHarm) {
    std::mt19937 random(1234);
    std::string garbage;
    for (int i = 0; i < 200000; ++i)
        garbage += static_cast<char>(random() & 0xFF);
    WriteWholeFile(dir.file("garbage.txt"), garbage);
    EXPECT_EQ(LoadChannelList(dir.file("garbage.txt").c_str()), 1);

    std::string huge = "[0000]:" + std::string(3 << 20, 'H') +
                       ",5\n[0001]:" + std::string(1 << 20, ',') + "\n" +
                       std::string("[0002]:\0\0,1\n", 13);
    WriteWholeFile(dir.file("huge.txt"), huge);
    EXPECT_EQ(LoadChannelList(dir.file("huge.txt").c_str()), 1);
    EXPECT_EQ(GetChannelObject(0)->GetTitle().GetLength(), CChannelObject::kMaxLineText);
    EXPECT_EQ(GetChannelObject(1)->GetTitle(), "");
    EXPECT_EQ(GetChannelObject(2)->GetTitle(), ""); // the text ends at a NUL byte

    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += Slot(i % 10000) + "M" + std::to_string(i) + "," + std::to_string(i) + "\n";
    WriteWholeFile(dir.file("many.txt"), many);
    EXPECT_EQ(LoadChannelList(dir.file("many.txt").c_str()), 1);
    EXPECT_EQ(GetChannelObject(1499)->GetTitle(), "M1499");
    EXPECT_EQ(GetChannelIndex("M1500"), -1);

    // Whatever was loaded is written in the canonical form and reads back to
    // the same text.
    const std::string first = dir.file("first.txt"), second = dir.file("second.txt");
    LoadChannelList(dir.file("garbage.txt").c_str());
    ASSERT_EQ(WriteChannelList(first.c_str()), 1);
    ASSERT_EQ(LoadChannelList(first.c_str()), 1);
    ASSERT_EQ(WriteChannelList(second.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(first), ReadWholeFile(second));
}

TEST_F(ChannelListTest, AFailedWriteLeavesTheEarlierFile) {
    LoadSlots({{0, "A,1,2"}});
    const std::string target = dir.file("TorvelList.txt");
    WriteWholeFile(target, "earlier");
    EXPECT_EQ(WriteChannelList(dir.file("no/such/folder/list.txt").c_str()), 0);
    EXPECT_EQ(WriteChannelList(nullptr), 0);

    // A target that cannot be replaced (a folder) fails and leaves no
    // temporary file behind.
    const std::string folder = dir.file("folder.txt");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(WriteChannelList(folder.c_str()), 0);
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    int entries = 0;
    if (DIR* d = opendir(dir.path().c_str())) {
        while (dirent* e = readdir(d))
            entries += std::string(e->d_name).find(".txt.") != std::string::npos ? 1 : 0;
        closedir(d);
    }
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(ReadWholeFile(target), "earlier");

    ASSERT_EQ(WriteChannelList(target.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(target).substr(0, 16), "[0000]:A,1,2,255");
}
