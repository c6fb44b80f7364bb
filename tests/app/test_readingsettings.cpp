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
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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
        XpdProfile(pri, sec);
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

namespace {

// What a saved CSV file says: its parameter lines, and per data row its
// levels (the first field, frequency or time, left out).
struct SavedFile {
    std::map<std::string, std::string> params;
    std::vector<std::vector<double>> rows;
};

SavedFile ReadSaved(const std::string& path) {
    SavedFile file;
    std::istringstream in(ReadWholeFile(path));
    std::string line;
    bool data = false, param = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "[PARAM ENTRY]") {
            param = true;
            continue;
        }
        if (line == "[DATA ENTRY]") {
            data = true;
            param = false;
            continue;
        }
        const size_t comma = line.find(',');
        if (param && comma != std::string::npos) {
            file.params[line.substr(0, comma)] = line.substr(comma + 1);
        } else if (data && !line.empty() && (std::isdigit(line[0]) || line[0] == '-')) {
            std::vector<double> levels;
            std::istringstream fields(line);
            std::string field;
            std::getline(fields, field, ','); // frequency or time
            while (std::getline(fields, field, ','))
                levels.push_back(std::stod(field));
            file.rows.push_back(std::move(levels));
        }
    }
    return file;
}

// The keys that describe the display, not the measurement.
bool IsDisplayKey(const std::string& key) {
    return key == "Unit" || key == "TriggerMode" || key == "TrigMode";
}

class SavedMeasurementTest : public InputPathTest {};

// After a measurement of every kind, the unit, the level-offset correction
// and the trigger settings change at random: every file saved since holds
// the same measurement, its levels in the unit and with the correction of
// the moment, and the trigger values it was captured with.
TEST_P(SavedMeasurementTest, UnitOffsetAndTriggerChangesKeepTheSavedMeasurement) {
    const int kind = GetParam();
    WriteProfileString("ZeroSpanAnalysis_1", "TriggerTimePosition", "30");
    WriteProfileString("RealTimeAnalysis_1", "TrigMode", "0");
    WriteProfileString("RealTimeAnalysis_1", "TrigPosition", "7");
    WriteProfileString("MAIN_FRAME", "HandDeviceOn", "0");
    frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    other = frame->OpenAnalysisWindow(kind, "Saved", 1);
    ASSERT_TRUE(other);
    CAnalysisCore* core = other->GetCore();
    const auto run = [&](int action, int p1) {
        const int result = core->ExecuteCommand(action, p1, 0, 0, 0, 0);
        if (result > 0)
            core->Reconfigure(result == kCommandReset);
        core->UpdateView();
    };
    // A measurement to keep: a full sweep, a batch of slices, a capture.
    auto* zeroSpan = dynamic_cast<CZeroSpanAnalysis*>(core);
    if (zeroSpan) {
        ASSERT_TRUE(PumpUntil([&] { return zeroSpan->GetDataLine()->GetHasData() != 0; }));
        run(251, 0); // the time capture of the marked bin
        ASSERT_TRUE(
            PumpUntil([&] { return zeroSpan->HasTimeCapture(); }, std::chrono::seconds(30)));
    } else {
        CTraceStore* line = core->GetDataLine();
        // A whole sweep after the one that restarted the traces.
        ASSERT_TRUE(PumpUntil(
            [&] {
                return line->GetHasData() && line->GetLastPosition() >= line->GetPoints() &&
                       IsMeasuredWord(line->GetData()[0]) &&
                       IsMeasuredWord(line->GetData()[line->GetPoints() - 1]);
            },
            std::chrono::seconds(30)));
    }
    if (core->GetAnalyzeFlag())
        run(16, 0);
    PumpEvents();

    const std::string path = dir.file("saved.csv");
    ASSERT_EQ(core->WriteCSVFile(path.c_str()), 1);
    const SavedFile reference = ReadSaved(path);
    ASSERT_GT(reference.rows.size(), 10u);

    const auto shownOffset = [&] {
        // The table used here is flat: one offset for every frequency.
        return core->GetLevelView().OffsetAt(431000) * kLevelUnitDb;
    };
    const double referenceOffset = shownOffset();

    std::mt19937 random(static_cast<unsigned>(kind) * 7919u);
    std::array<short, kOffsetTableSize> table{};
    for (int step = 0; step < 12; ++step) {
        switch (random() % 4) {
        case 0:
            run(32, static_cast<int>(random() % 3) + 1);
            break;
        case 1:
            table.fill(static_cast<short>(static_cast<int>(random() % 4001) - 2000));
            core->ShowLevels(core->GetUnit(), static_cast<int>(random() % 2), table.data());
            break;
        case 2: // the trigger of the next capture
            if (kind == 3) {
                run(253, static_cast<int>(random() % 3));
                run(255, static_cast<int>(random() % 101));
            } else if (kind == 5) {
                run(301, static_cast<int>(random() % 2));
                run(304, static_cast<int>(random() % 256));
            }
            break;
        default:
            run(33, static_cast<int>(random() % 10)); // the reference position
            break;
        }
        ASSERT_EQ(core->WriteCSVFile(path.c_str()), 1) << step;
        const SavedFile saved = ReadSaved(path);
        for (const auto& [key, value] : reference.params) {
            if (!IsDisplayKey(key)) {
                EXPECT_EQ(saved.params.at(key), value) << "step " << step << ": " << key;
            }
        }
        ASSERT_EQ(saved.rows.size(), reference.rows.size()) << step;
        const double shift = shownOffset() - referenceOffset;
        int compared = 0;
        for (size_t r = 0; r < saved.rows.size(); ++r) {
            ASSERT_EQ(saved.rows[r].size(), reference.rows[r].size()) << step << " row " << r;
            for (size_t c = 0; c < saved.rows[r].size(); ++c) {
                const double was = reference.rows[r][c];
                const double now = saved.rows[r][c];
                if (was <= -199.0) { // no sample or the fill: never a level
                    EXPECT_EQ(now, was) << "step " << step << " row " << r << " column " << c;
                    continue;
                }
                ++compared;
                ASSERT_NEAR(now, was + shift, 0.025)
                    << "step " << step << " row " << r << " column " << c;
            }
        }
        EXPECT_GT(compared, 10) << step;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SavedMeasurementTest, ::testing::Range(1, 8));

} // namespace
