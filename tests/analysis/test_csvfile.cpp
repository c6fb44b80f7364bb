// CSV data file: the field rules, the four-line frame, the "Write Time"
// search, the normal window's section written and read back (grid, values,
// the 65 000-point question), hostile files, and a CSV file reopened as a
// window of the running program.
#include "analysis/csvfile.h"

#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelapp.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QMdiArea>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A normal core with fixed device facts.
class TestNormal : public CNormalAnalysis {
public:
    TestNormal() : CNormalAnalysis(nullptr, nullptr) {
        SetTitle("Normal 1");
        SetTitleIndex(1);
        GetLoggingOutput().Prompts().askYesNo = [this](const CString&) {
            ++asked;
            return answer;
        };
    }
    // Configures the six traces directly.
    void Grid(DWORD start, DWORD step, DWORD points) {
        for (auto& t : m_traces)
            t.Configure(start, step, points);
        m_graph.xMin = start;
        m_graph.xMax = start + static_cast<double>(step) * points;
    }
    CTraceStore& Store(int k) { return m_traces[static_cast<size_t>(k)]; }

    std::map<int, int> rbw{{0, 1000}, {1, 100}, {2, 2000}, {3, 1}};
    int asked = 0;
    bool answer = true;

protected:
    int DeviceRBWFrequency(int, int index) override {
        auto it = rbw.find(index);
        return it == rbw.end() ? 0 : it->second;
    }
    double DeviceZeroReferenceLevel() override { return -10.0; }
    int DeviceMaxAttenuation() override { return 50; }
    int DeviceAttenuatorStep() override { return 10; }
    int DeviceMinFrequency(int) override { return 0; }
    int DeviceMaxFrequency(int) override { return 300'000'000; }
};

// The data section of a file: from "[DATA ENTRY]" on.
std::string DataRows(const std::string& text) {
    const size_t at = text.find(kCsvDataMarker);
    return at == std::string::npos ? std::string() : text.substr(at);
}

// Empty when the texts are equal, else the first line where they differ (large
// files are not compared with the test framework's own diff).
std::string FirstDifference(const std::string& a, const std::string& b) {
    if (a == b)
        return std::string();
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    const size_t start = a.rfind('\n', i) == std::string::npos ? 0 : a.rfind('\n', i) + 1;
    return "at byte " + std::to_string(i) + ": \"" + a.substr(start, 80) + "\" / \"" +
           b.substr(start, 80) + "\"";
}

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

const std::string kFrame = "Torvel Version2 CSV Formatted Data File\n"
                           "Analysis Type,1,1\n"
                           "Analysis Caption,Normal 1\n"
                           "Write Time,2024,5,6,7,8,9\n";

// A normal section: start 100000, step 100, the given points, attenuation 20,
// x range 100000..100000 + 100 x points, mode 0, RBW 1, unit 1.
std::string Params(const std::string& points = "3") {
    const int n = std::atoi(points.c_str());
    return std::string("[PARAM ENTRY]\nStart Freq,100000\nStep Freq,100\nPoints,") + points +
           "\nAttenuator,20\nxAxisStart,100000\nxAxisStop," + std::to_string(100000 + 100 * n) +
           "\nFrequencyFlag,0\nRBWIndex,1\nUnit,1\n";
}

const std::string kColumns =
    "[DATA ENTRY]\nFrequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5\n";

} // namespace

// ---- Fields

TEST(CsvLine, MissingFieldsAreEmptyAndEmptyIntegersAreMissing) {
    const CCsvLine line("Key,12abc, -5,,99999999999,-99999999999,x");
    EXPECT_EQ(line.Key(), "Key");
    EXPECT_EQ(line.GetFieldCount(), 6);
    EXPECT_EQ(line.IntField(0), 12); // leading digits
    EXPECT_EQ(line.IntField(1), -5);
    EXPECT_EQ(line.IntField(2), kCsvMissing);
    EXPECT_EQ(line.IntField(3), INT_MAX);
    EXPECT_EQ(line.IntField(4), INT_MIN);
    EXPECT_EQ(line.IntField(5), 0); // no digits: 0, as atoi reads it
    EXPECT_EQ(line.IntField(6), kCsvMissing);
    EXPECT_EQ(line.Field(6), "");
    EXPECT_EQ(line.Field(-1), "");
    double v = 0;
    EXPECT_FALSE(line.DoubleField(2, &v));
    EXPECT_FALSE(CCsvLine("k,nan,inf,1e999").DoubleField(0, &v));
    EXPECT_FALSE(CCsvLine("k,nan,inf,1e999").DoubleField(1, &v));
    EXPECT_FALSE(CCsvLine("k,nan,inf,1e999").DoubleField(2, &v));
    EXPECT_EQ(CCsvLine("k,a,").GetFieldCount(), 2); // a trailing comma is an empty field
}

