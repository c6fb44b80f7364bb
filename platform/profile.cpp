#include "profile.h"

#include "cfile.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

// A profile larger than this is not a profile: it is refused as unreadable.
constexpr std::int64_t kMaxProfileBytes = std::int64_t{64} << 20;
// Suffix of the copy kept of a profile that could not be read.
constexpr const char* kUnreadableSuffix = ".unreadable";

struct Entry {
    std::string key;
    std::string value;
};

// The lookup form of a section or key name: blanks around it dropped, ASCII
// letters in lower case.
std::string foldedName(std::string_view name) {
    const size_t b = name.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    std::string folded(name.substr(b, name.find_last_not_of(" \t") - b + 1));
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

// A section keeps its keys in file order, with an index by folded key name so
// that loading and looking up stay linear in the number of keys.
struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, size_t> index;

    Entry* find(const char* key) {
        auto it = index.find(foldedName(key));
        return it == index.end() ? nullptr : &entries[it->second];
    }
    // Appends a key that is not there yet.
    void append(std::string key, std::string value) {
        index.emplace(foldedName(key), entries.size());
        entries.push_back({std::move(key), std::move(value)});
    }
    void erase(const char* key) {
        auto it = index.find(foldedName(key));
        if (it == index.end())
            return;
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(it->second));
        index.clear();
        for (size_t i = 0; i < entries.size(); ++i)
            index.emplace(foldedName(entries[i].key), i);
    }
};

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The process's profile. Reached only from the GUI thread, but guarded so a
// stray call from elsewhere cannot corrupt it.
class Profile {
public:
    ~Profile() { flush(); }

    void setFile(const char* path) {
        std::lock_guard lock(m_mutex);
        flushLocked();
        m_path = path ? path : "";
        clear();
        m_dirty = false;
        m_keepFile = false;
        m_problem.Empty();
        load();
    }
    CString file() {
        std::lock_guard lock(m_mutex);
        return CString(m_path);
    }
    CString problem() {
        std::lock_guard lock(m_mutex);
        return m_problem;
    }

    bool get(const char* section, const char* key, std::string& out) {
        std::lock_guard lock(m_mutex);
        Section* s = find(section);
        if (!s || !key)
            return false;
        const Entry* e = s->find(key);
        if (!e)
            return false;
        out = e->value;
        return true;
    }

    bool write(const char* section, const char* key, const char* value) {
        if (!section)
            return false;
        if (value && (std::string(value).find_first_of("\r\n") != std::string::npos))
            return false;
        {
            std::lock_guard lock(m_mutex);
            Section* s = find(section);
            if (!key) {
                if (s) {
                    eraseSection(s);
                    m_dirty = true;
                }
            } else {
                if (!s) {
                    if (!value)
                        return true;
                    s = appendSection(trimmed(section));
                }
                Entry* e = s->find(key);
                if (!value) {
                    if (e)
                        s->erase(key);
                } else if (e) {
                    if (e->value == value)
                        return true;
                    e->value = value;
                } else {
                    s->append(trimmed(key), value);
                }
                m_dirty = true;
            }
        }
        scheduleFlush();
        return true;
    }

    bool flush() {
        std::lock_guard lock(m_mutex);
        return flushLocked();
    }

    unsigned long writes() const { return m_writes.load(); }

private:
    Section* find(const char* name) {
        if (!name)
            return nullptr;
        auto it = m_sectionIndex.find(foldedName(name));
        return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
    }
    Section* appendSection(std::string name) {
        m_sectionIndex.emplace(foldedName(name), m_sections.size());
        m_sections.push_back({std::move(name), {}, {}});
        return &m_sections.back();
    }
    void eraseSection(Section* s) {
        m_sections.erase(m_sections.begin() + (s - m_sections.data()));
        m_sectionIndex.clear();
        for (size_t i = 0; i < m_sections.size(); ++i)
            m_sectionIndex.emplace(foldedName(m_sections[i].name), i);
    }
    void clear() {
        m_sections.clear();
        m_sectionIndex.clear();
    }

