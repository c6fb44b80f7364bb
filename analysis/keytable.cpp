#include "analysis/keytable.h"

#include "lib/settingfile.h"
#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

// The range of that name among ranges, or null.
template <class Range> const Range* Named(const std::vector<Range>& ranges, const char* key) {
    for (const Range& k : ranges)
        if (std::strcmp(k.key, key) == 0)
            return &k;
    return nullptr;
}

// A table's own ranges followed by those of its base that it does not name.
template <class Range>
std::vector<Range> WithBase(std::vector<Range> own, const std::vector<Range>& base) {
    for (const Range& k : base)
        if (!Named(own, k.key))
            own.push_back(k);
    return own;
}

} // namespace

bool TextKeyRange::Accepts(const CString& value) const {
    const std::string_view text(value.c_str(), static_cast<size_t>(value.GetLength()));
    if (text.size() > static_cast<size_t>(maxLength))
        return false;
    if (form == PortName) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) ||
                   std::string_view("/._:-").find(c) != std::string_view::npos;
        });
    }
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

CKeyTable::CKeyTable(std::initializer_list<KeyRange> keys, const CKeyTable* base)
    : m_keys(keys), m_base(base) {}

CKeyTable::CKeyTable(std::initializer_list<KeyRange> keys,
                     std::initializer_list<TextKeyRange> texts, const CKeyTable* base)
    : m_keys(keys), m_texts(texts), m_base(base) {}

const KeyRange* CKeyTable::Find(const char* key) const {
    const KeyRange* own = Named(m_keys, key);
    return own || !m_base ? own : m_base->Find(key);
}

int CKeyTable::Checked(const char* key, std::int64_t value) const {
    const KeyRange* k = Find(key);
    if (!k)
        return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
    if (value >= k->low && value <= k->high)
        return static_cast<int>(value);
    if (!k->clamp)
        return k->fallback;
    return value < k->low ? k->low : k->high;
}

int CKeyTable::ProfileInt(const char* section, const char* key, int fallback) const {
    return Checked(key, GetProfileInt(section, key, fallback));
}

int CKeyTable::SettingInt(const char* section, const char* key, int* field) const {
    int v = *field;
    const int found = GetSettingFileINT(section, key, &v) ? 1 : 0;
    *field = Checked(key, v);
    return found;
}

const TextKeyRange* CKeyTable::FindText(const char* key) const {
    const TextKeyRange* own = Named(m_texts, key);
    return own || !m_base ? own : m_base->FindText(key);
}

CString CKeyTable::CheckedText(const char* key, const CString& value) const {
    const TextKeyRange* k = FindText(key);
    return !k || k->Accepts(value) ? value : CString(k->fallback);
}

CString CKeyTable::ProfileText(const char* section, const char* key) const {
    const TextKeyRange* k = FindText(key);
    return CheckedText(key, GetProfileString(section, key, k ? k->fallback : ""));
}

int CKeyTable::SettingText(const char* section, const char* key, CString* field) const {
    CString v;
    const int found = GetSettingFileSTRING(section, key, v) ? 1 : 0;
    const TextKeyRange* k = FindText(key);
    if (found && (!k || k->Accepts(v)))
        *field = v;
    else
        *field = CheckedText(key, *field);
    return found;
}

std::vector<TextKeyRange> CKeyTable::TextKeys() const {
    return m_base ? WithBase(m_texts, m_base->TextKeys()) : m_texts;
}

std::vector<KeyRange> CKeyTable::Keys() const {
    return m_base ? WithBase(m_keys, m_base->Keys()) : m_keys;
}

namespace {
constexpr unsigned kProfile = KeyRange::Profile;
constexpr unsigned kSetting = KeyRange::Setting;
constexpr unsigned kBoth = KeyRange::Profile | KeyRange::Setting;
// The longest path the system opens.
constexpr int kMaxPath = 4096;
} // namespace

const CKeyTable& CommonKeyTable() {
    // Attenuation, reference position and RBW index are checked further
    // against the device's facts and the graph's divisions where they are used.
    static const CKeyTable table{
        {
            {"AnalyzeFlag", 0, 1, 0, false, kBoth},
            {"AttValue", 0, 200, 30, true, kBoth},
            {"UnitFlag", 1, 3, 1, false, kBoth},
            {"RefPosition", 0, 100, 9, true, kProfile},
            {"ReferencePosition", 0, 100, 9, true, kSetting},
            {"RBWIndex", -1, 13, 1, false, KeyRange::All},
            {"Scale", 1, 3, 1, false, kProfile},
            {"ScaleFlag", 1, 3, 1, false, kSetting},
            {"OffsetFlag", 0, 1, 0, false, kProfile},
            {"OffsetEnableFlag", 0, 1, 0, false, kSetting},
            {"CatcherRate", -1, 1000000, -1, true, kBoth},
            {"RejectionRate", 0, 1000000, 5, true, kBoth},
            {"CurrentMarkerIndex", 0, 5, 0, false, kSetting},
            {"CurrentTraceIndex", 0, 5, 0, false, kSetting},
            {"MaxHoldFlag", 0, 1, 0, false, kSetting},
            {"MinHoldFlag", 0, 1, 0, false, kSetting},
            {"GlayScaleFlag", 0, 1, 0, false, kSetting},
            {"LoggingTriggerFlag", 0, 1, 0, false, kSetting},
            // The graph: divisions, and the trigger line's height in 12.20 of the graph.
            {"xDivisionNumber", 1, 100, 10, false, kProfile},
            {"yDivisionNumber", 1, 100, 10, false, kProfile},
            {"TriggerPosition", 0, 1 << 20, 1 << 19, true, kProfile},
        },
        {
            // The level-offset file and the logging folder.
            {"OffsetFile", kMaxPath, TextKeyRange::Path, "", kProfile},
            {"OffsetFileName", kMaxPath, TextKeyRange::Path, "", kSetting},
            {"LogTargetDir", kMaxPath, TextKeyRange::Path, "", kSetting},
        }};
    return table;
}
