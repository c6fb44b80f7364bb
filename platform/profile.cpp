#include "profile.h"

#include "cfile.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string key;
    std::string value;
};
struct Section {
    std::string name;
    std::vector<Entry> entries;
};

bool sameName(const std::string& a, const char* b) {
    size_t n = a.size();
    for (size_t i = 0; i < n; ++i) {
        if (b[i] == '\0')
            return false;
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return b[n] == '\0';
}

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
        m_sections.clear();
        m_dirty = false;
        load();
    }
    CString file() {
        std::lock_guard lock(m_mutex);
        return CString(m_path);
    }

    bool get(const char* section, const char* key, std::string& out) {
        std::lock_guard lock(m_mutex);
        Section* s = find(section);
        if (!s || !key)
            return false;
        for (const Entry& e : s->entries) {
            if (sameName(e.key, key)) {
                out = e.value;
                return true;
            }
        }
        return false;
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
                    m_sections.erase(m_sections.begin() + (s - m_sections.data()));
                    m_dirty = true;
                }
            } else {
                if (!s) {
                    if (!value)
                        return true;
                    m_sections.push_back({trimmed(section), {}});
                    s = &m_sections.back();
                }
                auto it = s->entries.begin();
                for (; it != s->entries.end(); ++it)
                    if (sameName(it->key, key))
                        break;
                if (!value) {
                    if (it != s->entries.end())
                        s->entries.erase(it);
                } else if (it != s->entries.end()) {
                    if (it->value == value)
                        return true;
                    it->value = value;
                } else {
                    s->entries.push_back({trimmed(key), value});
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
        for (Section& s : m_sections)
            if (sameName(s.name, name))
                return &s;
        return nullptr;
    }

    void load() {
        CStdioFile f;
        if (m_path.empty() || !f.Open(m_path.c_str(), CFile::modeRead | CFile::typeText))
            return;
        CString line;
        Section* current = nullptr;
        while (f.ReadString(line)) {
            std::string t = trimmed(line.str());
            if (t.empty() || t[0] == ';')
                continue;
            if (t[0] == '[') {
                size_t close = t.find(']');
                std::string name = trimmed(t.substr(1, close == std::string::npos ? std::string::npos
                                                                                : close - 1));
                current = find(name.c_str());
                if (!current) {
                    m_sections.push_back({name, {}});
                    current = &m_sections.back();
                }
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
            bool found = false;
            for (const Entry& e : current->entries)
                found = found || sameName(e.key, key.c_str());
            if (!found) // the first of repeated keys is the one Windows finds
                current->entries.push_back({key, value});
        }
    }

    bool flushLocked() {
        m_flushScheduled = false;
        if (!m_dirty || m_path.empty())
            return true;
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
        QMetaObject::invokeMethod(app, [this] { flush(); }, Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    std::string m_path;
    std::vector<Section> m_sections;
    bool m_dirty = false;
    bool m_flushScheduled = false;
    std::atomic<unsigned long> m_writes{0};
};

Profile& profile() {
    static Profile p;
    return p;
}

} // namespace

void SetProfileFile(const char* path) { profile().setFile(path); }
CString GetProfileFile() { return profile().file(); }

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

BOOL FlushProfile() { return profile().flush() ? TRUE : FALSE; }
unsigned long ProfileFileWriteCount() { return profile().writes(); }
