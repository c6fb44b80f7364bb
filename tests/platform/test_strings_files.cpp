// CString edges, CTime/CTimeSpan splitting and CFile text mode and safe replace.
#include "platform/cfile.h"
#include "platform/ctime.h"
#include "testutil.h"

#include <QDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <limits>
#include <vector>

#include <unistd.h>

TEST(CString, SubstringsClampAtBothEnds) {
    CString s("ABCDEF");
    EXPECT_EQ(s.Left(10), "ABCDEF");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Mid(4), "EF");
    EXPECT_EQ(s.Mid(9), "");
    EXPECT_EQ(s.Mid(2, 100), "CDEF");
    EXPECT_EQ(s.Right(2), "EF");
    EXPECT_EQ(s.Find(','), -1);
    EXPECT_EQ(s.Find('D', 4), -1);
    EXPECT_EQ(s.Find("CD"), 2);
    EXPECT_EQ(CString("a,b,c").ReverseFind(','), 3);
}

TEST(CString, FormatGrowsPastTheSmallBuffer) {
    CString s;
    std::string big(1000, 'x');
    s.Format("%s|%d", big.c_str(), 42);
    EXPECT_EQ(s.GetLength(), 1003);
    EXPECT_EQ(s.Right(3), "|42");
    EXPECT_TRUE(CString("abc") != CString("ABC")); // exact, case-sensitive
}

TEST(CTimeSpan, SplitsTruncatingTowardZero) {
    CTimeSpan one(1, 1, 1, 1);
    EXPECT_EQ(one.GetTotalSeconds(), 90061);
    EXPECT_EQ(one.GetDays(), 1);
    EXPECT_EQ(one.GetHours(), 1);
    EXPECT_EQ(one.GetMinutes(), 1);
    EXPECT_EQ(one.GetSeconds(), 1);
    CTimeSpan neg(-3661);
    EXPECT_EQ(neg.GetHours(), -1);
    EXPECT_EQ(neg.GetMinutes(), -1);
    EXPECT_EQ(neg.GetSeconds(), -1);
}

TEST(CTime, LocalFieldsRoundTrip) {
    CTime t(2005, 7, 14, 13, 45, 30);
    EXPECT_EQ(t.GetYear(), 2005);
    EXPECT_EQ(t.GetMonth(), 7);
    EXPECT_EQ(t.GetDay(), 14);
    EXPECT_EQ(t.GetHour(), 13);
    EXPECT_EQ(t.GetMinute(), 45);
    EXPECT_EQ(t.GetSecond(), 30);
    EXPECT_EQ(t.Format("%Y%m%d%H%M%S"), "20050714134530");
}

TEST(CTime, FieldsOutsideTheCalendarAndTimesPastIt) {
    // Any numbers may come from a damaged file: outside the calendar they give
    // time 0 instead of overflowing on the way to mktime.
    for (auto f : std::vector<std::array<int, 6>>{{INT_MIN, 1, 1, 0, 0, 0},
                                                  {INT_MAX, 1, 1, 0, 0, 0},
                                                  {2147483000, 12, 31, 23, 59, 59},
                                                  {2024, INT_MIN, 1, 0, 0, 0},
                                                  {2024, INT_MAX, 1, 0, 0, 0},
                                                  {2024, 13, 1, 0, 0, 0},
                                                  {2024, 1, 0, 0, 0, 0},
                                                  {2024, 1, 1, 24, 0, 0},
                                                  {2024, 1, 1, 0, -1, 0},
                                                  {2024, 1, 1, 0, 0, INT_MAX}})
        EXPECT_EQ(CTime(f[0], f[1], f[2], f[3], f[4], f[5]).GetTime(), 0) << f[0] << "," << f[1];
    EXPECT_EQ(CTime(9999, 12, 31, 0, 0, 0).GetYear(), 9999);
    // A time past the calendar reads as its last year; sums hold at the ends.
    const CTime far(std::numeric_limits<std::time_t>::max());
    EXPECT_EQ(far.GetYear(), 9999);
    EXPECT_EQ((far + CTimeSpan(1)).GetTime(), std::numeric_limits<std::time_t>::max());
    const CTime early(std::numeric_limits<std::time_t>::min());
    EXPECT_EQ((early - CTimeSpan(1)).GetTime(), std::numeric_limits<std::time_t>::min());
    EXPECT_LE(early.GetYear(), 1970);
}

