// The string table: loading, bounds, library strings and styles, the shipped
// table file, and the checks on texts used as printf formats.
#include "lib/stringtable.h"
#include "lib/valuetext.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {
std::string shippedTable() {
    return std::string(TORVEL_SOURCE_RESOURCES) + "/Torvel.txt";
}

struct StringTableTest : ::testing::Test {
    TempDir dir;
    void TearDown() override { InitializeTorvelLibDLL(shippedTable().c_str(), 2500); }
    int init(const std::string& content, int base = 2500) {
        std::string path = dir.file("table.txt");
        WriteWholeFile(path, content);
        return InitializeTorvelLibDLL(path.c_str(), base);
    }
};
} // namespace

TEST_F(StringTableTest, EntriesAreTheTextAfterTheFirstColon) {
    ASSERT_EQ(init("0000:Zero\r\n0001:a:b\r\nno colon\r\n0003:\n:lead\n"), 1);
    EXPECT_STREQ(GetTorvelString(0), "Zero");
    EXPECT_STREQ(GetTorvelString(1), "a:b");
    EXPECT_STREQ(GetTorvelString(2), "no colon");
    EXPECT_STREQ(GetTorvelString(3), "");
    EXPECT_STREQ(GetTorvelString(4), "lead");
    EXPECT_STREQ(GetTorvelString(5), "NotEntry"); // the file ended
    EXPECT_STREQ(GetTorvelString(2999), "NotEntry");
    EXPECT_EQ(GetTorvelString(3000), nullptr);
    EXPECT_EQ(GetTorvelString(-1), nullptr);
    EXPECT_EQ(GetTorvelString(-2147483647 - 1), nullptr);
}

TEST_F(StringTableTest, OnlyTheFirst3000LinesAreReadAndWhatIsNoTableFileClearsTheTable) {
    std::string big;
    for (int i = 0; i < 3100; ++i)
        big += std::to_string(i) + ":t" + std::to_string(i) + "\n";
    ASSERT_EQ(init(big), 1);
    EXPECT_STREQ(GetTorvelString(2999), "t2999");

    EXPECT_EQ(InitializeTorvelLibDLL(dir.file("missing.txt").c_str(), 2500), 0);
    EXPECT_STREQ(GetTorvelString(0), "NotEntry");
    EXPECT_STREQ(GetTorvelString(2999), "NotEntry");
    EXPECT_EQ(InitializeTorvelLibDLL(nullptr, 2500), 0);

    // A folder, a FIFO without a writer and an endless device are no table:
    // each fails at once and leaves every entry "NotEntry".
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path(), fifo, std::string("/dev/zero")}) {
        ASSERT_EQ(init(big), 1);
        EXPECT_EQ(InitializeTorvelLibDLL(path.c_str(), 2500), 0) << path;
        EXPECT_STREQ(GetTorvelString(0), "NotEntry") << path;
    }
    // Neither is a file far larger than any table (its first lines are not taken).
    ASSERT_EQ(init(big), 1);
    EXPECT_EQ(init("0:first\n" + std::string(20 << 20, 'x')), 0);
    EXPECT_STREQ(GetTorvelString(0), "NotEntry");
}

TEST_F(StringTableTest, LibraryStringsAndStylesFollowTheBase) {
    std::string content;
    for (int i = 0; i < 3000; ++i)
        content += i == 2501 ? "2501:-20,0,0,0,700,1,0,0,0,0,0,0,0,Mono\n" : "x\n";
    ASSERT_EQ(init(content), 1);
    EXPECT_EQ(GetTorvelString(2501), GetLibraryString(1));
    LOGFONT font = GetLibraryStyleFont(1);
    EXPECT_EQ(font.lfHeight, -20);
    EXPECT_STREQ(font.lfFaceName, "Mono");
    font = GetLibraryStyleFont(2); // "x" does not parse
    EXPECT_STREQ(font.lfFaceName, "FixedSys");
    LOGPEN pen = GetLibraryStylePen(2);
    EXPECT_EQ(pen.lopnStyle, PS_SOLID);
    EXPECT_EQ(pen.lopnWidth.x, 1);
    EXPECT_EQ(pen.lopnColor, RGB(0, 0, 0));
    EXPECT_EQ(GetLibraryStyleColor(2, RGB(1, 2, 3)), RGB(1, 2, 3));

    ASSERT_EQ(init("0:0,0,0,0,0,0,0,0,0,0,0,0,0,F\n1:3,1,255,0,0\n2:0,128,300\n", 0), 1);
    EXPECT_EQ(GetLibraryStylePen(1).lopnColor, RGB(255, 0, 0));
    EXPECT_EQ(GetLibraryStylePen(1).lopnStyle, PS_DASHDOT);
    EXPECT_EQ(GetLibraryStyleColor(2, 0), RGB(0, 128, 44));
    // Outside the table a library string reads as an unused entry, never null.
    EXPECT_STREQ(GetLibraryString(5000), "NotEntry");
    EXPECT_STREQ(GetLibraryString(-1), "NotEntry");
}

