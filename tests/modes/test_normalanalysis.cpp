// The normal sweep core: range setters, span limits, reconfiguration of the
// grid and the scales, and the device call its RBW index picks.
#include "device/TorvelAPI.h"
#include "lib/numentrydialog.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/cfile.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {
// The simulator's facts: 1000..3000000 kHz; RBW index 1 = 10 kHz (normal
// sweep), 0 = 1 kHz (high resolution), 6 = 100 kHz (high speed).
class NormalAnalysisTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
    }
    CNormalAnalysis core{nullptr, nullptr};
    // Runs a command as the main frame does: a positive result reconfigures,
    // with trace reset for result 2.
    void Run(int action, int p1) {
        const int result = core.ExecuteCommand(action, p1, 0, 0, 0, 0);
        if (result > 0)
            core.Reconfigure(result == kCommandReset);
    }
};

// Types input into the next numeric entry dialog and presses OK.
void AnswerNextEntry(const QString& input) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, input] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<CNumEntryDialog*>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            timer->stop();
            timer->deleteLater();
            auto* edit = dialog->findChild<QLineEdit*>(QString::number(CNumEntryDialog::kIdEdit));
            auto* ok = dialog->findChild<QPushButton*>(QString::number(CNumEntryDialog::kIdOk));
            if (!edit || !ok) {
                dialog->reject();
                return;
            }
            edit->setText(input);
            ok->click();
            return;
        }
    });
    timer->start();
}

// A device library whose ReceiveData copies the words but answers 0.
class ZeroAnsweringDevice : public CNormalAnalysis {
public:
    ZeroAnsweringDevice() : CNormalAnalysis(nullptr, nullptr) {}
    std::vector<short> words;

protected:
    int DeviceDataCount() override { return static_cast<int>(words.size()); }
    int DeviceReceiveData(short* buffer, int count) override {
        std::copy_n(words.begin(), count, buffer);
        return 0;
    }
};
} // namespace

TEST_F(NormalAnalysisTest, AStartAboveTheStopExchangesTheirRoles) {
    core.SetStop(1000000);
    core.SetStart(2000000);
    EXPECT_EQ(core.GetStart(), 1000000);
    EXPECT_EQ(core.GetStop(), 2000000);
    core.SetStop(500000); // below the start: the old start becomes the stop
    EXPECT_EQ(core.GetStart(), 500000);
    EXPECT_EQ(core.GetStop(), 1000000);
    core.SetStart(10); // below the device's lowest frequency
    EXPECT_EQ(core.GetStart(), GetMinFrequency(1));
    EXPECT_EQ(core.GetFrequencyMode(), 0);
}

TEST_F(NormalAnalysisTest, SpanOfTenStepsIsIgnoredAndOneKilohertzMoreIsApplied) {
    core.ExecuteCommand(24, 1, 0, 0, 0, 0); // RBW index 1: 10 kHz steps
    core.SetStart(100000);
    core.SetStop(200000);
    core.SetSpan(100); // exactly 10 steps
    EXPECT_EQ(core.GetSpan(), 100000);
    EXPECT_EQ(core.GetFrequencyMode(), 0);
    core.SetSpan(101);
    EXPECT_EQ(core.GetFrequencyMode(), 1);
    EXPECT_EQ(core.GetStop() - core.GetStart(), 100); // half = 50 on each side
    EXPECT_EQ(core.GetCenter(), 150000);
    // A centre next to the lower limit moves the band inside the device's range.
    core.SetSpan(20000);
    core.SetCenter(1001);
    EXPECT_EQ(core.GetStart(), GetMinFrequency(1));
    EXPECT_EQ(core.GetStop(), GetMinFrequency(1) + 20000);
}

TEST_F(NormalAnalysisTest, ReconfigurationAlignsTheGridAndWidensNarrowRanges) {
    core.ExecuteCommand(24, 1, 0, 0, 0, 0);
    core.SetStart(1001);
    core.SetStop(1999);
    core.Reconfigure(TRUE);
    CTraceStore* line = core.GetDataLine();
    EXPECT_EQ(line->GetStart(), 0u);
    EXPECT_EQ(line->GetStep(), 10u);
    EXPECT_EQ(line->GetPoints(), 200u); // 0..2000 kHz
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(core.GetTrace(k)->GetPoints(), 200u);

    core.SetStop(500005);
    core.SetStart(500000); // narrower than two steps
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetStop(), 500020);
}

