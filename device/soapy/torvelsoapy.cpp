// The exported functions of libTorvelSoapy.so: the device interface of
// device/TorvelAPI.h on a SoapySDR receiver. The power-supply output selects
// the receiver's second input where it has one and is refused with error 6
// (the link stays open) where it has not.
#include "soapyanalyser.h"

#include "device/TorvelAPI.h"

#include <algorithm>
#include <cmath>
#include <string>

using torvelsoapy::CSoapyAnalyser;

namespace {

CSoapyAnalyser& Device() {
    return CSoapyAnalyser::Instance();
}

// Point steps in kHz per RBW index, as the analyser's sweeps have them: the
// normal sweep uses indexes 1 to 5, the high-speed sweep 6, the
// high-resolution sweep 0.
constexpr int kNormalSteps[] = {0, 10, 20, 50, 100, 200};
constexpr int kHighSpeedIndex = 6, kHighSpeedStep = 100, kHighSpeedBlockKHz = 10000;
constexpr int kHighResolutionIndex = 0, kHighResolutionStep = 1, kHighResolutionBlockKHz = 2000;
// The band kinds (zero span, semi-real-time, real-time) have one step, of
// index 1; a zero-span spectrum block is 104 of them.
constexpr int kBandIndex = 1, kBandStep = 250, kZeroSpanBlock = 104;
// The sweep blocks hold whole tunings of the receiver, at least as many as
// the analyser's blocks (2 MHz; 100 points of the high-speed sweep) need, so
// that no tuning is spent on a sliver of a block.
constexpr int kNormalBlockKHz = 2000;
constexpr WORD kFirmwareVersion = 0x10;
// The largest calibration offset taken, dB.
constexpr double kMaxLevelOffsetDb = 200.0;

int StepKHz(int kind, int index) {
    if (kind == kTorvelKindNormal && index >= 1 && index <= 5)
        return kNormalSteps[index];
    if (kind == kTorvelKindHighSpeed && index == kHighSpeedIndex)
        return kHighSpeedStep;
    if (kind == kTorvelKindHighResolution && index == kHighResolutionIndex)
        return kHighResolutionStep;
    if ((kind == kTorvelKindZeroSpan || kind == kTorvelKindSemiRealTime ||
         kind == kTorvelKindRealTime) &&
        index == kBandIndex)
        return kBandStep;
    return 0;
}

} // namespace

extern "C" {

// Device arguments and calibration offset, handed over by the program before
// InitTorvelDLL; 1 = taken.
int ConfigureTorvelDevice(const char* args, double levelOffsetDb) {
    torvelsoapy::ReceiverConfig config;
    // An offset beyond any receiver's (or no number at all) would make every
    // level word meaningless.
    if (!torvelsoapy::ParseReceiverArgs(args ? args : "", &config) ||
        !(std::fabs(levelOffsetDb) <= kMaxLevelOffsetDb))
        return 0;
    config.levelOffsetDb = levelOffsetDb;
    Device().Configure(config);
    return 1;
}

// Overruns of the receiver's sample stream that cost a task samples since
// the link was opened.
long GetTorvelOverrunCount() {
    return Device().Overruns();
}

// The last error in words where the receiver has more to say than its code:
// copied NUL-terminated into buffer (at most size bytes); the length of the
// whole text, 0 when there is none.
int GetTorvelErrorText(char* buffer, int size) {
    const std::string text = Device().ErrorText();
    if (buffer && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::copy_n(text.data(), n, buffer);
        buffer[n] = '\0';
    }
    return static_cast<int>(text.size());
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
        return Device().StartSweep(tag, -1, 0, 0, 0, 0);
    return Device().StartSweep(tag, startKHz, step,
                               Device().SweepBlockPoints(step, kNormalBlockKHz), attenuation,
                               rejectionRate);
}

// The catcher rate (peaks of sub-captures) has no counterpart: every point
// is already the highest bin of its cell.
int HighSpeedSpectrumAnalysis(HWND, BYTE tag, int startKHz, int attenuation, int rejectionRate,
                              int) {
    return Device().StartSweep(tag, startKHz, kHighSpeedStep,
                               Device().SweepBlockPoints(kHighSpeedStep, kHighSpeedBlockKHz),
                               attenuation, rejectionRate);
}

int HighResolutionSpectrumAnalysis(HWND, BYTE tag, int startKHz, int attenuation,
                                   int rejectionRate) {
    return Device().StartSweep(
        tag, startKHz, kHighResolutionStep,
        Device().SweepBlockPoints(kHighResolutionStep, kHighResolutionBlockKHz), attenuation,
        rejectionRate);
}

int HighResolutionSingleAnalysis(HWND, BYTE tag, int startKHz, int attenuation) {
    return Device().StartSweep(
        tag, startKHz, kHighResolutionStep,
        Device().SweepBlockPoints(kHighResolutionStep, kHighResolutionBlockKHz), attenuation, 1);
}

// One block of 104 words, word b at baseKHz + b x 250 kHz.
int ZeroSpanSpectrumAnalysis(HWND, BYTE tag, int baseKHz, int attenuation) {
    return Device().StartSweep(tag, baseKHz, kBandStep, kZeroSpanBlock, attenuation, 1);
}

// N samples 100 us apart of the power in bins firstBin..lastBin, P of them
// from the trigger point on.
int ZeroSpanAnalysis(HWND, BYTE tag, int baseKHz, int attenuation, int triggerType,
                     int triggerLevel, BYTE firstBin, BYTE lastBin, int samples,
                     int postTriggerSamples) {
    return Device().StartZeroSpan(tag, baseKHz, attenuation, triggerType, triggerLevel, firstBin,
                                  lastBin, samples, postTriggerSamples);
}

int SemiRealTimeAnalysis(HWND, BYTE tag, int startKHz, int attenuation, int rejectionRate) {
    return Device().StartSemiRealTime(tag, startKHz, attenuation, rejectionRate);
}

int GetSemiRealTimeResult(HWND, BYTE tag) {
    return Device().SemiRealTimeResult(tag);
}

int RealTimeAnalysis(HWND, BYTE tag, int baseKHz, int attenuation, BYTE triggerType,
                     short triggerLevel, WORD triggerPosition) {
    return Device().StartRealTime(tag, baseKHz, attenuation, triggerType, triggerLevel,
                                  triggerPosition);
}

int PowerSupplyControl(int port, int enable, int value, int) {
    return Device().SelectPath(port, enable, value);
}

int GetLastFunctionDataCount() {
    return Device().DataCount();
}

int ReceiveData(short* buffer, int count) {
    return Device().CopyData(buffer, count);
}

} // extern "C"
