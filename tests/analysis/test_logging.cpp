// Measurement logging and the window outputs: the logging step's timing,
// trigger states and file naming with a controlled clock, outputs that fail
// cleanly (missing folder, full disk), the 640 x 480 BMP and PNG images, the
// save-data, settings, print and copy actions, the logging dialog, and the
// logging bar with its blinking button.
#include "analysis/loggingoutput.h"

#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/loggingbar.h"
#include "app/mainframe.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <sys/resource.h>

namespace {

constexpr COLORREF kBackground = RGB(0, 0, 64);

// A core whose drawing, CSV section and trigger line the test controls.
class LogCore : public CAnalysisCore {
public:
    LogCore() : CAnalysisCore(nullptr, nullptr) {
        SetTitle("Log 1");
        SetTitleIndex(1);
        line.Configure(0, 100, 10);
        GetLoggingOutput().SetClock([this] { return now; });
        GetLoggingOutput().SetDisplay(&display);
        CLoggingParam& p = GetLoggingParam();
        p.m_StartFlag = 0;
        p.m_StopFlag = 0;
        p.m_RefreshFlag = 0;
        p.m_OutFlags = CLoggingParam::kCsvBit;
        p.m_TimeSpan = CTimeSpan(10);
        p.m_StartTime = now;
        p.m_StopTime = now;
    }

    int GetAnalysisType() override { return 1; }
    CTraceStore* GetDataLine() override { return &line; }
    int WriteCSVSections(CStdioFile& file) override {
        CString text;
        text.Format("[PARAM ENTRY]\nOutput,%d\n", ++csvWrites);
        return file.WriteString(text) ? 1 : 0;
    }
    void DrawView(CDC* dc, const CRect& rect) override {
        dc->FillSolidRect(&rect, kBackground);
        dc->FillSolidRect(0, 0, rect.Width(), 1, RGB(255, 0, 0)); // top row red
        dc->FillSolidRect(0, rect.Height() - 1, rect.Width(), 1, RGB(0, 0, 255));
        dc->FillSolidRect(100, 100, 50, 20, RGB(30, 200, 90));
    }
    COLORREF GetGraphBackgroundColor() override { return kBackground; }
    void SetTimeStamp(const CString& text, BOOL show) override {
        stamps.push_back(show ? text : CString("<hidden>"));
    }
    BOOL GetLoggingTriggerLine(CLoggingTriggerLine* out) override {
        if (!hasTrigger)
            return FALSE;
        *out = trigger;
        return TRUE;
    }

    // Every point of the data line at the level (dB).
    void Level(double db) {
        for (DWORD i = 0; i <= line.GetPoints(); ++i)
            line.SetWord(i, static_cast<short>(db * kWordsPerDb));
    }

    struct Display : CLoggingDisplay {
        bool shown = false;
        bool refresh = false;
        CString folder, next, end;
        void ShowLogging(const CString& f, const CString& n, const CString& e, bool r) override {
            shown = true;
            folder = f;
            next = n;
            end = e;
            refresh = r;
        }
        void SetNextText(const CString& n) override { next = n; }
        void HideLogging() override { shown = false; }
        void SetOutputFailed(const CString& path) override { failed = path; }
        CString failed;
    } display;

    CTime now{2024, 6, 1, 12, 0, 0};
    CTraceStore line;
    bool hasTrigger = true;
    CLoggingTriggerLine trigger{-50.0, 0, 1000, 0};
    int csvWrites = 0;
    std::vector<CString> stamps;
};

std::set<std::string> FilesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

CString Text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}