TEST(CsvLine, DecimalFieldsReadAsTheExactlyRoundedDouble) {
    // Plain decimals are read without the general parser; every one must give
    // the double the general parser gives, bit for bit.
    std::mt19937_64 rng(7);
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "-0.00",
                                      "0.1",
                                      "1.005",
                                      "-95.37",
                                      "123456789012345",
                                      "9999999999.99999",
                                      "1234567890123456",
                                      "12.",
                                      ".5",
                                      "-",
                                      "1e5",
                                      "0x10",
                                      "1.2.3",
                                      "007.50",
                                      "+-5",
                                      "5 ",
                                      "-.5"};
    for (int i = 0; i < 20000; ++i) {
        char buf[64];
        const double v = std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
        const int decimals = static_cast<int>(rng() % 9);
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
        texts.emplace_back(buf);
    }
    for (const std::string& text : texts) {
        const char* first = text.data();
        const char* last = first + text.size();
        if (first < last && *first == '+')
            ++first;
        double expected = 0;
        const auto r = std::from_chars(first, last, expected);
        double got = 0;
        const bool ok = CCsvLine("k," + text).DoubleField(0, &got);
        ASSERT_EQ(ok, r.ec == std::errc()) << text;
        if (ok) {
            EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << text;
        }
    }
}

TEST(CsvLine, LevelFieldsGiveTheWordOfTheDoubleRead) {
    // Levels in the written shape and other plain decimals are turned into
    // words with integers; each must be the word of the double DoubleField
    // reads, rounded half away from zero and held at the word's range.
    const auto reference = [](double db) {
        const double words = std::round(db * kWordsPerDb);
        return static_cast<short>(std::isnan(words)  ? -32768
                                  : words > 32767.0  ? 32767
                                  : words < -32768.0 ? -32768
                                                     : words);
    };
    std::vector<std::string> texts = {"0",         "-0",         "-0.00",   "0.00",     "+5.00",
                                      " -1.25",    "\t7",        "1.2.3",   "-",        "--1.00",
                                      "1e3",       "-.50",       "12.",     "-200.00",  "199.99",
                                      "199.997",   "200.00",     "-200.01", "-200.003", "-200.0031",
                                      "999999999", "9999999999", "-1.000",  "3.125",    "0.0030",
                                      "-0.0031",   "abc",        "",        "1.2a",     "12345.67"};
    // Signs, blanks and points where they may be, beyond the plain shapes, and
    // far beyond the word's range in the written shape (four whole digits).
    for (const char* text :
         {"+5", " 5", "5.", ".5", "1e2", "nan", "inf", "-inf", "12345678901234567890",
          "123456789.1234", "-123456789.1234", "1234567890.1234", "123456789.12345", "2621.44",
          "2700.00", "9999.99", "-999.99", "999.99"})
        texts.emplace_back(text);
    char buf[64];
    for (int w = -32768; w <= 32767; ++w) {
        std::snprintf(buf, sizeof buf, "%.2f", w * kLevelUnitDb);
        texts.emplace_back(buf);
    }
    std::mt19937_64 rng(5);
    for (int i = 0; i < 40000; ++i) {
        const double v = std::uniform_real_distribution<double>(-260, 260)(rng);
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(rng() % 7), v);
        texts.emplace_back(buf);
    }
    for (int i = 0; i < 2000; ++i) {
        const double v = std::uniform_real_distribution<double>(-9999.99, 9999.99)(rng);
        std::snprintf(buf, sizeof buf, "%.2f", v);
        texts.emplace_back(buf);
    }
    std::string row = "k";
    for (const std::string& text : texts) {
        const CCsvLine line("k," + text);
        double db = 0;
        const bool number = line.DoubleField(0, &db);
        short word = 0;
        ASSERT_EQ(line.LevelField(0, &word), number) << text;
        if (!number)
            continue;
        EXPECT_EQ(CsvLevelWord(db), reference(db)) << text;
        EXPECT_EQ(word, reference(db)) << text;
        row += "," + text;
    }
    // The same through the row at once, in the copied and the stable split.
    const CCsvLine copied(row);
    CCsvLine stable;
    stable.SplitStable(row);
    for (int first = 0; first + 32 <= copied.GetFieldCount(); first += 32) {
        short words[32];
        ASSERT_EQ(copied.LevelFields(first, 32, words), 0xffffffffu);
        ASSERT_EQ(stable.LevelFields(first, 32, words), 0xffffffffu);
        for (int k = 0; k < 32; ++k) {
            short one = 0;
            ASSERT_TRUE(copied.LevelField(first + k, &one));
            ASSERT_EQ(words[k], one) << first + k;
        }
    }
    short words[3] = {};
    EXPECT_EQ(CCsvLine("k,1.00,,x").LevelFields(0, 3, words), 1u);
    EXPECT_EQ(CCsvLine("k,1,2,-3.5").LevelFields(2, 3, words), 1u); // past the last field
    EXPECT_EQ(words[0], -573);
}

