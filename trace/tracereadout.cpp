// The readout texts of a trace store: the x value (a time or a frequency)
// followed by the level and its unit, as markers and the cursor show them.
#include "trace/tracestore.h"

#include <cmath>

CString CTraceStore::UnitText(int flags) const {
    if (flags & kReadoutRelative) {
        return "dBc";
    }
    switch (m_unit) {
    case 1:
        return "dBm";
    case 2:
    case 3:
        return "dBuV";
    default:
        return "dB";
    }
}

CString CTraceStore::MarkerText(double x, double level, int flags) const {
    CString text;
    const bool relative = (flags & kReadoutRelative) != 0;
    const bool dbuv = m_unit == 2 || m_unit == 3;
    const double ax = std::fabs(x);
    if (flags & kReadoutTimeAxis) {
        // x in microseconds: seconds from 1 s, milliseconds from 1 ms.
        if (ax >= 1000000.0) {
            const double s = x * 1e-6;
            if (relative) {
                text.Format("%.7gS %.2fdBc", s, level);
            } else if (dbuv) {
                text.Format("%.7gS %.2fdBuV", s, level);
            } else {
                text.Format("%.7gS %.2fdBm", s, level);
            }
        } else if (ax >= 1000.0) {
            const double ms = x * 0.001;
            if (relative) {
                text.Format("%.7gmS %.2fdBc", ms, level);
            } else if (dbuv) {
                text.Format("%.7gmS %.2fdBuV", ms, level);
            } else {
                text.Format("%.7gmS %.2fdBm", ms, level);
            }
        } else {
            if (relative) {
                text.Format("%.7guS %.2fdBc", x, level);
            } else if (dbuv) {
                text.Format("%.7guS %.2fdBuV", x, level);
            } else {
                text.Format("%.7guS %.2fdBm", x, level);
            }
        }
        return text;
    }
    // x in kHz: MHz from 1000 kHz.
    const bool mhz = ax >= 1000.0;
    const double v = mhz ? x * 0.001 : x;
    if (relative) {
        if (mhz) {
            text.Format("%.7gMHz %.2fdBc", v, level);
        } else {
            text.Format("%.7gKHz %.2fdBc", v, level);
        }
    } else if (m_unit == 1) {
        if (mhz) {
            text.Format("%.7gMHz %.2fdBm", v, level);
        } else {
            text.Format("%.7gKHz %.2fdBm", v, level);
        }
    } else if (dbuv) {
        if (mhz) {
            text.Format("%.7gMHz %.2fdBuV", v, level);
        } else {
            text.Format("%.7gKHz %.2fdBuV", v, level);
        }
    } else {
        // Any other unit reads as dBm, with the frequency in plain %g.
        if (mhz) {
            text.Format("%gMHz %.2fdBm", v, level);
        } else {
            text.Format("%gKHz %.2fdBm", v, level);
        }
    }
    return text;
}
