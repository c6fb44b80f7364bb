// The numeric entry dialog.
#pragma once

extern "C" {
// The entered value; -1 when cancelled.
int NumEntryINT(int value, const char* unit, const char* title);
// The entered value; the largest double when cancelled.
double NumEntryDOUBLE(double value, const char* unit, const char* title);
} // extern "C"
