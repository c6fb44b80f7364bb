// CScpiSession: the window kinds' own parameters: the WLAN window's channel,
// the medical window's channel and alarm, the XPD window's value and alarm.
// Each goes through the window's own command (the one its menu, panel or
// entry runs) or, for the alarm line, as dragging the line sets it.
#include "lib/channellist.h"
#include "modes/medicalanalysis.h"
#include "modes/wlananalysis.h"
#include "modes/xpdanalysis.h"
#include "remote/remotelink.h"
#include "remote/scpisession.h"

#include <cmath>

using scpi::Call;
using scpi::Param;

namespace {
// The WLAN window's command that zooms on channel p1 (-1: the whole band).
constexpr int kActionWlanSelectChannel = 155;
// The value of SCPI's "not a number", answered where there is no reading.
constexpr const char* kNotANumber = "9.91E+37";
// Medical channels are titled with their letter and four digits.
constexpr int kMaxMedicalNumber = 9999;

template <class Core> Core* kindOf(CAnalysisCore* core) {
    return dynamic_cast<Core*>(core);
}
} // namespace

bool CScpiSession::wlanChannel(const Call& call) {
    auto* core = kindOf<CWlanAnalysis>(target(call));
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(integerText(core->ZoomedChannel()));
        return true;
    }
    if (call.params.size() > 1) {
        pushError(scpi::kParameterNotAllowed);
        return true;
    }
    int channel = -1;
    if (call.params.empty() || call.params[0].kind != Param::Kind::Mnemonic ||
        call.params[0].text != "FULL") {
        double n = 0;
        if (!number(call, 0, scpi::Unit::None, -1, kChannelCount - 1, -1, &n))
            return true;
        channel = static_cast<int>(n);
        if (n != channel || (channel >= 0 && !GetChannelObject(channel))) {
            pushError(scpi::kIllegalParameterValue, "no such channel");
            return true;
        }
    }
    command(core, kActionWlanSelectChannel, channel);
    return true;
}

bool CScpiSession::medicalChannel(const Call& call) {
    auto* core = kindOf<CMedicalAnalysis>(target(call));
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call)) {
            const CChannelObject* c = core->GetPanel().GetCurrentChannel();
            answer(ScpiQuoted(QString::fromUtf8(c ? c->GetTitle().c_str() : "")));
        }
        return true;
    }
    if (call.params.size() != 1) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kParameterNotAllowed);
        return true;
    }
    // A title ("B1001"), or a number with the panel's letter as the number
    // entry takes it.
    const Param& p = call.params[0];
    CString title;
    if (p.kind == Param::Kind::String) {
        title = p.text.c_str();
    } else {
        double n = 0;
        if (!number(call, 0, scpi::Unit::None, 0, kMaxMedicalNumber, 0, &n))
            return true;
        if (n != std::floor(n)) {
            pushError(scpi::kIllegalParameterValue);
            return true;
        }
        title.Format("%c%04d", CMedicalChannelPanel::LetterOf(core->GetPanel().GetCategoryOffset()),
                     static_cast<int>(n));
    }
    const int index = GetChannelIndex(title.c_str());
    if (index < 0 || !GetChannelObject(index)) {
        pushError(scpi::kIllegalParameterValue, "no such channel");
        return true;
    }
    command(core, CMedicalAnalysis::kCmdPickIndex, index);
    return true;
}

bool CScpiSession::medicalAlarm(const Call& call) {
    auto* core = kindOf<CMedicalAnalysis>(target(call));
    if (!core)
        return true;
    static constexpr const char* kModes[] = {"OFF", "ABOV", "BEL"};
    if (call.query) {
        const int flag = core->GetAlarmFlag();
        if (noParameters(call))
            answer(kModes[flag >= 0 && flag <= 2 ? flag : 0]);
        return true;
    }
    int mode = 0;
    if (!choice(call, {"OFF", "ABOV", "ABOVE", "BEL", "BELOW"}, &mode))
        return true;
    // The alarm commands: 0 off, 1 above the line, 2 below it.
    command(core, CMedicalAnalysis::kCmdAlarm, (mode + 1) / 2);
    return true;
}

bool CScpiSession::medicalAlarmLevel(const Call& call) {
    auto* core = kindOf<CMedicalAnalysis>(target(call));
    return !core || lineLevel(call, core, core->GetAlarmLine());
}

bool CScpiSession::xpdValue(const Call& call) {
    auto* core = kindOf<CXpdAnalysis>(target(call));
    if (core && noParameters(call))
        answer(core->HasXpd() ? QByteArray::number(core->GetXpdValue(), 'f', 2)
                              : QByteArray(kNotANumber));
    return true;
}

bool CScpiSession::xpdAlarmState(const Call& call) {
    auto* core = kindOf<CXpdAnalysis>(target(call));
    if (core && noParameters(call))
        answer(core->GetAlarmFlag() ? "1" : "0");
    return true;
}

bool CScpiSession::xpdLevel(const Call& call, int action) {
    auto* core = kindOf<CXpdAnalysis>(target(call));
    if (!core)
        return true;
    const bool alarm = action == CXpdAnalysis::kCmdSetAlarmValue;
    if (call.query) {
        if (noParameters(call))
            answer(
                QByteArray::number(alarm ? core->GetAlarmValue() : core->GetDetectLevel(), 'f', 2));
        return true;
    }
    const double limit = CXpdAnalysis::kLevelLimitDb;
    double db = 0;
    if (!number(call, 0, scpi::Unit::Level, -limit, limit, alarm ? 30.0 : 0.0, &db))
        return true;
    if (call.params.size() > 1) {
        pushError(scpi::kParameterNotAllowed);
        return true;
    }
    command(core, action, static_cast<int>(std::lround(db * 100)));
    return true;
}

bool CScpiSession::xpdAlarmValue(const Call& call) {
    return xpdLevel(call, CXpdAnalysis::kCmdSetAlarmValue);
}

bool CScpiSession::xpdDetectLevel(const Call& call) {
    return xpdLevel(call, CXpdAnalysis::kCmdSetDetectLevel);
}
