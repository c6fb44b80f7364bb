// CScpiQuietPrompts: a window's prompts while a remote command runs on it.
// Nothing is shown and no dialog runs, so a remote command never waits for a
// person and no loop of events runs inside it: a report or a warning is kept
// for the client, a yes/no question gets the answer the command gives, a file
// dialog gives the command's path (none: cancelled), and the print and
// logging dialogs are cancelled. The window's own prompts come back when the
// command is over, if the window is still there.
#pragma once

#include "analysis/loggingoutput.h"
#include "platform/cstring.h"

class CAnalysisCore;
class CRemoteLink;

class CScpiQuietPrompts {
public:
    // answerYes: the answer to a question (a file command that names its file
    // answers yes: the client asked for that file); path: the file of a file
    // dialog.
    CScpiQuietPrompts(CRemoteLink* link, CAnalysisCore* core, bool answerYes = false,
                      const CString& path = CString());
    ~CScpiQuietPrompts();
    CScpiQuietPrompts(const CScpiQuietPrompts&) = delete;
    CScpiQuietPrompts& operator=(const CScpiQuietPrompts&) = delete;

    // The last report or warning, and whether a warning came.
    CString report;
    bool warned = false;

private:
    CRemoteLink* m_link;
    CAnalysisCore* m_core;
    CCorePrompts m_saved;
};
