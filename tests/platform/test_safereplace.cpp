// Safe replacement of files: what a save keeps of the target (permission bits,
// symbolic links) and what it refuses (read-only files, folders), always with
// the target untouched and no temporary file left on failure.
#include "platform/cfile.h"
#include "platform/safereplace.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Saves text through a CFile opened for safe replacement.
bool Save(const std::string& path, const std::string& text) {
    CFile f;
    if (!f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace))
        return false;
    f.Write(text.data(), static_cast<UINT>(text.size()));
    return f.Close() != FALSE;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace

TEST(SafeReplace, TheTargetKeepsItsPermissionBitsAndANewFileFollowsTheUmask) {
    TempDir dir;
    const std::string path = dir.file("kept.txt");
    WriteWholeFile(path, "old");
    for (mode_t mode : {0600, 0640, 0604, 0660, 0755}) {
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(Save(path, "new"));
        EXPECT_EQ(Mode(path), mode) << std::oct << mode;
    }
    const mode_t old = umask(027);
    EXPECT_TRUE(Save(dir.file("fresh.txt"), "x"));
    umask(old);
    EXPECT_EQ(Mode(dir.file("fresh.txt")), 0640u);
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"kept.txt", "fresh.txt"}));
}

TEST(SafeReplace, AReadOnlyTargetOrAFolderIsRefusedAndLeftAsItWas) {
    TempDir dir;
    const std::string path = dir.file("locked.txt");
    WriteWholeFile(path, "old");
    // No write bit at all: refused even for a process that could write anyway.
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    CFile f;
    errno = 0;
    EXPECT_FALSE(
        f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(CSafeReplace::WriteFile(path.c_str(), "new", 3));
    EXPECT_EQ(ReadWholeFile(path), "old");
    EXPECT_EQ(Mode(path), 0444u);

    ASSERT_TRUE(fs::create_directory(dir.file("folder")));
    errno = 0;
    EXPECT_FALSE(Save(dir.file("folder"), "new"));
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"locked.txt", "folder"}));
    // Writable again: saved.
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    EXPECT_TRUE(Save(path, "new"));
    EXPECT_EQ(ReadWholeFile(path), "new");
}

TEST(SafeReplace, ASymbolicLinkStaysALinkAndTheFileItNamesIsReplaced) {
    TempDir dir;
    ASSERT_TRUE(fs::create_directory(dir.file("real")));
    const std::string real = dir.file("real/data.txt");
    WriteWholeFile(real, "old");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    // A relative link, and a link to that link.
    fs::create_symlink("real/data.txt", dir.file("link"));
    fs::create_symlink(dir.file("link"), dir.file("link2"));
    ASSERT_TRUE(Save(dir.file("link2"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link2")));
    EXPECT_EQ(ReadWholeFile(real), "new");
    EXPECT_EQ(Mode(real), 0640u);
    // The temporary file was made beside the real file, and is gone.
    EXPECT_EQ(Names(dir.file("real")), std::set<std::string>{"data.txt"});
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"real", "link", "link2"}));

    // A link to a file still to come creates that file.
    fs::create_symlink("real/later.txt", dir.file("later"));
    ASSERT_TRUE(Save(dir.file("later"), "later"));
    EXPECT_TRUE(fs::is_symlink(dir.file("later")));
    EXPECT_EQ(ReadWholeFile(dir.file("real/later.txt")), "later");

    // A link to a read-only file is refused like the file itself.
    ASSERT_EQ(chmod(real.c_str(), 0444), 0);
    EXPECT_FALSE(Save(dir.file("link"), "refused"));
    EXPECT_EQ(ReadWholeFile(real), "new");

    // A loop of links is a failure, not a hang.
    fs::create_symlink("loopB", dir.file("loopA"));
    fs::create_symlink("loopA", dir.file("loopB"));
    errno = 0;
    EXPECT_FALSE(Save(dir.file("loopA"), "x"));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(fs::is_symlink(dir.file("loopA")));
}

TEST(SafeReplace, ADiscardedOrFailedReplacementLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("data.txt");
    WriteWholeFile(path, "old");
    {
        CSafeReplace replace;
        const int fd = replace.Begin(path.c_str());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "new", 3), 3);
        close(fd);
        EXPECT_EQ(Names(dir.path()).size(), 2u); // the temporary file beside it
    }                                            // never committed
    EXPECT_EQ(ReadWholeFile(path), "old");
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"data.txt"});
    // The folder vanished before the commit: a failure, nothing left.
    ASSERT_TRUE(fs::create_directory(dir.file("sub")));
    CSafeReplace replace;
    const int fd = replace.Begin(dir.file("sub/x").c_str());
    ASSERT_GE(fd, 0);
    close(fd);
    fs::remove_all(dir.file("sub"));
    EXPECT_FALSE(replace.Commit());
    EXPECT_FALSE(replace.IsActive());
    EXPECT_TRUE(CSafeReplace::WriteFile(path.c_str(), "whole", 5));
    EXPECT_EQ(ReadWholeFile(path), "whole");
}
