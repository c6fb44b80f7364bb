// Loading the device library by name and resolving its functions.
#include "devicelibrary.h"
#include "devicetable.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace torveldevice {
namespace {

constexpr const char* kSimulatorFile = "libTorvelAPI.so";
constexpr const char* kSoapyFile = "libTorvelSoapy.so";
// Optional function of a library that takes device arguments and a level
// offset in dB (the SoapySDR library); 1 = taken.
constexpr const char* kConfigureFunction = "ConfigureTorvelDevice";
using ConfigureFunction = int (*)(const char* args, double levelOffsetDb);
// Optional function of a library that streams samples: overruns counted.
constexpr const char* kOverrunFunction = "GetTorvelOverrunCount";
using OverrunFunction = long (*)();
// Optional function: the last error in words (see LoadedDeviceErrorText).
constexpr const char* kErrorTextFunction = "GetTorvelErrorText";
using ErrorTextFunction = int (*)(char* buffer, int size);

// The one loaded library, as a linked library would be one per process.
struct LoadedLibrary {
    void* handle = nullptr;
    DeviceFunctions functions;
    std::string choice;
    std::string description;
    // A library that takes device arguments and a level offset measures with
    // a receiver, whatever name it was loaded by.
    bool receiver = false;
    OverrunFunction overruns = nullptr;
    ErrorTextFunction errorText = nullptr;
};

LoadedLibrary& Loaded() {
    static LoadedLibrary loaded;
    return loaded;
}

template <typename F> void resolve(void* handle, const char* name, F& slot, std::string* missing) {
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot && missing->empty())
        *missing = name;
}

// Fills f from the library; the name of the first missing function, or "".
std::string resolveAll(void* h, DeviceFunctions& f) {
    std::string m;
    resolve(h, "InitTorvelDLL", f.InitTorvelDLL, &m);
    resolve(h, "ShutdownTorvelDLL", f.ShutdownTorvelDLL, &m);
    resolve(h, "TerminateTorvelTask", f.TerminateTorvelTask, &m);
    resolve(h, "GetTorvelLastError", f.GetTorvelLastError, &m);
    resolve(h, "GetSerialNumber", f.GetSerialNumber, &m);
    resolve(h, "GetFirmWareVersion", f.GetFirmWareVersion, &m);
    resolve(h, "GetMinFrequency", f.GetMinFrequency, &m);
    resolve(h, "GetMaxFrequency", f.GetMaxFrequency, &m);
    resolve(h, "GetRBWFrequency", f.GetRBWFrequency, &m);
    resolve(h, "GetZeroReferenceLevel", f.GetZeroReferenceLevel, &m);
    resolve(h, "GetMaxAttenuation", f.GetMaxAttenuation, &m);
    resolve(h, "GetAttenuatorStep", f.GetAttenuatorStep, &m);
    resolve(h, "NormalSpectrumAnalysis", f.NormalSpectrumAnalysis, &m);
    resolve(h, "HighSpeedSpectrumAnalysis", f.HighSpeedSpectrumAnalysis, &m);
    resolve(h, "HighResolutionSpectrumAnalysis", f.HighResolutionSpectrumAnalysis, &m);
    resolve(h, "ZeroSpanSpectrumAnalysis", f.ZeroSpanSpectrumAnalysis, &m);
    resolve(h, "ZeroSpanAnalysis", f.ZeroSpanAnalysis, &m);
    resolve(h, "SemiRealTimeAnalysis", f.SemiRealTimeAnalysis, &m);
    resolve(h, "GetSemiRealTimeResult", f.GetSemiRealTimeResult, &m);
    resolve(h, "RealTimeAnalysis", f.RealTimeAnalysis, &m);
    resolve(h, "HighResolutionSingleAnalysis", f.HighResolutionSingleAnalysis, &m);
    resolve(h, "PowerSupplyControl", f.PowerSupplyControl, &m);
    resolve(h, "GetLastFunctionDataCount", f.GetLastFunctionDataCount, &m);
    resolve(h, "ReceiveData", f.ReceiveData, &m);
    return m;
}

