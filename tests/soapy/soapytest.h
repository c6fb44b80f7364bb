// The fixture of the tests of libTorvelSoapy.so on the test receiver
// (testreceiver.cpp), loaded as the program loads it.
#pragma once

#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"
#include "device/simtestutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

class SoapyTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("SOAPY_SDR_PLUGIN_PATH", TORVEL_SOAPY_MODULES, 1); }
    void TearDown() override {
        Fault(0);
        Plug(true);
        ShutdownTorvelDLL();
    }

    // Loads libTorvelSoapy.so on the test receiver with these model arguments
    // and opens the link.
    bool Open(const std::string& args) {
        std::string problem;
        if (!torveldevice::LoadDeviceLibrary("soapy:driver=torveltest," + args, 0.0, &problem)) {
            ADD_FAILURE() << problem;
            return false;
        }
        return InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase) == 1;
    }
    // The receiver module as SoapySDR loaded it.
    static void Plug(bool plugged) {
        if (void* h = dlopen(TORVEL_TEST_RECEIVER, RTLD_NOW | RTLD_NOLOAD)) {
            reinterpret_cast<void (*)(int)>(dlsym(h, "TorvelTestReceiverPlug"))(plugged);
            dlclose(h);
        }
    }
    // 0: the receiver's stream delivers; 1: it stalls; 2: its reads throw.
    static void Fault(int fault) {
        if (void* h = dlopen(TORVEL_TEST_RECEIVER, RTLD_NOW | RTLD_NOLOAD)) {
            reinterpret_cast<void (*)(int)>(dlsym(h, "TorvelTestReceiverFault"))(fault);
            dlclose(h);
        }
    }
    // One normal sweep block; empty when it failed (the error is in the last
    // message).
    std::vector<short> NormalBlock(int startKHz, int rbwIndex, int attenuation, int averages) {
        if (NormalSpectrumAnalysis(window.GetSafeHwnd(), 1, startKHz, rbwIndex, attenuation,
                                   averages) != 1)
            return {};
        if (!window.Wait(std::chrono::seconds(60)) || window.Last().message != WM_ANALYSIS_DONE)
            return {};
        std::vector<short> words(static_cast<std::size_t>(GetLastFunctionDataCount()));
        ReceiveData(words.data(), static_cast<int>(words.size()));
        return words;
    }
    // A sweep from startKHz to stopKHz as a normal window makes it: block
    // after block, each from where the last one's words end.
    std::vector<short> Sweep(int startKHz, int stopKHz, int rbwIndex, int averages = 1) {
        const int step = GetRBWFrequency(kTorvelKindNormal, rbwIndex);
        const std::size_t points = static_cast<std::size_t>((stopKHz - startKHz) / step + 1);
        std::vector<short> words;
        while (words.size() < points) {
            const int start = startKHz + static_cast<int>(words.size()) * step;
            const std::vector<short> block = NormalBlock(start, rbwIndex, 0, averages);
            if (block.empty())
                return {};
            words.insert(words.end(), block.begin(), block.end());
        }
        words.resize(points);
        return words;
    }

    DeviceWindow window;
};
