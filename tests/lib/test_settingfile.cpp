// The setting store and its data file: the header check, the line rules, the
// typed encodings, safe saving, a randomised round trip and hostile files.
#include "lib/settingfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <random>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

constexpr const char* kHeaderLine = "Torvel Version2 Setting Data File";

struct SettingFileTest : ::testing::Test {
    TempDir dir;
    void SetUp() override { ReleaseSettingFileObject(); }
    void TearDown() override { ReleaseSettingFileObject(); }

    // The store as it would be saved (CR LF line ends).
    std::string saved() {
        std::string path = dir.file("saved.spe");
        EXPECT_EQ(WriteSettingFileObject(path.c_str()), 1);
        return ReadWholeFile(path);
    }
    int load(const std::string& content) {
        std::string path = dir.file("in.spe");
        WriteWholeFile(path, content);
        return LoadSettingFile(path.c_str());
    }
    std::string value(const char* section, const char* key) {
        CString v("<missing>");
        GetSettingFileSTRING(section, key, v);
        return v.str();
    }
};

std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

TEST_F(SettingFileTest, OnlyTheExactHeaderLoadsAndARefusedFileKeepsTheStore) {
    WriteSettingFileINT("KEEP", "Value", 7);
    EXPECT_EQ(LoadSettingFile(dir.file("missing.spe").c_str()), 0);
    EXPECT_EQ(load(std::string(kHeaderLine) + " \r\n[A]\r\nx=1\r\n"), 0); // a blank after it
    EXPECT_EQ(load("torvel version2 setting data file\r\n[A]\r\nx=1\r\n"), 0);
    EXPECT_EQ(load("\xEF\xBB\xBF" + std::string(kHeaderLine) + "\r\n"), 0); // byte-order mark
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(LoadSettingFile(dir.path().c_str()), 0); // a folder
    int v = 0;
    EXPECT_EQ(GetSettingFileINT("KEEP", "Value", &v), 1);
    EXPECT_EQ(v, 7);

    // Both line ends are accepted; a good header replaces the store.
    EXPECT_EQ(load(std::string(kHeaderLine) + "\n[A]\nx=1\n"), 1);
    EXPECT_EQ(GetSettingFileINT("KEEP", "Value", &v), 0);
    EXPECT_EQ(load(std::string(kHeaderLine) + "\r\n[A]\r\nx=2\r\n"), 1);
    EXPECT_EQ(GetSettingFileINT("A", "x", &v), 1);
    EXPECT_EQ(v, 2);
}

TEST_F(SettingFileTest, LinesSplitAtTheFirstEqualsWithoutTrimming) {
    ASSERT_EQ(load(crlf(std::string(kHeaderLine) + "\n"
                                                   "orphan=before any header\n"
                                                   "[CORE]\n"
                                                   " Key = value \n"
                                                   "K=a=b=c\n"
                                                   "no equals sign\n"
                                                   "\n"
                                                   "=\n"
                                                   "[]\n"
                                                   "in=empty section\n"
                                                   "[core]\n"
                                                   "k=other case\n")),
              1);
    EXPECT_EQ(value("CORE", " Key "), " value ");
    EXPECT_EQ(value("CORE", "Key"), "<missing>");
    EXPECT_EQ(value("CORE", "K"), "a=b=c");
    // The line without "=", the empty line and "=" all set the empty key; the last one wins.
    EXPECT_EQ(value("CORE", ""), "");
    EXPECT_EQ(value("", "orphan"), "before any header");
    EXPECT_EQ(value("", "in"), "empty section"); // "[]" reopens the empty-named section
    EXPECT_EQ(value("core", "k"), "other case");
    EXPECT_EQ(value("core", "K"), "<missing>");
    EXPECT_EQ(saved(), crlf(std::string(kHeaderLine) + "\n[]\norphan=before any header\n"
                                                       "in=empty section\n"
                                                       "[CORE]\n Key = value \nK=a=b=c\n=\n"
                                                       "[core]\nk=other case\n"));
}