std::string describe(const std::string& choice) {
    if (choice == kSimulatorChoice)
        return "analyser simulator";
    if (choice == kSoapyChoice)
        return "SoapySDR receiver";
    if (choice.rfind(kSoapyChoice, 0) == 0)
        return "SoapySDR receiver (" + choice.substr(6) + ")";
    return choice;
}

std::string soapyArgs(const std::string& choice) {
    return choice.size() > 6 && choice.rfind("soapy:", 0) == 0 ? choice.substr(6) : std::string();
}

void unload() {
    LoadedLibrary& l = Loaded();
    if (!l.handle)
        return;
    l.functions.ShutdownTorvelDLL();
    dlclose(l.handle);
    l = LoadedLibrary{};
}

// Loads one library; "" when it is in place, else why not.
std::string loadOne(const std::string& choice, double levelOffsetDb) {
    const std::string file = LibraryFileOf(choice);
    if (file.empty())
        return "\"" + choice + "\" is no device (simulator, soapy[:ARGS] or a library's path)";
    dlerror();
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return "cannot load the device library " + file + ": " + (why ? why : "not found");
    }
    DeviceFunctions functions;
    const std::string missing = resolveAll(handle, functions);
    if (!missing.empty()) {
        dlclose(handle);
        return "the device library " + file + " lacks the function " + missing;
    }
    auto configure = reinterpret_cast<ConfigureFunction>(dlsym(handle, kConfigureFunction));
    if (configure) {
        if (configure(soapyArgs(choice).c_str(), levelOffsetDb) != 1) {
            dlclose(handle);
            return "the device library " + file + " refused the device arguments \"" +
                   soapyArgs(choice) + "\" or the level offset " + std::to_string(levelOffsetDb) +
                   " dB";
        }
    }
    LoadedLibrary& l = Loaded();
    l.handle = handle;
    l.functions = functions;
    l.choice = choice;
    l.description = describe(choice);
    l.receiver = configure != nullptr;
    l.overruns = reinterpret_cast<OverrunFunction>(dlsym(handle, kOverrunFunction));
    l.errorText = reinterpret_cast<ErrorTextFunction>(dlsym(handle, kErrorTextFunction));
    return {};
}

} // namespace

std::string LibraryFileOf(const std::string& choice) {
    if (choice == kSimulatorChoice)
        return kSimulatorFile;
    if (choice == kSoapyChoice || choice.rfind("soapy:", 0) == 0)
        return kSoapyFile;
    if (choice.find('/') != std::string::npos)
        return choice;
    return {};
}

bool LoadDeviceLibrary(const std::string& choice, double levelOffsetDb, std::string* problem) {
    unload();
    std::string why = loadOne(choice, levelOffsetDb);
    if (why.empty())
        return true;
    if (problem)
        *problem = why;
    if (choice != kSimulatorChoice)
        loadOne(kSimulatorChoice, 0.0);
    return false;
}

double LevelOffsetOf(const std::string& text) {
    char* end = nullptr;
    const double offset = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(offset) || std::fabs(offset) > kLevelOffsetLimitDb)
        return 0.0;
    return offset;
}

bool DeviceLibraryLoaded() {
    return Loaded().handle != nullptr;
}

std::string LoadedDeviceChoice() {
    return Loaded().choice;
}

long LoadedDeviceOverruns() {
    return Loaded().overruns ? Loaded().overruns() : -1;
}

std::string LoadedDeviceErrorText() {
    constexpr int kMostBytes = 512;
    if (!Loaded().errorText)
        return {};
    char buffer[kMostBytes] = {};
    const int n = Loaded().errorText(buffer, kMostBytes);
    if (n <= 0)
        return {};
    // A library's text is shown as one line.
    std::string text(buffer, std::min(n, kMostBytes - 1));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return text;
}

bool LoadedDeviceCalibrated() {
    return !Loaded().receiver;
}

std::string LoadedDeviceDescription() {
    return Loaded().description;
}

const DeviceFunctions* Functions() {
    LoadedLibrary& l = Loaded();
    if (!l.handle)
        loadOne(kSimulatorChoice, 0.0);
    return l.handle ? &l.functions : nullptr;
}

} // namespace torveldevice
