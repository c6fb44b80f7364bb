// A device library with 23 of the 24 functions (ReceiveData is missing): the
// program must refuse it and name the function.
#include "device/TorvelAPI.h"

extern "C" {
int InitTorvelDLL(HWND, UINT) {
    return 1;
}
int ShutdownTorvelDLL() {
    return 1;
}
int TerminateTorvelTask() {
    return 1;
}
int GetTorvelLastError() {
    return 0;
}
WORD GetSerialNumber() {
    return 1;
}
WORD GetFirmWareVersion() {
    return 1;
}
int GetMinFrequency(int) {
    return 0;
}
int GetMaxFrequency(int) {
    return 0;
}
int GetRBWFrequency(int, int) {
    return 0;
}
double GetZeroReferenceLevel() {
    return 0;
}
int GetMaxAttenuation() {
    return 0;
}
int GetAttenuatorStep() {
    return 0;
}
int NormalSpectrumAnalysis(HWND, BYTE, int, int, int, int) {
    return 0;
}
int HighSpeedSpectrumAnalysis(HWND, BYTE, int, int, int, int) {
    return 0;
}
int HighResolutionSpectrumAnalysis(HWND, BYTE, int, int, int) {
    return 0;
}
int ZeroSpanSpectrumAnalysis(HWND, BYTE, int, int) {
    return 0;
}
int ZeroSpanAnalysis(HWND, BYTE, int, int, int, int, BYTE, BYTE, int, int) {
    return 0;
}
int SemiRealTimeAnalysis(HWND, BYTE, int, int, int) {
    return 0;
}
int GetSemiRealTimeResult(HWND, BYTE) {
    return 0;
}
int RealTimeAnalysis(HWND, BYTE, int, int, BYTE, short, WORD) {
    return 0;
}
int HighResolutionSingleAnalysis(HWND, BYTE, int, int) {
    return 0;
}
int PowerSupplyControl(int, int, int, int) {
    return 0;
}
int GetLastFunctionDataCount() {
    return 0;
}
}
