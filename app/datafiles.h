// Where the program finds its data files: a relative name is looked up in the
// current directory first, then in the installed data folder, then in the
// resources folder of the source tree the program was built from.
#pragma once

#include "platform/cstring.h"

// The path to open for name, or name itself when no candidate exists.
CString ResolveDataFile(const CString& name);
