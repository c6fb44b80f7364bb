// The table of the loaded device library's functions (see devicelibrary.h).
#pragma once

#include "device/TorvelAPI.h"

namespace torveldevice {

struct DeviceFunctions {
    decltype(&::InitTorvelDLL) InitTorvelDLL = nullptr;
    decltype(&::ShutdownTorvelDLL) ShutdownTorvelDLL = nullptr;
    decltype(&::TerminateTorvelTask) TerminateTorvelTask = nullptr;
    decltype(&::GetTorvelLastError) GetTorvelLastError = nullptr;
    decltype(&::GetSerialNumber) GetSerialNumber = nullptr;
    decltype(&::GetFirmWareVersion) GetFirmWareVersion = nullptr;
    decltype(&::GetMinFrequency) GetMinFrequency = nullptr;
    decltype(&::GetMaxFrequency) GetMaxFrequency = nullptr;
    decltype(&::GetRBWFrequency) GetRBWFrequency = nullptr;
    decltype(&::GetZeroReferenceLevel) GetZeroReferenceLevel = nullptr;
    decltype(&::GetMaxAttenuation) GetMaxAttenuation = nullptr;
    decltype(&::GetAttenuatorStep) GetAttenuatorStep = nullptr;
    decltype(&::NormalSpectrumAnalysis) NormalSpectrumAnalysis = nullptr;
    decltype(&::HighSpeedSpectrumAnalysis) HighSpeedSpectrumAnalysis = nullptr;
    decltype(&::HighResolutionSpectrumAnalysis) HighResolutionSpectrumAnalysis = nullptr;
    decltype(&::ZeroSpanSpectrumAnalysis) ZeroSpanSpectrumAnalysis = nullptr;
    decltype(&::ZeroSpanAnalysis) ZeroSpanAnalysis = nullptr;
    decltype(&::SemiRealTimeAnalysis) SemiRealTimeAnalysis = nullptr;
    decltype(&::GetSemiRealTimeResult) GetSemiRealTimeResult = nullptr;
    decltype(&::RealTimeAnalysis) RealTimeAnalysis = nullptr;
    decltype(&::HighResolutionSingleAnalysis) HighResolutionSingleAnalysis = nullptr;
    decltype(&::PowerSupplyControl) PowerSupplyControl = nullptr;
    decltype(&::GetLastFunctionDataCount) GetLastFunctionDataCount = nullptr;
    decltype(&::ReceiveData) ReceiveData = nullptr;
};

// The functions of the loaded library; null when none could be loaded. The
// first call loads the simulator when nothing was loaded yet.
const DeviceFunctions* Functions();

} // namespace torveldevice