TEST_F(SettingFileTest, RepeatedKeysAndSectionsKeepTheirFirstPlace) {
    ASSERT_EQ(load(std::string(kHeaderLine) + "\n[A]\nx=1\ny=2\nx=3\n[B]\nz=4\n[A]\nw=5\n"), 1);
    EXPECT_EQ(saved(), crlf(std::string(kHeaderLine) + "\n[A]\nx=3\ny=2\nw=5\n[B]\nz=4\n"));

    // Writes follow the same rule: replace in place, or append at the end.
    WriteSettingFileINT("B", "z", 40);
    WriteSettingFileINT("C", "n", 1);
    WriteSettingFileINT("A", "v", 6);
    EXPECT_EQ(saved(),
              crlf(std::string(kHeaderLine) + "\n[A]\nx=3\ny=2\nw=5\nv=6\n[B]\nz=40\n[C]\nn=1\n"));
    // Saving does not empty the store.
    EXPECT_EQ(value("C", "n"), "1");
}

TEST_F(SettingFileTest, IntegerReadsSkipBlanksAndIgnoreTrailingText) {
    ASSERT_EQ(load(std::string(kHeaderLine) +
                   "\n[S]\na=  -42xyz\nb=abc\nc=\nd=+7\ne=- 1\nf=4294967295\n"),
              1);
    int v = 99;
    EXPECT_EQ(GetSettingFileINT("S", "a", &v), 1);
    EXPECT_EQ(v, -42);
    v = 99;
    EXPECT_EQ(GetSettingFileINT("S", "b", &v), 0);
    EXPECT_EQ(GetSettingFileINT("S", "c", &v), 0);
    EXPECT_EQ(GetSettingFileINT("S", "e", &v), 0);
    EXPECT_EQ(GetSettingFileINT("S", "missing", &v), 0);
    EXPECT_EQ(GetSettingFileINT("MISSING", "a", &v), 0);
    EXPECT_EQ(v, 99);
    EXPECT_EQ(GetSettingFileINT("S", "d", &v), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(GetSettingFileINT("S", "f", &v), 1); // wraps to 32 bits
    EXPECT_EQ(v, -1);
}

TEST_F(SettingFileTest, ColoursPensAndBrushesTakeTheLowEightBitsOfEachColour) {
    ASSERT_EQ(load(std::string(kHeaderLine) +
                   "\n[S]\nrgb=300,-1,256\nshort=1,2\npen=2,3,10,20,30\nbrush=2,5,1,2,3\n"
                   "spaced=1, 2, 3\nbad=1 ,2,3\n"),
              1);
    COLORREF c = 0x123456;
    EXPECT_EQ(GetSettingFileRGB("S", "rgb", &c), 1);
    EXPECT_EQ(c, RGB(44, 255, 0));
    c = 0x123456;
    EXPECT_EQ(GetSettingFileRGB("S", "short", &c), 0);
    EXPECT_EQ(GetSettingFileRGB("S", "bad", &c), 0); // the comma must follow the number
    EXPECT_EQ(c, 0x123456u);
    EXPECT_EQ(GetSettingFileRGB("S", "spaced", &c), 1);
    EXPECT_EQ(c, RGB(1, 2, 3));

    LOGPEN pen;
    pen.lopnWidth.y = 77;
    EXPECT_EQ(GetSettingFileLOGPEN("S", "pen", &pen), 1);
    EXPECT_EQ(pen.lopnStyle, 2u);
    EXPECT_EQ(pen.lopnWidth.x, 3);
    EXPECT_EQ(pen.lopnWidth.y, 77); // not stored
    EXPECT_EQ(pen.lopnColor, RGB(10, 20, 30));
    EXPECT_EQ(GetSettingFileLOGPEN("S", "rgb", &pen), 0);

    LOGBRUSH brush;
    EXPECT_EQ(GetSettingFileLOGBRUSH("S", "brush", &brush), 1);
    EXPECT_EQ(brush.lbStyle, 2u);
    EXPECT_EQ(brush.lbHatch, 5u);
    EXPECT_EQ(brush.lbColor, RGB(1, 2, 3));

    WriteSettingFileRGB("W", "c", RGB(1, 2, 3));
    WriteSettingFileLOGPEN("W", "p", &pen);
    WriteSettingFileLOGBRUSH("W", "b", &brush);
    EXPECT_EQ(value("W", "c"), "1,2,3");
    EXPECT_EQ(value("W", "p"), "2,3,10,20,30");
    EXPECT_EQ(value("W", "b"), "2,5,1,2,3");
}

TEST_F(SettingFileTest, FontFaceIsTheTextAfterTheLastCommaCutToTheField) {
    LOGFONT f;
    f.lfHeight = -12;
    f.lfWeight = FW_BOLD;
    f.lfItalic = 1;
    f.lfCharSet = SHIFTJIS_CHARSET;
    f.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::strcpy(f.lfFaceName, "Courier New");
    WriteSettingFileLOGFONT("F", "font", &f);
    EXPECT_EQ(value("F", "font"), "-12,0,0,0,700,1,0,0,128,0,0,0,49,Courier New");
    LOGFONT back;
    EXPECT_EQ(GetSettingFileLOGFONT("F", "font", &back), 1);
    EXPECT_EQ(back.lfHeight, -12);
    EXPECT_EQ(back.lfWeight, 700);
    EXPECT_EQ(back.lfCharSet, SHIFTJIS_CHARSET);
    EXPECT_STREQ(back.lfFaceName, "Courier New");

    const std::string longName(100, 'W');
    // "ü" is two bytes; the 16th one straddles bytes 30 and 31 and is dropped whole.
    std::string umlauts;
    for (int i = 0; i < 20; ++i)
        umlauts += "\xC3\xBC";
    ASSERT_EQ(load(std::string(kHeaderLine) +
                   "\n[F]\n"
                   "comma=1,2,3,4,5,6,0,7,300,1,2,3,4,Face, Two\n"
                   "long=1,2,3,4,5,0,0,0,0,0,0,0,0," +
                   longName + "\nutf8=1,2,3,4,5,0,0,0,0,0,0,0,0," + umlauts +
                   "\nshort=1,2,3,4,5,0,0,0,0,0,0,0\n"),
              1);
    EXPECT_EQ(GetSettingFileLOGFONT("F", "comma", &back), 1);
    EXPECT_STREQ(back.lfFaceName, " Two");
    EXPECT_EQ(back.lfItalic, 1);    // 6 is non-zero
    EXPECT_EQ(back.lfUnderline, 0); // 0
    EXPECT_EQ(back.lfStrikeOut, 1); // 7
    EXPECT_EQ(back.lfCharSet, 44);  // 300 & 0xFF
    EXPECT_EQ(GetSettingFileLOGFONT("F", "long", &back), 1);
    EXPECT_EQ(std::string(back.lfFaceName), longName.substr(0, 31));
    EXPECT_EQ(GetSettingFileLOGFONT("F", "utf8", &back), 1);
    EXPECT_EQ(std::string(back.lfFaceName), umlauts.substr(0, 30));
    EXPECT_EQ(GetSettingFileLOGFONT("F", "short", &back), 0); // twelve numbers
    EXPECT_EQ(std::string(back.lfFaceName), umlauts.substr(0, 30));

    // A face name that fills its field without a terminator is written bounded.
    std::memset(f.lfFaceName, 'Z', sizeof f.lfFaceName);
    WriteSettingFileLOGFONT("F", "full", &f);
    EXPECT_EQ(value("F", "full").substr(value("F", "full").rfind(',') + 1), std::string(32, 'Z'));
}

TEST_F(SettingFileTest, PointsSizesRectsAndTimes) {
    POINT p{-3, 4};
    SIZE s{640, 480};
    RECT r{1, 2, 3, 4};
    WriteSettingFilePOINT("G", "p", &p);
    WriteSettingFileSIZE("G", "s", &s);
    WriteSettingFileRECT("G", "r", &r);
    EXPECT_EQ(value("G", "p"), "-3,4");
    EXPECT_EQ(value("G", "s"), "640,480");
    EXPECT_EQ(value("G", "r"), "1,2,3,4");
    POINT p2;
    SIZE s2;
    RECT r2{9, 9, 9, 9};
    EXPECT_EQ(GetSettingFilePOINT("G", "p", &p2), 1);
    EXPECT_EQ(GetSettingFileSIZE("G", "s", &s2), 1);
    EXPECT_EQ(p2.x, -3);
    EXPECT_EQ(s2.cy, 480);
    EXPECT_EQ(GetSettingFileRECT("G", "p", &r2), 0); // two numbers are not a rectangle
    EXPECT_EQ(r2.left, 9);

    CTime t(2005, 3, 14, 15, 9, 26);
    WriteSettingFileTime("G", "t", &t);
    EXPECT_EQ(value("G", "t"), "2005,3,14,15,9,26");
    CTime t2;
    EXPECT_EQ(GetSettingFileTime("G", "t", &t2), 1);
    EXPECT_EQ(t2, t);
    EXPECT_EQ(GetSettingFileTime("G", "r", &t2), 0);
    EXPECT_EQ(t2, t);
    // Six numbers outside the calendar are no time either.
    for (const char* text : {"2147483647,2147483647,1,0,0,0", "-2147483648,1,1,0,0,0",
                             "2024,0,1,0,0,0", "2024,1,1,0,0,61"}) {
        CString bad(text);
        WriteSettingFileSTRING("G", "bad", bad);
        EXPECT_EQ(GetSettingFileTime("G", "bad", &t2), 0) << text;
        EXPECT_EQ(t2, t) << text;
    }
}

TEST_F(SettingFileTest, TimeSpansSplitIntoDaysHoursMinutesSeconds) {
    CTimeSpan span(1, 1, 1, 1);
    WriteSettingFileTimeSpan("T", "a", &span);
    EXPECT_EQ(value("T", "a"), "1,1,1,1");
    CTimeSpan negative(-90061);
    WriteSettingFileTimeSpan("T", "n", &negative);
    EXPECT_EQ(value("T", "n"), "-1,-1,-1,-1");
    CTimeSpan read;
    EXPECT_EQ(GetSettingFileTimeSpan("T", "n", &read), 1);
    EXPECT_EQ(read.GetTotalSeconds(), -90061);

    ASSERT_EQ(load(std::string(kHeaderLine) + "\n[T]\nh=0,25,0,0\nbad=0,25,0\n"), 1);
    EXPECT_EQ(GetSettingFileTimeSpan("T", "h", &read), 1);
    EXPECT_EQ(read.GetTotalSeconds(), 25 * 3600);
    EXPECT_EQ(GetSettingFileTimeSpan("T", "bad", &read), 0);
    EXPECT_EQ(read.GetTotalSeconds(), 25 * 3600);
}

TEST_F(SettingFileTest, IntArraysFillWhatParsesAndReportWhetherAllDid) {
    int a[3] = {9, 9, 9};
    EXPECT_EQ(GetSettingFileINTARRAY("X", "missing", a, 1), 1); // a missing key reads "0"
    EXPECT_EQ(a[0], 0);
    a[0] = 9;
    EXPECT_EQ(GetSettingFileINTARRAY("X", "missing", a, 3), 0);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 9);

    ASSERT_EQ(load(std::string(kHeaderLine) + "\n[X]\ntwo=1,2\nsloppy=1 x,2junk,3\n"
                                              "gap=1,,3\nempty=\n"),
              1);
    int b[3] = {9, 9, 9};
    EXPECT_EQ(GetSettingFileINTARRAY("X", "two", b, 3), 0);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(b[2], 9);
    EXPECT_EQ(GetSettingFileINTARRAY("X", "sloppy", b, 3), 1); // text after a number is skipped
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(GetSettingFileINTARRAY("X", "gap", b, 3), 0);
    EXPECT_EQ(GetSettingFileINTARRAY("X", "empty", b, 0), 1);
    EXPECT_EQ(GetSettingFileINTARRAY("X", "empty", b, 1), 0);

    int w[4] = {-1, 0, 2147483647, -2147483647 - 1};
    WriteSettingFileINTARRAY("X", "w", w, 4);
    EXPECT_EQ(value("X", "w"), "-1,0,2147483647,-2147483648");
    WriteSettingFileINTARRAY("X", "none", w, 0);
    EXPECT_EQ(value("X", "none"), "");
    int r[4] = {};
    EXPECT_EQ(GetSettingFileINTARRAY("X", "w", r, 4), 1);
    EXPECT_EQ(r[3], w[3]);
}

