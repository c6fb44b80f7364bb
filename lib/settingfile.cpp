// The process-wide setting store and the setting data file it is saved to and
// loaded from. Sections and entries keep their insertion order (the order of
// writing); a hash index per store and per section keeps lookups constant-time,
// so a workspace file of tens of thousands of entries loads and reads quickly.
#include "lib/settingfile.h"

#include "lib/valuetext.h"
#include "platform/cfile.h"

#include <algorithm>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::string_view kHeader = "Torvel Version2 Setting Data File";
// Lines on disk end CR LF (the file is a text file of the Windows tradition).
constexpr std::string_view kLineEnd = "\r\n";
// A setting data file larger than this is refused: it cannot be one window's
// settings, and reading it would only fill the memory.
constexpr std::int64_t kMaxFileBytes = std::int64_t{64} << 20;
// Largest piece handed to one CFile::Write call.
constexpr size_t kWriteChunk = 1u << 20;

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
// Position of a name in its ordered list, found by exact byte comparison.
using NameIndex = std::unordered_map<std::string, size_t, TextHash, std::equal_to<>>;

struct Entry {
    std::string key;
    std::string value;
};

class Section {
public:
    explicit Section(std::string_view name) : m_name(name) {}

    const std::string& name() const { return m_name; }
    const std::vector<Entry>& entries() const { return m_entries; }

    const std::string* find(std::string_view key) const {
        auto it = m_index.find(key);
        return it == m_index.end() ? nullptr : &m_entries[it->second].value;
    }

    // An existing key keeps its position and takes the new value; a new key is
    // appended.
    void set(std::string_view key, std::string_view value) {
        auto it = m_index.find(key);
        if (it != m_index.end()) {
            m_entries[it->second].value.assign(value);
            return;
        }
        m_index.emplace(std::string(key), m_entries.size());
        m_entries.push_back({std::string(key), std::string(value)});
    }

private:
    std::string m_name;
    std::vector<Entry> m_entries;
    NameIndex m_index;
};

class SettingStore {
public:
    void clear() {
        m_sections.clear();
        m_index.clear();
    }

    void swap(SettingStore& other) {
        m_sections.swap(other.m_sections);
        m_index.swap(other.m_index);
    }

    const Section* find(std::string_view name) const {
        auto it = m_index.find(name);
        return it == m_index.end() ? nullptr : &m_sections[it->second];
    }

    // The section of that name, appended at the end when there is none. The
    // reference stays valid while sections are added (a deque never moves them).
    Section& open(std::string_view name) {
        auto it = m_index.find(name);
        if (it != m_index.end())
            return m_sections[it->second];
        m_index.emplace(std::string(name), m_sections.size());
        return m_sections.emplace_back(name);
    }

    const std::string* lookup(std::string_view section, std::string_view key) const {
        const Section* s = find(section);
        return s ? s->find(key) : nullptr;
    }

    // The whole file: header, then every section and its entries in order.
    std::string serialize() const {
        std::string out;
        out.append(kHeader).append(kLineEnd);
        for (const Section& s : m_sections) {
            out.append("[").append(s.name()).append("]").append(kLineEnd);
            for (const Entry& e : s.entries())
                out.append(e.key).append("=").append(e.value).append(kLineEnd);
        }
        return out;
    }

private:
    std::deque<Section> m_sections;
    NameIndex m_index;
};

// The library's one store, from load to unload.
SettingStore& store() {
    static SettingStore s;
    return s;
}

// Whether key=value written as one line reads back as the same pair: no line
// break anywhere, no "=" in the key (the first "=" splits the line), and not a
// line that would read as a section header.
bool representable(std::string_view key, std::string_view value) {
    if (key.find_first_of("\r\n=") != std::string_view::npos ||
        value.find_first_of("\r\n") != std::string_view::npos)
        return false;
    bool startsLikeHeader = !key.empty() && key.front() == '[';
    bool endsLikeHeader = !value.empty() && value.back() == ']';
    return !(startsLikeHeader && endsLikeHeader);
}

int setText(const char* section, const char* key, std::string_view text) {
    if (!section || !key)
        return 0;
    std::string_view name(section);
    if (name.find_first_of("\r\n") != std::string_view::npos || !representable(key, text))
        return 0;
    store().open(name).set(key, text);
    return 1;
}

const std::string* findText(const char* section, const char* key) {
    if (!section || !key)
        return nullptr;
    return store().lookup(section, key);
}

// Reads a value with a ValueText parser; the out-parameter changes only on success.
template <typename T>
int getParsed(const char* section, const char* key, T* value, bool (*parse)(const char*, T*)) {
    const std::string* text = findText(section, key);
    if (!text || !value)
        return 0;
    return parse(text->c_str(), value) ? 1 : 0;
}

} // namespace

