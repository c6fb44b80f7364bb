// CScpiSession: files and pictures: the window's settings saved and loaded
// through its own commands, its CSV data file, and its drawing as PNG.
#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "lib/stringtable.h"
#include "remote/remotelink.h"
#include "remote/scpiinstrument.h"
#include "remote/scpiprompts.h"
#include "remote/scpisession.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <string>

using scpi::Call;
using scpi::Param;

// ---- Files and pictures

namespace {
// The longest name of a file the system takes.
constexpr std::size_t kMaxNameLength = 255;
// The extensions of the files: the window's settings, its CSV data.
constexpr const char* kStateExtension = ".SPE";
constexpr const char* kTraceExtension = ".csv";

// Runs a file command of the command list with its dialogs answered by path:
// the chosen file is path, a file that is there is replaced, and what the
// command reports is collected instead of shown.
int runFileCommand(CRemoteLink* link, CAnalysisCore* core, int action, const CString& path,
                   CString* report, bool* warned) {
    CScpiQuietPrompts quiet(link, core, true, path);
    const int result = link->RemoteCommand(core, action);
    *report = quiet.report;
    *warned = quiet.warned;
    return result;
}

// A plain name of a file in one folder: no folder part, not hidden, no
// control character, ending in extension (in any case) after something.
bool plainName(const std::string& name, const char* extension) {
    const std::size_t n = std::strlen(extension);
    if (name.size() <= n || name.size() > kMaxNameLength || name.front() == '.')
        return false;
    for (char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return QByteArray::fromStdString(name.substr(name.size() - n))
               .compare(extension, Qt::CaseInsensitive) == 0;
}
} // namespace

CAnalysisCore* CScpiSession::fileTarget(const Call& call, const char* extension, CString* path) {
    CAnalysisCore* core = target(call);
    if (!core)
        return nullptr;
    if (call.params.size() != 1 || call.params[0].kind != Param::Kind::String) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kDataTypeError);
        return nullptr;
    }
    // The file commands work in one folder only: no path reaches another
    // (an absolute one, "..", a folder inside), and each kind keeps its
    // extension.
    const std::string& name = call.params[0].text;
    if (!plainName(name, extension)) {
        const std::string info = std::string("a name in the remote folder ending in ") + extension;
        pushError(scpi::kFileNameError, info.c_str());
        return nullptr;
    }
    const QString folder = m_instrument.FileFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        pushError(scpi::kMassStorageError, "no remote folder");
        return nullptr;
    }
    *path = CString(QFile::encodeName(folder).toStdString() + "/" + name);
    return core;
}

bool CScpiSession::storeState(const Call& call) {
    CString path;
    CAnalysisCore* core = fileTarget(call, kStateExtension, &path);
    if (!core)
        return true;
    CString report;
    bool warned = false;
    runFileCommand(m_link, core, 8, path, &report, &warned);
    const char* saved = GetTorvelString(kStrSaveSucceeded);
    if (warned || !saved || report != saved)
        pushError(scpi::kMassStorageError, "not saved");
    return true;
}

bool CScpiSession::loadState(const Call& call) {
    CString path;
    CAnalysisCore* core = fileTarget(call, kStateExtension, &path);
    if (!core)
        return true;
    CString report;
    bool warned = false;
    const int result = runFileCommand(m_link, core, 9, path, &report, &warned);
    if (result <= 0 || warned || !report.IsEmpty())
        pushError(result <= 0 ? scpi::kFileNameNotFound : scpi::kMassStorageError, "not loaded");
    return true;
}

bool CScpiSession::storeTrace(const Call& call) {
    CString path;
    CAnalysisCore* core = fileTarget(call, kTraceExtension, &path);
    if (!core)
        return true;
    // The CSV data file the Save Data command writes, without its dialog; a
    // file of many points is written without asking (the client asked for it).
    const int ok = core->RunOutsideRotation([&] {
        CScpiQuietPrompts quiet(m_link, core, true, path);
        return core->WriteCSVFile(path);
    });
    if (ok != 1)
        pushError(scpi::kMassStorageError, "not saved");
    return true;
}

bool CScpiSession::screenDump(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    const QByteArray png = m_link->RemoteWindowPng(core);
    if (png.isEmpty()) {
        pushError(scpi::kExecutionError, "no picture");
        return true;
    }
    answer(block(png));
    return true;
}
