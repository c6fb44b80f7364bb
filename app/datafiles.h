// Where the program finds its data files: a relative name is looked up in the
// current directory first (the user's own copy of the channel list is written
// there at exit), then in the data folder beside the executable
// (<prefix>/bin/../share/torvel), then in the resources folder of the source
// tree the program was built from, for a run from the build tree.
#pragma once

#include "platform/cstring.h"

#include <QString>
#include <QStringList>

// The installed data folder, found from the executable's own folder.
QString InstalledDataFolder();
// The path to open for name, or name itself when no candidate exists.
CString ResolveDataFile(const CString& name);

// The folders that may hold the user guide, in order: "Help" in the current
// directory, then the installed guide (<prefix>/share/torvel/guide, which a
// build tree has too).
QStringList GuideFolders();
// The first of page and then contents that one of folders holds, searched in
// that order (page in every folder before contents in any); empty when none.
QString FindGuidePage(const QStringList& folders, const QString& page, const QString& contents);
