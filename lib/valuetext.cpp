// Text forms of typed values shared by the setting data file and the profile.
#include "lib/valuetext.h"

#include <cstdint>
#include <cstring>

namespace ValueText {

namespace {

bool isScanBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

BYTE low8(int v) {
    return static_cast<BYTE>(static_cast<unsigned>(v) & 0xFFu);
}

COLORREF colorFrom(int red, int green, int blue) {
    return static_cast<COLORREF>(low8(red)) + static_cast<COLORREF>(low8(green)) * 256u +
           static_cast<COLORREF>(low8(blue)) * 65536u;
}

// Number of bytes of name (of length n) that fit the face-name field without
// splitting a UTF-8 sequence.
size_t faceNameCut(const char* name, size_t n) {
    if (n <= static_cast<size_t>(kMaxFaceName))
        return n;
    size_t cut = static_cast<size_t>(kMaxFaceName);
    // Back off over continuation bytes (10xxxxxx) to the start of the character
    // that would be split.
    size_t k = cut;
    while (k > 0 && (static_cast<unsigned char>(name[k]) & 0xC0u) == 0x80u)
        --k;
    if (k > 0 && k < cut && (static_cast<unsigned char>(name[k]) & 0xC0u) == 0xC0u)
        return k;
    return cut;
}

} // namespace

const char* ScanInt(const char* p, int* value) {
    if (!p)
        return nullptr;
    while (isScanBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return nullptr;
    std::uint32_t magnitude = 0;
    while (*p >= '0' && *p <= '9')
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p++ - '0');
    std::uint32_t bits = negative ? 0u - magnitude : magnitude;
    if (value)
        *value = static_cast<int>(bits);
    return p;
}

int ScanIntList(const char* text, int* values, int count) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != ',')
                return i;
            ++p;
        }
        p = ScanInt(p, &values[i]);
        if (!p)
            return i;
    }
    return count;
}

CString FormatRGB(COLORREF color) {
    CString s;
    s.Format("%d,%d,%d", GetRValue(color), GetGValue(color), GetBValue(color));
    return s;
}

bool ParseRGB(const char* text, COLORREF* color) {
    int v[3];
    if (ScanIntList(text, v, 3) != 3)
        return false;
    *color = colorFrom(v[0], v[1], v[2]);
    return true;
}

CString FormatLOGPEN(const LOGPEN& pen) {
    CString s;
    s.Format("%d,%d,%d,%d,%d", static_cast<int>(pen.lopnStyle), static_cast<int>(pen.lopnWidth.x),
             GetRValue(pen.lopnColor), GetGValue(pen.lopnColor), GetBValue(pen.lopnColor));
    return s;
}

bool ParseLOGPEN(const char* text, LOGPEN* pen) {
    int v[5];
    if (ScanIntList(text, v, 5) != 5)
        return false;
    pen->lopnStyle = static_cast<UINT>(v[0]);
    pen->lopnWidth.x = v[1];
    pen->lopnColor = colorFrom(v[2], v[3], v[4]);
    return true;
}

CString FormatLOGBRUSH(const LOGBRUSH& brush) {
    CString s;
    s.Format("%d,%d,%d,%d,%d", static_cast<int>(brush.lbStyle), static_cast<int>(brush.lbHatch),
             GetRValue(brush.lbColor), GetGValue(brush.lbColor), GetBValue(brush.lbColor));
    return s;
}

bool ParseLOGBRUSH(const char* text, LOGBRUSH* brush) {
    int v[5];
    if (ScanIntList(text, v, 5) != 5)
        return false;
    brush->lbStyle = static_cast<UINT>(v[0]);
    brush->lbHatch = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(v[1]));
    brush->lbColor = colorFrom(v[2], v[3], v[4]);
    return true;
}

CString FormatLOGFONT(const LOGFONT& font) {
    CString s;
    int faceLength = static_cast<int>(strnlen(font.lfFaceName, sizeof font.lfFaceName));
    s.Format("%d,%d,%d,%d,%d,%u,%u,%u,%u,%u,%u,%u,%u,%.*s", static_cast<int>(font.lfHeight),
             static_cast<int>(font.lfWidth), static_cast<int>(font.lfEscapement),
             static_cast<int>(font.lfOrientation), static_cast<int>(font.lfWeight),
             unsigned{font.lfItalic}, unsigned{font.lfUnderline}, unsigned{font.lfStrikeOut},
             unsigned{font.lfCharSet}, unsigned{font.lfOutPrecision},
             unsigned{font.lfClipPrecision}, unsigned{font.lfQuality},
             unsigned{font.lfPitchAndFamily}, faceLength, font.lfFaceName);
    return s;
}