TEST(CsvFile, RowsReadAsTheirLinesSplit) {
    // Rows are split as their line ends are found; every row must give the
    // fields its line gives, whatever the line ends, quotes, lengths and
    // positions around the 16-byte steps are; a row beyond the line limit is
    // refused and the last line needs no line end.
    std::mt19937 rng(3);
    const char alphabet[] = {',', ',', '"', '\r', '1', '-', '.', ' ', 'a', '\0'};
    std::vector<std::string> lines = {"",
                                      ",",
                                      "\r",
                                      ",\r",
                                      "a,\"b,c\",d",
                                      "\"\"",
                                      "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17",
                                      std::string(kCsvMaxLine - 1, ','),
                                      std::string(kCsvMaxLine + 5, '1'),
                                      std::string(kCsvMaxLine, ','),
                                      std::string(kCsvMaxLine - 1, ',') + "\r",
                                      std::string(kCsvMaxLine, ',') + "\r",
                                      std::string(kCsvMaxLine + 1, ',')};
    for (int i = 0; i < 3000; ++i) {
        std::string line(rng() % 70, ' ');
        for (char& c : line)
            c = alphabet[rng() % sizeof alphabet];
        if (rng() % 3 == 0)
            line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
        lines.push_back(line);
    }
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    text += "last,1.00";
    lines.push_back("last,1.00");
    TempDir dir;
    WriteWholeFile(dir.file("rows.csv"), text);
    CCsvFile file;
    ASSERT_TRUE(file.Open(dir.file("rows.csv").c_str()));
    CCsvLine row;
    for (std::string line : lines) {
        bool refused = false;
        ASSERT_TRUE(file.ReadRow(&row, &refused));
        ASSERT_EQ(refused, line.size() > static_cast<size_t>(kCsvMaxLine)) << line;
        if (refused)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const CCsvLine expected(line);
        ASSERT_EQ(row.GetFieldCount(), expected.GetFieldCount()) << line;
        ASSERT_EQ(row.Key(), expected.Key()) << line;
        for (int i = 0; i < expected.GetFieldCount(); ++i)
            ASSERT_EQ(row.Field(i), expected.Field(i)) << line;
    }
    bool refused = false;
    EXPECT_FALSE(file.ReadRow(&row, &refused));
}

TEST(CsvLine, CaptionsAreQuotedOnlyWhenTheyNeedIt) {
    EXPECT_EQ(CsvCaptionField("Normal 1"), "Normal 1");
    EXPECT_EQ(CsvCaptionField("A, B"), "\"A, B\"");
    EXPECT_EQ(CsvCaptionField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvCaptionField("two\r\nlines"), "two  lines");
    EXPECT_EQ(CCsvLine("Analysis Caption,\"say \"\"hi\"\", A\"").Field(0), "say \"hi\", A");
    // Quoted pieces are undone where they lie: the fields after them, and a
    // line split again into the same object, keep their own texts.
    CCsvLine line("\"k\"\"\",\"a,b\"x,-1.5,\"\"\"\",7,");
    EXPECT_EQ(line.Key(), "k\"");
    EXPECT_EQ(line.Field(0), "a,bx");
    double v = 0;
    EXPECT_TRUE(line.DoubleField(1, &v));
    EXPECT_EQ(v, -1.5);
    EXPECT_EQ(line.Field(2), "\"");
    EXPECT_EQ(line.IntField(3), 7);
    EXPECT_EQ(line.GetFieldCount(), 5);
    EXPECT_EQ(line.IntField(4), kCsvMissing);
    line.Split("short");
    EXPECT_EQ(line.Key(), "short");
    EXPECT_EQ(line.GetFieldCount(), 0);
    EXPECT_EQ(line.Field(0), "");
}

// ---- The frame

