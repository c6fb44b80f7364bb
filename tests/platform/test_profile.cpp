// The application profile: Windows private-profile meaning, coalesced flushes
// and crash-safe replacement of the file.
#include "platform/cfile.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
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
                          now.find("Key4999=") != std::string::npos && now.back() == '\n';
        EXPECT_TRUE(isOld || isComplete) << "torn profile after " << delay * 3 << " ms";
    }
}

TEST_F(ProfileFixture, LargeProfilesLoadWithTheirFirstKeysAndSections) {
    // 100 000 keys in one section and 20 000 sections of two keys: reading
    // them back is linear (a search per key would take minutes).
    std::string text = "[BIG]\n";
    for (int i = 0; i < 100000; ++i)
        text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    text += "key5=repeated\n";
    for (int i = 0; i < 20000; ++i)
        text += "[S" + std::to_string(i) + "]\na=" + std::to_string(i) + "\nb=x\n";
    text += "[s7]\na=again\nc=added\n";
    WriteWholeFile(path, text);
    SetProfileFile(path.c_str());
    EXPECT_TRUE(GetProfileLoadProblem().IsEmpty());
    EXPECT_EQ(GetProfileInt("BIG", "Key99999", -1), 99999);
    EXPECT_EQ(GetProfileString("big", "KEY5"), "5"); // the first of repeated keys
    EXPECT_EQ(GetProfileInt("S19999", "a", -1), 19999);
    EXPECT_EQ(GetProfileString("S7", "a"), "7"); // a repeated section adds its new keys
    EXPECT_EQ(GetProfileString("S7", "c"), "added");
    // Deleting keys and sections keeps the others reachable.
    WriteProfileString("BIG", "Key0", nullptr);
    WriteProfileString("S0", nullptr, nullptr);
    EXPECT_EQ(GetProfileInt("BIG", "Key1", -1), 1);
    EXPECT_EQ(GetProfileInt("S1", "a", -1), 1);
    EXPECT_EQ(GetProfileString("S0", "a", "gone"), "gone");
    ASSERT_TRUE(FlushProfile());
    SetProfileFile(path.c_str());
    EXPECT_EQ(GetProfileString("BIG", "Key0", "gone"), "gone");
    EXPECT_EQ(GetProfileInt("S19999", "a", -1), 19999);
}

namespace {
// The profile's own file, or its copy beside it, still holds the user's text.
bool userTextKept(const std::string& path, const std::string& text) {
    return ReadWholeFile(path) == text || ReadWholeFile(path + ".unreadable") == text;
}
} // namespace

TEST_F(ProfileFixture, AnUndecodableProfileStartsWithDefaultsAndIsKept) {
    const std::string text = std::string("[WINDOW]\nStartMode=3\n\0\0\0garbage\n", 33);
    WriteWholeFile(path, text);
    SetProfileFile(path.c_str());
    EXPECT_NE(GetProfileLoadProblem().Find("could not be read"), -1);
    EXPECT_EQ(GetProfileInt("WINDOW", "StartMode", 1), 1);
    // Moved aside; this run's settings go to a new file.
    EXPECT_EQ(ReadWholeFile(path + ".unreadable"), text);
    WriteProfileInt("WINDOW", "StartMode", 2);
    ASSERT_TRUE(FlushProfile());
    EXPECT_EQ(ReadWholeFile(path), "[WINDOW]\nStartMode=2\n");

    // When every copy name is taken, the file is not touched at all.
    for (int n = 1; n < 10; ++n)
        WriteWholeFile(path + ".unreadable" + std::to_string(n), "older copy");
    WriteWholeFile(path, text);
    SetProfileFile(path.c_str());
    EXPECT_NE(GetProfileLoadProblem().Find("not be saved"), -1);
    WriteProfileInt("WINDOW", "StartMode", 2);
    EXPECT_FALSE(FlushProfile());
    SetProfileFile(nullptr);
    EXPECT_EQ(ReadWholeFile(path), text);
    EXPECT_EQ(ReadWholeFile(path + ".unreadable9"), "older copy");
}

TEST_F(ProfileFixture, AProfileWithoutReadPermissionIsNeverWrittenOver) {
    const std::string text = "[WINDOW]\nStartMode=3\n";
    WriteWholeFile(path, text);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    // Permissions do not stop root from reading: the load then runs with the
    // rights of an ordinary user, who may neither read the file nor write in
    // its folder.
    if (geteuid() == 0) {
        ASSERT_EQ(seteuid(65534), 0);
        SetProfileFile(path.c_str());
        ASSERT_EQ(seteuid(0), 0);
    } else {
        SetProfileFile(path.c_str());
    }
    EXPECT_NE(GetProfileLoadProblem().Find("could not be read"), -1);
    EXPECT_EQ(GetProfileInt("WINDOW", "StartMode", 1), 1);
    WriteProfileInt("WINDOW", "StartMode", 2);
    FlushProfile();
    SetProfileFile(nullptr);
    chmod(path.c_str(), 0600);
    chmod((path + ".unreadable").c_str(), 0600);
    EXPECT_TRUE(userTextKept(path, text));
}

TEST_F(ProfileFixture, AFifoOrAFolderAsProfileDoesNotStopTheStart) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    SetProfileFile(path.c_str()); // returns although no one writes to the FIFO
    EXPECT_NE(GetProfileLoadProblem().Find("not a regular file"), -1);
    EXPECT_EQ(GetProfileInt("WINDOW", "StartMode", 1), 1);
    unlink(path.c_str());
    unlink((path + ".unreadable").c_str());

    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    SetProfileFile(path.c_str());
    EXPECT_FALSE(GetProfileLoadProblem().IsEmpty());
    WriteProfileInt("WINDOW", "StartMode", 2);
    EXPECT_FALSE(FlushProfile());
    SetProfileFile(nullptr);
    EXPECT_TRUE(DirectoryExists(path.c_str()) || DirectoryExists((path + ".unreadable").c_str()));
    rmdir(path.c_str());
}
