// CScpiSession: files and pictures: the window's settings saved and loaded
// through its own commands, its CSV data file, and its drawing as PNG.
#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "lib/stringtable.h"
#include "remote/remotelink.h"
#include "remote/scpiprompts.h"
#include "remote/scpisession.h"

#include <algorithm>

using scpi::Call;
using scpi::Param;

// ---- Files and pictures

namespace {
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

bool fileName(const Call& call, CString* path) {
    if (call.params.size() != 1 || call.params[0].kind != Param::Kind::String ||
        call.params[0].text.empty())
        return false;
    *path = CString(call.params[0].text);
    return true;
}
} // namespace

CAnalysisCore* CScpiSession::fileTarget(const Call& call, CString* path) {
    CAnalysisCore* core = target(call);
    if (!core)
        return nullptr;
    if (!fileName(call, path)) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kDataTypeError);
        return nullptr;
    }
    return core;
}

bool CScpiSession::storeState(const Call& call) {
    CString path;
    CAnalysisCore* core = fileTarget(call, &path);
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
    CAnalysisCore* core = fileTarget(call, &path);
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
    CAnalysisCore* core = fileTarget(call, &path);
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
