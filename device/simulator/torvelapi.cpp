// The exported functions of libTorvelAPI.so, each handing over to the one
// simulated device.
#include "device/TorvelAPI.h"

#include "devicefacts.h"
#include "simulator.h"

using torvelsim::CSimulator;

namespace {

CSimulator& Device() {
    return CSimulator::Instance();
}

} // namespace

extern "C" {

int InitTorvelDLL(HWND hwnd, UINT messageBase) {
    return Device().Open(hwnd, messageBase);
}

int ShutdownTorvelDLL() {
    Device().Close();
    return 1;
}

int TerminateTorvelTask() {
    Device().Terminate();
    return 1;
}

int GetTorvelLastError() {
    return Device().LastError();
}

// The facts are the analyser's fixed data, kept by the library, so they answer
// whether or not the link is open.
WORD GetSerialNumber() {
    return torvelsim::kSerialNumber;
}
WORD GetFirmWareVersion() {
    return torvelsim::kFirmwareVersion;
}
int GetMinFrequency(int kind) {
    return torvelsim::MinFrequencyKHz(kind);
}
int GetMaxFrequency(int kind) {
    return torvelsim::MaxFrequencyKHz(kind);
}
int GetRBWFrequency(int kind, int rbwIndex) {
    return torvelsim::RbwStepKHz(kind, rbwIndex);
}
double GetZeroReferenceLevel() {
    return torvelsim::kZeroReferenceLevelDbm;
}
int GetMaxAttenuation() {
    return torvelsim::kMaxAttenuationDb;
}
int GetAttenuatorStep() {
    return torvelsim::kAttenuatorStepDb;
}

int NormalSpectrumAnalysis(HWND, BYTE tag, int startKHz, int rbwIndex, int attenuation,
                           int rejectionRate) {
    return Device().StartSweep(kTorvelKindNormal, tag, startKHz,
                               torvelsim::RbwStepKHz(kTorvelKindNormal, rbwIndex), attenuation,
                               rejectionRate, 1);
}

// The high-speed and high-resolution sweeps are not told an RBW index: each
// kind has one step.
int HighSpeedSpectrumAnalysis(HWND, BYTE tag, int startKHz, int attenuation, int rejectionRate,
                              int catcherRate) {
    return Device().StartSweep(kTorvelKindHighSpeed, tag, startKHz,
                               torvelsim::FixedStepKHz(kTorvelKindHighSpeed), attenuation,
                               rejectionRate, catcherRate);
}

int HighResolutionSpectrumAnalysis(HWND, BYTE tag, int startKHz, int attenuation,
                                   int rejectionRate) {
    return Device().StartSweep(kTorvelKindHighResolution, tag, startKHz,
                               torvelsim::FixedStepKHz(kTorvelKindHighResolution), attenuation,
                               rejectionRate, 1);
}

// The window handle of a task is the one given to InitTorvelDLL, where every
// notification goes.
int ZeroSpanSpectrumAnalysis(HWND, BYTE tag, int baseKHz, int attenuation) {
    return Device().StartZeroSpanSpectrum(tag, baseKHz, attenuation);
}

int ZeroSpanAnalysis(HWND, BYTE tag, int baseKHz, int attenuation, int triggerType,
                     int triggerLevel, BYTE startBin, BYTE stopBin, int samples,
                     int postTriggerSamples) {
    return Device().StartZeroSpanCapture(tag, baseKHz, attenuation, triggerType, triggerLevel,
                                         startBin, stopBin, samples, postTriggerSamples);
}

int SemiRealTimeAnalysis(HWND, BYTE tag, int startKHz, int attenuation, int rejectionRate) {
    return Device().StartSemiRealTime(tag, startKHz, attenuation, rejectionRate);
}

int GetSemiRealTimeResult(HWND, BYTE tag) {
    return Device().RequestSlices(tag);
}

int RealTimeAnalysis(HWND, BYTE tag, int baseKHz, int attenuation, BYTE triggerType,
                     short triggerLevel, WORD triggerPosition) {
    return Device().StartRealTime(tag, baseKHz, attenuation, triggerType, triggerLevel,
                                  triggerPosition);
}

// One high-resolution block measured once (no averaging).
int HighResolutionSingleAnalysis(HWND, BYTE tag, int startKHz, int attenuation) {
    return Device().StartSweep(kTorvelKindHighResolution, tag, startKHz,
                               torvelsim::FixedStepKHz(kTorvelKindHighResolution), attenuation, 1,
                               1);
}

int PowerSupplyControl(int port, int enable, int value, int reserved) {
    return Device().PowerSupply(port, enable, value, reserved);
}

int GetLastFunctionDataCount() {
    return Device().DataCount();
}

int ReceiveData(short* buffer, int count) {
    return Device().CopyData(buffer, count);
}

} // extern "C"