TEST_F(SettingFileTest, TextsTheFormatCannotHoldAreRefused) {
    CString twoLines("first\nsecond");
    CString withCr("a\rb");
    EXPECT_EQ(WriteSettingFileSTRING("S", "k", twoLines), 0);
    EXPECT_EQ(WriteSettingFileSTRING("S", "k", withCr), 0);
    EXPECT_EQ(WriteSettingFileINT("S\nT", "k", 1), 0);
    EXPECT_EQ(WriteSettingFileINT("S", "a=b", 1), 0); // would split at the "="
    CString closing("x]");
    EXPECT_EQ(WriteSettingFileSTRING("S", "[k", closing), 0); // would read as a header
    LOGFONT f;
    std::strcpy(f.lfFaceName, "Bad\nFace");
    EXPECT_EQ(WriteSettingFileLOGFONT("S", "f", &f), 0);
    EXPECT_EQ(saved(), crlf(std::string(kHeaderLine) + "\n"));

    CString fine("Shift-JIS \x83\x65\x83\x58\x83\x67 and = signs");
    EXPECT_EQ(WriteSettingFileSTRING("S", "k", fine), 1);
    EXPECT_EQ(value("S", "k"), fine.str());
}

TEST_F(SettingFileTest, AFailedSaveReportsZeroAndLeavesTheEarlierFile) {
    std::string path = dir.file("work.spe");
    WriteSettingFileINT("A", "x", 1);
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    const std::string before = ReadWholeFile(path);

    EXPECT_EQ(WriteSettingFileObject(dir.file("no/such/folder/x.spe").c_str()), 0);
    EXPECT_EQ(WriteSettingFileObject(dir.path().c_str()), 0); // a folder cannot be replaced

    // A full disk: the file-size limit makes writes fail part-way.
    for (int i = 0; i < 5000; ++i)
        WriteSettingFileINT("BIG", ("Key" + std::to_string(i)).c_str(), i);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = WriteSettingFileObject(path.c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadWholeFile(path), before);

    // No temporary file is left behind.
    int files = 0;
    if (DIR* d = opendir(dir.path().c_str())) {
        while (dirent* e = readdir(d))
            files += e->d_name[0] != '.';
        closedir(d);
    }
    EXPECT_EQ(files, 1);
}

