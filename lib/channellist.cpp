// The channel list: line format, loading and writing the list file, the
// lookups by index, title, category and frequency, and the category colours.
#include "lib/channellist.h"

#include "lib/profilevalues.h"
#include "lib/stringtable.h"
#include "platform/cfile.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

// "[%04d]:" in front of every line of the file.
constexpr int kPrefixLength = 7;
// Fields of a used slot: title and nine numbers.
constexpr int kFieldCount = 10;
constexpr int kDetectModeTextBase = 60;
constexpr int kCategoryColorSection = 59;

CChannelObject g_channels[kChannelCount];

constexpr std::array<COLORREF, kCategoryColorCount> DefaultCategoryColors() {
    std::array<COLORREF, kCategoryColorCount> colors{};
    for (COLORREF& c : colors)
        c = kDefaultCategoryColor;
    return colors;
}
std::array<COLORREF, kCategoryColorCount> g_categoryColors = DefaultCategoryColors();

COLORREF& CategoryColor(int category) {
    // category & 63 is category modulo 64 for negative categories too.
    return g_categoryColors[static_cast<size_t>(category & (kCategoryColorCount - 1))];
}

// The standard decimal conversion: leading blanks skipped, an optional sign,
// digits up to the first non-digit (none gives 0); kept inside the int range.
int ParseInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL)
            value = 2147483648LL;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        value = 2147483647LL;
    return static_cast<int>(value);
}

// Splits text at commas, skipping empty tokens; at most max tokens.
int Tokenize(std::string_view text, std::string_view* tokens, int max) {
    int count = 0;
    size_t pos = 0;
    while (pos <= text.size() && count < max) {
        size_t comma = text.find(',', pos);
        size_t end = comma == std::string_view::npos ? text.size() : comma;
        if (end > pos)
            tokens[count++] = text.substr(pos, end - pos);
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return count;
}

bool IsUnused(const CChannelObject& channel) {
    return channel.GetTitle() == CChannelObject::kNotEntry;
}

} // namespace

CChannelObject& CChannelObject::operator=(const CChannelObject& other) {
    if (this == &other)
        return *this;
    CBlendObject::operator=(other);
    m_IndexNumber = other.m_IndexNumber;
    m_Title = other.m_Title;
    m_CenterFrequency = other.m_CenterFrequency;
    m_SpanFrequency = other.m_SpanFrequency;
    m_Category = other.m_Category;
    m_DetectMode = other.m_DetectMode;
    m_FineFrequency = other.m_FineFrequency;
    m_AdditionalParam = other.m_AdditionalParam;
    return *this;
}

CChannelObject::~CChannelObject() = default;

CString CChannelObject::GetRawText() const {
    // An empty title cannot be read back (the loader skips empty fields and
    // would take the centre frequency for the title), so such a slot is
    // written as unused.
    if (m_Title == kNotEntry || m_Title.IsEmpty())
        return CString(kNotEntry);
    CString text;
    text.Format("%s,%d,%d,%d,%d,%d,%d,%d,%d,%d", m_Title.c_str(), m_CenterFrequency,
                m_SpanFrequency, GetRValue(m_Color), GetGValue(m_Color), GetBValue(m_Color),
                static_cast<int>(m_Category), static_cast<int>(m_DetectMode), m_FineFrequency,
                m_AdditionalParam);
    return text;
}

bool CChannelObject::HasWritableTitle() const {
    return !m_Title.IsEmpty() && m_Title.Find(',') < 0 && m_Title.Find('\n') < 0;
}

const char* CChannelObject::GetDetectModeText() const {
    if (m_DetectMode < 0)
        return nullptr;
    return FindLibraryString(kDetectModeTextBase + m_DetectMode);
}

COLORREF CChannelObject::GetCategoryColor() const {
    return GetChannelCategoryColor(m_Category);
}

int CChannelObject::IsRange(int frequency) const {
    std::int64_t half = m_SpanFrequency >> 1;
    return (m_CenterFrequency - half <= frequency && frequency <= m_CenterFrequency + half) ? 1 : 0;
}

void CChannelObject::SetxAxisRatio(int low, int high) {
    std::int64_t half = m_SpanFrequency >> 1;
    auto ratio = [low, high](std::int64_t v) {
        if (v < low)
            return 0.0;
        if (v > high)
            return 1.0;
        if (high == low)
            return 0.0;
        return static_cast<double>(v - low) / static_cast<double>(std::int64_t(high) - low);
    };
    SetRatio(ratio(m_CenterFrequency - half), 0.0, ratio(m_CenterFrequency + half), 1.0);
}

void CChannelObject::LoadChannel(CString line, int index) {
    // The slot is the line's position in the file, whatever its fields hold.
    m_IndexNumber = index;
    if (line.GetLength() < kPrefixLength) {
        m_Title = kNotEntry;
        return;
    }
    // The text after the prefix, up to a NUL byte and at most kMaxLineText bytes.
    std::string_view text(line.c_str() + kPrefixLength);
    if (text.size() > static_cast<size_t>(kMaxLineText))
        text = text.substr(0, kMaxLineText);

    std::string_view tokens[kFieldCount];
    int count = Tokenize(text, tokens, kFieldCount);
    m_Title = count > 0 ? CString(tokens[0]) : CString();
    if (count < 1 || m_Title == kNotEntry)
        return;
    if (count > 1)
        m_CenterFrequency = ParseInt(tokens[1]);
    if (count > 2)
        m_SpanFrequency = ParseInt(tokens[2]) & ~1;
    if (count > 5)
        m_Color = RGB(ParseInt(tokens[3]), ParseInt(tokens[4]), ParseInt(tokens[5]));
    if (count > 6)
        m_Category = static_cast<char>(ParseInt(tokens[6]));
    if (count > 7)
        m_DetectMode = static_cast<char>(ParseInt(tokens[7]));
    if (count > 8)
        m_FineFrequency = ParseInt(tokens[8]);
    if (count > 9)
        m_AdditionalParam = ParseInt(tokens[9]);
}