int LoadSettingFile(CString path) {
    CStdioFile file;
    if (!file.Open(path, CFile::modeRead | CFile::typeText))
        return 0;
    file.SetReadLimit(kMaxFileBytes);
    CString line;
    if (!file.ReadString(line) || std::string_view(line.str()) != kHeader)
        return 0;

    // Built aside and swapped in at the end; lines before the first header
    // belong to the section with the empty name.
    SettingStore loaded;
    Section* current = nullptr;
    while (file.ReadString(line)) {
        std::string_view s(line.str());
        if (s.size() >= 2 && s.front() == '[' && s.back() == ']') {
            current = &loaded.open(s.substr(1, s.size() - 2));
            continue;
        }
        if (!current)
            current = &loaded.open("");
        size_t eq = s.find('=');
        if (eq == std::string_view::npos)
            current->set("", s);
        else
            current->set(s.substr(0, eq), s.substr(eq + 1));
    }
    if (file.HasFailed())
        return 0; // a read error, or far larger than any window's settings
    store().swap(loaded);
    return 1;
}

int WriteSettingFileObject(CString path) {
    // Written to a temporary file and renamed over the target only when every
    // write succeeded, so a full disk leaves an earlier file as it was.
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary |
                             CFile::modeSafeReplace))
        return 0;
    const std::string out = store().serialize();
    for (size_t pos = 0; pos < out.size(); pos += kWriteChunk) {
        size_t n = std::min(kWriteChunk, out.size() - pos);
        if (!file.Write(out.data() + pos, static_cast<UINT>(n))) {
            file.Abort();
            return 0;
        }
    }
    return file.Close() ? 1 : 0;
}

void ReleaseSettingFileObject() {
    store().clear();
}

int GetSettingFileINT(const char* section, const char* key, int* value) {
    const std::string* text = findText(section, key);
    int v = 0;
    if (!text || !value || !ValueText::ScanInt(text->c_str(), &v))
        return 0;
    *value = v;
    return 1;
}

int WriteSettingFileINT(const char* section, const char* key, int value) {
    return setText(section, key, std::to_string(value));
}

int GetSettingFileSTRING(const char* section, const char* key, CString& value) {
    const std::string* text = findText(section, key);
    if (!text)
        return 0;
    value = CString(*text);
    return 1;
}

int WriteSettingFileSTRING(const char* section, const char* key, CString& value) {
    return setText(section, key, value.str());
}

int GetSettingFileRGB(const char* section, const char* key, COLORREF* value) {
    return getParsed(section, key, value, &ValueText::ParseRGB);
}

int WriteSettingFileRGB(const char* section, const char* key, COLORREF value) {
    return setText(section, key, ValueText::FormatRGB(value).str());
}

int GetSettingFileLOGPEN(const char* section, const char* key, LOGPEN* value) {
    return getParsed(section, key, value, &ValueText::ParseLOGPEN);
}

int WriteSettingFileLOGPEN(const char* section, const char* key, LOGPEN* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatLOGPEN(*value).str());
}

int GetSettingFileLOGBRUSH(const char* section, const char* key, LOGBRUSH* value) {
    return getParsed(section, key, value, &ValueText::ParseLOGBRUSH);
}

int WriteSettingFileLOGBRUSH(const char* section, const char* key, LOGBRUSH* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatLOGBRUSH(*value).str());
}

int GetSettingFileLOGFONT(const char* section, const char* key, LOGFONT* value) {
    return getParsed(section, key, value, &ValueText::ParseLOGFONT);
}

int WriteSettingFileLOGFONT(const char* section, const char* key, LOGFONT* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatLOGFONT(*value).str());
}

int GetSettingFilePOINT(const char* section, const char* key, POINT* value) {
    return getParsed(section, key, value, &ValueText::ParsePOINT);
}

int WriteSettingFilePOINT(const char* section, const char* key, POINT* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatPOINT(*value).str());
}

int GetSettingFileSIZE(const char* section, const char* key, SIZE* value) {
    return getParsed(section, key, value, &ValueText::ParseSIZE);
}

int WriteSettingFileSIZE(const char* section, const char* key, SIZE* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatSIZE(*value).str());
}

int GetSettingFileRECT(const char* section, const char* key, RECT* value) {
    return getParsed(section, key, value, &ValueText::ParseRECT);
}

int WriteSettingFileRECT(const char* section, const char* key, RECT* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatRECT(*value).str());
}

int GetSettingFileTime(const char* section, const char* key, CTime* value) {
    return getParsed(section, key, value, &ValueText::ParseTime);
}

int WriteSettingFileTime(const char* section, const char* key, CTime* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatTime(*value).str());
}

int GetSettingFileTimeSpan(const char* section, const char* key, CTimeSpan* value) {
    return getParsed(section, key, value, &ValueText::ParseTimeSpan);
}

int WriteSettingFileTimeSpan(const char* section, const char* key, CTimeSpan* value) {
    if (!value)
        return 0;
    return setText(section, key, ValueText::FormatTimeSpan(*value).str());
}

int GetSettingFileINTARRAY(const char* section, const char* key, int* values, int count) {
    // A missing key reads as the value "0".
    const std::string* text = findText(section, key);
    return ValueText::ParseIntArray(text ? text->c_str() : "0", values, count) ? 1 : 0;
}

int WriteSettingFileINTARRAY(const char* section, const char* key, int* values, int count) {
    if (count > 0 && !values)
        return 0;
    return setText(section, key, ValueText::FormatIntArray(values, count).str());
}
