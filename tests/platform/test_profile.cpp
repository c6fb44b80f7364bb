// The application profile: Windows private-profile meaning, coalesced flushes
// and crash-safe replacement of the file.
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
struct ProfileFixture : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("TORVEL.INI");
    void SetUp() override { SetProfileFile(path.c_str()); }
    void TearDown() override {
        FlushProfile();
        SetProfileFile(nullptr);
    }
};
} // namespace

TEST_F(ProfileFixture, ValuesSurviveARoundTripThroughTheFile) {
    WriteProfileString("MAIN_FRAME", "TableFile", "Torvel.txt");
    WriteProfileInt("WINDOW", "StartMode", -3);
    WriteProfileString("WINDOW", "RECT", "100,100,500,500");
    ASSERT_TRUE(FlushProfile());
    SetProfileFile(nullptr);
    SetProfileFile(path.c_str());
    EXPECT_EQ(GetProfileString("MAIN_FRAME", "TableFile", "x"), "Torvel.txt");
    EXPECT_EQ(GetProfileInt("WINDOW", "StartMode", 1), -3);
    EXPECT_EQ(GetProfileString("WINDOW", "RECT"), "100,100,500,500");
    EXPECT_EQ(GetProfileString("WINDOW", "Missing", "dflt"), "dflt");
}

TEST_F(ProfileFixture, WindowsMeaningOfNamesValuesAndDeletion) {
    WriteWholeFile(path, "; comment\r\n[Window]\r\n  Max = 7 \r\nQuoted=\"a b \"\r\nHex=0x10\r\n"
                         "Bad=abc\r\nMax=9\r\n[Other]\r\nk=v\r\n");
    SetProfileFile(path.c_str());
    EXPECT_EQ(GetProfileInt("WINDOW", "MAX", 0), 7); // names ignore case; the first key wins
    EXPECT_EQ(GetProfileString("window", "quoted"), "a b ");
    EXPECT_EQ(GetProfileInt("Window", "Hex", 0), 16);
    EXPECT_EQ(GetProfileInt("Window", "Bad", 5), 0); // present but not a number
    WriteProfileString("Window", "Max", nullptr);
    EXPECT_EQ(GetProfileInt("Window", "Max", -1), -1);
    WriteProfileString("Other", nullptr, nullptr);
    EXPECT_EQ(GetProfileString("Other", "k", "gone"), "gone");
    EXPECT_FALSE(WriteProfileString("Other", "k", "two\nlines"));
}

TEST_F(ProfileFixture, AThousandWritesInOneTurnCostOneFileWrite) {
    PumpEvents();
    unsigned long before = ProfileFileWriteCount();
    for (int i = 0; i < 1000; ++i)
        WriteProfileInt("MANY", ("Key" + std::to_string(i)).c_str(), i);
    EXPECT_EQ(ProfileFileWriteCount(), before); // nothing written within the turn
    PumpEvents();
    EXPECT_EQ(ProfileFileWriteCount(), before + 1);
    EXPECT_NE(ReadWholeFile(path).find("Key999=999"), std::string::npos);
}

TEST_F(ProfileFixture, AKillDuringFlushLeavesTheOldOrTheNewFile) {
    // The old file has a recognisable content; children rewrite it with a large
    // new content and are killed at various moments of their flush.
    WriteProfileString("S", "Gen", "old");
    ASSERT_TRUE(FlushProfile());
    const std::string oldText = ReadWholeFile(path);
    std::string newText;
    for (int delay = 0; delay < 12; ++delay) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SetProfileFile(path.c_str());
            const std::string filler(40, 'v');
            for (int i = 0; i < 5000; ++i)
                WriteProfileString("BIG", ("Key" + std::to_string(i)).c_str(), filler.c_str());
            for (int round = 0;; ++round) {
                WriteProfileInt("S", "Gen", round);
                FlushProfile();
            }
        }
        usleep(static_cast<useconds_t>(delay * 3000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        std::string now = ReadWholeFile(path);
        bool isOld = now == oldText;
        bool isComplete = now.find("Gen=") != std::string::npos &&
                          now.find("Key4999=") != std::string::npos &&
                          now.back() == '\n';
        EXPECT_TRUE(isOld || isComplete) << "torn profile after " << delay * 3 << " ms";
    }
}