bool HaveTool(const char* name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Writes through a file size limit: writes past it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

// ---- The logging step

TEST(LoggingStep, BlocksEveryThreeSecondsWithATenSecondIntervalLogEveryTwelve) {
    TempDir dir;
    LogCore core;
    core.GetLoggingParam().m_TargetDir = dir.path().c_str();
    core.GetLoggingParam().m_StartFlag = 1;
    const CTime start = core.now;
    core.GetLoggingOutput().Start();
    EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
    EXPECT_EQ(core.GetLoggingOutput().GetNextOutputTime(), start + CTimeSpan(10));
    std::vector<int> outputs;
    for (int t = 3; t <= 45; t += 3) {
        core.now = start + CTimeSpan(t);
        if (core.LoggingStep())
            outputs.push_back(t);
    }
    EXPECT_EQ(outputs, (std::vector<int>{12, 24, 36}));
    EXPECT_EQ(
        FilesIn(dir.path()),
        (std::set<std::string>{"20240601120012.CSV", "20240601120024.CSV", "20240601120036.CSV"}));
    EXPECT_EQ(core.display.next, (start + CTimeSpan(46)).Format("%Y/%m/%d %H:%M:%S"));
}

TEST(LoggingStep, StartAndStopTimesBoundTheLogging) {
    TempDir dir;
    LogCore core;
    CLoggingParam& p = core.GetLoggingParam();
    p.m_TargetDir = dir.path().c_str();
    p.m_TimeSpan = CTimeSpan(1);
    p.m_StartFlag = 1;
    p.m_StartTime = core.now + CTimeSpan(60);
    p.m_StopFlag = 1;
    p.m_StopTime = core.now + CTimeSpan(120);
    core.GetLoggingOutput().Start();
    EXPECT_TRUE(core.display.shown);
    core.now += CTimeSpan(30);
    EXPECT_EQ(core.LoggingStep(), 0); // not started yet
    core.now += CTimeSpan(40);
    EXPECT_EQ(core.LoggingStep(), 1);
    core.now += CTimeSpan(51);
    EXPECT_EQ(core.LoggingStep(), 0); // past the stop time: off
    EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kOff);
    EXPECT_FALSE(core.display.shown);
    core.now += CTimeSpan(10);
    EXPECT_EQ(core.LoggingStep(), 0);
    EXPECT_EQ(FilesIn(dir.path()).size(), 1u);
}

TEST(LoggingStep, ATriggerFiresOnlyAfterItHasArmedOnTheOtherSide) {
    TempDir dir;
    for (int direction : {0, 1}) {
        LogCore core;
        core.GetLoggingParam().m_TargetDir = dir.path().c_str();
        core.GetLoggingParam().m_TimeSpan = CTimeSpan(1);
        core.ExecuteCommand(49, 1, 0, 0, 0, 0);
        core.trigger.direction = direction;
        const double firing = direction == 0 ? -20.0 : -80.0; // above / below -50 dB
        const double arming = direction == 0 ? -80.0 : -20.0;
        core.Level(firing);
        core.GetLoggingOutput().Start();
        auto step = [&] {
            core.now += CTimeSpan(2);
            return core.LoggingStep();
        };
        // On the firing side from the start: never logs.
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(step(), 0) << direction;
        EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
        core.Level(arming);
        EXPECT_EQ(step(), 0);
        EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kArmed);
        EXPECT_EQ(step(), 0);
        core.Level(firing);
        EXPECT_EQ(step(), 1) << direction;
        // After an output the trigger must arm again.
        EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
        EXPECT_EQ(step(), 0);
        core.Level(arming);
        EXPECT_EQ(step(), 0);
        core.Level(firing);
        EXPECT_EQ(step(), 1);
    }
    // Without a trigger line the trigger never fires.
    LogCore core;
    core.GetLoggingParam().m_TargetDir = dir.path().c_str();
    core.ExecuteCommand(49, 1, 0, 0, 0, 0);
    core.hasTrigger = false;
    core.GetLoggingOutput().Start();
    for (int i = 0; i < 5; ++i) {
        core.now += CTimeSpan(20);
        EXPECT_EQ(core.LoggingStep(), 0);
    }
}

TEST(LoggingStep, WithoutOutputFlagsTheStepStillAdvancesAndRefreshesTheTraces) {
    class Normal : public CNormalAnalysis {
    public:
        Normal() : CNormalAnalysis(nullptr, nullptr) {}
    } core;
    CTime now(2024, 6, 1, 12, 0, 0);
    core.GetLoggingOutput().SetClock([&] { return now; });
    CLoggingParam& p = core.GetLoggingParam();
    p.m_OutFlags = 0;
    p.m_RefreshFlag = 1;
    p.m_StartFlag = 0;
    p.m_StopFlag = 0;
    p.m_StartTime = now;
    p.m_TimeSpan = CTimeSpan(5);
    core.GetLoggingOutput().Start();
    auto stores = [&] {
        std::vector<CTraceStore*> all{core.GetDataLine()};
        for (int k = 1; k <= kTraceCount; ++k)
            all.push_back(core.GetTrace(k));
        return all;
    };
    for (CTraceStore* s : stores()) {
        s->Configure(0, 100, 10);
        s->SetInitializedFlag(0);
    }
    now += CTimeSpan(5);
    core.SetTaskRunning(1);
    core.AnalysisFinished(0, 0); // an empty block: the step runs after it
    EXPECT_EQ(core.GetLoggingOutput().GetNextOutputTime(), now + CTimeSpan(5));
    for (CTraceStore* s : stores())
        EXPECT_EQ(s->GetInitializedFlag(), 1);
}

