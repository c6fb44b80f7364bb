// Every reading is measured through its own settings. An XPD window switches
// the analyser to its second input for every other block; a window of each
// other kind beside it reads the carrier of its band on the first input only,
// before and after the XPD window closes in the middle of its second path.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "device/TorvelAPI.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/realtimeanalysis.h"
#include "modes/semirealanalysis.h"
#include "modes/wlananalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "testutil.h"
#include "windowtest.h"

#include <QPointer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kXpdCarrierKHz = 431000;
constexpr int kWlanCarrierKHz = 2437000;
constexpr double kCarrierDbm = -20.0;
constexpr double kCrossPolarDb = 25.0;

// The highest and lowest level a core's data line showed at its carrier,
// once per intake that measured it.
struct Readings {
    double highest = -300.0;
    double lowest = 300.0;
    int count = 0;
};

template <class Core> class Reading : public Core {
public:
    Reading(CCommandEntry* f, CCommandEntry* b, CFrameLink* link, int carrier, Readings* r)
        : Core(f, b, link), m_carrier(carrier), m_readings(r) {}
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override {
        Core::AnalysisFinished(wParam, lParam);
        read();
    }
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override {
        Core::AnalysisProgress(wParam, lParam);
        read();
    }

private:
    void read() {
        CTraceStore* line = this->GetDataLine();
        if (!line || !line->InRange(m_carrier - 1000) || !line->InRange(m_carrier + 1000))
            return;
        const long long peak = line->Peak(m_carrier - 1000, m_carrier + 1000);
        const short word = line->Sample(peak);
        if (word == kNoSample || word == kLowestLevel)
            return;
        const double level = line->Level(peak);
        m_readings->highest = std::max(m_readings->highest, level);
        m_readings->lowest = std::min(m_readings->lowest, level);
        ++m_readings->count;
    }
    int m_carrier;
    Readings* m_readings;
};

class InputPathTest : public AnalysisWindowTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        AnalysisWindowTest::SetUp();
        WriteWholeFile(dir.file("scene.ini"),
                       "[Scene]\nSeed=3\nDefaultSignals=0\nNoiseDensity=-160\n"
                       "[Signal XPD band]\nFrequency=431000\nLevel=-20\nCrossPolar=25\n"
                       "[Signal WLAN band]\nFrequency=2437000\nLevel=-20\nCrossPolar=25\n");
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
        setenv("TORVEL_SIM_SPEED", "0", 1);
        const char* x = "XPDAnalysis_1";
        WriteProfileString(x, "AnalyzeFlag", "1");
        WriteProfileString(x, "PriPortName", pri.Path().c_str());
        WriteProfileString(x, "SecPortName", sec.Path().c_str());
        WriteProfileString(x, "OnDelay", "0");
        WriteProfileString(x, "OffDelay", "0");
        WriteProfileString(x, "AttValue", "0");
        // Every other kind looks at the XPD window's carrier (WLAN at its own).
        for (const char* s : {"NormalAnalysis_1", "ZeroSpanAnalysis_1", "SemiRealAnalysis_1",
                              "RealTimeAnalysis_1", "MedicalAnalysis_1", "WLANAnalysis_1"}) {
            WriteProfileString(s, "AnalyzeFlag", "1");
            WriteProfileString(s, "AttValue", "0");
            WriteProfileString(s, "FrequencyFlag", "1");
            WriteProfileString(s, "StartFrequency", "420000");
            WriteProfileString(s, "StopFrequency", "444000");
        }
        // The stream hands the device on after each batch; real-time captures repeat.
        WriteProfileString("MAIN_FRAME", "HandDeviceOn", "1");
        WriteProfileString("RealTimeAnalysis_1", "TrigMode", "1");
        WriteProfileString("NormalAnalysis_1", "StartFrequency", "430000");
        WriteProfileString("NormalAnalysis_1", "StopFrequency", "432000");
    }
    void TearDown() override {
        frame.reset();
        unsetenv("TORVEL_SIM_SCENE");
        AnalysisWindowTest::TearDown();
    }
    void Open(int kind) {
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        const int carrier = kind == 2 ? kWlanCarrierKHz : kXpdCarrierKHz;
        frame->SetCoreFactory([this, carrier](int k, CCommandEntry* f, CCommandEntry* b,
                                              CFrameLink* link) -> std::unique_ptr<CAnalysisCore> {
            if (k == 7)
                return CreateAnalysisCore(k, f, b, link);
            return MakeReading(k, f, b, link, carrier, &readings);
        });
        ASSERT_TRUE(frame->Create(false));
        frame->show();
        other = frame->OpenAnalysisWindow(GetParam(), "Other", 1);
        ASSERT_TRUE(other);
        xpdWindow = frame->OpenAnalysisWindow(7, "XPD", 1);
        ASSERT_TRUE(xpdWindow);
        xpd = dynamic_cast<CXpdAnalysis*>(xpdWindow->GetCore());
        ASSERT_TRUE(xpd);
    }
    static std::unique_ptr<CAnalysisCore> MakeReading(int kind, CCommandEntry* f, CCommandEntry* b,
                                                      CFrameLink* link, int carrier, Readings* r);

    PtyController pri, sec;
    std::unique_ptr<CMainFrame> frame;
    QPointer<CChildFrame> other;
    QPointer<CChildFrame> xpdWindow;
    CXpdAnalysis* xpd = nullptr;
    Readings readings;
};

