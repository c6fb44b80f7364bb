// A text of the string table as the program's widgets take it: UTF-8, empty
// where the table has no entry.
#pragma once

#include "lib/stringtable.h"

#include <QString>

inline QString ProgramText(int index) {
    const char* s = GetTorvelString(index);
    return QString::fromUtf8(s ? s : "");
}