TEST_F(NormalAnalysisTest, ScalesAndTextsFollowAttenuationUnitAndReferencePosition) {
    core.ExecuteCommand(24, 1, 0, 0, 0, 0);
    core.ExecuteCommand(17, 20, 0, 0, 0, 0); // attenuation 20 dB
    core.ExecuteCommand(31, 2, 0, 0, 0, 0);  // 5 dB per division
    core.ExecuteCommand(33, 8, 0, 0, 0, 0);  // reference on division 8
    core.SetStart(76000);
    core.SetStop(108000);
    core.Reconfigure(TRUE);
    const double reference = GetZeroReferenceLevel() + 20;
    const CNormalGraphValues& g = core.Graph();
    EXPECT_DOUBLE_EQ(g.yMax, (10 - 8) * 5 + reference);
    EXPECT_DOUBLE_EQ(g.yMin, reference - 8 * 5);
    EXPECT_EQ(g.text[0], "5dB/Div  ATT:20dB");
    EXPECT_EQ(g.text[1], "RBW : 10KHz [Torvel]");
    EXPECT_NE(g.text[2].Find(" : 76MHz"), -1);
    EXPECT_NE(g.text[3].Find(" : 108MHz"), -1);

    core.ExecuteCommand(32, 2, 0, 0, 0, 0); // dBuV: 113 dB higher
    core.Reconfigure(FALSE);
    EXPECT_DOUBLE_EQ(core.Graph().yMax, (10 - 8) * 5 + reference + 113.0);
}

TEST_F(NormalAnalysisTest, ShiftCommandsMoveTheRangeBySpanPercent) {
    core.ExecuteCommand(24, 1, 0, 0, 0, 0);
    core.SetStart(100000);
    core.SetStop(200000);
    EXPECT_EQ(core.ExecuteCommand(102, 50, 0, 0, 0, 0), kCommandReset);
    EXPECT_EQ(core.GetStart(), 150000);
    EXPECT_EQ(core.GetStop(), 250000);
    core.ExecuteCommand(101, 250, 0, 0, 0, 0); // clamped to 100 %
    EXPECT_EQ(core.GetStart(), 50000);
    EXPECT_EQ(core.GetStop(), 150000);
    // 103 sets the range it is given, also when it lies above the current one,
    // and refuses an RBW index that no sweep kind accepts.
    core.ExecuteCommand(103, 300000, 400000, 13, 10, 0);
    EXPECT_EQ(core.GetRBWIndex(), 1);
    EXPECT_EQ(core.GetAttenuation(), 10);
    EXPECT_EQ(core.GetStart(), 300000);
    EXPECT_EQ(core.GetStop(), 400000);
    core.ExecuteCommand(103, 1000, 2000, 1, 10, 0); // and below it
    EXPECT_EQ(core.GetStart(), 1000);
    EXPECT_EQ(core.GetStop(), 2000);
}

TEST_F(NormalAnalysisTest, ManyPointsAskBeforeSavingButNeverStallUnattendedLogging) {
    TempDir dir;
    core.ExecuteCommand(24, 1, 0, 0, 0, 0);
    core.SetStart(1000);
    core.SetStop(1000000); // 100 000 points of 10 kHz
    core.Reconfigure(TRUE);
    ASSERT_GT(core.GetDataLine()->GetPoints(), 65000u);
    int asked = 0;
    core.GetLoggingOutput().Prompts().askYesNo = [&](const CString&) {
        ++asked;
        return false;
    };
    EXPECT_EQ(core.WriteCSVFile(dir.file("saved.CSV").c_str()), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(FileExists(dir.file("saved.CSV").c_str()));

    // The logging step writes its CSV without asking anybody.
    CLoggingParam& p = core.GetLoggingParam();
    p.m_TargetDir = dir.path().c_str();
    p.m_OutFlags = CLoggingParam::kCsvBit;
    p.m_StartFlag = 0;
    p.m_StopFlag = 0;
    p.m_TimeSpan = CTimeSpan(1);
    p.m_StartTime = CTime::GetCurrentTime() - CTimeSpan(10);
    core.GetLoggingOutput().Start();
    EXPECT_EQ(core.LoggingStep(), 1);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList({"*.CSV"}, QDir::Files).size(), 1);
}

