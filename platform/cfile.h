// CFile and CStdioFile: files with failure results instead of exceptions.
//
// Text mode (typeText) writes "\n" as CR LF on disk; ReadString accepts CR LF
// and LF. modeSafeReplace writes through CSafeReplace: into a temporary file
// beside the target, renamed over it only when Close() finds every write
// succeeded, so a failed write (full disk, folder gone) or a crash leaves the
// earlier file untouched. Such a save follows symbolic links, keeps the
// target's permission bits and refuses a read-only target at Open.
//
// Only regular files are opened: a FIFO, a device or a folder given as a file
// name fails at Open instead of blocking or reading without end. Reading is
// bounded: past the read limit (or on a read error) reads stop and the file
// counts as failed, so a reader that checks HasFailed() after its loop tells a
// complete file from a cut one.
#pragma once

#include "cstring.h"
#include "safereplace.h"
#include "wintypes.h"

#include <cstdint>
#include <cstdio>
#include <string>

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyNone = 0x0040,
        shareDenyWrite = 0x0020,
        shareExclusive = 0x0010,
        modeNoTruncate = 0x0100,
        modeCreate = 0x1000,
        typeText = 0x4000,
        typeBinary = 0x8000,
        modeSafeReplace = 0x100000,
    };
    enum SeekPosition { begin = SEEK_SET, current = SEEK_CUR, end = SEEK_END };

    // Bytes a file may deliver before reads stop; readers of small files lower it.
    static constexpr std::int64_t kDefaultReadLimit = std::int64_t{256} << 20;

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    // An open safe-replace file that was never closed is discarded, not committed.
    virtual ~CFile();

    virtual BOOL Open(const char* path, unsigned flags);
    // Closes the file. For modeSafeReplace this commits: flush, sync and rename.
    // Returns FALSE when any write failed or the commit failed.
    virtual BOOL Close();
    // Closes a safe-replace file without committing it (the target is untouched).
    void Abort();

    UINT Read(void* buf, UINT count);
    BOOL Write(const void* buf, UINT count);
    std::int64_t Seek(std::int64_t offset, SeekPosition from);
    std::int64_t SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    std::int64_t GetPosition() const;
    std::int64_t GetLength() const;
    BOOL Flush();

    bool IsOpen() const { return m_fp != nullptr; }
    // A write or read failed, or the read limit was passed.
    bool HasFailed() const { return m_failed; }
    void SetReadLimit(std::int64_t bytes) { m_readLimit = bytes; }
    // Counts bytes about to be read against the limit; false (and failed) past it.
    bool TakeReadBudget(std::int64_t bytes);
    const CString& GetFilePath() const { return m_path; }
    std::FILE* Stream() const { return m_fp; }

protected:
    bool isText() const { return (m_flags & typeText) != 0; }
    void markFailed() { m_failed = true; }

private:
    std::FILE* m_fp = nullptr;
    CString m_path;
    CSafeReplace m_replace;
    unsigned m_flags = 0;
    bool m_failed = false;
    std::int64_t m_readLimit = kDefaultReadLimit;
    std::int64_t m_bytesRead = 0;
};

class CStdioFile : public CFile {
public:
    // Longest line ReadString keeps; the rest of a longer line is skipped.
    static constexpr int kMaxLine = 1 << 24;

    CStdioFile() = default;
    CStdioFile(const char* path, unsigned flags) { Open(path, flags); }

    // Reads one line without its line end (LF or CR LF). FALSE at end of file
    // when nothing was read, and at a read error or past the read limit (the
    // file is then marked failed).
    BOOL ReadString(CString& line) { return ReadString(line.str(), kMaxLine, nullptr); }
    // The same with a bound: at most maxLength bytes of the line are kept, the
    // rest is skipped, and *truncated (when given) tells whether that happened.
    BOOL ReadString(std::string& line, int maxLength, bool* truncated);
    // Writes text; in text mode each "\n" becomes CR LF.
    BOOL WriteString(const char* text);
    // The line end as it lies on disk: CR LF in text mode, else LF. A writer
    // that builds its lines in one buffer ends them with this and writes the
    // buffer with Write.
    const char* LineEnd() const { return isText() ? "\r\n" : "\n"; }
};

// Whether a path names an existing directory / regular file.
bool DirectoryExists(const char* path);
bool FileExists(const char* path);
