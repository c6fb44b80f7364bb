#include "corefactory.h"

#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/realtimeanalysis.h"
#include "modes/semirealanalysis.h"
#include "modes/wlananalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"

std::unique_ptr<CAnalysisCore> CreateAnalysisCore(int kind, CCommandEntry* frameList,
                                                  CCommandEntry* buttonList, CFrameLink* link) {
    switch (kind) {
    case 1:
        return std::make_unique<CNormalAnalysis>(frameList, buttonList, link);
    case 2:
        return std::make_unique<CWlanAnalysis>(frameList, buttonList, link);
    case 3:
        return std::make_unique<CZeroSpanAnalysis>(frameList, buttonList, link);
    case 4:
        return std::make_unique<CSemiRealAnalysis>(frameList, buttonList, link);
    case 5:
        return std::make_unique<CRealTimeAnalysis>(frameList, buttonList, link);
    case 6:
        return std::make_unique<CMedicalAnalysis>(frameList, buttonList, link);
    case 7:
        return std::make_unique<CXpdAnalysis>(frameList, buttonList, link);
    default:
        return nullptr;
    }
}