TEST(CsvFrame, HeaderRulesAcceptTheKeylessTypeLineAndCutTheCaption) {
    TempDir dir;
    auto header = [&](const std::string& text, int* kind, int* variant, CString* caption) {
        WriteWholeFile(dir.file("h.csv"), text);
        return CCsvFile::ReadHeader(dir.file("h.csv").c_str(), kind, variant, caption);
    };
    int kind = -1, variant = -1;
    CString caption;
    // Another key text on line 2: only the integers count. CR LF line ends.
    ASSERT_TRUE(header("Torvel Version2 CSV Formatted Data File\r\nWhatever,1,0\r\n"
                       "Analysis Caption,Band A, 2.4 GHz\r\nWrite Time\r\n",
                       &kind, &variant, &caption));
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(variant, 0);
    EXPECT_EQ(caption, "Band A");

    const std::string caption3 = "Analysis Caption,X\n";
    EXPECT_FALSE(
        header("Torvel Version2 CSV Formatted Data File \nAnalysis Type,1,1\n" + caption3 + "W\n",
               &kind, &variant, &caption));
    EXPECT_FALSE(header(kFrame.substr(0, kFrame.find("Write")), &kind, &variant, &caption));
    EXPECT_FALSE(
        header("Torvel Version2 CSV Formatted Data File\nAnalysis Type,1\n" + caption3 + "W\n",
               &kind, &variant, &caption));
    EXPECT_FALSE(
        header("Torvel Version2 CSV Formatted Data File\nAnalysis Type,1,\n" + caption3 + "W\n",
               &kind, &variant, &caption));
    EXPECT_FALSE(header("Torvel Version2 CSV Formatted Data File\nAnalysis Type,1,1\n"
                        "Analysis Caption,\nW\n",
                        &kind, &variant, &caption));
    EXPECT_FALSE(header(std::string("\0\xff\xfe binary", 10), &kind, &variant, &caption));
    // A caption ends at a NUL character; one that begins with it is none.
    const std::string type = "Torvel Version2 CSV Formatted Data File\nAnalysis Type,4,1\n";
    ASSERT_TRUE(
        header(type + std::string("Analysis Caption,ab\0c\nW\n", 24), &kind, &variant, &caption));
    EXPECT_EQ(caption.str(), "ab");
    EXPECT_FALSE(
        header(type + std::string("Analysis Caption,\0abc\nW\n", 24), &kind, &variant, &caption));
    EXPECT_FALSE(CCsvFile::ReadHeader(dir.file("missing.csv").c_str(), &kind, &variant, &caption));
}

TEST(CsvFrame, WriteTimeIsTakenFromTheFirstEightLinesOnly) {
    TempDir dir;
    const CTime now(2030, 1, 2, 3, 4, 5);
    const CTime before(2001, 1, 1, 0, 0, 0);
    auto timeOf = [&](const std::string& text, std::string* nextLine = nullptr) {
        WriteWholeFile(dir.file("t.csv"), text);
        CCsvFile f;
        EXPECT_TRUE(f.Open(dir.file("t.csv").c_str()));
        CTime t = before;
        f.ReadWriteTime(&t, now);
        if (nextLine)
            f.ReadLine(*nextLine);
        return t;
    };
    std::string next;
    EXPECT_EQ(timeOf(kFrame + "after\n", &next), CTime(2024, 5, 6, 7, 8, 9));
    EXPECT_EQ(next, "after");
    // No such line: the time of opening, and reading starts again at the top.
    EXPECT_EQ(timeOf("Torvel Version2 CSV Formatted Data File\nA,1,1\n", &next), now);
    EXPECT_EQ(next, "Torvel Version2 CSV Formatted Data File");
    // Not six numbers, or not a calendar time: the time of opening.
    EXPECT_EQ(timeOf("Write Time,2024,5,6,7,8\n"), now);
    EXPECT_EQ(timeOf("Write Time,2024,13,6,7,8,9\n"), now);
    EXPECT_EQ(timeOf("Write Time,99999999999,5,6,7,8,9\n"), now);
    std::string lines;
    for (int i = 1; i <= 8; ++i)
        lines += "line\n";
    EXPECT_EQ(timeOf(lines.substr(5) + "Write Time,2024,5,6,7,8,9\n"), CTime(2024, 5, 6, 7, 8, 9));
    // Line 9 or 10: the time stays as it was; further down: not found at all.
    EXPECT_EQ(timeOf(lines + "Write Time,2024,5,6,7,8,9\n"), before);
    EXPECT_EQ(timeOf(lines + "x\nWrite Time,2024,5,6,7,8,9\n"), before);
    EXPECT_EQ(timeOf(lines + "x\nx\nWrite Time,2024,5,6,7,8,9\n"), now);
}

// ---- The normal window's section

TEST(NormalCsv, LevelTextsReadBackToTheSameTextForEveryWord) {
    // A file written from words must read back to words that write the same
    // rows again, and the fast formatting must be printf's "%.2f".
    TempDir dir;
    TestNormal a;
    ASSERT_EQ(a.ExecuteCommand(24, 3, 0, 0, 0, 0), kCommandReset); // steps of 1 kHz
    a.Grid(0, 1, 66000);
    for (int k = 0; k < CNormalAnalysis::kTraceStores; ++k)
        for (int w = 0; w < 66000; ++w)
            a.Store(k).SetWord(static_cast<DWORD>(w), static_cast<short>(w - 32768 + k));
    ASSERT_EQ(a.WriteCSVFile(dir.file("a.csv").c_str()), 1);
    EXPECT_EQ(a.asked, 1); // 66000 points ask first
    TestNormal b;
    ASSERT_EQ(b.ReadCSVSections(dir.file("a.csv").c_str()), 1);
    ASSERT_EQ(b.WriteCSVFile(dir.file("b.csv").c_str()), 1);
    const std::string first = ReadWholeFile(dir.file("a.csv"));
    EXPECT_EQ(FirstDifference(first, ReadWholeFile(dir.file("b.csv"))), "");
    // Every row is printf's "%.2f" of the six words (word 512 is 3.125 dB, a tie).
    std::string expected = std::string(kCsvDataMarker) + "\r\n" +
                           "Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5\r\n";
    char buf[32];
    for (int i = 0; i < 66000; ++i) {
        expected += std::to_string(i);
        for (int k = 0; k < CNormalAnalysis::kTraceStores; ++k) {
            std::snprintf(buf, sizeof buf, ",%.2f",
                          static_cast<short>(i - 32768 + k) * kLevelUnitDb);
            expected += buf;
        }
        expected += "\r\n";
    }
    EXPECT_EQ(FirstDifference(DataRows(first), expected), "");
}

