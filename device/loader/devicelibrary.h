// The device library the program talks to. It is loaded at start-up by name
// (never linked), and its 24 functions of device/TorvelAPI.h are resolved into
// one table; the program's calls of those functions (deviceapi.cpp) go
// through that table. A library that lacks one of them is refused.
//
// The choice is one of
//   "simulator"      the analyser simulator, libTorvelAPI.so beside the program
//   "soapy[:ARGS]"   a receiver through SoapySDR (libTorvelSoapy.so), ARGS being
//                    SoapySDR device arguments such as "driver=rtlsdr"
//   a path           any library with the 24 functions (a path has a '/')
#pragma once

#include <string>

namespace torveldevice {

constexpr const char* kSimulatorChoice = "simulator";
constexpr const char* kSoapyChoice = "soapy";

// The file name of the library a choice loads ("" for an empty choice); a
// bare file name is found through the program's run path (the folder of the
// program when built, its private library folder when installed).
std::string LibraryFileOf(const std::string& choice);

// Loads the library of the choice in place of the one loaded (whose link is
// shut down first). A library that cannot be loaded or lacks a function is
// refused: *problem then says why in one line, naming the missing function,
// and the simulator is loaded instead. levelOffsetDb is handed to a library
// that takes device arguments (ConfigureTorvelDevice): the calibration offset
// of a receiver. True when the chosen library was loaded.
bool LoadDeviceLibrary(const std::string& choice, double levelOffsetDb, std::string* problem);

// Sample overruns of a receiver's stream since its link was opened; -1 for a
// device that has no stream (a library without GetTorvelOverrunCount).
long LoadedDeviceOverruns();

// The last error of the loaded device in words, where it says more than its
// code ("this receiver covers 24–1766 MHz"); empty for a device that has no
// words for it (a library without GetTorvelErrorText).
std::string LoadedDeviceErrorText();

// The calibration offset of a receiver in dB as the profile holds it
// ([DEVICE] LevelOffset): 0 when the text is no number, not finite or beyond
// +-kLevelOffsetLimitDb.
constexpr double kLevelOffsetLimitDb = 200.0;
double LevelOffsetOf(const std::string& text);

// True once a library is loaded. The device calls load the simulator on the
// first call when nothing was loaded before (tests, tools).
bool DeviceLibraryLoaded();
// The choice loaded ("simulator", "soapy:driver=rtlsdr", a path), and one line
// naming the device for the user ("analyser simulator", "SoapySDR receiver
// (driver=rtlsdr)", the library's path).
std::string LoadedDeviceChoice();
std::string LoadedDeviceDescription();
// False when the loaded device's levels are not calibrated: a receiver's
// (a library with ConfigureTorvelDevice, by whatever name it was loaded) are
// dBFS shifted by the user's offset.
bool LoadedDeviceCalibrated();

} // namespace torveldevice