bool ParseLOGFONT(const char* text, LOGFONT* font) {
    int v[13];
    if (ScanIntList(text, v, 13) != 13)
        return false;
    // Thirteen numbers imply twelve commas, so there is a last one.
    const char* face = std::strrchr(text, ',') + 1;
    LOGFONT f = *font;
    f.lfHeight = v[0];
    f.lfWidth = v[1];
    f.lfEscapement = v[2];
    f.lfOrientation = v[3];
    f.lfWeight = v[4];
    f.lfItalic = v[5] != 0 ? 1 : 0;
    f.lfUnderline = v[6] != 0 ? 1 : 0;
    f.lfStrikeOut = v[7] != 0 ? 1 : 0;
    f.lfCharSet = low8(v[8]);
    f.lfOutPrecision = low8(v[9]);
    f.lfClipPrecision = low8(v[10]);
    f.lfQuality = low8(v[11]);
    f.lfPitchAndFamily = low8(v[12]);
    SetFaceName(&f, face, std::strlen(face));
    *font = f;
    return true;
}

CString FormatPOINT(const POINT& point) {
    CString s;
    s.Format("%d,%d", static_cast<int>(point.x), static_cast<int>(point.y));
    return s;
}

bool ParsePOINT(const char* text, POINT* point) {
    int v[2];
    if (ScanIntList(text, v, 2) != 2)
        return false;
    point->x = v[0];
    point->y = v[1];
    return true;
}

CString FormatSIZE(const SIZE& size) {
    return FormatPOINT(POINT{size.cx, size.cy});
}

bool ParseSIZE(const char* text, SIZE* size) {
    POINT p;
    if (!ParsePOINT(text, &p))
        return false;
    size->cx = p.x;
    size->cy = p.y;
    return true;
}

CString FormatRECT(const RECT& rect) {
    CString s;
    s.Format("%d,%d,%d,%d", static_cast<int>(rect.left), static_cast<int>(rect.top),
             static_cast<int>(rect.right), static_cast<int>(rect.bottom));
    return s;
}

bool ParseRECT(const char* text, RECT* rect) {
    int v[4];
    if (ScanIntList(text, v, 4) != 4)
        return false;
    rect->left = v[0];
    rect->top = v[1];
    rect->right = v[2];
    rect->bottom = v[3];
    return true;
}

CString FormatTime(const CTime& time) {
    CString s;
    s.Format("%d,%d,%d,%d,%d,%d", time.GetYear(), time.GetMonth(), time.GetDay(), time.GetHour(),
             time.GetMinute(), time.GetSecond());
    return s;
}

bool ParseTime(const char* text, CTime* time) {
    int v[6];
    if (ScanIntList(text, v, 6) != 6 || !CTime::IsValidDate(v[0], v[1], v[2], v[3], v[4], v[5]))
        return false;
    *time = CTime(v[0], v[1], v[2], v[3], v[4], v[5], -1);
    return true;
}

CString FormatTimeSpan(const CTimeSpan& span) {
    const long long t = span.GetTotalSeconds();
    const long long days = t / 86400;
    const long long hours = t / 3600 - days * 24;
    const long long minutes = t / 60 - (t / 3600) * 60;
    const long long seconds = t % 60;
    CString s;
    s.Format("%lld,%lld,%lld,%lld", days, hours, minutes, seconds);
    return s;
}

bool ParseTimeSpan(const char* text, CTimeSpan* span) {
    int v[4];
    if (ScanIntList(text, v, 4) != 4)
        return false;
    *span = CTimeSpan(v[0], v[1], v[2], v[3]);
    return true;
}

CString FormatIntArray(const int* values, int count) {
    CString s;
    if (!values)
        return s;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            s += ',';
        s.AppendFormat("%d", values[i]);
    }
    return s;
}

bool ParseIntArray(const char* text, int* values, int count) {
    if (count < 0 || (count > 0 && (!text || !values)))
        return false;
    const char* p = text;
    int parsed = 0;
    for (int i = 0; i < count; ++i) {
        p = ScanInt(p, &values[i]);
        if (!p)
            break;
        ++parsed;
        // The reading goes on after the next comma, whatever follows the number.
        if (*p == ',') {
            ++p;
        } else {
            while (*p != '\0' && *p != ',')
                ++p;
            if (*p == ',')
                ++p;
        }
    }
    return parsed == count;
}

bool HasLineBreak(const char* text) {
    return text && std::strpbrk(text, "\r\n") != nullptr;
}

void SetFaceName(LOGFONT* font, const char* name, size_t length) {
    std::memset(font->lfFaceName, 0, sizeof font->lfFaceName);
    if (!name)
        return;
    size_t n = faceNameCut(name, strnlen(name, length));
    std::memcpy(font->lfFaceName, name, n);
}

LOGFONT FixedSysFont() {
    LOGFONT f;
    f.lfHeight = -13; // 10 points at 96 pixels per inch
    f.lfWeight = FW_NORMAL;
    f.lfCharSet = DEFAULT_CHARSET;
    f.lfOutPrecision = OUT_DEFAULT_PRECIS;
    f.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    f.lfQuality = DEFAULT_QUALITY;
    f.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    SetFaceName(&f, "FixedSys", 8);
    return f;
}

LOGPEN DefaultPen() {
    LOGPEN p;
    p.lopnStyle = PS_SOLID;
    p.lopnWidth.x = 1;
    p.lopnWidth.y = 0;
    p.lopnColor = RGB(0, 0, 0);
    return p;
}

} // namespace ValueText