TEST(LoggingStep, OutputsInOneSecondReplaceTheirFilesAndFailuresDoNotStopLogging) {
    TempDir dir;
    LogCore core;
    CLoggingParam& p = core.GetLoggingParam();
    p.m_TargetDir = (dir.path() + "/gone").c_str();
    p.m_TimeSpan = CTimeSpan(0);
    core.GetLoggingOutput().Start();
    // A missing folder: nothing is written, the step still counts as an output.
    EXPECT_EQ(core.LoggingStep(), 1);
    EXPECT_TRUE(FilesIn(dir.path()).empty());
    ASSERT_TRUE(std::filesystem::create_directory(dir.path() + "/gone"));
    EXPECT_EQ(core.LoggingStep(), 1);
    EXPECT_EQ(core.LoggingStep(), 1);
    const std::string path = dir.path() + "/gone/20240601120000.CSV";
    EXPECT_EQ(FilesIn(dir.path() + "/gone"), std::set<std::string>{"20240601120000.CSV"});
    EXPECT_NE(ReadWholeFile(path).find("Output,2"), std::string::npos);

    // A full disk: the earlier file stays whole and no temporary file is left.
    p.m_OutFlags = CLoggingParam::kCsvBit | CLoggingParam::kBmpBit | CLoggingParam::kPngBit;
    {
        FileSizeLimit limit(64);
        EXPECT_EQ(core.LoggingStep(), 1);
        // The bar names the first output of the interval that failed.
        EXPECT_EQ(core.display.failed, path.c_str());
        EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
        EXPECT_EQ(core.WriteCSVFile(path.c_str()), 0);
        EXPECT_EQ(core.WriteBMPImage((dir.path() + "/x.BMP").c_str()), 0);
        EXPECT_EQ(core.WritePNGImage((dir.path() + "/x.PNG").c_str()), 0);
    }
    EXPECT_NE(ReadWholeFile(path).find("Output,2"), std::string::npos);
    EXPECT_EQ(FilesIn(dir.path() + "/gone"), std::set<std::string>{"20240601120000.CSV"});
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"gone"});
    // Space again: the next output is written.
    core.now += CTimeSpan(1);
    EXPECT_EQ(core.LoggingStep(), 1);
    EXPECT_EQ(FilesIn(dir.path() + "/gone").size(), 4u);
    EXPECT_EQ(core.display.failed, "");
}