TEST(NormalCsv, RoundTripRebuildsTheGridAndKeepsTheRows) {
    TempDir dir;
    TestNormal a;
    // Start 1001, stop 1999 kHz in steps of 100 kHz: the grid covers 0..2000.
    ASSERT_EQ(a.ExecuteCommand(103, 1001, 1999, 1, 20, 0), kCommandReset);
    a.SetUnitAll(2);
    a.Reconfigure(TRUE);
    ASSERT_EQ(a.GetDataLine()->GetStart(), 0u);
    ASSERT_EQ(a.GetDataLine()->GetPoints(), 20u);
    for (int k = 0; k < 6; ++k)
        for (DWORD i = 0; i < 20; ++i)
            a.Store(k).SetWord(i, static_cast<short>(-12000 + 977 * static_cast<int>(i) + 31 * k));
    a.Store(3).SetWord(7, kNoSample);
    a.SetLastDataTime(CTime(2024, 5, 6, 7, 8, 9));
    ASSERT_EQ(a.WriteCSVFile(dir.file("a.csv").c_str()), 1);
    const std::string text = ReadWholeFile(dir.file("a.csv"));
    EXPECT_EQ(text.substr(0, text.find("[PARAM")),
              "Torvel Version2 CSV Formatted Data File\r\nAnalysis Type,1,1\r\n"
              "Analysis Caption,Normal 1\r\nWrite Time,2024,5,6,7,8,9\r\n");
    EXPECT_NE(text.find("[PARAM ENTRY]\r\nStart Freq,0\r\nStep Freq,100\r\nPoints,20\r\n"
                        "Attenuator,20\r\nxAxisStart,1001\r\nxAxisStop,1999\r\n"
                        "FrequencyFlag,0\r\nRBWIndex,1\r\nUnit,2\r\n[DATA ENTRY]\r\n"
                        "Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5\r\n0,"),
              std::string::npos);
    EXPECT_EQ(CountLines(DataRows(text)), 2 + 20);
    EXPECT_EQ(a.asked, 0);

    TestNormal b;
    b.ExecuteCommand(103, 50000, 90000, 0, 40, 0);
    b.Reconfigure(TRUE);
    ASSERT_EQ(b.ReadCSVSections(dir.file("a.csv").c_str()), 1);
    EXPECT_EQ(b.GetLastDataTime(), CTime(2024, 5, 6, 7, 8, 9));
    EXPECT_EQ(b.GetStart(), 1001);
    EXPECT_EQ(b.GetStop(), 1999);
    EXPECT_EQ(b.GetAttenuation(), 20);
    EXPECT_EQ(b.GetRBWIndex(), 1);
    EXPECT_EQ(b.GetUnit(), 2);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(b.Store(k).GetUnit(), 2);
        EXPECT_EQ(b.Store(k).GetStart(), 0u);
        EXPECT_EQ(b.Store(k).GetStep(), 100u);
        ASSERT_EQ(b.Store(k).GetPoints(), 20u);
        for (DWORD i = 0; i < 20; ++i)
            EXPECT_NEAR(b.Store(k).GetData()[i], a.Store(k).GetData()[i], 1) << k << " " << i;
    }
    EXPECT_EQ(b.Store(3).GetData()[7], kNoSample);
    ASSERT_EQ(b.WriteCSVFile(dir.file("b.csv").c_str()), 1);
    EXPECT_EQ(FirstDifference(ReadWholeFile(dir.file("b.csv")), text), "");
}

