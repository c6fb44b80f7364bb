#include "datafiles.h"

#include "platform/cfile.h"

CString ResolveDataFile(const CString& name) {
    if (name.IsEmpty() || name[0] == '/' || FileExists(name))
        return name;
    for (const char* dir : {TORVEL_DATA_DIR, TORVEL_SOURCE_RESOURCES}) {
        CString candidate = CString(dir) + "/" + name;
        if (FileExists(candidate))
            return candidate;
    }
    return name;
}