TEST(LoggingStep, TheLoggingDialogStartsTheLoggingAndACancelledOneChangesNothing) {
    LogCore core;
    int answer = 1;
    core.GetLoggingOutput().Prompts().editLogging = [&](CLoggingParam* p) {
        p->m_TargetDir = answer ? "/tmp/logs" : "/tmp/other";
        p->m_StartTime = CTime(2024, 6, 1, 13, 0, 0);
        p->m_StopTime = CTime(2024, 6, 2, 13, 0, 0);
        p->m_StopFlag = 1;
        p->m_TimeSpan = CTimeSpan(60);
        p->m_RefreshFlag = 1;
        return answer;
    };
    EXPECT_EQ(core.ExecuteCommand(45, 0, 0, 0, 0, 0), kCommandDone);
    EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
    EXPECT_EQ(core.GetLoggingOutput().GetNextOutputTime(), CTime(2024, 6, 1, 13, 1, 0));
    EXPECT_TRUE(core.display.shown);
    EXPECT_EQ(core.display.folder, "/tmp/logs");
    EXPECT_EQ(core.display.next, "2024/06/01 13:01:00");
    EXPECT_EQ(core.display.end, "2024/06/02 13:00:00");
    EXPECT_TRUE(core.display.refresh);
    // Cancelled while logging runs: logging goes on with what it had.
    answer = 0;
    core.ExecuteCommand(45, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
    EXPECT_TRUE(core.display.shown);
    EXPECT_EQ(core.GetLoggingParam().m_TargetDir, "/tmp/logs");
    // Without a stop time the bar shows no end.
    answer = 1;
    core.GetLoggingOutput().Prompts().editLogging = [](CLoggingParam* p) {
        p->m_StopFlag = 0;
        return 1;
    };
    core.ExecuteCommand(45, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.display.end, "");
}

TEST(LoggingStep, TheBarNamesAFailedOutputAndTheFilesCarryTheSecondOfTheirNames) {
    TempDir dir;
    LogCore core;
    CLoggingParam& p = core.GetLoggingParam();
    p.m_TargetDir = (dir.path() + "/gone").c_str();
    p.m_TimeSpan = CTimeSpan(0);
    core.GetLoggingOutput().Start();
    EXPECT_EQ(core.display.failed, "");
    EXPECT_EQ(core.LoggingStep(), 1);
    EXPECT_EQ(core.display.failed, (dir.path() + "/gone/20240601120000.CSV").c_str());
    // Once the folder is there the bar no longer claims a failure.
    ASSERT_TRUE(std::filesystem::create_directory(dir.path() + "/gone"));
    // The data arrived a second earlier than the clock of the output reads.
    core.SetLastDataTime(CTime(2024, 6, 1, 11, 59, 59));
    EXPECT_EQ(core.LoggingStep(), 1);
    EXPECT_EQ(core.display.failed, "");
    const std::string text = ReadWholeFile(dir.path() + "/gone/20240601120000.CSV");
    EXPECT_NE(text.find("Write Time,2024,6,1,12,0,0"), std::string::npos) << text;
}

TEST(LoggingStep, OutputNamesAndPathsWithoutExtensions) {
    EXPECT_EQ(CLoggingOutput::OutputBaseName("/data", CTime(2024, 1, 2, 3, 4, 5)),
              "/data/20240102030405");
    // The name typed is kept; an extension is added only where none was typed.
    EXPECT_EQ(CLoggingOutput::OutputPath("/a/normal1.csv", "CSV"), "/a/normal1.csv");
    EXPECT_EQ(CLoggingOutput::OutputPath("/a/normal1.Png", "PNG"), "/a/normal1.Png");
    EXPECT_EQ(CLoggingOutput::OutputPath("/a/run.png", "BMP"), "/a/run.bmp");
    EXPECT_EQ(CLoggingOutput::OutputPath("/a/run.PNG", "CSV"), "/a/run.CSV");
    EXPECT_EQ(CLoggingOutput::OutputPath("/a.d/b", "CSV"), "/a.d/b.CSV");
    EXPECT_EQ(CLoggingOutput::OutputPath("/a/b.", "CSV"), "/a/b.CSV");
    EXPECT_EQ(CLoggingOutput::OutputPath("/a/meas.1", "CSV"), "/a/meas.1.CSV");
    EXPECT_EQ(CLoggingOutput::WithSettingExtension("/a/b.dat"), "/a/b.dat");
    EXPECT_EQ(CLoggingOutput::WithSettingExtension("/a/b"), "/a/b.SPE");
    EXPECT_EQ(CLoggingOutput::WithSettingExtension("/a/normal1.spe"), "/a/normal1.spe");
}

// ---- Images

TEST(LoggingImages, BmpAndPngHoldTheWindowsPictureWithItsTimeStamp) {
    TempDir dir;
    LogCore core;
    core.SetLastDataTime(CTime(2024, 6, 1, 11, 59, 58));
    const std::string bmp = dir.file("w.BMP"), png = dir.file("w.PNG");
    ASSERT_EQ(core.WriteBMPImage(bmp.c_str()), 1);
    ASSERT_EQ(core.WritePNGImage(png.c_str()), 1);
    EXPECT_EQ(core.stamps, (std::vector<CString>{"2024/06/01 11:59:58", "<hidden>",
                                                 "2024/06/01 11:59:58", "<hidden>"}));
    EXPECT_EQ(ReadWholeFile(bmp).size(), 921654u);
    const QImage expected = core.GetLoggingOutput().RenderImage(true);
    for (const std::string& path : {bmp, png}) {
        QImage image(QString::fromStdString(path));
        ASSERT_EQ(image.size(), QSize(640, 480)) << path;
        EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0)) << path;
        EXPECT_EQ(image.pixel(639, 479), qRgb(0, 0, 255)) << path;
        EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32),
                  expected.convertToFormat(QImage::Format_RGB32))
            << path;
    }
    if (HaveTool("pngcheck")) {
        QProcess check;
        check.start("pngcheck", {QString::fromStdString(png)});
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
    }
    if (HaveTool("identify")) {
        QProcess identify;
        identify.start("identify", {"-format", "%w %h", QString::fromStdString(bmp)});
        ASSERT_TRUE(identify.waitForFinished(30000));
        EXPECT_EQ(identify.readAllStandardOutput().toStdString(), "640 480");
    }

    // Grey scale: the background turns white, colours an inverted grey.
    core.ExecuteCommand(14, 2, 0, 0, 0, 0);
    ASSERT_EQ(core.WritePNGImage(png.c_str()), 1);
    QImage grey(QString::fromStdString(png));
    EXPECT_EQ(grey.pixel(300, 300), qRgb(255, 255, 255));
    EXPECT_EQ(grey.pixel(0, 0), qRgb(171, 171, 171)); // 255 - (255 x 21845 >> 16)
    EXPECT_EQ(grey.pixel(110, 110), qRgb(149, 149, 149));
}

