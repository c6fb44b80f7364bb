// Runs a command on a core as the main frame does: a positive result asks
// for a reconfiguration, with a reset when it is kCommandReset.
#pragma once

#include "analysis/analysiscore.h"

inline int RunCommand(CAnalysisCore& core, int action, int p1) {
    const int result = core.ExecuteCommand(action, p1, 0, 0, 0, 0);
    if (result > 0)
        core.Reconfigure(result == kCommandReset);
    return result;
}