TEST(CStdioFile, TextModeWritesCrLfAndReadsBothLineEnds) {
    TempDir dir;
    std::string path = dir.file("t.txt");
    {
        CStdioFile f;
        ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeText));
        EXPECT_TRUE(f.WriteString("one\ntwo\n"));
        EXPECT_TRUE(f.Close());
    }
    EXPECT_EQ(ReadWholeFile(path), "one\r\ntwo\r\n");

    WriteWholeFile(path, "a\r\nb\nlast-without-newline");
    CStdioFile f;
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeRead | CFile::typeText));
    CString line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "a");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "b");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "last-without-newline");
    EXPECT_FALSE(f.ReadString(line));
}

TEST(CFile, OpenFailuresAreResultsNotExceptions) {
    CFile f;
    EXPECT_FALSE(f.Open("/nonexistent-folder/x.bin", CFile::modeRead));
    EXPECT_FALSE(f.Open("/nonexistent-folder/x.bin", CFile::modeCreate | CFile::modeWrite));
    EXPECT_FALSE(f.Open("", CFile::modeRead));
    EXPECT_EQ(f.Read(nullptr, 10), 0u);
    EXPECT_FALSE(f.Write("x", 1));
}

TEST(CFile, OnlyRegularFilesOpenAndReadingIsBounded) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Neither blocks waiting for the other end, nor reads without end.
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.path()}) {
        CStdioFile f;
        EXPECT_FALSE(f.Open(path.c_str(), CFile::modeRead | CFile::typeText)) << path;
    }
    CFile rw;
    EXPECT_FALSE(rw.Open(fifo.c_str(), CFile::modeReadWrite));
    EXPECT_FALSE(rw.Open(dir.path().c_str(), CFile::modeReadWrite));
    CFile w;
    EXPECT_FALSE(w.Open(fifo.c_str(), CFile::modeCreate | CFile::modeWrite));

    // Past the read limit reading stops and the file counts as failed; what was
    // read before stays bounded by it.
    const std::string path = dir.file("big.txt");
    WriteWholeFile(path, std::string(100, 'x') + "\n" + std::string(5000, 'y'));
    CStdioFile f;
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeRead | CFile::typeText));
    f.SetReadLimit(1000);
    CString line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line.GetLength(), 100);
    EXPECT_FALSE(f.HasFailed());
    EXPECT_FALSE(f.ReadString(line));
    EXPECT_TRUE(f.HasFailed());
    CFile raw;
    ASSERT_TRUE(raw.Open(path.c_str(), CFile::modeRead));
    raw.SetReadLimit(2000);
    std::string buf(8000, '\0');
    EXPECT_EQ(raw.Read(buf.data(), 8000), 2000u);
    EXPECT_TRUE(raw.HasFailed());
    // Within the limit a whole file is no failure.
    CFile whole;
    ASSERT_TRUE(whole.Open(path.c_str(), CFile::modeRead));
    EXPECT_EQ(whole.Read(buf.data(), 8000), 5101u);
    EXPECT_FALSE(whole.HasFailed());
}

TEST(CFile, SafeReplaceKeepsTheOldFileUntilCommitted) {
    TempDir dir;
    std::string path = dir.file("data.txt");
    WriteWholeFile(path, "old");
    {
        CFile f;
        ASSERT_TRUE(
            f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace));
        f.Write("new content", 11);
        EXPECT_EQ(ReadWholeFile(path), "old"); // not visible before Close
        f.Abort();
    }
    EXPECT_EQ(ReadWholeFile(path), "old");
    {
        CFile f; // destroyed while open: discarded
        ASSERT_TRUE(
            f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace));
        f.Write("half", 4);
    }
    EXPECT_EQ(ReadWholeFile(path), "old");
    CFile f;
    ASSERT_TRUE(
        f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace));
    f.Write("new", 3);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(ReadWholeFile(path), "new");
    // No temporary files are left behind.
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).size(), 1);
}

TEST(CFile, SafeReplaceReportsAFullDisk) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    // Writing into /dev/full fails at flush; the failure must be reported, not swallowed.
    CFile f;
    ASSERT_TRUE(f.Open("/dev/full", CFile::modeWrite | CFile::modeNoTruncate));
    std::string block(1 << 16, 'x');
    f.Write(block.data(), static_cast<UINT>(block.size()));
    EXPECT_FALSE(f.Close());
}