// ---- Window actions

class WindowActionTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<CMainFrame> frame;
    std::vector<CString> messages;
    LogCore core;

    void SetUp() override {
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        WriteProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", 7);
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        core.SetFrameLink(frame.get());
        core.GetLoggingOutput().Prompts().message = [this](const CString& text) {
            messages.push_back(text);
        };
    }
    void TearDown() override {
        frame.reset();
        FlushProfile();
        SetProfileFile(nullptr);
    }
};

TEST(WindowActionMessages, AFailureWarnsAndOnlyASuccessInforms) {
    TempDir dir;
    LogCore core;
    std::string chosen = dir.file("missing/w.SPE");
    core.GetLoggingOutput().Prompts().chooseSavePath = [&](const char*) {
        return CString(chosen.c_str());
    };
    std::vector<QMessageBox::Icon> icons;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            icons.push_back(box->icon());
            box->accept();
        }
    });
    timer.start();
    core.ExecuteCommand(8, 0, 0, 0, 0, 0); // the folder is missing
    chosen = dir.file("w.SPE");
    core.ExecuteCommand(8, 0, 0, 0, 0, 0);
    EXPECT_EQ(icons,
              (std::vector<QMessageBox::Icon>{QMessageBox::Warning, QMessageBox::Information}));
}

TEST_F(WindowActionTest, SaveDataWritesTheFlaggedOutputsAndReportsTheResult) {
    std::string chosen = dir.file("saved.txt");
    core.GetLoggingOutput().Prompts().chooseSavePath = [&](const char* filter) {
        EXPECT_STREQ(filter, "All Files (*.*)");
        return CString(chosen.c_str());
    };
    EXPECT_EQ(core.ExecuteCommand(11, 0, 0, 0, 0, 0), kCommandDone);
    std::set<std::string> files = FilesIn(dir.path());
    files.erase("TORVEL.INI");
    // Three outputs: an ending that names no format is part of the name.
    EXPECT_EQ(files, (std::set<std::string>{"saved.txt.CSV", "saved.txt.BMP", "saved.txt.PNG"}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], Text(kStrSaveSucceeded));

    chosen = dir.file("plain");
    core.ExecuteCommand(11, 0, 0, 0, 0, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("plain.CSV")));
    chosen = dir.file("missing/x.txt");
    core.ExecuteCommand(11, 0, 0, 0, 0, 0);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2], Text(kStrSaveFailed));
    chosen.clear(); // cancelled: nothing happens
    core.ExecuteCommand(11, 0, 0, 0, 0, 0);
    EXPECT_EQ(messages.size(), 3u);
}

