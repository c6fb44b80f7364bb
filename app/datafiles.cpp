#include "datafiles.h"

#include "platform/cfile.h"

#include <QCoreApplication>
#include <QDir>

QString InstalledDataFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/torvel");
}

CString ResolveDataFile(const CString& name) {
    if (name.IsEmpty() || name[0] == '/' || FileExists(name))
        return name;
    const CString folders[] = {CString(InstalledDataFolder().toUtf8().toStdString()),
                               CString(TORVEL_SOURCE_RESOURCES)};
    for (const CString& dir : folders) {
        CString candidate = dir + "/" + name;
        if (FileExists(candidate))
            return candidate;
    }
    return name;
}
