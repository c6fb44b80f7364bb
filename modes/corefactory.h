// The cores of the analysis window kinds.
#pragma once

#include <memory>

class CAnalysisCore;
class CFrameLink;
struct CCommandEntry;

// The core of window kind 1..7, linked to the shell, or null for a kind this
// program does not build.
std::unique_ptr<CAnalysisCore> CreateAnalysisCore(int kind, CCommandEntry* frameList,
                                                  CCommandEntry* buttonList, CFrameLink* link);