TEST_F(WindowActionTest, SaveDataWithoutAFormatTakesTheExtensionTyped) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    std::string chosen;
    core.GetLoggingOutput().Prompts().chooseSavePath = [&](const char*) {
        return CString(chosen.c_str());
    };
    auto saved = [&] {
        std::set<std::string> files = FilesIn(dir.path());
        files.erase("TORVEL.INI");
        return files;
    };
    chosen = dir.file("shot.png");
    core.GetLoggingOutput().SaveData(0);
    chosen = dir.file("table.Csv");
    core.GetLoggingOutput().SaveData(0);
    chosen = dir.file("image.BMP");
    core.GetLoggingOutput().SaveData(0);
    EXPECT_EQ(saved(), (std::set<std::string>{"shot.png", "table.Csv", "image.BMP"}));
    EXPECT_EQ(messages, std::vector<CString>(3, Text(kStrSaveSucceeded)));
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("shot.png"))).size(), QSize(640, 480));

    // An extension that names no format writes nothing, and says that no
    // output format is chosen and where to choose one.
    messages.clear();
    for (const char* name : {"notes.txt", "plain", "dir.csv/x"}) {
        chosen = dir.file(name);
        core.GetLoggingOutput().SaveData(0);
    }
    EXPECT_EQ(saved().size(), 3u);
    EXPECT_EQ(messages, std::vector<CString>(3, Text(kStrNoOutputFormat)));
    EXPECT_NE(messages[0].Find("Output"), -1);
    EXPECT_NE(messages[0].Find("Save CSV"), -1);
}

TEST_F(WindowActionTest, ASingleOutputIsWrittenUnderTheNameTyped) {
    // CSV only: "x.txt" is written as typed, "x" gets the extension.
    WriteProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", 1);
    frame = std::make_unique<CMainFrame>([](const CString&) {});
    core.SetFrameLink(frame.get());
    std::string chosen;
    core.GetLoggingOutput().Prompts().chooseSavePath = [&](const char*) {
        return CString(chosen.c_str());
    };
    for (const char* name : {"x.txt", "normal1.csv", "y", "z.PNG"}) {
        chosen = dir.file(name);
        core.ExecuteCommand(11, 0, 0, 0, 0, 0);
    }
    std::set<std::string> files = FilesIn(dir.path());
    files.erase("TORVEL.INI");
    EXPECT_EQ(files, (std::set<std::string>{"x.txt", "normal1.csv", "y.CSV", "z.PNG"}));
    EXPECT_EQ(ReadWholeFile(dir.file("x.txt")).rfind("Torvel Version2 CSV Formatted Data File", 0),
              0u);
    EXPECT_EQ(messages, std::vector<CString>(4, Text(kStrSaveSucceeded)));
}

TEST_F(WindowActionTest, SavesAskBeforeReplacingAnyFileTheyWrite) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    std::vector<CString> questions;
    bool answer = false;
    core.GetLoggingOutput().Prompts().askYesNo = [&](const CString& text) {
        questions.push_back(text);
        return answer;
    };
    CString chosen = dir.file("run").c_str(); // the name typed does not exist
    core.GetLoggingOutput().Prompts().chooseSavePath = [&](const char*) { return chosen; };
    WriteWholeFile(dir.file("run.CSV"), "old");

    core.GetLoggingOutput().SaveData(7); // "no": nothing at all is written
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].Find(dir.file("run.CSV").c_str()), 0);
    EXPECT_NE(questions[0].Find(Text(kStrReplaceQuestion)), -1);
    EXPECT_EQ(ReadWholeFile(dir.file("run.CSV")), "old");
    EXPECT_FALSE(FileExists(dir.file("run.BMP").c_str()));
    EXPECT_TRUE(messages.empty());

    answer = true;
    core.GetLoggingOutput().SaveData(7);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_NE(ReadWholeFile(dir.file("run.CSV")), "old");
    EXPECT_TRUE(FileExists(dir.file("run.PNG").c_str()));
    core.GetLoggingOutput().SaveData(7); // now all three exist
    EXPECT_EQ(questions.size(), 5u);
    EXPECT_EQ(messages, std::vector<CString>(2, Text(kStrSaveSucceeded)));

    // The setting data file is asked for under the name typed as well.
    chosen = dir.file("run.txt").c_str();
    core.GetLoggingOutput().SaveSettingsFile();
    EXPECT_EQ(questions.size(), 5u);
    answer = false;
    WriteWholeFile(dir.file("run.txt"), "kept");
    core.GetLoggingOutput().SaveSettingsFile();
    EXPECT_EQ(questions.size(), 6u);
    EXPECT_EQ(ReadWholeFile(dir.file("run.txt")), "kept");
}