TEST_F(NormalAnalysisTest, ANarrowRangeAtTheTopOfTheBandWidensDownwards) {
    Run(24, 1); // 10 kHz steps
    const int top = GetMaxFrequency(1);
    core.SetStop(top);
    core.SetStart(top - 5);
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.GetStop(), top);
    EXPECT_EQ(core.GetStart(), top - 20);
    // No block of the sweep starts above the device's highest frequency.
    const CTraceStore* line = core.GetDataLine();
    ASSERT_GT(line->GetPoints(), 0u);
    EXPECT_LE(line->GetStart() + (line->GetPoints() - 1) * line->GetStep(),
              static_cast<DWORD>(top));
}

TEST(NormalAnalysisData, TheDataCountAloneSaysHowManyWordsArrived) {
    ZeroAnsweringDevice core;
    core.ExecuteCommand(24, 1, 0, 0, 0, 0);
    core.SetStart(100000);
    core.SetStop(200000);
    core.Reconfigure(TRUE);
    core.words = {100, 200, 300};
    for (int block = 0; block < 2; ++block) { // the first block restarts the trace
        core.SetTaskRunning(1);
        core.AnalysisFinished(0, 0);
    }
    EXPECT_EQ(core.GetSweepPosition(), 6);
    const short* data = core.GetDataLine()->GetData();
    EXPECT_EQ(std::vector<short>(data + 3, data + 6), (std::vector<short>{100, 200, 300}));
    // More words than the grid has left are cut at its end.
    core.words.assign(20000, 7);
    core.SetTaskRunning(1);
    core.AnalysisFinished(0, 0);
    EXPECT_EQ(core.GetSweepPosition(), static_cast<int>(core.GetDataLine()->GetPoints()));
}

TEST_F(NormalAnalysisTest, AUnitChangeStartsTheHoldsAgainInTheNewUnit) {
    Run(24, 1);
    core.SetStart(100000);
    core.SetStop(100100);
    Run(32, 2); // dBuV
    core.Reconfigure(TRUE);
    CTraceStore* hold = core.GetTrace(1);
    hold->SetTraceState(kTraceMaxHold);
    const short word = -8192; // -50 dBm from the device
    auto fold = [&] {
        for (int block = 0; block < 2; ++block) // the first block restarts a fresh trace
            hold->StoreBlock(&word, 1, 0, TRUE);
    };
    fold();
    ASSERT_EQ(hold->GetData()[0], -8192 + 18513);
    Run(32, 1); // dBm: the hold in dBuV must not outlive the change
    EXPECT_EQ(hold->GetUnit(), 1);
    fold();
    EXPECT_EQ(hold->GetData()[0], -8192);
    const short higher = -4096;
    hold->StoreBlock(&higher, 1, 0, TRUE);
    Run(32, 1); // the same unit again keeps what the hold has
    EXPECT_EQ(hold->GetData()[0], -4096);
}

