// Helpers for the simulator tests: a window that records the device's
// messages, and a fixture that opens the device on a scene file of its own.
#pragma once

#include "device/TorvelAPI.h"
#include "platform/msgwindow.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

class DeviceWindow : public CWnd {
public:
    struct Msg {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Msg> messages;
    // A message a test posts itself and finds recorded among the device's:
    // posted after a call returns, it arrives after everything the device
    // posted before.
    static constexpr UINT kMarker = kTorvelMessageBase + 0x200;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DEVICE_ERROR || message == WM_ANALYSIS_DONE ||
            message == WM_ANALYSIS_PROGRESS || message == kMarker)
            messages.push_back({message, wParam, lParam});
        return CWnd::WindowProc(message, wParam, lParam);
    }
    // Waits for the next message of the device; false after the timeout.
    bool Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const std::size_t before = messages.size();
        return PumpUntil([&] { return messages.size() > before; }, timeout);
    }
    const Msg& Last() const { return messages.back(); }
};

// Each test gets its own scene path, so the device loads the scene afresh.
class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TORVEL_SIM_SPEED", "0", 1); }
    void TearDown() override {
        ShutdownTorvelDLL();
        ::unsetenv("TORVEL_SIM_SCENE");
        ::setenv("TORVEL_SIM_SPEED", "0", 1);
    }

    // Writes the scene text and opens the device on it.
    int OpenWithScene(const std::string& text, const std::string& name = "scene.ini") {
        const std::string path = dir.file(name);
        WriteWholeFile(path, text);
        ::setenv("TORVEL_SIM_SCENE", path.c_str(), 1);
        return InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase);
    }

    // Runs one normal sweep block to completion and returns its words.
    std::vector<short> NormalBlock(int startKHz, int rbwIndex, int attenuation, int rejection = 1,
                                   BYTE tag = 1) {
        if (NormalSpectrumAnalysis(window.GetSafeHwnd(), tag, startKHz, rbwIndex, attenuation,
                                   rejection) != 1)
            return {};
        return Collect();
    }

    // Waits for WM_ANALYSIS_DONE and copies the block.
    std::vector<short> Collect() {
        if (!window.Wait() || window.Last().message != WM_ANALYSIS_DONE)
            return {};
        std::vector<short> words(static_cast<std::size_t>(GetLastFunctionDataCount()));
        ReceiveData(words.data(), static_cast<int>(words.size()));
        return words;
    }

    TempDir dir;
    DeviceWindow window;
};

inline double Db(short word) {
    return word / 163.84;
}

inline double MedianDb(std::vector<short> words) {
    if (words.empty())
        return -999.0;
    std::nth_element(words.begin(), words.begin() + words.size() / 2, words.end());
    return Db(words[words.size() / 2]);
}
