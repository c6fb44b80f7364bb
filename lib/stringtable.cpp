// The string table (3000 texts read from the table file), the checks that
// make a table text safe to use as a printf format, and the library's style
// font, pen and colour described by library strings.
#include "lib/stringtable.h"

#include "lib/channellist.h"
#include "lib/valuetext.h"
#include "platform/cfile.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 3000;
constexpr const char* kNotEntry = "NotEntry";
// A table file is a few hundred kilobytes; reading stops (and fails) past this.
constexpr std::int64_t kMaxTableBytes = std::int64_t{16} << 20;
// Widths and precisions above this in a table format are refused: they would
// make one formatted text megabytes long.
constexpr int kMaxFieldWidth = 1024;

struct StringTable {
    std::vector<std::string> texts = std::vector<std::string>(kEntries, kNotEntry);
    int base = 0;
};

// Written by InitializeTorvelLibDLL at start-up, read-only afterwards.
StringTable& table() {
    static StringTable t;
    return t;
}

// Reads an optional decimal width or precision at p; false when it is too large.
bool skipFieldWidth(const char*& p) {
    int value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > kMaxFieldWidth)
            return false;
    }
    return true;
}

// The argument kind a conversion takes ('d' int, 'f' double, 's' string), or 0
// when the conversion with that length modifier takes anything else.
char conversionKind(char conversion, const char* length) {
    const bool none = *length == '\0';
    if (std::strchr("diuxXo", conversion))
        // "h" and "hh" still take an int; "l", "ll", "j", "z" and "t" do not.
        return none || !std::strcmp(length, "h") || !std::strcmp(length, "hh") ? 'd' : 0;
    if (conversion == 'c')
        return none ? 'd' : 0;
    if (std::strchr("fFeEgGaA", conversion))
        // "l" has no effect on a floating conversion; "L" would take a long double.
        return none || !std::strcmp(length, "l") ? 'f' : 0;
    if (conversion == 's')
        return none ? 's' : 0;
    return 0;
}

bool formatMatches(const char* format, const char* shape) {
    if (!format || !shape)
        return false;
    for (const char* s = shape; *s; ++s)
        if (*s != 'd' && *s != 'f' && *s != 's')
            return false;
    const char* next = shape;
    const char* p = format;
    while (*p) {
        if (*p++ != '%')
            continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        if (!skipFieldWidth(p))
            return false;
        if (*p == '.') {
            ++p;
            if (!skipFieldWidth(p))
                return false;
        }
        char length[3] = {};
        for (int i = 0; i < 2 && *p && std::strchr("hlLjztq", *p); ++i)
            length[i] = *p++;
        if (*p && std::strchr("hlLjztq", *p))
            return false; // three length letters
        if (*p == '\0')
            return false; // a "%" at the end
        const char kind = conversionKind(*p++, length);
        if (kind == 0 || *next != kind)
            return false; // unknown conversion ("%n", "%*d", "%1$d", ...) or one too many
        ++next;
    }
    return *next == '\0';
}

} // namespace

int InitializeTorvelLibDLL(const char* tableFile, int base) {
    StringTable& t = table();
    t.base = base;
    CStdioFile file;
    if (!tableFile || !file.Open(tableFile, CFile::modeRead | CFile::typeText)) {
        t.texts.assign(kEntries, kNotEntry);
        return 0;
    }
    file.SetReadLimit(kMaxTableBytes);
    std::vector<std::string> texts(kEntries, kNotEntry);
    CString line;
    for (int i = 0; i < kEntries && file.ReadString(line); ++i) {
        const std::string& s = line.str();
        size_t colon = s.find(':');
        texts[i] = colon == std::string::npos ? s : s.substr(colon + 1);
    }
    if (file.HasFailed()) {
        // A read error or a file far larger than a table: not a table file.
        t.texts.assign(kEntries, kNotEntry);
        return 0;
    }
    t.texts.swap(texts);

    // Channel category colours: the channel list loads its 64 category colours
    // from the freshly read table here, before success is reported.
    LoadChannelCategoryColors();

    return 1;
}

const char* GetTorvelString(int index) {
    if (index < 0 || index >= kEntries)
        return nullptr;
    return table().texts[static_cast<size_t>(index)].c_str();
}

const char* FindLibraryString(int n) {
    const long long index = static_cast<long long>(table().base) + n;
    if (index < 0 || index >= kEntries)
        return nullptr;
    return GetTorvelString(static_cast<int>(index));
}

const char* GetLibraryString(int n) {
    const char* text = FindLibraryString(n);
    return text ? text : kNotEntry;
}

const char* CheckedFormat(const char* format, const char* shape, const char* fallback) {
    return formatMatches(format, shape) ? format : fallback;
}

const char* GetTorvelFormat(int index, const char* shape, const char* fallback) {
    return CheckedFormat(GetTorvelString(index), shape, fallback);
}

LOGFONT GetLibraryStyleFont(int n) {
    LOGFONT font = ValueText::FixedSysFont();
    if (!ValueText::ParseLOGFONT(GetLibraryString(n), &font))
        font = ValueText::FixedSysFont();
    return font;
}

LOGPEN GetLibraryStylePen(int n) {
    LOGPEN pen = ValueText::DefaultPen();
    if (!ValueText::ParseLOGPEN(GetLibraryString(n), &pen))
        pen = ValueText::DefaultPen();
    return pen;
}

COLORREF GetLibraryStyleColor(int n, COLORREF unchanged) {
    COLORREF color = unchanged;
    return ValueText::ParseRGB(GetLibraryString(n), &color) ? color : unchanged;
}
