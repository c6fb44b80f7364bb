// The analyser's device-access interface: the 24 functions of libTorvelAPI.so
// with C linkage, the notification message offsets and the error codes.
//
// Every function is called from the GUI thread only. A started task reports
// only by posting messages to the window given at InitTorvelDLL, never by
// calling back: base + kTorvelMsgDeviceError when it fails, base +
// kTorvelMsgAnalysisDone when its data are ready, base + kTorvelMsgAnalysisProgress
// for intermediate data. After a finished task GetLastFunctionDataCount tells
// how many level words it delivered and ReceiveData copies them.
//
// Frequencies are whole kHz. Levels are signed 16-bit level words of
// 1/163.84 dB. An analysis kind is a bit set (kTorvelKind...).
#pragma once

#include "platform/wintypes.h"

// Offsets of the notification messages from the base given to InitTorvelDLL.
constexpr UINT kTorvelMsgDeviceError = 1;  // WM_DEVICE_ERROR: the task failed or the link is lost
constexpr UINT kTorvelMsgAnalysisDone = 2; // WM_ANALYSIS_DONE: the task finished
constexpr UINT kTorvelMsgAnalysisProgress = 100; // WM_ANALYSIS_PROGRESS: intermediate data

// The message base the program uses, and the messages it receives.
constexpr UINT kTorvelMessageBase = WM_USER;
constexpr UINT WM_DEVICE_ERROR = kTorvelMessageBase + kTorvelMsgDeviceError;
constexpr UINT WM_ANALYSIS_DONE = kTorvelMessageBase + kTorvelMsgAnalysisDone;
constexpr UINT WM_ANALYSIS_PROGRESS = kTorvelMessageBase + kTorvelMsgAnalysisProgress;

// WM_ANALYSIS_DONE and WM_DEVICE_ERROR carry the task's tag in wParam. In
// WM_ANALYSIS_DONE lParam is the number of words delivered (as
// GetLastFunctionDataCount), in WM_DEVICE_ERROR the error code (as
// GetTorvelLastError).

// Analysis kinds (bits). The limit queries take a set of kinds and answer the
// widest range of the kinds in it; the RBW query answers for the first kind of
// the set, in bit order, that can use the index.
constexpr int kTorvelKindNormal = 1;
constexpr int kTorvelKindHighSpeed = 2;
constexpr int kTorvelKindHighResolution = 4;
constexpr int kTorvelKindZeroSpan = 8;
constexpr int kTorvelKindSemiRealTime = 16;
constexpr int kTorvelKindRealTime = 32;

// RBW indexes run from 0 to kTorvelRbwIndexCount - 1.
constexpr int kTorvelRbwIndexCount = 14;

// Error codes of GetTorvelLastError. 1 to 5 and 11 mean the link is lost and
// must be reopened with InitTorvelDLL; 6 means the task failed but the link is
// alive; the others refuse one call.
constexpr int kTorvelErrorNone = 0;
constexpr int kTorvelErrorNotOpen = 1;      // the link is not open (no InitTorvelDLL, or shut down)
constexpr int kTorvelErrorNoDevice = 2;     // no analyser answered when the link was opened
constexpr int kTorvelErrorTransfer = 3;     // a transfer to or from the analyser failed
constexpr int kTorvelErrorTimeout = 4;      // the analyser stopped answering
constexpr int kTorvelErrorDeviceReset = 5;  // the analyser restarted itself
constexpr int kTorvelErrorTaskFailed = 6;   // the task failed or is not supported; link alive
constexpr int kTorvelErrorBusy = 7;         // another task is still running
constexpr int kTorvelErrorBadParameter = 8; // an argument is out of the analyser's range
constexpr int kTorvelErrorRemoved = 11;     // the analyser was unplugged while the link was open

// True for the codes after which the link must be reopened.
constexpr bool TorvelErrorIsLinkLost(int code) {
    return (code >= kTorvelErrorNotOpen && code <= kTorvelErrorDeviceReset) ||
           code == kTorvelErrorRemoved;
}

extern "C" {

// Link. InitTorvelDLL opens the analyser and remembers the window and message
// base for notifications; 1 = opened, 0 = not (see GetTorvelLastError).
// ShutdownTorvelDLL stops any task and closes the link. TerminateTorvelTask
// stops the running task; a stopped task posts nothing. Both return 1.
int InitTorvelDLL(HWND hwnd, UINT messageBase);
int ShutdownTorvelDLL();
int TerminateTorvelTask();
int GetTorvelLastError();

// Device facts. The firmware version's high bits are the major version
// (version >> 4), its low four bits the minor version (version & 0xF).
WORD GetSerialNumber();
WORD GetFirmWareVersion();
int GetMinFrequency(int kind);
int GetMaxFrequency(int kind);
// Step in kHz between two points for the RBW index; 0 = not usable by the kind.
int GetRBWFrequency(int kind, int rbwIndex);
// Reference level in dBm at attenuation 0.
double GetZeroReferenceLevel();
int GetMaxAttenuation();
int GetAttenuatorStep();

// Swept spectrum tasks: one block of points from startKHz. 1 = started.
// Rejection and catcher rates are at least 1.
int NormalSpectrumAnalysis(HWND hwnd, BYTE tag, int startKHz, int rbwIndex, int attenuation,
                           int rejectionRate);
int HighSpeedSpectrumAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation, int rejectionRate,
                              int catcherRate);
int HighResolutionSpectrumAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation,
                                   int rejectionRate);

// Zero span: a spectrum block from baseKHz, and a time capture of the bins
// startBin..stopBin of that block with an optional level trigger.
int ZeroSpanSpectrumAnalysis(HWND hwnd, BYTE tag, int baseKHz, int attenuation);
int ZeroSpanAnalysis(HWND hwnd, BYTE tag, int baseKHz, int attenuation, int triggerType,
                     int triggerLevel, BYTE startBin, BYTE stopBin, int samples,
                     int postTriggerSamples);

// Semi-real-time: a continuing task that delivers slices through progress
// messages; GetSemiRealTimeResult asks for the next ones.
int SemiRealTimeAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation, int rejectionRate);
int GetSemiRealTimeResult(HWND hwnd, BYTE tag);

// Real-time: consecutive short spectra of a band from baseKHz, optionally
// started by a level trigger.
int RealTimeAnalysis(HWND hwnd, BYTE tag, int baseKHz, int attenuation, BYTE triggerType,
                     short triggerLevel, WORD triggerPosition);

// One high-resolution block without averaging.
int HighResolutionSingleAnalysis(HWND hwnd, BYTE tag, int startKHz, int attenuation);

// The analyser's power-supply control output (path switch of a two-path set-up).
int PowerSupplyControl(int port, int enable, int value, int reserved);

// Data of the last finished task.
int GetLastFunctionDataCount();
// Copies at most count words (never more than were delivered); returns the
// number of words copied.
int ReceiveData(short* buffer, int count);

} // extern "C"
