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

// Zero span, semi-real-time, real-time, single-block and power-supply tasks
// are not offered by this device yet: they are refused with the task-failed
// code (after the link checks), and never answered with made-up data.
int ZeroSpanSpectrumAnalysis(HWND, BYTE, int, int) {
    return Device().Refuse();
}

int ZeroSpanAnalysis(HWND, BYTE, int, int, int, int, BYTE, BYTE, int, int) {
    return Device().Refuse();
}

int SemiRealTimeAnalysis(HWND, BYTE, int, int, int) {
    return Device().Refuse();
}

int GetSemiRealTimeResult(HWND, BYTE) {
    return Device().Refuse();
}

int RealTimeAnalysis(HWND, BYTE, int, int, BYTE, short, WORD) {
    return Device().Refuse();
}

int HighResolutionSingleAnalysis(HWND, BYTE, int, int) {
    return Device().Refuse();
}

int PowerSupplyControl(int, int, int, int) {
    return Device().Refuse();
}

int GetLastFunctionDataCount() {
    return Device().DataCount();
}

int ReceiveData(short* buffer, int count) {
    return Device().CopyData(buffer, count);
}

} // extern "C"
