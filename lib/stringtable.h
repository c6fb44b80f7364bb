// The string table: 3000 texts read from the table file at start-up. Program
// texts lie below the base (2500); library string n is entry base + n.
#pragma once

#include "platform/cstring.h"
#include "platform/wintypes.h"

extern "C" {
// Loads the table (and then the 64 channel category colours). 1 if the file was read.
int InitializeTorvelLibDLL(const char* tableFile, int base);
// Entry index, or null outside 0..2999.
const char* GetTorvelString(int index);
} // extern "C"

// Library string n (entry base + n); "NotEntry" when that lies outside the table.
const char* GetLibraryString(int n);
// The same, but null when entry base + n lies outside the table.
const char* FindLibraryString(int n);

// A printf format from the string table is used only when its conversions are
// exactly those the caller passes; `shape` lists them in order, one letter per
// argument: 'd' int (d i u x X o c), 'f' double (f e g E G), 's' string. "%%" is
// allowed anywhere. Otherwise the fallback (a built-in format of the same shape)
// is returned, so a damaged table file can never crash the program.
const char* CheckedFormat(const char* format, const char* shape, const char* fallback);
// The same for a string-table entry.
const char* GetTorvelFormat(int index, const char* shape, const char* fallback);

// Library style services: font, pen and colour described by library string n.
LOGFONT GetLibraryStyleFont(int n);
LOGPEN GetLibraryStylePen(int n);
COLORREF GetLibraryStyleColor(int n, COLORREF unchanged);