TEST_F(StringTableTest, TheShippedTableHas3000NumberedLinesAndTheLibraryTexts) {
    std::ifstream in(shippedTable());
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "%04d:", n);
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << "line " << n;
        ++n;
    }
    EXPECT_EQ(n, 3000);
    ASSERT_EQ(InitializeTorvelLibDLL(shippedTable().c_str(), 2500), 1);
    EXPECT_STRNE(GetLibraryString(66), "NotEntry");
    EXPECT_STRNE(GetLibraryString(67), "NotEntry");
    LOGFONT font;
    EXPECT_TRUE(ValueText::ParseLOGFONT(GetLibraryString(1), &font)); // the entry field's font
    EXPECT_TRUE(ValueText::ParseLOGFONT(GetLibraryString(2), &font)); // the unit label's font
}

TEST(CheckedFormat, AcceptsOnlyConversionsOfTheCallersShape) {
    const char* fb = "fallback";
    struct Case {
        const char* format;
        const char* shape;
        bool ok;
    };
    const Case cases[] = {
        {"Firmware version %d.%d", "dd", true},
        {"%5.2f dBm %s", "fs", true},
        {"100%% of %u", "d", true},
        {"%-08x%X%o%i%c", "ddddd", true},
        {"%hd %hhu %lf %le", "ddff", true},
        {"%g", "f", true},
        {"no conversions", "", true},
        {"", "", true},
        {"%d", "", false},         // too many conversions
        {"%d", "dd", false},       // too few
        {"%s", "d", false},        // wrong letter
        {"%d", "f", false},        // an int where a double is passed
        {"%n", "d", false},        // writes through a pointer
        {"%*d", "d", false},       // width taken from the arguments
        {"%.*f", "f", false},      // precision taken from the arguments
        {"%1$d", "d", false},      // positional arguments
        {"%ld", "d", false},       // long
        {"%lld", "d", false},      // long long
        {"%zu", "d", false},       // size_t
        {"%Lf", "f", false},       // long double
        {"%ls", "s", false},       // wide string
        {"%lc", "d", false},       // wide character
        {"%hhhd", "d", false},     // three length letters
        {"%p", "d", false},        // pointer
        {"%m", "", false},         // not a conversion of ours
        {"%S", "s", false},        // wide string
        {"trailing %", "", false}, // a lone percent sign at the end
        {"%99999d", "d", false},   // an enormous width
        {"%.100000f", "f", false}, // an enormous precision
        {"%1024d", "d", true},
        {"%d", "x", false}, // an unknown shape letter
    };
    for (const Case& c : cases)
        EXPECT_STREQ(CheckedFormat(c.format, c.shape, fb), c.ok ? c.format : fb)
            << '"' << c.format << "\" with \"" << c.shape << '"';
    EXPECT_STREQ(CheckedFormat(nullptr, "d", fb), fb);
    EXPECT_STREQ(CheckedFormat("%d", nullptr, fb), fb);
}

TEST_F(StringTableTest, TableFormatsFallBackWhenDamaged) {
    ASSERT_EQ(init("0:Level %d dB\n1:Level %s dB\n"), 1);
    EXPECT_STREQ(GetTorvelFormat(0, "d", "L %d"), "Level %d dB");
    EXPECT_STREQ(GetTorvelFormat(1, "d", "L %d"), "L %d");
    EXPECT_STREQ(GetTorvelFormat(3000, "d", "L %d"), "L %d");
    CString text;
    text.Format(GetTorvelFormat(1, "d", "L %d"), 5);
    EXPECT_EQ(text, "L 5");
}
