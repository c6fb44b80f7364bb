#include "safereplace.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Links followed before the target counts as a loop (the kernel's own limit).
constexpr int kMaxLinks = 40;
// Names tried for the temporary file before giving up.
constexpr int kTempAttempts = 100;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path with its symbolic links followed to the file that is to be
// replaced (which may not exist yet: a link may name a file still to come).
bool ResolveLinks(std::string path, std::string* resolved) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return false;
            *resolved = path;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            *resolved = path;
            return true;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n < 0)
            return false;
        if (static_cast<std::size_t>(n) >= link.size()) { // changed while read
            errno = ENAMETOOLONG;
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

// "<target>.XXXXXX" with six random letters or digits.
std::string TempName(const std::string& target) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[6] = {};
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        // Without the kernel's randomness the clock and process still differ.
        const unsigned long mix = static_cast<unsigned long>(getpid()) * 2654435761UL ^
                                  static_cast<unsigned long>(clock());
        for (std::size_t i = 0; i < sizeof random; ++i)
            random[i] = static_cast<unsigned char>(mix >> (i * 5));
    }
    std::string name = target + ".";
    for (unsigned char r : random)
        name += kLetters[r % (sizeof kLetters - 1)];
    return name;
}

} // namespace

int CSafeReplace::Begin(const char* path) {
    Discard();
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    std::string target;
    if (!ResolveLinks(path, &target))
        return -1;

    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return -1;
        }
        if (!S_ISREG(st.st_mode)) {
            errno = EINVAL;
            return -1;
        }
        // A file without any write bit is read-only even for a process that
        // could write it anyway.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            errno = EACCES;
            return -1;
        }
    } else if (errno != ENOENT) {
        return -1;
    }

    int fd = -1;
    std::string temp;
    for (int attempt = 0; attempt < kTempAttempts && fd < 0; ++attempt) {
        temp = TempName(target);
        fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            return -1;
    }
    if (fd < 0)
        return -1;
    if (exists) {
        // The owner first: changing it may clear set-id bits the mode restores.
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only a privileged process may give a file away; not a failure.
        }
        if (fchmod(fd, st.st_mode & 07777) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = error;
            return -1;
        }
    }
    m_targetPath = std::move(target);
    m_tempPath = std::move(temp);
    return fd;
}

bool CSafeReplace::Commit() {
    if (m_tempPath.empty()) {
        errno = EINVAL;
        return false;
    }
    if (std::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
        const int error = errno;
        Discard();
        errno = error;
        return false;
    }
    m_tempPath.clear();
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(FolderOf(m_targetPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
    return true;
}

void CSafeReplace::Discard() {
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

bool CSafeReplace::WriteFile(const char* path, const void* data, std::size_t size) {
    CSafeReplace replace;
    const int fd = replace.Begin(path);
    if (fd < 0)
        return false;
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            p += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    ok = ok && fsync(fd) == 0;
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        errno = error;
        return false;
    }
    return replace.Commit();
}
