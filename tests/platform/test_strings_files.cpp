// CString edges, CTime/CTimeSpan splitting and CFile text mode and safe replace.
#include "platform/cfile.h"
#include "platform/ctime.h"
#include "testutil.h"

#include <QDir>

#include <gtest/gtest.h>

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

TEST(CFile, SafeReplaceKeepsTheOldFileUntilCommitted) {
    TempDir dir;
    std::string path = dir.file("data.txt");
    WriteWholeFile(path, "old");
    {
        CFile f;
        ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite |
                                             CFile::modeSafeReplace));
        f.Write("new content", 11);
        EXPECT_EQ(ReadWholeFile(path), "old"); // not visible before Close
        f.Abort();
    }
    EXPECT_EQ(ReadWholeFile(path), "old");
    {
        CFile f; // destroyed while open: discarded
        ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite |
                                             CFile::modeSafeReplace));
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
