// Typed values in the application profile: colours, pens, brushes, fonts,
// points, sizes, rectangles, integer arrays, times and spans, each kept as the
// same text as in a setting data file.
#pragma once

#include "platform/cstring.h"
#include "platform/ctime.h"
#include "platform/wintypes.h"

extern "C" {

COLORREF GetProfileRGB(const char* section, const char* key, COLORREF defaultColor);
void WriteProfileRGB(const char* section, const char* key, COLORREF color);
void GetProfileLOGPEN(const char* section, const char* key, LOGPEN* pen);
void WriteProfileLOGPEN(const char* section, const char* key, LOGPEN* pen);
void GetProfileLOGBRUSH(const char* section, const char* key, LOGBRUSH* brush);
void WriteProfileLOGBRUSH(const char* section, const char* key, LOGBRUSH* brush);
void GetProfileLOGFONT(const char* section, const char* key, LOGFONT* font);
void WriteProfileLOGFONT(const char* section, const char* key, LOGFONT* font);
void GetProfilePOINT(const char* section, const char* key, POINT* point);
void WriteProfilePOINT(const char* section, const char* key, POINT* point);
void GetProfileSIZE(const char* section, const char* key, SIZE* size);
void WriteProfileSIZE(const char* section, const char* key, SIZE* size);
void GetProfileRECT(const char* section, const char* key, RECT* rect);
void WriteProfileRECT(const char* section, const char* key, RECT* rect);
int GetProfileINTARRAY(const char* section, const char* key, int* values, int count);
void WriteProfileINTARRAY(const char* section, const char* key, int* values, int count);

} // extern "C"

// Library-internal forms used by the logging parameters (not exported by name).
CTime GetProfileTime(const char* section, const char* key, const CTime& defaultTime);
void WriteProfileTime(const char* section, const char* key, const CTime& time);
CTimeSpan GetProfileTimeSpan(const char* section, const char* key, const CTimeSpan& defaultSpan);
void WriteProfileTimeSpan(const char* section, const char* key, const CTimeSpan& span);
