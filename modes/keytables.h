// The key table of each window kind (1 normal … 7 XPD): every key its core
// reads from the profile, its setting data file and its CSV file, beyond the
// common ones, with the range its code can use (see analysis/keytable.h).
#pragma once

#include "analysis/keytable.h"

// The table of a window kind; kinds outside 1..7 get the common table.
const CKeyTable& KeyTableOf(int kind);
