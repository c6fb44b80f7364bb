// The application profile: one INI file with Windows private-profile meaning
// (section and key names compared without regard to ASCII case, blanks around
// names and values trimmed on reading, a value in matching quotes unquoted).
//
// The whole file is kept in memory. Writes mark it dirty and schedule one flush
// at the end of the current event-loop turn (or flush at once when no event
// loop exists), so a window that writes hundreds of keys costs one file write.
// A flush writes a temporary file and renames it over the profile, so a crash or
// a full disk never leaves a torn or empty file.
#pragma once

#include "cstring.h"
#include "wintypes.h"

// Points the profile at a file and loads it (a missing file is an empty
// profile). Pending changes to a previous file are flushed first.
//
// A file that is there but cannot be read (no permission, not a regular file,
// NUL bytes, a read error, larger than any profile) also gives an empty
// profile, but it is never written over: it is moved to a free name beside it
// ("TORVEL.INI.unreadable"), or, when that fails, the profile is not written at
// all while it points there. GetProfileLoadProblem() then says so in one line.
void SetProfileFile(const char* path);
CString GetProfileFile();
// Empty when the last SetProfileFile found the file readable or missing.
CString GetProfileLoadProblem();

CString GetProfileString(const char* section, const char* key, const char* defaultValue = "");
// Decimal with optional sign, or hexadecimal after "0x"; text that is not a
// number reads as 0. A missing key gives the default.
int GetProfileInt(const char* section, const char* key, int defaultValue);

// A null key deletes the section, a null value deletes the key. A value with a
// line break cannot be stored and is refused (FALSE).
BOOL WriteProfileString(const char* section, const char* key, const char* value);
BOOL WriteProfileInt(const char* section, const char* key, int value);

// Writes pending changes now. FALSE when the file could not be written (the
// changes stay pending and the previous file stays as it was).
BOOL FlushProfile();
// Number of times the profile file has been written since the process started.
unsigned long ProfileFileWriteCount();