TEST_F(WindowActionTest, SettingsAreSavedAsSpeFilesAndLoadedBack) {
    CString chosen = dir.file("workspace.dat").c_str();
    core.GetLoggingOutput().Prompts().chooseSavePath = [&](const char*) { return chosen; };
    core.GetLoggingOutput().Prompts().chooseOpenPath = [&](const char* filter) {
        EXPECT_STREQ(filter, "Setting Files (*.SPE)");
        return chosen;
    };
    core.ExecuteCommand(17, 20, 0, 0, 0, 0);
    core.ExecuteCommand(8, 0, 0, 0, 0, 0);
    // The name typed is kept, whatever its ending.
    EXPECT_FALSE(std::filesystem::exists(dir.file("workspace.SPE")));
    const std::string text = ReadWholeFile(dir.file("workspace.dat"));
    EXPECT_EQ(text.rfind("Torvel Version2 Setting Data File", 0), 0u);
    EXPECT_NE(text.find("AttValue=20"), std::string::npos);
    core.ExecuteCommand(17, 40, 0, 0, 0, 0);
    EXPECT_EQ(core.ExecuteCommand(9, 0, 0, 0, 0, 0), kCommandReset);
    EXPECT_EQ(core.GetAttenuation(), 20);
    chosen = dir.file("missing/w.SPE").c_str();
    core.ExecuteCommand(8, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.ExecuteCommand(9, 0, 0, 0, 0, 0), kCommandDone);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], Text(kStrSaveSucceeded));
    EXPECT_EQ(messages[1], Text(kStrSaveFailed));
    EXPECT_EQ(messages[2], Text(kStrFileNotRead));
}

TEST_F(WindowActionTest, PrintAndCopyUseTheWindowsDrawing) {
    const std::string pdf = dir.file("page.pdf");
    QString docName;
    core.GetLoggingOutput().Prompts().setUpPrinter = [&](QPrinter& printer) {
        docName = printer.docName();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    };
    core.ExecuteCommand(7, 0, 0, 0, 0, 0);
    EXPECT_FALSE(docName.isEmpty());
    EXPECT_EQ(ReadWholeFile(pdf).rfind("%PDF", 0), 0u);
    EXPECT_EQ(core.stamps.size(), 2u); // printed with the time stamp

    core.ExecuteCommand(13, 0, 0, 0, 0, 0);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(640, 480));
    EXPECT_EQ(copied.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(copied.pixel(300, 300) & 0xFFFFFF, 0x000040u);
}

// ---- The logging bar

TEST(LoggingBar, BlinksThroughItsFourTextsAndShowsTheSchedule) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    QWidget parent;
    CLoggingBar bar(&parent);
    bar.hide();
    auto* button = bar.findChild<QPushButton*>("1080");
    auto* ref = bar.findChild<QLabel*>("1026");
    ASSERT_TRUE(button && ref);
    bar.ShowLogging("/data", "next", "end", true);
    EXPECT_TRUE(bar.isVisibleTo(&parent));
    EXPECT_TRUE(bar.HasTimer(CLoggingBar::kBlinkTimerId));
    EXPECT_EQ(bar.findChild<QLabel*>("1021")->text(), "/data");
    EXPECT_EQ(bar.findChild<QLabel*>("1023")->text(), "next");
    EXPECT_EQ(bar.findChild<QLabel*>("1025")->text(), "end");
    EXPECT_EQ(bar.findChild<QLabel*>("1020")->text(), GetTorvelString(31));
    EXPECT_TRUE(ref->autoFillBackground());
    EXPECT_EQ(ref->palette().color(QPalette::Window), QColor(0, 220, 0));
    std::vector<QString> texts;
    for (int i = 0; i < 5; ++i) {
        bar.Blink();
        texts.push_back(button->text());
    }
    EXPECT_EQ(texts,
              (std::vector<QString>{GetTorvelString(27), GetTorvelString(28), GetTorvelString(29),
                                    GetTorvelString(26), GetTorvelString(27)}));
    EXPECT_EQ(bar.BlinkCounter(), 1);
    bar.SetNextText("later");
    EXPECT_EQ(bar.findChild<QLabel*>("1023")->text(), "later");
    bar.ShowLogging("/data", "n", "e", false);
    EXPECT_FALSE(ref->autoFillBackground());
    EXPECT_EQ(bar.BlinkCounter(), 0);
    bar.HideLogging();
    EXPECT_FALSE(bar.isVisibleTo(&parent));
    EXPECT_FALSE(bar.HasTimer(CLoggingBar::kBlinkTimerId));
}

