// CSafeReplace: replacing a file so that a crash, a full disk or a failed
// write never leaves it torn. Every writer of the program and its library goes
// through it, mostly by opening a CFile with CFile::modeSafeReplace (write,
// then Close() commits, Abort() or destruction discards).
//
// The new content goes into a temporary file in the target's own folder
// ("<name>.XXXXXX"); Commit() syncs it, renames it over the target and syncs
// the folder, so the target is at every moment the complete old or the
// complete new file. A failed or discarded replacement removes the temporary
// file and leaves the target untouched.
//
// The target keeps what the user gave it:
// - a symbolic link is followed (through chains of links) to the file it
//   names, and that file is replaced; the link stays a link;
// - the new file gets the old one's permission bits (and its owner and group
//   when the process may set them); a new file gets 0666 less the umask;
// - a read-only target (no write permission for this process, or no write
//   bit at all) is refused with EACCES before anything is written;
// - a target that exists but is not a regular file (a folder, a device, a
//   FIFO) is refused with EISDIR or EINVAL.
#pragma once

#include <cstddef>
#include <string>

class CSafeReplace {
public:
    CSafeReplace() = default;
    CSafeReplace(const CSafeReplace&) = delete;
    CSafeReplace& operator=(const CSafeReplace&) = delete;
    // A replacement begun and never committed is discarded.
    ~CSafeReplace() { Discard(); }

    // Begins replacing path: the descriptor of the new temporary file, open
    // for reading and writing, or -1 with errno set. The caller writes to it,
    // syncs and closes it (or hands it to fdopen and fclose) before Commit().
    int Begin(const char* path);
    // Renames the written temporary file over the target and syncs the folder.
    // False (errno set, temporary file removed, target untouched) on failure.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

    bool IsActive() const { return !m_tempPath.empty(); }
    // The file that is replaced: the target with its links followed.
    const std::string& TargetPath() const { return m_targetPath; }

    // Writes a whole file at once: true when it was replaced.
    static bool WriteFile(const char* path, const void* data, std::size_t size);

private:
    std::string m_targetPath;
    std::string m_tempPath;
};