TEST_F(NormalAnalysisTest, FrequencyEntriesBeyondAnyFrequencyAreClampedOrRefused) {
    Run(24, 1);
    core.SetStart(100000);
    core.SetStop(200000);
    const int top = GetMaxFrequency(1);
    std::vector<CString> warnings;
    core.GetLoggingOutput().Prompts().warning = [&](const CString& text) {
        warnings.push_back(text);
    };

    AnswerNextEntry("1e300"); // MHz: far beyond the int range in kHz
    EXPECT_EQ(core.ExecuteCommand(20, 0, 0, 0, 0, 0), kCommandReset);
    EXPECT_EQ(core.GetStart(), 100000);
    EXPECT_EQ(core.GetStop(), top);
    // The user is told where the value went.
    CString held;
    held.Format("Held to %.7g MHz", top * 0.001);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Find(held), 0) << warnings[0].c_str();
    // A value inside the range says nothing.
    AnswerNextEntry("150");
    core.ExecuteCommand(20, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.GetStop(), 150000);
    EXPECT_EQ(warnings.size(), 1u);
    core.SetStop(top);

    for (const char* notANumber : {"1e999", "-1e999"}) { // read as infinities
        AnswerNextEntry(notANumber);
        EXPECT_EQ(core.ExecuteCommand(19, 0, 0, 0, 0, 0), kCommandDone) << notANumber;
        EXPECT_EQ(core.GetStart(), 100000) << notANumber;
        EXPECT_EQ(core.GetStop(), top) << notANumber;
    }

    AnswerNextEntry("-1e300");
    core.ExecuteCommand(19, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.GetStart(), GetMinFrequency(1));
    EXPECT_EQ(core.GetStop(), top);

    core.SetStart(100000);
    core.SetStop(200000);
    AnswerNextEntry("1e300"); // a centre beyond the band keeps the span at the top
    core.ExecuteCommand(21, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.GetStop(), top);
    EXPECT_EQ(core.GetSpan(), 100000);
}

namespace {
// Opens a window's core on a fresh profile the way the main frame does for a
// workspace file (profile, settings, reconfiguration) and saves its settings
// to out; the load's result.
int LoadAndSave(const std::string& in, const std::string& out) {
    CNormalAnalysis core{nullptr, nullptr};
    core.SetTitle("Normal 1");
    core.SetTitleIndex(1);
    core.ReadProfile();
    ReleaseSettingFileObject();
    EXPECT_EQ(LoadSettingFile(in.c_str()), 1);
    const int loaded = core.LoadSettings();
    ReleaseSettingFileObject();
    core.Reconfigure(TRUE);
    EXPECT_EQ(core.SaveSettings(), 1);
    EXPECT_EQ(WriteSettingFileObject(out.c_str()), 1);
    ReleaseSettingFileObject();
    return loaded;
}

int IntOf(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key + "=");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size() + 2);
}
} // namespace

TEST_F(NormalAnalysisTest, SavingWhatWasLoadedGivesTheSameFile) {
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    {
        CNormalAnalysis first{nullptr, nullptr};
        first.SetTitle("Normal 1");
        first.SetTitleIndex(1);
        first.ReadProfile();
        first.Reconfigure(TRUE);
        ReleaseSettingFileObject();
        ASSERT_EQ(first.SaveSettings(), 1);
        ASSERT_EQ(WriteSettingFileObject(dir.file("a.SPE").c_str()), 1);
        ReleaseSettingFileObject();
    }
    EXPECT_EQ(LoadAndSave(dir.file("a.SPE"), dir.file("b.SPE")), 1);
    EXPECT_EQ(ReadWholeFile(dir.file("b.SPE")), ReadWholeFile(dir.file("a.SPE")));

    // Hostile files: after the first save, which brings every value into its
    // range, saving what was loaded gives the same file.
    const std::string header = "Torvel Version2 Setting Data File\n[TORVEL_CORE]\nAnalysisType=1\n";
    const std::string hostile[] = {
        header + "AttValue=12345\nReferencePosition=-40\n"
                 "LoggingTimeSpan=2147483647,1000000,0,0\n[NORMAL_CORE]\nFrequencyFlag=7\n"
                 "StartFrequency=2147483647\nStopFrequency=-2147483648\n",
        header +
            "AttValue=-999\nReferencePosition=400\nLoggingTimeSpan=-5,0,0,0\n"
            "[NORMAL_CORE]\nStartFrequency=500\nStopFrequency=800\n"
            "[Trace1]\nBackGroundColor=1,2,3\n[Trace2]\nIDString=\n[Trace3]\nIDString=Trace4\n",
    };
    for (const std::string& text : hostile) {
        SCOPED_TRACE(text);
        WriteWholeFile(dir.file("h.SPE"), text);
        EXPECT_EQ(LoadAndSave(dir.file("h.SPE"), dir.file("h1.SPE")), 0);
        EXPECT_EQ(LoadAndSave(dir.file("h1.SPE"), dir.file("h2.SPE")), 1);
        const std::string saved = ReadWholeFile(dir.file("h1.SPE"));
        EXPECT_EQ(ReadWholeFile(dir.file("h2.SPE")), saved);

        EXPECT_EQ(saved.find("\n[]"), std::string::npos);
        for (const char* name : {"DataLine", "Trace1", "Trace2", "Trace3", "Trace4", "Trace5"})
            EXPECT_NE(saved.find(std::string("\n[") + name + "]\r\nIDString=" + name + "\r\n"),
                      std::string::npos)
                << name;
        const int att = IntOf(saved, "AttValue");
        EXPECT_TRUE(att >= 0 && att <= GetMaxAttenuation() && att % GetAttenuatorStep() == 0)
            << att;
        const int ref = IntOf(saved, "ReferencePosition");
        EXPECT_TRUE(ref >= 0 && ref <= 10) << ref;
        const int start = IntOf(saved, "StartFrequency");
        const int stop = IntOf(saved, "StopFrequency");
        EXPECT_GE(start, GetMinFrequency(1));
        EXPECT_LT(start, stop);
        EXPECT_LE(stop, GetMaxFrequency(1));
        EXPECT_GE(IntOf(saved, "FrequencyFlag"), 0);
        EXPECT_LE(IntOf(saved, "FrequencyFlag"), 1);
    }
    SetProfileFile(nullptr);
}