TEST(NormalCsv, MoreThan65000PointsAskFirstAndNoKeepsTheEarlierFile) {
    TempDir dir;
    const std::string path = dir.file("big.csv");
    TestNormal core;
    core.Grid(0, 1, 65000);
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    EXPECT_EQ(core.asked, 0);
    const std::string earlier = ReadWholeFile(path);
    EXPECT_EQ(CountLines(DataRows(earlier)), 2 + 65000);

    core.Grid(0, 1, 65001);
    core.answer = false;
    EXPECT_EQ(core.WriteCSVFile(path.c_str()), 0);
    EXPECT_EQ(core.asked, 1);
    EXPECT_EQ(FirstDifference(ReadWholeFile(path), earlier), "");
    core.answer = true;
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    EXPECT_EQ(core.asked, 2);
    EXPECT_EQ(CountLines(DataRows(ReadWholeFile(path))), 2 + 65001);
    // No temporary file is left beside it.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(NormalCsv, FewerRowsThanPointsLeaveTheRestEmpty) {
    TempDir dir;
    WriteWholeFile(dir.file("short.csv"),
                   kFrame + Params() + kColumns + "100000,-10.00,-20.00,1,2,3,4\n100100,-11.5\n");
    TestNormal core;
    ASSERT_EQ(core.ReadCSVSections(dir.file("short.csv").c_str()), 1);
    const CTraceStore& line = *core.GetDataLine();
    ASSERT_EQ(line.GetPoints(), 20u);                        // 100000..102000 in steps of 100
    EXPECT_EQ(line.GetData()[0], static_cast<short>(-1638)); // -10 dB
    EXPECT_EQ(line.GetData()[1], static_cast<short>(-1884)); // -11.5 dB
    EXPECT_EQ(line.GetData()[2], kNoSample);
    EXPECT_EQ(core.Store(1).GetData()[0], static_cast<short>(-3277));
    EXPECT_EQ(core.Store(1).GetData()[1], kNoSample); // a missing value changes nothing
}