std::unique_ptr<CAnalysisCore> InputPathTest::MakeReading(int kind, CCommandEntry* f,
                                                          CCommandEntry* b, CFrameLink* link,
                                                          int carrier, Readings* r) {
    switch (kind) {
    case 1:
        return std::make_unique<Reading<CNormalAnalysis>>(f, b, link, carrier, r);
    case 2:
        return std::make_unique<Reading<CWlanAnalysis>>(f, b, link, carrier, r);
    case 3:
        return std::make_unique<Reading<CZeroSpanAnalysis>>(f, b, link, carrier, r);
    case 4:
        return std::make_unique<Reading<CSemiRealAnalysis>>(f, b, link, carrier, r);
    case 5:
        return std::make_unique<Reading<CRealTimeAnalysis>>(f, b, link, carrier, r);
    case 6:
        return std::make_unique<Reading<CMedicalAnalysis>>(f, b, link, carrier, r);
    default:
        return CreateAnalysisCore(kind, f, b, link);
    }
}

TEST_P(InputPathTest, AWindowBesideAnXpdWindowReadsItsCarrierOnTheFirstInputOnly) {
    Open(GetParam());
    if (HasFatalFailure())
        return;
    // Both windows measure in turn: the XPD window has seen both paths
    // several times and the other window has read its carrier often.
    ASSERT_TRUE(
        PumpUntil([&] { return xpd->HasXpd() && readings.count >= 20; }, std::chrono::seconds(30)))
        << "readings " << readings.count;
    EXPECT_NEAR(xpd->GetXpdValue(), kCrossPolarDb, 1.0);
    EXPECT_NEAR(readings.highest, kCarrierDbm, 1.5);
    EXPECT_NEAR(readings.lowest, kCarrierDbm, 1.5) << "a reading was taken on the second input";

    // The XPD window closes right after it switched to its second input: the
    // other window goes on reading the first.
    ASSERT_TRUE(PumpUntil([&] { return xpd->GetPathSelect() == 1; }));
    xpdWindow->close();
    readings = Readings{};
    ASSERT_TRUE(PumpUntil([&] { return readings.count >= 10; }, std::chrono::seconds(30)));
    EXPECT_NEAR(readings.lowest, kCarrierDbm, 1.5) << "the analyser was left on the second input";
}

INSTANTIATE_TEST_SUITE_P(EveryOtherKind, InputPathTest, ::testing::Range(1, 7));

} // namespace