    void load() {
        if (m_path.empty())
            return;
        std::string reason;
        struct stat st {};
        if (::stat(m_path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return; // no profile yet: every value takes its default
            reason = std::strerror(errno);
        } else if (!S_ISREG(st.st_mode)) {
            reason = "it is not a regular file";
        } else {
            reason = readFile();
            if (reason.empty())
                return;
        }
        // The file is there but could not be read: the program starts with the
        // defaults, and the file is never written over. It is moved aside when
        // that can be done without losing it, so this run's settings can be
        // saved; otherwise nothing is written to the profile at all.
        clear();
        const std::string kept = keepUnreadable();
        if (kept.empty()) {
            m_keepFile = true;
            m_problem.Format("%s could not be read (%s); starting with default settings, which "
                             "will not be saved, so the file stays as it is",
                             m_path.c_str(), reason.c_str());
        } else {
            m_problem.Format("%s could not be read (%s); starting with default settings, the "
                             "file was kept as %s",
                             m_path.c_str(), reason.c_str(), kept.c_str());
        }
    }

    // Reads the file into the sections; empty on success, else why it failed.
    std::string readFile() {
        CStdioFile f;
        errno = 0;
        if (!f.Open(m_path.c_str(), CFile::modeRead | CFile::typeText))
            return errno ? std::strerror(errno) : "it cannot be opened";
        f.SetReadLimit(kMaxProfileBytes);
        CString line;
        Section* current = nullptr;
        while (f.ReadString(line)) {
            if (line.str().find('\0') != std::string::npos)
                return "it holds NUL bytes";
            std::string t = trimmed(line.str());
            if (t.empty() || t[0] == ';')
                continue;
            if (t[0] == '[') {
                size_t close = t.find(']');
                std::string name = trimmed(
                    t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
                current = find(name.c_str());
                if (!current)
                    current = appendSection(name);
                continue;
            }
            if (!current)
                continue;
            size_t eq = t.find('=');
            if (eq == std::string::npos)
                continue;
            std::string key = trimmed(t.substr(0, eq));
            std::string value = trimmed(t.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            if (!current->find(key.c_str())) // the first of repeated keys is the one Windows finds
                current->append(std::move(key), std::move(value));
        }
        if (f.HasFailed())
            return "a read failed or it is too large";
        return {};
    }

    // Moves the unreadable profile to a free name beside it (an existing copy is
    // never replaced); the new name, or empty when it could not be moved.
    std::string keepUnreadable() {
        for (int n = 0; n < 10; ++n) {
            std::string name = m_path + kUnreadableSuffix;
            if (n > 0)
                name += std::to_string(n);
            if (::link(m_path.c_str(), name.c_str()) == 0) {
                if (::unlink(m_path.c_str()) == 0)
                    return name;
                ::unlink(name.c_str());
                return {};
            }
            if (errno != EEXIST)
                return {};
        }
        return {};
    }

    bool flushLocked() {
        m_flushScheduled = false;
        if (!m_dirty || m_path.empty())
            return true;
        if (m_keepFile)
            return false;
        std::string out;
        for (const Section& s : m_sections) {
            out += '[' + s.name + "]\n";
            for (const Entry& e : s.entries)
                out += e.key + '=' + e.value + '\n';
        }
        CFile f;
        if (!f.Open(m_path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace))
            return false;
        f.Write(out.data(), static_cast<UINT>(out.size()));
        if (!f.Close())
            return false;
        ++m_writes;
        m_dirty = false;
        return true;
    }

    void scheduleFlush() {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread()) {
            flush();
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_flushScheduled)
                return;
            m_flushScheduled = true;
        }
        QMetaObject::invokeMethod(
            app, [this] { flush(); }, Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    std::string m_path;
    std::vector<Section> m_sections;
    std::unordered_map<std::string, size_t> m_sectionIndex;
    bool m_dirty = false;
    bool m_flushScheduled = false;
    // The file could not be read and could not be moved aside: never written.
    bool m_keepFile = false;
    CString m_problem;
    std::atomic<unsigned long> m_writes{0};
};

Profile& profile() {
    static Profile p;
    return p;
}

} // namespace

void SetProfileFile(const char* path) {
    profile().setFile(path);
}
CString GetProfileFile() {
    return profile().file();
}
CString GetProfileLoadProblem() {
    return profile().problem();
}

CString GetProfileString(const char* section, const char* key, const char* defaultValue) {
    std::string v;
    if (profile().get(section, key, v))
        return CString(v);
    return CString(defaultValue ? defaultValue : "");
}

int GetProfileInt(const char* section, const char* key, int defaultValue) {
    std::string v;
    if (!profile().get(section, key, v))
        return defaultValue;
    const char* p = v.c_str();
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    unsigned long magnitude = std::strtoul(p, nullptr, base);
    if (*p == '-' || *p == '+' || *p == ' ')
        magnitude = 0;
    unsigned int u = static_cast<unsigned int>(magnitude);
    return static_cast<int>(negative ? 0u - u : u);
}

BOOL WriteProfileString(const char* section, const char* key, const char* value) {
    return profile().write(section, key, value) ? TRUE : FALSE;
}

BOOL WriteProfileInt(const char* section, const char* key, int value) {
    return WriteProfileString(section, key, std::to_string(value).c_str());
}

BOOL FlushProfile() {
    return profile().flush() ? TRUE : FALSE;
}
unsigned long ProfileFileWriteCount() {
    return profile().writes();
}
