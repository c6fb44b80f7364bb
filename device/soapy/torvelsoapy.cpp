// The exported functions of libTorvelSoapy.so: the device interface of
// device/TorvelAPI.h on a SoapySDR receiver. The sweeps measure; the band
// analyses (zero span, semi-real-time, real-time) and the power-supply output
// are refused with error 6 (the link stays open).
#include "soapyanalyser.h"

#include "device/TorvelAPI.h"

using torvelsoapy::CSoapyAnalyser;

namespace {

CSoapyAnalyser& Device() {
    return CSoapyAnalyser::Instance();
}

// Point steps in kHz per RBW index, as the analyser's sweeps have them: the
// normal sweep uses indexes 1 to 5, the high-speed sweep 6, the
// high-resolution sweep 0.
constexpr int kNormalSteps[] = {0, 10, 20, 50, 100, 200};
constexpr int kHighSpeedIndex = 6, kHighSpeedStep = 100, kHighSpeedPoints = 100;
constexpr int kHighResolutionIndex = 0, kHighResolutionStep = 1, kHighResolutionPoints = 2000;
// A normal-sweep block is one 2 MHz segment.
constexpr int kNormalBlockKHz = 2000;
constexpr WORD kFirmwareVersion = 0x10;

int StepKHz(int kind, int index) {
    if (kind == kTorvelKindNormal && index >= 1 && index <= 5)
        return kNormalSteps[index];
    if (kind == kTorvelKindHighSpeed && index == kHighSpeedIndex)
        return kHighSpeedStep;
    if (kind == kTorvelKindHighResolution && index == kHighResolutionIndex)
        return kHighResolutionStep;
    return 0;
}

} // namespace

extern "C" {

// Device arguments and calibration offset, handed over by the program before
// InitTorvelDLL; 1 = taken.
int ConfigureTorvelDevice(const char* args, double levelOffsetDb) {
    torvelsoapy::ReceiverConfig config;
    if (!torvelsoapy::ParseReceiverArgs(args ? args : "", &config))
        return 0;
    config.levelOffsetDb = levelOffsetDb;
    Device().Configure(config);
    return 1;
}

// Overruns of the receiver's sample stream since the link was opened.
long GetTorvelOverrunCount() {
    return Device().Overruns();
}

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

WORD GetSerialNumber() {
    return Device().SerialNumber();
}

WORD GetFirmWareVersion() {
    return kFirmwareVersion;
}

int GetMinFrequency(int kind) {
    return Device().MinFrequencyKHz(kind);
}

int GetMaxFrequency(int kind) {
    return Device().MaxFrequencyKHz(kind);
}

int GetRBWFrequency(int kind, int rbwIndex) {
    for (int bit = 1; bit <= kTorvelKindRealTime; bit <<= 1)
        if ((kind & bit) && StepKHz(bit, rbwIndex))
            return StepKHz(bit, rbwIndex);
    return 0;
}

double GetZeroReferenceLevel() {
    return Device().ZeroReferenceLevel();
}

int GetMaxAttenuation() {
    return Device().MaxAttenuation();
}

int GetAttenuatorStep() {
    return 10;
}

int NormalSpectrumAnalysis(HWND, BYTE tag, int startKHz, int rbwIndex, int attenuation,
                           int rejectionRate) {
    const int step = StepKHz(kTorvelKindNormal, rbwIndex);
    if (step == 0)
        return Device().StartSweep(kTorvelKindNormal, tag, -1, 0, 0, 0, 0);
    return Device().StartSweep(kTorvelKindNormal, tag, startKHz, step, kNormalBlockKHz / step,
                               attenuation, rejectionRate);
}

// The catcher rate (peaks of sub-captures) has no counterpart: every point
// is already the highest bin of its cell.
int HighSpeedSpectrumAnalysis(HWND, BYTE tag, int startKHz, int attenuation, int rejectionRate,
                              int) {
    return Device().StartSweep(kTorvelKindHighSpeed, tag, startKHz, kHighSpeedStep,
                               kHighSpeedPoints, attenuation, rejectionRate);
}

int HighResolutionSpectrumAnalysis(HWND, BYTE tag, int startKHz, int attenuation,
                                   int rejectionRate) {
    return Device().StartSweep(kTorvelKindHighResolution, tag, startKHz, kHighResolutionStep,
                               kHighResolutionPoints, attenuation, rejectionRate);
}

int HighResolutionSingleAnalysis(HWND, BYTE tag, int startKHz, int attenuation) {
    return Device().StartSweep(kTorvelKindHighResolution, tag, startKHz, kHighResolutionStep,
                               kHighResolutionPoints, attenuation, 1);
}

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

// A receiver has one input: the path switch of a two-path set-up is refused.
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
