#include "datafiles.h"

#include "platform/cfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

QStringList GuideFolders() {
    return {QDir::currentPath() + "/Help", InstalledDataFolder() + "/guide"};
}

QString FindGuidePage(const QStringList& folders, const QString& page, const QString& contents) {
    for (const QString& name : {page, contents}) {
        if (name.isEmpty() || name.contains('/'))
            continue;
        for (const QString& folder : folders) {
            const QFileInfo candidate(folder + "/" + name);
            if (candidate.isFile())
                return candidate.absoluteFilePath();
        }
    }
    return QString();
}