TEST_F(SettingFileTest, RandomStoresSurviveSaveAndLoad) {
    // Bytes a name or value may hold: anything but NUL and line breaks.
    auto randomText = [](std::mt19937& rng, size_t maxLen, bool isKey) {
        std::uniform_int_distribution<int> len(0, static_cast<int>(maxLen));
        std::uniform_int_distribution<int> byte(1, 255);
        std::string s;
        for (int n = len(rng); n > 0; --n) {
            char c = static_cast<char>(byte(rng));
            if (c == '\r' || c == '\n' || (isKey && (c == '=' || (s.empty() && c == '['))))
                c = 'k';
            s += c;
        }
        return s;
    };
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        std::mt19937 rng(seed);
        ReleaseSettingFileObject();
        // The expected store, with the set rule applied by linear search.
        std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> model;
        std::vector<std::string> names;
        for (int i = 0; i < 12; ++i)
            names.push_back(randomText(rng, 10, false));
        std::vector<std::string> keys;
        for (int i = 0; i < 40; ++i)
            keys.push_back(randomText(rng, 8, true));
        for (int step = 0; step < 600; ++step) {
            const std::string& name = names[rng() % names.size()];
            const std::string& key = keys[rng() % keys.size()];
            CString v(randomText(rng, 30, false));
            ASSERT_EQ(WriteSettingFileSTRING(name.c_str(), key.c_str(), v), 1);
            auto sec = std::find_if(model.begin(), model.end(),
                                    [&](const auto& s) { return s.first == name; });
            if (sec == model.end())
                sec = model.insert(model.end(), {name, {}});
            auto ent = std::find_if(sec->second.begin(), sec->second.end(),
                                    [&](const auto& e) { return e.first == key; });
            if (ent == sec->second.end())
                sec->second.push_back({key, v.str()});
            else
                ent->second = v.str();
        }
        std::string expected = std::string(kHeaderLine) + "\r\n";
        for (const auto& [name, entries] : model) {
            expected += "[" + name + "]\r\n";
            for (const auto& [k, v] : entries)
                expected += k + "=" + v + "\r\n";
        }
        std::string path = dir.file("round.spe");
        ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
        ASSERT_EQ(ReadWholeFile(path), expected);
        ReleaseSettingFileObject();
        ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
        for (const auto& [name, entries] : model)
            for (const auto& [k, v] : entries)
                ASSERT_EQ(value(name.c_str(), k.c_str()), v) << "seed " << seed;
        ASSERT_EQ(saved(), expected) << "seed " << seed;
    }
}

