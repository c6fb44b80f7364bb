#include "cfile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// fopen for mode "rb", "r+b", "wb" or "w+b", but only of a regular file (or, to
// write, a character device such as /dev/null or /dev/full). The descriptor is
// opened without blocking, so a FIFO without a writer cannot stall the open,
// and a truncating open truncates only after the check.
std::FILE* openRegular(const char* path, const char* mode) {
    const bool plus = mode[1] == '+' || mode[2] == '+';
    const bool write = plus || mode[0] == 'w';
    const bool truncate = mode[0] == 'w';
    int oflags = plus ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
    if (truncate)
        oflags |= O_CREAT;
    const int fd = ::open(path, oflags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    const bool known = fstat(fd, &st) == 0;
    const bool regular = known && S_ISREG(st.st_mode);
    std::FILE* fp = nullptr;
    if ((regular || (known && write && S_ISCHR(st.st_mode))) &&
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0 &&
        !(truncate && regular && ftruncate(fd, 0) != 0))
        fp = fdopen(fd, mode);
    if (!fp) {
        const int error = known && !regular ? EINVAL : errno;
        ::close(fd);
        errno = error;
    }
    return fp;
}

} // namespace

CFile::~CFile() {
    if (m_fp)
        Abort();
}

BOOL CFile::Open(const char* path, unsigned flags) {
    if (m_fp)
        Abort();
    m_failed = false;
    m_flags = flags;
    m_path = path ? path : "";
    m_replace.Discard();
    m_bytesRead = 0;
    if (m_path.IsEmpty())
        return FALSE;

    bool write = (flags & (modeWrite | modeReadWrite)) != 0;
    bool create = (flags & modeCreate) != 0;
    if ((flags & modeSafeReplace) && write) {
        const int fd = m_replace.Begin(m_path);
        if (fd < 0)
            return FALSE;
        m_fp = fdopen(fd, "w+b");
        if (!m_fp) {
            const int error = errno;
            ::close(fd);
            m_replace.Discard();
            errno = error;
            return FALSE;
        }
        return TRUE;
    }

    // The modes of fopen: "rb", "r+b" (no create), "wb" / "w+b" (create, truncate).
    const char* mode = "rb";
    if (flags & modeReadWrite)
        mode = create && !(flags & modeNoTruncate) ? "w+b" : "r+b";
    else if (flags & modeWrite)
        mode = create && !(flags & modeNoTruncate) ? "wb" : "r+b";
    m_fp = openRegular(m_path, mode);
    if (!m_fp && create && (flags & modeNoTruncate) && errno == ENOENT)
        m_fp = openRegular(m_path, (flags & modeReadWrite) ? "w+b" : "wb");
    m_bytesRead = 0;
    return m_fp ? TRUE : FALSE;
}

BOOL CFile::Close() {
    if (!m_fp)
        return FALSE;
    bool ok = !m_failed;
    if (std::fflush(m_fp) != 0)
        ok = false;
    if (m_replace.IsActive() && ok && fsync(fileno(m_fp)) != 0)
        ok = false;
    if (std::fclose(m_fp) != 0)
        ok = false;
    m_fp = nullptr;
    if (m_replace.IsActive()) {
        if (ok)
            ok = m_replace.Commit();
        else
            m_replace.Discard();
    }
    return ok ? TRUE : FALSE;
}

void CFile::Abort() {
    if (m_fp)
        std::fclose(m_fp);
    m_fp = nullptr;
    m_replace.Discard();
}

bool CFile::TakeReadBudget(std::int64_t bytes) {
    if (m_bytesRead + bytes > m_readLimit) {
        m_failed = true;
        return false;
    }
    m_bytesRead += bytes;
    return true;
}

UINT CFile::Read(void* buf, UINT count) {
    if (!m_fp || !buf)
        return 0;
    const std::int64_t room = m_readLimit - m_bytesRead;
    const UINT wanted = room < count ? static_cast<UINT>(room > 0 ? room : 0) : count;
    const size_t n = std::fread(buf, 1, wanted, m_fp);
    m_bytesRead += static_cast<std::int64_t>(n);
    if (std::ferror(m_fp) || (n == wanted && wanted < count && std::fgetc(m_fp) != EOF))
        m_failed = true;
    return static_cast<UINT>(n);
}

BOOL CFile::Write(const void* buf, UINT count) {
    if (!m_fp || (!buf && count)) {
        m_failed = true;
        return FALSE;
    }
    if (count && std::fwrite(buf, 1, count, m_fp) != count) {
        m_failed = true;
        return FALSE;
    }
    return TRUE;
}

std::int64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
    if (!m_fp || fseeko(m_fp, static_cast<off_t>(offset), from) != 0)
        return -1;
    return GetPosition();
}

std::int64_t CFile::GetPosition() const {
    return m_fp ? ftello(m_fp) : -1;
}

std::int64_t CFile::GetLength() const {
    if (!m_fp)
        return 0;
    std::fflush(m_fp);
    struct stat st {};
    return fstat(fileno(m_fp), &st) == 0 ? st.st_size : 0;
}

BOOL CFile::Flush() {
    if (!m_fp || std::fflush(m_fp) != 0) {
        m_failed = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CStdioFile::ReadString(std::string& line, int maxLength, bool* truncated) {
    std::FILE* fp = Stream();
    line.clear();
    if (truncated)
        *truncated = false;
    if (!fp)
        return FALSE;
    const size_t limit = maxLength > 0 ? static_cast<size_t>(maxLength) : 0;
    int c = 0;
    bool any = false;
    while ((c = getc_unlocked(fp)) != EOF) {
        if (!TakeReadBudget(1))
            return FALSE;
        any = true;
        if (c == '\n')
            break;
        if (line.size() < limit)
            line.push_back(static_cast<char>(c));
        else if (truncated)
            *truncated = true;
    }
    if (std::ferror(fp)) {
        markFailed();
        return FALSE;
    }
    if (!any)
        return FALSE;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return TRUE;
}

BOOL CStdioFile::WriteString(const char* text) {
    if (!text)
        return TRUE;
    if (!isText())
        return Write(text, static_cast<UINT>(std::char_traits<char>::length(text)));
    // The text between line ends is copied in runs.
    const std::string_view in(text);
    std::string out;
    out.reserve(in.size() + in.size() / 16);
    size_t from = 0;
    for (size_t nl = in.find('\n'); nl != std::string_view::npos; nl = in.find('\n', from)) {
        out.append(in.substr(from, nl - from)).append("\r\n");
        from = nl + 1;
    }
    out.append(in.substr(from));
    return Write(out.data(), static_cast<UINT>(out.size()));
}

bool DirectoryExists(const char* path) {
    struct stat st {};
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const char* path) {
    struct stat st {};
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}
