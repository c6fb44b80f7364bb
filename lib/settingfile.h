// The setting data file (".SPE"): one process-wide, in-memory store of ordered
// sections holding ordered key/value texts, written to and loaded from disk in
// the "Torvel Version2 Setting Data File" format, and read and written through
// typed functions that convert each value to and from its text form.
#pragma once

#include "platform/cstring.h"
#include "platform/ctime.h"
#include "platform/wintypes.h"

extern "C" {

int LoadSettingFile(CString path);
int WriteSettingFileObject(CString path);
void ReleaseSettingFileObject();

int GetSettingFileINT(const char* section, const char* key, int* value);
int WriteSettingFileINT(const char* section, const char* key, int value);
int GetSettingFileSTRING(const char* section, const char* key, CString& value);
int WriteSettingFileSTRING(const char* section, const char* key, CString& value);
int GetSettingFileRGB(const char* section, const char* key, COLORREF* value);
int WriteSettingFileRGB(const char* section, const char* key, COLORREF value);
int GetSettingFileLOGPEN(const char* section, const char* key, LOGPEN* value);
int WriteSettingFileLOGPEN(const char* section, const char* key, LOGPEN* value);
int GetSettingFileLOGBRUSH(const char* section, const char* key, LOGBRUSH* value);
int WriteSettingFileLOGBRUSH(const char* section, const char* key, LOGBRUSH* value);
int GetSettingFileLOGFONT(const char* section, const char* key, LOGFONT* value);
int WriteSettingFileLOGFONT(const char* section, const char* key, LOGFONT* value);
int GetSettingFilePOINT(const char* section, const char* key, POINT* value);
int WriteSettingFilePOINT(const char* section, const char* key, POINT* value);
int GetSettingFileSIZE(const char* section, const char* key, SIZE* value);
int WriteSettingFileSIZE(const char* section, const char* key, SIZE* value);
int GetSettingFileRECT(const char* section, const char* key, RECT* value);
int WriteSettingFileRECT(const char* section, const char* key, RECT* value);
int GetSettingFileTime(const char* section, const char* key, CTime* value);
int WriteSettingFileTime(const char* section, const char* key, CTime* value);
int GetSettingFileTimeSpan(const char* section, const char* key, CTimeSpan* value);
int WriteSettingFileTimeSpan(const char* section, const char* key, CTimeSpan* value);
int GetSettingFileINTARRAY(const char* section, const char* key, int* values, int count);
int WriteSettingFileINTARRAY(const char* section, const char* key, int* values, int count);

} // extern "C"
