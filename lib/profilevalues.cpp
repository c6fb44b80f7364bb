// Typed values in the application profile. Each value is kept as the same text
// as in a setting data file; a missing key or a text that does not parse gives
// the documented default of its type.
#include "lib/profilevalues.h"

#include "lib/valuetext.h"
#include "platform/profile.h"

namespace {

// The text every read starts from when the key is missing: it parses as no
// value of any type, so the type's default applies.
constexpr const char* kMissingText = "0";

CString profileText(const char* section, const char* key, const char* missing = kMissingText) {
    return GetProfileString(section, key, missing);
}

void writeText(const char* section, const char* key, const CString& text) {
    WriteProfileString(section, key, text);
}

} // namespace

COLORREF GetProfileRGB(const char* section, const char* key, COLORREF defaultColor) {
    CString text = profileText(section, key, ValueText::FormatRGB(defaultColor));
    COLORREF color = defaultColor;
    return ValueText::ParseRGB(text, &color) ? color : defaultColor;
}

void WriteProfileRGB(const char* section, const char* key, COLORREF color) {
    writeText(section, key, ValueText::FormatRGB(color));
}

void GetProfileLOGPEN(const char* section, const char* key, LOGPEN* pen) {
    if (!pen)
        return;
    if (ValueText::ParseLOGPEN(profileText(section, key), pen))
        return;
    const LOGPEN fallback = ValueText::DefaultPen();
    pen->lopnStyle = fallback.lopnStyle;
    pen->lopnWidth.x = fallback.lopnWidth.x;
    pen->lopnColor = fallback.lopnColor;
}

void WriteProfileLOGPEN(const char* section, const char* key, LOGPEN* pen) {
    if (pen)
        writeText(section, key, ValueText::FormatLOGPEN(*pen));
}

void GetProfileLOGBRUSH(const char* section, const char* key, LOGBRUSH* brush) {
    if (!brush)
        return;
    if (ValueText::ParseLOGBRUSH(profileText(section, key), brush))
        return;
    brush->lbStyle = BS_SOLID;
    brush->lbColor = RGB(255, 255, 255);
    brush->lbHatch = 0;
}

void WriteProfileLOGBRUSH(const char* section, const char* key, LOGBRUSH* brush) {
    if (brush)
        writeText(section, key, ValueText::FormatLOGBRUSH(*brush));
}

void GetProfileLOGFONT(const char* section, const char* key, LOGFONT* font) {
    if (!font)
        return;
    if (!ValueText::ParseLOGFONT(profileText(section, key), font))
        *font = ValueText::FixedSysFont();
}

void WriteProfileLOGFONT(const char* section, const char* key, LOGFONT* font) {
    if (font)
        writeText(section, key, ValueText::FormatLOGFONT(*font));
}

void GetProfilePOINT(const char* section, const char* key, POINT* point) {
    if (point)
        ValueText::ParsePOINT(profileText(section, key), point);
}

void WriteProfilePOINT(const char* section, const char* key, POINT* point) {
    if (point)
        writeText(section, key, ValueText::FormatPOINT(*point));
}

void GetProfileSIZE(const char* section, const char* key, SIZE* size) {
    if (size)
        ValueText::ParseSIZE(profileText(section, key), size);
}

void WriteProfileSIZE(const char* section, const char* key, SIZE* size) {
    if (size)
        writeText(section, key, ValueText::FormatSIZE(*size));
}

void GetProfileRECT(const char* section, const char* key, RECT* rect) {
    if (rect)
        ValueText::ParseRECT(profileText(section, key), rect);
}

void WriteProfileRECT(const char* section, const char* key, RECT* rect) {
    if (rect)
        writeText(section, key, ValueText::FormatRECT(*rect));
}

int GetProfileINTARRAY(const char* section, const char* key, int* values, int count) {
    // A missing key is the empty text: only a count of 0 succeeds then.
    return ValueText::ParseIntArray(profileText(section, key, ""), values, count) ? 1 : 0;
}

void WriteProfileINTARRAY(const char* section, const char* key, int* values, int count) {
    if (count > 0 && !values)
        return;
    writeText(section, key, ValueText::FormatIntArray(values, count));
}

CTime GetProfileTime(const char* section, const char* key, const CTime& defaultTime) {
    CTime time = defaultTime;
    return ValueText::ParseTime(profileText(section, key), &time) ? time : defaultTime;
}

void WriteProfileTime(const char* section, const char* key, const CTime& time) {
    writeText(section, key, ValueText::FormatTime(time));
}

CTimeSpan GetProfileTimeSpan(const char* section, const char* key, const CTimeSpan& defaultSpan) {
    CTimeSpan span = defaultSpan;
    return ValueText::ParseTimeSpan(profileText(section, key), &span) ? span : defaultSpan;
}

void WriteProfileTimeSpan(const char* section, const char* key, const CTimeSpan& span) {
    writeText(section, key, ValueText::FormatTimeSpan(span));
}