TEST(NormalCsv, HostileFilesFailOrReadSafely) {
    TempDir dir;
    {
        // Neither a FIFO without a writer nor an endless device is a CSV file.
        const std::string fifo = dir.file("fifo.csv");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        TestNormal core;
        EXPECT_EQ(core.ReadCSVSections(fifo.c_str()), 0);
        EXPECT_EQ(core.ReadCSVSections("/dev/zero"), 0);
        CCsvFile f;
        EXPECT_FALSE(f.Open(fifo.c_str()));
    }
    auto read = [&](const std::string& text, TestNormal* core) {
        WriteWholeFile(dir.file("h.csv"), text);
        return core->ReadCSVSections(dir.file("h.csv").c_str());
    };
    {
        // A count of two billion points with two rows; empty values keep the
        // window's own; the range is brought inside the device's limits.
        TestNormal core;
        core.ExecuteCommand(103, 100000, 200000, 1, 30, 0);
        const std::string params = "[PARAM ENTRY]\nStart Freq,\nStep Freq,\nPoints,2147483647\n"
                                   "Attenuator,\nxAxisStart,-2000000000\nxAxisStop,\n"
                                   "FrequencyFlag,\nRBWIndex,\nUnit,77\n";
        ASSERT_EQ(read(kFrame + params + kColumns + "0,1,1,1,1,1,1\n0,2,2,2,2,2,2\n", &core), 1);
        EXPECT_EQ(core.GetStart(), 0);
        EXPECT_EQ(core.GetStop(), 200000);
        EXPECT_EQ(core.GetAttenuation(), 30);
        EXPECT_EQ(core.GetUnit(), 1);
        EXPECT_EQ(core.GetDataLine()->GetData()[1], static_cast<short>(328));
    }
    {
        // Huge and odd values are held at the word's range or skipped; a 100 kB
        // row is refused whole; a 2 kB row (beyond the classic 512-byte buffer)
        // is read whole.
        TestNormal core;
        std::string rows = "0,1e300,-1e300,nan,inf,abc,5\n";
        rows += "0,7" + std::string(2000, ' ') + ",8,8,8,8,8\n";
        rows += "0," + std::string(100000, '9') + ",1,1,1,1,1\n";
        rows += "0,9,9,9,9,9,9\n";
        for (int i = 0; i < 10; ++i)
            rows += "0,-3,-3,-3,-3,-3,-3\n";
        ASSERT_EQ(read(kFrame + Params("3") + kColumns + rows, &core), 1);
        const short* d = core.GetDataLine()->GetData();
        EXPECT_EQ(d[0], 32767);
        EXPECT_EQ(core.Store(1).GetData()[0], -32768);
        EXPECT_EQ(core.Store(2).GetData()[0], kNoSample);
        EXPECT_EQ(core.Store(3).GetData()[0], kNoSample);
        EXPECT_EQ(core.Store(4).GetData()[0], kNoSample); // "abc" is no number
        EXPECT_EQ(core.Store(5).GetData()[0], static_cast<short>(819));
        EXPECT_EQ(d[1], static_cast<short>(1147)); // 7 dB
        EXPECT_EQ(d[2], kNoSample);                // the refused row stored nothing
        // Points 3: rows beyond the file's count are not read.
        ASSERT_EQ(read(kFrame + Params("3") + kColumns +
                           "0,1,1,1,1,1,1\n0,1,1,1,1,1,1\n"
                           "0,1,1,1,1,1,1\n0,9,9,9,9,9,9\n",
                       &core),
                  1);
        EXPECT_EQ(core.GetDataLine()->GetData()[2], static_cast<short>(164));
        EXPECT_EQ(core.GetDataLine()->GetData()[3], kNoSample);
        // More rows than the grid has points: the extra rows land on its last point.
        std::string many;
        for (int i = 0; i < 24; ++i)
            many += "0,-3,-3,-3,-3,-3,-3\n";
        many += "0,9,9,9,9,9,9\n";
        const std::string params = "[PARAM ENTRY]\nStart Freq,100000\nStep Freq,100\nPoints,25\n"
                                   "Attenuator,20\nxAxisStart,100000\nxAxisStop,100300\n"
                                   "FrequencyFlag,0\nRBWIndex,1\nUnit,1\n";
        ASSERT_EQ(read(kFrame + params + kColumns + many, &core), 1);
        ASSERT_EQ(core.GetDataLine()->GetPoints(), 20u);
        EXPECT_EQ(core.GetDataLine()->GetData()[18], static_cast<short>(-492));
        EXPECT_EQ(core.GetDataLine()->GetData()[19], static_cast<short>(1475));
    }
    TestNormal core;
    EXPECT_EQ(read(kFrame, &core), 0);                                   // no sections
    EXPECT_EQ(read(kFrame + "[PARAM ENTRY]\nStart Freq,1\n", &core), 0); // parameter lines missing
    EXPECT_EQ(read(kFrame + Params(), &core), 0);                        // no data section
    EXPECT_EQ(read(kFrame + Params() + "[DATA ENTRY]", &core), 0);       // no column line
    EXPECT_EQ(read(kFrame + Params() + kColumns, &core), 1);             // no rows: fine
    std::string garbage(1 << 20, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
    EXPECT_EQ(read(garbage, &core), 0);
    EXPECT_EQ(core.ReadCSVSections(dir.file("missing.csv").c_str()), 0);
}

TEST(NormalCsv, AGridThisDeviceCannotRebuildFailsAndTheAttenuatorIsHeldInRange) {
    TempDir dir;
    auto read = [&](const std::string& params, TestNormal* core) {
        WriteWholeFile(dir.file("g.csv"), kFrame + params + kColumns + "100000,1,1,1,1,1,1\n");
        return core->ReadCSVSections(dir.file("g.csv").c_str());
    };
    auto params = [](const char* start, const char* step, const char* att, const char* rbw) {
        return std::string("[PARAM ENTRY]\nStart Freq,") + start + "\nStep Freq," + step +
               "\nPoints,3\nAttenuator," + att +
               "\nxAxisStart,100000\nxAxisStop,100300\nFrequencyFlag,0\nRBWIndex," + rbw +
               "\nUnit,1\n";
    };
    struct Bad {
        const char* why;
        std::string params;
    };
    for (const Bad& bad :
         {Bad{"index the device has no step for", params("100000", "100", "20", "9")},
          Bad{"another step than the index gives", params("100000", "1000", "20", "1")},
          Bad{"a start off the rebuilt grid", params("100500", "100", "20", "1")}}) {
        SCOPED_TRACE(bad.why);
        TestNormal core;
        EXPECT_EQ(read(bad.params, &core), 0);
        EXPECT_EQ(core.GetReadFailureMessage(), kStrCsvGridUnusable);
    }
    TestNormal core;
    ASSERT_EQ(read(params("100000", "100", "12345", "1"), &core), 1);
    EXPECT_EQ(core.GetAttenuation(), 50);
    ASSERT_EQ(read(params("100000", "100", "-999", "1"), &core), 1);
    EXPECT_EQ(core.GetAttenuation(), 0);
    ASSERT_EQ(read(params("100000", "100", "35", "1"), &core), 1);
    EXPECT_EQ(core.GetAttenuation(), 30); // in the attenuator's 10 dB steps
    // A file that cannot be read at all says just that.
    EXPECT_EQ(core.ReadCSVSections(dir.file("missing.csv").c_str()), 0);
    EXPECT_EQ(core.GetReadFailureMessage(), kStrFileNotRead);
}

TEST(NormalCsv, CaptionsWithCommasQuotesAndLineBreaksStayReadable) {
    TempDir dir;
    TestNormal core;
    core.SetTitle(CString(std::string("Band \"A\", 2.4 GHz\nsecond\0", 25)));
    core.Grid(0, 1, 2);
    const std::string path = dir.file("caption.csv");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    int kind = 0, variant = 0;
    CString caption;
    ASSERT_TRUE(CCsvFile::ReadHeader(path.c_str(), &kind, &variant, &caption));
    EXPECT_EQ(caption.str(), "Band \"A\", 2.4 GHz second ");
    if (QStandardPaths::findExecutable("python3").isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    QProcess python;
    python.start("python3", {"-c",
                             "import csv,sys\n"
                             "rows=list(csv.reader(open(sys.argv[1],newline='')))\n"
                             "print(len(rows));print(rows[2][1]);print(rows[-1][0])",
                             QString::fromStdString(path)});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.readAllStandardOutput().toStdString(), "18\nBand \"A\", 2.4 GHz second \n1\n");
}

// ---- A CSV file opened as a window of the running program

namespace {

class CsvWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    char oldCwd[4096] = {};
    std::vector<CString> messages;

    void SetUp() override {
        ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        const std::string lockName = "TorvelCsvTest" + std::to_string(getpid());
        std::ifstream in(TORVEL_SOURCE_RESOURCES "/Torvel.txt");
        std::ofstream out(dir.file("Torvel.txt"));
        std::string line;
        for (int i = 0; std::getline(in, line); ++i)
            out << (i == 1 ? "0001:" + lockName : line) << "\n";
        out.close();
        WriteWholeFile(dir.file("TorvelList.txt"),
                       ReadWholeFile(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"));
        // The start window measures from the start.
        WriteWholeFile(dir.file("TORVEL.INI"), "[NormalAnalysis_1]\nAnalyzeFlag=1\n");
    }
    void TearDown() override {
        FlushProfile();
        SetProfileFile(nullptr);
        ASSERT_EQ(chdir(oldCwd), 0);
    }
};

} // namespace

TEST_F(CsvWindowTest, AWrittenFileReopensAsAStillWindowThatWritesTheSameRows) {
    CTorvelApp app;
    app.MessageBox = [this](const CString& text) { messages.push_back(text); };
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
    CMainFrame* frame = app.MainFrame();
    CChildFrame* live = frame->ActiveChild();
    ASSERT_NE(live, nullptr);
    auto* core = dynamic_cast<CNormalAnalysis*>(live->GetCore());
    ASSERT_NE(core, nullptr);
    // A narrow band sweeps quickly; wait for one full sweep.
    core->ExecuteCommand(103, 100000, 140000, 1, 30, 0);
    core->Reconfigure(TRUE);
    const CTraceStore* line = core->GetDataLine();
    ASSERT_GT(line->GetPoints(), 10u);
    // The first block restarts the trace at the lowest level; then every point
    // gets a measured level.
    ASSERT_TRUE(PumpUntil([&] {
        const short* d = line->GetData();
        return std::none_of(d, d + line->GetPoints(),
                            [](short w) { return w == kNoSample || w == kLowestLevel; });
    }));

    const std::string first = dir.file("sweep.csv");
    ASSERT_EQ(core->WriteCSVFile(first.c_str()), 1);
    const int windows = static_cast<int>(frame->mdiArea()->subWindowList().size());
    CChildFrame* still = frame->OpenCsvFile(first.c_str());
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(frame->ActiveChild(), still);
    EXPECT_EQ(still->GetCore()->GetAnalyzeFlag(), 0);
    EXPECT_EQ(still->GetCore()->GetTitle(), core->GetTitle());
    EXPECT_NE(frame->Scheduler().Find(still->GetCore()->GetId()), nullptr);
    const std::string second = dir.file("again.csv");
    ASSERT_EQ(still->GetCore()->WriteCSVFile(second.c_str()), 1);
    EXPECT_EQ(FirstDifference(ReadWholeFile(second), ReadWholeFile(first)), "");
    EXPECT_TRUE(messages.empty());

    // A caption that leaves no title ("&" is a mnemonic mark, a blank no
    // title) names the window after its kind, and what that window saves
    // opens again.
    std::string untitled = ReadWholeFile(first);
    const size_t caption = untitled.find("Analysis Caption,") + 17;
    untitled.replace(caption, untitled.find('\r', caption) - caption, "& ");
    WriteWholeFile(dir.file("untitled.csv"), untitled);
    CChildFrame* named = frame->OpenCsvFile(dir.file("untitled.csv").c_str());
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->GetCore()->GetTitle(), "Normal Spectrum");
    ASSERT_EQ(named->GetCore()->WriteCSVFile(dir.file("named.csv").c_str()), 1);
    EXPECT_NE(frame->OpenCsvFile(dir.file("named.csv").c_str()), nullptr);

    // A file that is not a CSV data file, and one whose sections are cut off:
    // string 42, and no window stays open.
    WriteWholeFile(dir.file("bad.csv"), "not a data file\n");
    EXPECT_EQ(frame->OpenCsvFile(dir.file("bad.csv").c_str()), nullptr);
    std::string cut = ReadWholeFile(first);
    WriteWholeFile(dir.file("cut.csv"), cut.substr(0, cut.find("[DATA ENTRY]")));
    EXPECT_EQ(frame->OpenCsvFile(dir.file("cut.csv").c_str()), nullptr);
    // A file whose RBW index this analyser cannot sweep says why it failed.
    std::string foreign = ReadWholeFile(first);
    const size_t rbw = foreign.find("RBWIndex,");
    ASSERT_NE(rbw, std::string::npos);
    foreign.replace(rbw, foreign.find('\r', rbw) - rbw, "RBWIndex,13");
    WriteWholeFile(dir.file("foreign.csv"), foreign);
    EXPECT_EQ(frame->OpenCsvFile(dir.file("foreign.csv").c_str()), nullptr);
    PumpEvents();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back(), GetTorvelString(kStrCsvGridUnusable));
    EXPECT_EQ(static_cast<int>(frame->mdiArea()->subWindowList().size()), windows + 3);
    app.ExitInstance();
}
