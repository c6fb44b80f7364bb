// Every kind of saved file, written with the program's writer and read back
// with its reader: a save keeps the target's permission bits, writes through a
// symbolic link, and refuses a read-only target; a writer killed at any moment
// leaves the complete old or the complete new file; on a full disk every
// writer reports the failure and leaves the previous file as it was.
#include "savedfiles.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <random>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A writer process with its standard output read line by line.
class WriterProcess {
public:
    explicit WriterProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<std::string> all{SAVE_WRITER};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, SAVE_WRITER, &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fds[0];
    }
    ~WriterProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out >= 0)
            close(m_out);
    }
    bool Started() const { return m_pid > 0; }

    // The next line of output; false at its end or when none comes in 20 s.
    bool ReadLine(std::string& line) {
        for (;;) {
            const size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return true;
            }
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0)
                return false;
            char chunk[256];
            const ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }
    void Kill() { kill(m_pid, SIGKILL); }
    // The exit status (or -signal).
    int Wait() {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

class SavedFiles : public ::testing::TestWithParam<std::string> {
protected:
    const std::string& Kind() const { return GetParam(); }
};

std::string KindName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}

} // namespace

TEST_P(SavedFiles, ASaveKeepsTheModeFollowsLinksAndRefusesAReadOnlyTarget) {
    TempDir dir;
    auto writer = SavedFileWriter::Make(Kind());
    ASSERT_TRUE(writer);
    ASSERT_TRUE(fs::create_directory(dir.file("real")));
    const std::string real = dir.file("real/target");
    ASSERT_TRUE(writer->Write(real, 1));
    EXPECT_EQ(SavedFileWriter::ReadGeneration(Kind(), real), 1);
    ASSERT_EQ(chmod(real.c_str(), 0604), 0);
    fs::create_symlink("real/target", dir.file("link"));

    ASSERT_TRUE(writer->Write(dir.file("link"), 2));
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(SavedFileWriter::ReadGeneration(Kind(), real), 2);
    EXPECT_EQ(Mode(real), 0604u);

    ASSERT_EQ(chmod(real.c_str(), 0444), 0);
    EXPECT_FALSE(writer->Write(real, 3));
    EXPECT_FALSE(writer->Write(dir.file("link"), 3));
    EXPECT_EQ(SavedFileWriter::ReadGeneration(Kind(), real), 2);
    EXPECT_EQ(Mode(real), 0444u);
    EXPECT_EQ(Names(dir.file("real")), std::set<std::string>{"target"});
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"real", "link"}));
}

TEST_P(SavedFiles, OnAFullDiskTheWriterFailsAndThePreviousFileStays) {
    TempDir dir;
    const std::string path = dir.file("target");
    {
        auto writer = SavedFileWriter::Make(Kind());
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->Write(path, 1));
    }
    // Every kind writes far more than this.
    WriterProcess child({Kind(), path, "full", "256", "2"});
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(), 0) << "the writer did not report the failure";
    EXPECT_EQ(SavedFileWriter::ReadGeneration(Kind(), path), 1);
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"target"});
}

TEST_P(SavedFiles, AWriterKilledAtRandomMomentsLeavesTheOldOrTheNewFile) {
    TempDir dir;
    const std::string path = dir.file("target");
    const auto& kinds = SavedFileWriter::Kinds();
    const auto index = std::find(kinds.begin(), kinds.end(), Kind()) - kinds.begin();
    std::mt19937 random(20261207u + static_cast<unsigned>(index));
    constexpr int kRounds = 12;
    int midWrite = 0;
    for (int round = 0; round < kRounds; ++round) {
        WriterProcess child({Kind(), path, "loop"});
        ASSERT_TRUE(child.Started());
        // A few generations written, then a kill at a random moment within
        // about two writes' time.
        const int waitFor = std::uniform_int_distribution<int>(1, 3)(random);
        std::string line;
        int reported = 0;
        long long writeUs = 0;
        while (reported < waitFor) {
            ASSERT_TRUE(child.ReadLine(line)) << "the writer stopped";
            ASSERT_EQ(std::sscanf(line.c_str(), "%d %lld", &reported, &writeUs), 2) << line;
        }
        const auto delay = std::chrono::microseconds(
            std::uniform_int_distribution<long long>(0, 2 * writeUs + 100)(random));
        std::this_thread::sleep_for(delay); // the random moment of the kill
        child.Kill();
        EXPECT_EQ(child.Wait(), -SIGKILL);
        while (child.ReadLine(line))
            std::sscanf(line.c_str(), "%d", &reported);

        const int found = SavedFileWriter::ReadGeneration(Kind(), path);
        EXPECT_TRUE(found == reported || found == reported + 1)
            << "round " << round << ": generation " << found << " after " << reported
            << " were written";
        // A temporary file left behind: the kill came in the middle of a write.
        std::set<std::string> names = Names(dir.path());
        names.erase("target");
        midWrite += names.empty() ? 0 : 1;
        for (const std::string& name : names)
            fs::remove(dir.file(name));
    }
    std::printf("%s: %d of %d kills came in the middle of a write\n", Kind().c_str(), midWrite,
                kRounds);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SavedFiles, ::testing::ValuesIn(SavedFileWriter::Kinds()),
                         KindName);
