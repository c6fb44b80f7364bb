// The fixture of the tests that run whole analysis windows in a main frame on
// the simulator: a scene of their own, windows opened by kind, and everything
// closed in order at the end (windows, frame, log window, scene).
#pragma once

#include "app/childframe.h"
#include "app/mainframe.h"
#include "lib/logwindow.h"
#include "windowtest.h"

#include <QPointer>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class FrameWindowTest : public AnalysisWindowTest {
protected:
    void TearDown() override {
        for (QPointer<CChildFrame>& w : windows)
            if (w)
                w->close();
        PumpEvents();
        frame.reset();
        DestroyLogWindow();
        unsetenv("TORVEL_SIM_SCENE");
        AnalysisWindowTest::TearDown();
    }
    // A scene of steady carriers (and faults) on a quiet floor.
    void Scene(const std::string& sections) {
        WriteWholeFile(dir.file("scene.ini"),
                       "[Scene]\nSeed=7\nDefaultSignals=0\nNoiseDensity=-160\n" + sections);
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    }
    template <class Core> Core* Open(int kind) {
        CChildFrame* w = frame->OpenAnalysisWindow(kind, "Window", 1);
        windows.emplace_back(w);
        return w ? dynamic_cast<Core*>(w->GetCore()) : nullptr;
    }

    std::unique_ptr<CMainFrame> frame;
    std::vector<QPointer<CChildFrame>> windows;
};
