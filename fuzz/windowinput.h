// Opening analysis windows from fuzz inputs the way the main frame does: the
// core of the named kind, its profile read, and, once it holds the file's
// values, its picture drawn as the window and the logging images draw it.
#pragma once

#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "modes/corefactory.h"
#include "platform/cstring.h"

#include <QImage>
#include <QPrinter>

#include <memory>

namespace fuzzinput {

// The core of window kind 1..7 with the title its caption gives ("Window"
// where the main frame would take the kind's name from its menu) and its
// variant and its profile read, its questions answered "no"; null for a kind
// the program does not build.
inline std::unique_ptr<CAnalysisCore> OpenCore(int kind, const CString& title, int variant) {
    std::unique_ptr<CAnalysisCore> core = CreateAnalysisCore(kind, nullptr, nullptr, nullptr);
    if (!core)
        return nullptr;
    // Nobody answers: no message box, question or file dialog may open.
    CCorePrompts& prompts = core->GetLoggingOutput().Prompts();
    prompts.message = [](const CString&) {};
    prompts.warning = [](const CString&) {};
    prompts.askYesNo = [](const CString&) { return false; };
    prompts.chooseSavePath = [](const char*) { return CString(); };
    prompts.chooseOpenPath = [](const char*) { return CString(); };
    prompts.setUpPrinter = [](QPrinter&) { return false; };
    prompts.editLogging = [](CLoggingParam*) { return 0; };
    const CString name = CAnalysisCore::TitleOf(title);
    core->SetTitle(name.IsEmpty() ? CString("Window") : name);
    core->SetTitleIndex(variant);
    core->ReadProfile();
    return core;
}

// The window's 640 x 480 picture with its time stamp.
inline void DrawPicture(CAnalysisCore& core) {
    core.GetLoggingOutput().RenderImage(true);
}

} // namespace fuzzinput