void CChannelObject::CopyChannel(CChannelObject* other) {
    if (!other || other == this)
        return;
    Copy(*other);
    m_IndexNumber = other->m_IndexNumber;
    m_Title = other->m_Title;
    m_CenterFrequency = other->m_CenterFrequency;
    m_SpanFrequency = other->m_SpanFrequency;
    m_Category = other->m_Category;
    m_DetectMode = other->m_DetectMode;
}

int LoadChannelList(const char* path) {
    if (!path || DirectoryExists(path))
        return 0;
    CStdioFile file;
    if (!file.Open(path, CFile::modeRead | CFile::typeText))
        return 0;
    // A list file is some tens of kilobytes; reading stops (and fails) past this.
    file.SetReadLimit(std::int64_t{16} << 20);
    CString line;
    for (int n = 0; n < kChannelCount && file.ReadString(line); ++n)
        g_channels[n].LoadChannel(line, n);
    return file.HasFailed() ? 0 : 1;
}

int WriteChannelList(const char* path) {
    if (!path)
        return 0;
    // A title that would not read back as it stands (a comma splits it) is
    // refused before anything is written: the earlier file stays.
    for (const CChannelObject& channel : g_channels)
        if (!IsUnused(channel) && !channel.GetTitle().IsEmpty() && !channel.HasWritableTitle())
            return 0;
    CStdioFile file;
    if (!file.Open(path,
                   CFile::modeCreate | CFile::modeWrite | CFile::typeText | CFile::modeSafeReplace))
        return 0;
    CString line;
    for (int i = 0; i < kChannelCount; ++i) {
        line.Format("[%04d]:", i);
        line += g_channels[i].GetRawText();
        line += "\n";
        if (!file.WriteString(line)) {
            file.Abort();
            return 0;
        }
    }
    return file.Close() ? 1 : 0;
}

CChannelObject* GetChannelObject(int index) {
    if (index < 0 || index >= kChannelCount)
        return nullptr;
    CChannelObject& channel = g_channels[index];
    return IsUnused(channel) ? nullptr : &channel;
}

int GetChannelIndex(const char* title) {
    if (!title)
        return -1;
    for (int i = 0; i < kChannelCount; ++i)
        if (g_channels[i].GetTitle() == title)
            return i;
    return -1;
}

int GetChannelIndex(int category, const char* title) {
    const char c = static_cast<char>(category);
    for (int i = 0; i < kChannelCount; ++i) {
        const CChannelObject& channel = g_channels[i];
        if (channel.GetCategory() == c && (!title || channel.GetTitle() == title))
            return i;
    }
    return -1;
}

int GetCategoryChannelNum(int category) {
    const char c = static_cast<char>(category);
    int count = 0;
    for (const CChannelObject& channel : g_channels) {
        if (channel.GetCategory() == c)
            ++count;
        else if (count > 0)
            break;
    }
    return count;
}

CChannelObject* SerchChannelObject(int frequency, int category, int byRange) {
    auto matches = [frequency, byRange](const CChannelObject& channel) {
        if (IsUnused(channel))
            return false;
        return byRange ? channel.IsRange(frequency) == 1
                       : channel.GetCenterFrequency() == frequency;
    };
    if (category < 0) {
        for (CChannelObject& channel : g_channels)
            if (matches(channel))
                return &channel;
        return nullptr;
    }
    int first = GetChannelIndex(category, nullptr);
    if (first < 0)
        return nullptr;
    const char c = static_cast<char>(category);
    for (int i = first; i < kChannelCount && g_channels[i].GetCategory() == c; ++i)
        if (matches(g_channels[i]))
            return &g_channels[i];
    return nullptr;
}

COLORREF GetChannelCategoryColor(int category) {
    return CategoryColor(category);
}

COLORREF WriteChannelCategoryColor(int category, COLORREF color) {
    COLORREF& slot = CategoryColor(category);
    COLORREF previous = slot;
    slot = color;
    CString key;
    key.Format("Category_%d_Color", category & (kCategoryColorCount - 1));
    WriteProfileRGB(GetLibraryString(kCategoryColorSection), key, color);
    return previous;
}

void LoadChannelCategoryColors() {
    const char* section = GetLibraryString(kCategoryColorSection);
    CString key;
    for (int i = 0; i < kCategoryColorCount; ++i) {
        key.Format("Category_%d_Color", i);
        CategoryColor(i) = GetProfileRGB(section, key, kDefaultCategoryColor);
    }
    for (int i = 0; i < kCategoryColorCount; ++i) {
        key.Format("Category_%d_Color", i);
        WriteProfileRGB(section, key, CategoryColor(i));
    }
}
