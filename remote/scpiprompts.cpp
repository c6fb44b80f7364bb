#include "scpiprompts.h"

#include "analysis/analysiscore.h"
#include "remote/remotelink.h"

#include <algorithm>

CScpiQuietPrompts::CScpiQuietPrompts(CRemoteLink* link, CAnalysisCore* core, bool answerYes,
                                     const CString& path)
    : m_link(link), m_core(core), m_saved(core->GetLoggingOutput().Prompts()) {
    CCorePrompts quiet;
    quiet.message = [this](const CString& text) { report = text; };
    quiet.warning = [this](const CString& text) {
        report = text;
        warned = true;
    };
    quiet.askYesNo = [answerYes](const CString&) { return answerYes; };
    quiet.chooseSavePath = [path](const char*) { return path; };
    quiet.chooseOpenPath = [path](const char*) { return path; };
    quiet.setUpPrinter = [](QPrinter&) { return false; };
    quiet.editLogging = [](CLoggingParam*) { return 0; };
    core->GetLoggingOutput().Prompts() = std::move(quiet);
}

CScpiQuietPrompts::~CScpiQuietPrompts() {
    const auto windows = m_link->RemoteWindows();
    if (std::find(windows.begin(), windows.end(), m_core) != windows.end())
        m_core->GetLoggingOutput().Prompts() = std::move(m_saved);
}