TEST_F(NormalAnalysisTest, MissingDrawingSectionsKeepTitlesAndColours) {
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    core.ReadProfile();
    const COLORREF pen = core.GetTraceDrawObject(2)->GetLineColor();
    const COLORREF face = core.GetGraphInterface().GetDrawObject(0)->GetBackGroundColor();
    WriteWholeFile(dir.file("cut.SPE"), "Torvel Version2 Setting Data File\n[TORVEL_CORE]\n"
                                        "AnalysisType=1\n[NORMAL_CORE]\nStartFrequency=80000\n");
    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(dir.file("cut.SPE").c_str()), 1);
    EXPECT_EQ(core.LoadSettings(), 0); // incomplete, and said so
    ReleaseSettingFileObject();
    EXPECT_EQ(core.GetStart(), 80000);
    EXPECT_STREQ(core.GetTraceDrawObject(0)->GetTitleString(), "DataLine");
    EXPECT_STREQ(core.GetTraceDrawObject(2)->GetTitleString(), "Trace2");
    EXPECT_EQ(core.GetTraceDrawObject(2)->GetLineColor(), pen);
    EXPECT_STREQ(core.GetGraphInterface().GetDrawObject(0)->GetTitleString(), "PanelFace");
    EXPECT_EQ(core.GetGraphInterface().GetDrawObject(0)->GetBackGroundColor(), face);
    SetProfileFile(nullptr);
}

TEST_F(NormalAnalysisTest, ARangeFromTheProfileIsHeldInsideTheDevice) {
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    WriteProfileInt("NormalAnalysis_0", "StartFrequency", 2147483647);
    WriteProfileInt("NormalAnalysis_0", "StopFrequency", -2147483647 - 1);
    WriteProfileInt("NormalAnalysis_0", "RefPosition", -40);
    WriteProfileInt("NormalAnalysis_0", "yDivisionNumber", 12);
    WriteProfileInt("NormalAnalysis_0", "AttValue", 12345);
    core.ReadProfile();
    EXPECT_EQ(core.GetStart(), GetMinFrequency(1));
    EXPECT_EQ(core.GetStop(), GetMaxFrequency(1));
    EXPECT_EQ(core.GetReferencePosition(), 0);
    EXPECT_EQ(core.GetAttenuation(), GetMaxAttenuation());
    core.Reconfigure(TRUE);
    EXPECT_GT(core.GetCenter(), core.GetStart());
    // The reference may lie on any of the graph's own divisions.
    WriteProfileInt("NormalAnalysis_0", "RefPosition", 12);
    core.ReadProfile();
    EXPECT_EQ(core.GetReferencePosition(), 12);
    SetProfileFile(nullptr);
}
