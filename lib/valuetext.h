// Text forms of typed values, shared by the setting data file and the typed
// profile functions: both keep colours, pens, brushes, fonts, points, sizes,
// rectangles, times, spans and integer arrays as the same comma-separated texts
// and read them back with the same rules.
//
// Numbers are read the way the C library's "%d" scan reads them: leading
// blanks skipped, an optional sign, at least one digit; a literal comma between
// two numbers must follow the first number at once. A number beyond the int
// range wraps modulo 2^32 (so "%u" and "%d" read the same bits).
//
// Every Parse function returns true only when the whole encoding parsed, and
// writes its out-parameter only then (ParseIntArray excepted, see there).
#pragma once

#include "platform/cstring.h"
#include "platform/ctime.h"
#include "platform/wintypes.h"

namespace ValueText {

// Longest face name a LOGFONT holds, without its terminator.
constexpr int kMaxFaceName = LF_FACESIZE - 1;

// One "%d" at p. Returns the position just after the number, or nullptr when
// no number starts there (after blanks).
const char* ScanInt(const char* p, int* value);
// "%d,%d,..." with count numbers from the start of text, like sscanf: the
// number of values that parsed before the first mismatch.
int ScanIntList(const char* text, int* values, int count);

CString FormatRGB(COLORREF color);
bool ParseRGB(const char* text, COLORREF* color);

// lopnWidth.y is neither written nor read.
CString FormatLOGPEN(const LOGPEN& pen);
bool ParseLOGPEN(const char* text, LOGPEN* pen);

CString FormatLOGBRUSH(const LOGBRUSH& brush);
bool ParseLOGBRUSH(const char* text, LOGBRUSH* brush);

// The face name is the text after the last comma, cut to kMaxFaceName bytes
// (never inside a UTF-8 character).
CString FormatLOGFONT(const LOGFONT& font);
bool ParseLOGFONT(const char* text, LOGFONT* font);

CString FormatPOINT(const POINT& point);
bool ParsePOINT(const char* text, POINT* point);
CString FormatSIZE(const SIZE& size);
bool ParseSIZE(const char* text, SIZE* size);
CString FormatRECT(const RECT& rect);
bool ParseRECT(const char* text, RECT* rect);

// Local calendar fields: year, month 1-12, day, hour, minute, second.
CString FormatTime(const CTime& time);
bool ParseTime(const char* text, CTime* time);
// Days, hours, minutes, seconds of a signed span (truncating division).
CString FormatTimeSpan(const CTimeSpan& span);
bool ParseTimeSpan(const char* text, CTimeSpan* span);

// count values "%d" joined by ","; count 0 gives the empty text.
CString FormatIntArray(const int* values, int count);
// Fills values[0..] from text until count values are read or a number does not
// parse; after each number the reading continues just past the next ",".
// True only when all count values were read; the values read before a stop
// keep their new contents either way.
bool ParseIntArray(const char* text, int* values, int count);

// Whether a text holds a CR or LF, which a one-line-per-value file cannot keep.
bool HasLineBreak(const char* text);

// Copies a face name into a LOGFONT's field, cut to kMaxFaceName bytes.
void SetFaceName(LOGFONT* font, const char* name, size_t length);

// The fallback font of the library's windows: 10-point "FixedSys".
LOGFONT FixedSysFont();
// The fallback pen: solid, width 1, black.
LOGPEN DefaultPen();

} // namespace ValueText
