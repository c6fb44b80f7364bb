// CAlarmListener: what hears the alarms of the analysis windows outside the
// windows themselves (a publisher of alarms to a monitoring system). The
// shell hands one to the cores through CFrameLink::GetAlarmListener; every
// window with an alarm reports to it.
#pragma once

#include "platform/cstring.h"

class CAnalysisCore;

class CAlarmListener {
public:
    // The window of core has lost (raised) or regained (cleared) the data it
    // watches for its alarm: a technical alarm. text is what the window shows
    // and logs ("Monitoring interrupted: no data since 12:34:56", or the line
    // that data came again).
    virtual void TechnicalAlarm(CAnalysisCore& core, bool raised, const CString& text) = 0;

protected:
    ~CAlarmListener() = default;
};
