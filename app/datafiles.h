// Where the program finds its data files: a relative name is looked up in the
// current directory first (the user's own copy of the channel list is written
// there at exit), then in the data folder beside the executable
// (<prefix>/bin/../share/torvel), then in the resources folder of the source
// tree the program was built from, for a run from the build tree.
#pragma once

#include "platform/cstring.h"

#include <QString>

// The installed data folder, found from the executable's own folder.
QString InstalledDataFolder();
// The path to open for name, or name itself when no candidate exists.
CString ResolveDataFile(const CString& name);
