// CAlarmListener: what hears the alarms of the analysis windows outside the
// windows themselves (a publisher of alarms to a monitoring system). The
// shell hands one to the cores through CFrameLink::GetAlarmListener; every
// window with an alarm reports to it.
#pragma once

#include "platform/cstring.h"

class CAnalysisCore;

// An alarm of the watched signal, raised or cleared: what raised it, where and
// how strong, against what threshold.
struct CAlarmEvent {
    bool raised = true;
    CString source;             // what the window names it by ("Alarm line", "XPD")
    CString channel;            // the channel watched, if the window has one
    long long frequencyKHz = 0; // 0: none
    bool hasLevel = false;
    double level = 0; // in unit
    bool hasThreshold = false;
    double threshold = 0;     // in unit
    const char* unit = "dBm"; // levels at the input in dBm, isolations in dB
    CString text;             // the alarm in words, as the window logs it
};

class CAlarmListener {
public:
    // The window of core has lost (raised) or regained (cleared) the data it
    // watches for its alarm: a technical alarm. text is what the window shows
    // and logs ("Monitoring interrupted: no data since 12:34:56", or the line
    // that data came again).
    virtual void TechnicalAlarm(CAnalysisCore& core, bool raised, const CString& text) = 0;
    // The window of core raised or cleared an alarm of its signal.
    virtual void SignalAlarm(CAnalysisCore& /*core*/, const CAlarmEvent& /*event*/) {}

protected:
    ~CAlarmListener() = default;
};