TEST(LoggingBar, ShowsNoEndWithoutAStopTimeAndNamesAFailedOutput) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    QWidget parent;
    CLoggingBar bar(&parent);
    bar.ShowLogging("/data", "next", "", false);
    EXPECT_FALSE(bar.findChild<QLabel*>("1024")->isVisibleTo(&bar));
    EXPECT_FALSE(bar.findChild<QLabel*>("1025")->isVisibleTo(&bar));
    bar.ShowLogging("/data", "next", "end", false);
    EXPECT_TRUE(bar.findChild<QLabel*>("1025")->isVisibleTo(&bar));
    auto* failed = bar.findChild<QLabel*>("1027");
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->isVisibleTo(&bar));
    bar.SetOutputFailed("/data/20240601120000.PNG");
    EXPECT_TRUE(failed->isVisibleTo(&bar));
    EXPECT_TRUE(failed->text().startsWith(GetTorvelString(34)));
    EXPECT_TRUE(failed->text().endsWith("/data/20240601120000.PNG"));
    bar.SetOutputFailed(CString());
    EXPECT_FALSE(failed->isVisibleTo(&bar));
}

TEST(LoggingBar, TheWindowsBarFollowsTheLoggingAndItsButtonEndsIt) {
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    {
        CMainFrame frame([](const CString&) {});
        auto owned = std::make_unique<LogCore>();
        LogCore* core = owned.get();
        core->GetLoggingOutput().Prompts().editLogging = [](CLoggingParam*) { return 1; };
        auto* window = new CChildFrame(&frame, std::move(owned));
        CLoggingBar* bar = window->GetLoggingBar();
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(core->GetLoggingOutput().GetDisplay(), bar);
        EXPECT_FALSE(bar->isVisibleTo(window));
        core->ExecuteCommand(45, 0, 0, 0, 0, 0);
        EXPECT_TRUE(bar->isVisibleTo(window));
        // The blink timer runs on the event loop.
        ASSERT_TRUE(PumpUntil([&] { return bar->BlinkCounter() > 0; }));
        bar->findChild<QPushButton*>("1080")->click();
        EXPECT_EQ(core->GetLoggingOutput().GetState(), CLoggingOutput::kOff);
        EXPECT_FALSE(bar->isVisibleTo(window));
        delete window;
    }
    FlushProfile();
    SetProfileFile(nullptr);
}

TEST(LoggingBar, TheWindowsBarNamesAnOutputLostToAFullDiskUntilTheNextIsWritten) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    {
        CMainFrame frame([](const CString&) {});
        auto owned = std::make_unique<LogCore>();
        LogCore* core = owned.get();
        CLoggingParam& p = core->GetLoggingParam();
        const std::string logs = dir.file("logs");
        ASSERT_TRUE(std::filesystem::create_directory(logs));
        p.m_TargetDir = logs.c_str();
        p.m_TimeSpan = CTimeSpan(10);
        p.m_OutFlags = CLoggingParam::kCsvBit | CLoggingParam::kPngBit;
        auto* window = new CChildFrame(&frame, std::move(owned));
        auto* failed = window->GetLoggingBar()->findChild<QLabel*>("1027");
        ASSERT_TRUE(failed);
        core->GetLoggingOutput().Start();
        core->now += CTimeSpan(10);
        {
            FileSizeLimit limit(64);
            EXPECT_EQ(core->LoggingStep(), 1);
        }
        EXPECT_TRUE(failed->isVisibleTo(window));
        EXPECT_TRUE(failed->text().endsWith(QString::fromStdString(logs + "/20240601120010.CSV")));
        EXPECT_TRUE(FilesIn(logs).empty());
        // Logging goes on: the next interval's outputs are written.
        EXPECT_EQ(core->GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
        core->now += CTimeSpan(10);
        EXPECT_EQ(core->LoggingStep(), 1);
        EXPECT_FALSE(failed->isVisibleTo(window));
        EXPECT_EQ(FilesIn(logs),
                  (std::set<std::string>{"20240601120020.CSV", "20240601120020.PNG"}));
        delete window;
    }
    FlushProfile();
    SetProfileFile(nullptr);
}