TEST_F(SettingFileTest, HostileFilesGiveAFailureOrASaneStore) {
    std::mt19937 rng(7);
    std::string garbage(200000, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    EXPECT_EQ(load(garbage), 0);
    // Garbage after a good header loads as whatever lines it makes, and saves again.
    EXPECT_EQ(load(std::string(kHeaderLine) + "\n" + garbage), 1);
    const std::string once = saved();
    EXPECT_EQ(load(once), 1);
    EXPECT_EQ(saved(), once);

    // One line of 1 MB, and no line end at the end of the file.
    std::string huge(1 << 20, 'v');
    EXPECT_EQ(load(std::string(kHeaderLine) + "\n[H]\nk=" + huge + "\nlast=end"), 1);
    EXPECT_EQ(value("H", "k"), huge);
    EXPECT_EQ(value("H", "last"), "end");
    EXPECT_EQ(load(std::string(kHeaderLine) + "\n[" + huge), 1);
    EXPECT_EQ(value("", ""), "[" + huge);
    EXPECT_EQ(load(std::string(kHeaderLine)), 1); // header without a line end, nothing else
    EXPECT_EQ(saved(), crlf(std::string(kHeaderLine) + "\n"));

    // NUL bytes in the header line are not the header.
    EXPECT_EQ(load(std::string(kHeaderLine) + std::string(1, '\0') + "\n[A]\n"), 0);

    // A FIFO and an endless device fail at once; a file far larger than any
    // window's settings fails without being held in memory; the store stays.
    ASSERT_EQ(load(std::string(kHeaderLine) + "\n[KEEP]\nk=1\n"), 1);
    const std::string fifo = dir.file("fifo.spe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadSettingFile(fifo.c_str()), 0);
    EXPECT_EQ(LoadSettingFile("/dev/zero"), 0);
    EXPECT_EQ(load(std::string(kHeaderLine) + "\n[BIG]\n" + std::string(80 << 20, 'b')), 0);
    EXPECT_EQ(value("KEEP", "k"), "1");
}
