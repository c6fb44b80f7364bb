// The 24 functions of device/TorvelAPI.h as the program calls them: each
// hands over to the loaded device library (devicelibrary.h). Without one the
// link cannot be opened: the calls answer as an analyser that is not there.
#include "devicetable.h"

using torveldevice::DeviceFunctions;

namespace {

// Calls the loaded library's function, or answers none when there is no library.
template <typename F, typename R, typename... A>
R call(F DeviceFunctions::*slot, R none, A... args) {
    const DeviceFunctions* f = torveldevice::Functions();
    return f ? (f->*slot)(args...) : none;
}

} // namespace

extern "C" {

int InitTorvelDLL(HWND hwnd, UINT messageBase) {
    return call(&DeviceFunctions::InitTorvelDLL, 0, hwnd, messageBase);
}

int ShutdownTorvelDLL() {
    return call(&DeviceFunctions::ShutdownTorvelDLL, 1);
}

int TerminateTorvelTask() {
    return call(&DeviceFunctions::TerminateTorvelTask, 1);
}

int GetTorvelLastError() {
    return call(&DeviceFunctions::GetTorvelLastError, kTorvelErrorNoDevice);
}

WORD GetSerialNumber() {
    return call(&DeviceFunctions::GetSerialNumber, WORD{0});
}

WORD GetFirmWareVersion() {
    return call(&DeviceFunctions::GetFirmWareVersion, WORD{0});
}

int GetMinFrequency(int kind) {
    return call(&DeviceFunctions::GetMinFrequency, 0, kind);
}

int GetMaxFrequency(int kind) {
    return call(&DeviceFunctions::GetMaxFrequency, 0, kind);
}

int GetRBWFrequency(int kind, int rbwIndex) {
    return call(&DeviceFunctions::GetRBWFrequency, 0, kind, rbwIndex);
}

double GetZeroReferenceLevel() {
    return call(&DeviceFunctions::GetZeroReferenceLevel, 0.0);
}

int GetMaxAttenuation() {
    return call(&DeviceFunctions::GetMaxAttenuation, 0);
}

int GetAttenuatorStep() {
    return call(&DeviceFunctions::GetAttenuatorStep, 0);
}

int NormalSpectrumAnalysis(HWND hwnd, BYTE tag, int startKHz, int rbwIndex, int attenuation,
                           int rejectionRate) {
    return call(&DeviceFunctions::NormalSpectrumAnalysis, 0, hwnd, tag, startKHz, rbwIndex,
                attenuation, rejectionRate);
}

int HighSpeedSpectrumAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation, int rejectionRate,
                              int catcherRate) {
    return call(&DeviceFunctions::HighSpeedSpectrumAnalysis, 0, hwnd, tag, startKHz, attenuation,
                rejectionRate, catcherRate);
}

int HighResolutionSpectrumAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation,
                                   int rejectionRate) {
    return call(&DeviceFunctions::HighResolutionSpectrumAnalysis, 0, hwnd, tag, startKHz,
                attenuation, rejectionRate);
}

int ZeroSpanSpectrumAnalysis(HWND hwnd, BYTE tag, int baseKHz, int attenuation) {
    return call(&DeviceFunctions::ZeroSpanSpectrumAnalysis, 0, hwnd, tag, baseKHz, attenuation);
}

int ZeroSpanAnalysis(HWND hwnd, BYTE tag, int baseKHz, int attenuation, int triggerType,
                     int triggerLevel, BYTE startBin, BYTE stopBin, int samples,
                     int postTriggerSamples) {
    return call(&DeviceFunctions::ZeroSpanAnalysis, 0, hwnd, tag, baseKHz, attenuation, triggerType,
                triggerLevel, startBin, stopBin, samples, postTriggerSamples);
}

int SemiRealTimeAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation, int rejectionRate) {
    return call(&DeviceFunctions::SemiRealTimeAnalysis, 0, hwnd, tag, startKHz, attenuation,
                rejectionRate);
}

int GetSemiRealTimeResult(HWND hwnd, BYTE tag) {
    return call(&DeviceFunctions::GetSemiRealTimeResult, 0, hwnd, tag);
}

int RealTimeAnalysis(HWND hwnd, BYTE tag, int baseKHz, int attenuation, BYTE triggerType,
                     short triggerLevel, WORD triggerPosition) {
    return call(&DeviceFunctions::RealTimeAnalysis, 0, hwnd, tag, baseKHz, attenuation, triggerType,
                triggerLevel, triggerPosition);
}

int HighResolutionSingleAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation) {
    return call(&DeviceFunctions::HighResolutionSingleAnalysis, 0, hwnd, tag, startKHz,
                attenuation);
}

int PowerSupplyControl(int port, int enable, int value, int reserved) {
    return call(&DeviceFunctions::PowerSupplyControl, 0, port, enable, value, reserved);
}

int GetLastFunctionDataCount() {
    return call(&DeviceFunctions::GetLastFunctionDataCount, 0);
}

int ReceiveData(short* buffer, int count) {
    return call(&DeviceFunctions::ReceiveData, 0, buffer, count);
}

} // extern "C"
