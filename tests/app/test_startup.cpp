// Start-up and shutdown: profile defaults, the single instance, the device
// link's recovery and the window state saved at a signal.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelapp.h"
#include "device/TorvelAPI.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/cfile.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QAction>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

std::string iniValue(const std::string& ini, const std::string& key) {
    QRegularExpression re(QString::fromStdString("(?m)^" + key + "=([^\\r\\n]*)"));
    auto m = re.match(QString::fromStdString(ini));
    return m.hasMatch() ? m.captured(1).toStdString() : std::string("<missing>");
}

// Runs each test in its own working directory with its own copy of the data
// files; the single-instance lock name (string 1) is made unique per test so
// that parallel tests never meet each other's lock.
class StartupTest : public ::testing::Test {
protected:
    TempDir dir;
    char oldCwd[4096] = {};
    std::string lockName;

    void SetUp() override {
        ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        lockName = "TorvelTest" + std::to_string(getpid()) + "x" +
                   std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFF);
        std::ifstream in(TORVEL_SOURCE_RESOURCES "/Torvel.txt");
        std::ofstream out(dir.file("Torvel.txt"));
        std::string line;
        for (int i = 0; std::getline(in, line); ++i)
            out << (i == 1 ? "0001:" + lockName : line) << "\n";
        WriteWholeFile(dir.file("TorvelList.txt"),
                       ReadWholeFile(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"));
    }
    void TearDown() override {
        FlushProfile();
        SetProfileFile(nullptr);
        unsetenv("TORVEL_SIM_SCENE");
        setenv("TORVEL_SIM_SPEED", "0", 1);
        ASSERT_EQ(chdir(oldCwd), 0);
    }
    std::string ini() {
        FlushProfile();
        return ReadWholeFile(dir.file("TORVEL.INI"));
    }
    // Replaces line `index` of the test's string table with text.
    void replaceTableLine(int index, const std::string& text) {
        std::string table;
        {
            std::ifstream in(dir.file("Torvel.txt"));
            std::string line;
            for (int i = 0; std::getline(in, line); ++i)
                table += (i == index ? text : line) + "\n";
        }
        WriteWholeFile(dir.file("Torvel.txt"), table);
    }
};

// The RECT a first start writes back.
std::string firstStartRect() {
    const RECT r =
        CMainFrame::FirstStartRect(QGuiApplication::primaryScreen()->availableGeometry());
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

} // namespace

TEST_F(StartupTest, FirstStartWritesTheDefaultsAndTheChannelList) {
    {
        CTorvelApp app;
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        CMainFrame* frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        // Four fifths of the screen, centred (the placement test has the figures).
        const RECT first =
            CMainFrame::FirstStartRect(QGuiApplication::primaryScreen()->availableGeometry());
        EXPECT_EQ(frame->x(), first.left);
        EXPECT_EQ(frame->y(), first.top);
        EXPECT_EQ(frame->width(), first.right - first.left);
        EXPECT_EQ(frame->height(), first.bottom - first.top);
        EXPECT_NE(frame->SerialNumber(), 0);
        app.ExitInstance();
    }
    std::string text = ini();
    EXPECT_EQ(iniValue(text, "TableFile"), "Torvel.txt");
    EXPECT_EQ(iniValue(text, "ChannelFile"), "TorvelList.txt");
    EXPECT_EQ(iniValue(text, "StartMode"), "1");
    EXPECT_EQ(iniValue(text, "MAXIMIZE"), "0");
    EXPECT_EQ(iniValue(text, "RECT"), firstStartRect());
    EXPECT_EQ(iniValue(text, "OUT_FILE_FLAG"), "0");
    EXPECT_TRUE(FileExists(dir.file("TorvelList.txt").c_str()));
}

TEST_F(StartupTest, ReadOnlyProfileAndChannelListAreLeftAsTheyWereAndNamedAtExit) {
    {
        CTorvelApp app;
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        app.ExitInstance();
    }
    SetProfileFile(nullptr);
    const std::string profile = ReadWholeFile(dir.file("TORVEL.INI"));
    const std::string list = ReadWholeFile(dir.file("TorvelList.txt"));
    ASSERT_EQ(chmod(dir.file("TORVEL.INI").c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.file("TorvelList.txt").c_str(), 0444), 0);
    testing::internal::CaptureStderr();
    {
        CTorvelApp app;
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        app.MainFrame()->move(150, 160); // a change the profile cannot take
        PumpEvents();
        app.ExitInstance();
    }
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("TorvelList.txt could not be saved: Permission denied"), std::string::npos)
        << error;
    EXPECT_NE(error.find("TORVEL.INI could not be saved: Permission denied"), std::string::npos)
        << error;
    SetProfileFile(nullptr);
    EXPECT_EQ(ReadWholeFile(dir.file("TORVEL.INI")), profile);
    EXPECT_EQ(ReadWholeFile(dir.file("TorvelList.txt")), list);
    chmod(dir.file("TORVEL.INI").c_str(), 0644);
}

TEST_F(StartupTest, MissingDataFilesEndStartUpWithOneClearLine) {
    unlink(dir.file("TorvelList.txt").c_str());
    WriteWholeFile(dir.file("TORVEL.INI"), "[MAIN_FRAME]\nChannelFile=/nonexistent/List.txt\n");
    CTorvelApp app;
    EXPECT_FALSE(app.InitInstance({"Torvel", "--no-splash"}));
    EXPECT_NE(app.StartupError().Find("/nonexistent/List.txt"), -1);
    EXPECT_EQ(app.MainFrame(), nullptr);
}

TEST_F(StartupTest, ASecondStartBringsTheFirstToTheFrontAndExits) {
    CTorvelApp app;
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"}));
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(dir.path()));
    second.start(TORVEL_BINARY, {"--no-splash"});
    ASSERT_TRUE(PumpUntil([&] {
        return second.state() == QProcess::NotRunning && app.MainFrame()->ActivationCount() == 1;
    })) << second.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
}

TEST_F(StartupTest, TermWhileMaximisedKeepsTheLastRectAndStoresMaximize) {
    WriteWholeFile(dir.file("TORVEL.INI"),
                   "[WINDOW]\nRECT=10,20,630,500\nMAXIMIZE=1\nStartMode=1\n");
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    program.start(TORVEL_BINARY, {"--no-splash"});
    ASSERT_TRUE(program.waitForStarted());
    // The program has finished starting once it wrote the table file name back.
    ASSERT_TRUE(PumpUntil([&] { return ini().find("TableFile=") != std::string::npos; }));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    std::string text = ini();
    EXPECT_EQ(iniValue(text, "MAXIMIZE"), "1");
    EXPECT_EQ(iniValue(text, "RECT"), "10,20,630,500");
}

TEST_F(StartupTest, TermWhileAModalBoxIsOpenClosesInOrder) {
    // The start window cannot read its offset file: a message box is open
    // when the signal comes.
    WriteWholeFile(dir.file("TORVEL.INI"),
                   "[WINDOW]\nRECT=30,40,530,440\nStartMode=1\n[NormalAnalysis_1]\n"
                   "OffsetFlag=1\nOffsetFile=/nonexistent/levels.txt\nAttValue=20\n");
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    program.start(TORVEL_BINARY, {"--no-splash"});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(PumpUntil([&] { return ini().find("TableFile=") != std::string::npos; }));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // The window and the frame wrote their state.
    std::string text = ini();
    EXPECT_EQ(iniValue(text, "RECT"), "30,40,530,440");
    EXPECT_EQ(iniValue(text, "AttValue"), "20");
    EXPECT_EQ(iniValue(text, "OUT_FILE_FLAG"), "0");
}

TEST_F(StartupTest, AnUnpluggedDeviceIsReopenedByTheTimerOnceItIsBack) {
    WriteWholeFile(dir.file("scene.ini"),
                   "[Scene]\nSeed=7\n[Faults]\nUnplugAt=0.3\nReplugAfter=0.6\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    setenv("TORVEL_SIM_SPEED", "1", 1);
    // The start window analyses, so the unplug is noticed by its running task.
    WriteWholeFile(dir.file("TORVEL.INI"), "[NormalAnalysis_1]\nAnalyzeFlag=1\nStartFrequency="
                                           "400000\nStopFrequency=440000\n");
    CTorvelApp app;
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"}));
    setenv("TORVEL_SIM_SPEED", "0", 1);
    CMainFrame* frame = app.MainFrame();
    ASSERT_TRUE(PumpUntil([&] { return frame->IsDeviceLost(); }, std::chrono::seconds(5)));
    // Every window's graph says so, and its title.
    ASSERT_EQ(frame->Scheduler().Cores().size(), 1u);
    auto* normal = dynamic_cast<CNormalAnalysis*>(frame->Scheduler().Cores().front());
    ASSERT_TRUE(normal);
    const CString lost = GetTorvelString(85);
    ASSERT_FALSE(lost.IsEmpty());
    EXPECT_EQ(normal->GetGraphInterface().GetGraph().GetStatusText().GetText(), lost);
    EXPECT_TRUE(normal->GetWindow()->windowTitle().contains(QString::fromUtf8(lost.c_str())));
    // While the device is out no task runs, and nothing else happens.
    bool taskWhileLost = false;
    PumpUntil(
        [&] {
            if (!frame->IsDeviceLost())
                return true;
            for (CAnalysisCore* c : frame->Scheduler().Cores())
                taskWhileLost = taskWhileLost || c->GetTaskRunning();
            return false;
        },
        std::chrono::seconds(5));
    EXPECT_FALSE(taskWhileLost);
    // Back at 0.9 s after loading; the one-second timer picks it up.
    EXPECT_FALSE(frame->IsDeviceLost());
    EXPECT_NE(normal->GetGraphInterface().GetGraph().GetStatusText().GetText(), lost);
    EXPECT_FALSE(normal->GetWindow()->windowTitle().contains(QString::fromUtf8(lost.c_str())));
    // The rotation runs again without any user action.
    ASSERT_TRUE(PumpUntil([&] { return frame->CurrentAnalysisId() != 0; }));
    unsetenv("TORVEL_SIM_SPEED");
}

namespace {
// Runs the program in the test's folder until it ends; its exit code and stderr.
struct RunResult {
    int exitCode = -1;
    QString error;
};
RunResult runProgram(const std::string& folder) {
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(folder));
    // A runtime folder of its own, so that the toolkit has nothing to say.
    const std::string runtime = folder + "/runtime";
    mkdir(runtime.c_str(), 0700);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    program.setProcessEnvironment(env);
    program.start(TORVEL_BINARY, {"--no-splash"});
    RunResult r;
    if (!program.waitForStarted() || !program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return r;
    }
    r.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    r.error = QString::fromUtf8(program.readAllStandardError());
    return r;
}
} // namespace

TEST_F(StartupTest, NoStringTableOrChannelListEndsTheProgramWithOneLineNamingTheFile) {
    // Missing, a folder, a FIFO: each kind of unusable file in each place.
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const char* key : {"TableFile", "ChannelFile"}) {
        for (const char* name : {"missing.txt", "folder", "fifo"}) {
            WriteWholeFile(dir.file("TORVEL.INI"),
                           std::string("[MAIN_FRAME]\n") + key + "=" + name + "\n");
            const RunResult r = runProgram(dir.path());
            EXPECT_NE(r.exitCode, 0) << key << " " << name;
            EXPECT_EQ(r.error.count('\n'), 1) << r.error.toStdString();
            EXPECT_TRUE(r.error.contains(QString("\"") + name + "\"")) << r.error.toStdString();
            EXPECT_TRUE(
                r.error.contains(std::string(key) == "TableFile" ? "string table" : "channel list"))
                << r.error.toStdString();
        }
    }
}

TEST_F(StartupTest, AnEmptyCommandListOrNoDeviceShowsItsStringAndSaysWhy) {
    // The command list starts at line 100; here it ends at once.
    std::string firstCommand;
    {
        std::ifstream in(dir.file("Torvel.txt"));
        for (int i = 0; i <= 100; ++i)
            std::getline(in, firstCommand);
    }
    replaceTableLine(100, "0100:END_LIST");
    std::vector<std::string> shown;
    {
        CTorvelApp app;
        app.MessageBox = [&](const CString& text) { shown.push_back(text.c_str()); };
        EXPECT_FALSE(app.InitInstance({"Torvel", "--no-splash"}));
        EXPECT_FALSE(app.FoundOtherInstance());
        EXPECT_NE(app.StartupError().Find("command list"), -1) << app.StartupError().c_str();
        EXPECT_NE(app.StartupError().Find("Torvel.txt"), -1);
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], GetTorvelString(3));

    // With the command list back, a device that cannot be opened shows string 4.
    replaceTableLine(100, firstCommand);
    setenv("TORVEL_SIM_SCENE", dir.file("no-such-scene.ini").c_str(), 1);
    shown.clear();
    CTorvelApp app;
    app.MessageBox = [&](const CString& text) { shown.push_back(text.c_str()); };
    EXPECT_FALSE(app.InitInstance({"Torvel", "--no-splash"}));
    EXPECT_NE(app.StartupError().Find("analyser"), -1) << app.StartupError().c_str();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], GetTorvelString(4));
}

TEST_F(StartupTest, ADeviceThatCannotBeLoadedIsNamedAndTheSimulatorIsUsedAndRemembered) {
    EXPECT_NE(
        CTorvelApp::ParseCommandLine({"Torvel", "--device", "rtlsdr"}).error.indexOf("--device"),
        -1);
    EXPECT_EQ(CTorvelApp::ParseCommandLine({"Torvel", "--device=soapy:driver=rtlsdr"}).device,
              "soapy:driver=rtlsdr");
    std::vector<std::string> shown;
    {
        CTorvelApp app;
        app.MessageBox = [&](const CString& text) { shown.push_back(text.c_str()); };
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash", "--device", "/nowhere/libX.so"}))
            << app.StartupError().c_str();
        EXPECT_EQ(app.MainFrame()->SerialNumber(), 20517);
        app.ExitInstance();
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("/nowhere/libX.so"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("the simulator is used"), std::string::npos) << shown[0];
    EXPECT_EQ(iniValue(ini(), "Library"), "simulator");
}

namespace {
// The simulator's library by its path: a device of its own as far as the
// program knows, and one that cannot be opened on a scene file that is not
// there.
std::string simulatorByPath() {
    std::string binary = TORVEL_BINARY;
    return binary.substr(0, binary.rfind('/') + 1) + "libTorvelAPI.so";
}
} // namespace

TEST_F(StartupTest, AChosenDeviceThatCannotBeOpenedIsNamedTheSimulatorOfferedAndNotKept) {
    const std::string device = simulatorByPath();
    WriteWholeFile(dir.file("TORVEL.INI"), "[DEVICE]\nLibrary=simulator\n");
    for (bool take : {false, true}) {
        setenv("TORVEL_SIM_SCENE", dir.file("no-such-scene.ini").c_str(), 1);
        std::vector<std::string> asked;
        CTorvelApp app;
        app.MessageBox = [](const CString& text) { ADD_FAILURE() << text.c_str(); };
        app.Question = [&](const CString& text) {
            asked.push_back(text.c_str());
            // The simulator, offered in its place, opens.
            unsetenv("TORVEL_SIM_SCENE");
            return take;
        };
        const bool started =
            app.InitInstance({"Torvel", "--no-splash", "--device", device.c_str()});
        EXPECT_EQ(started, take);
        ASSERT_EQ(asked.size(), 1u);
        // The device is named, with how to choose another, and the simulator offered.
        EXPECT_NE(asked[0].find(device), std::string::npos) << asked[0];
        EXPECT_NE(asked[0].find("--device simulator"), std::string::npos) << asked[0];
        EXPECT_NE(asked[0].find(GetTorvelString(2651)), std::string::npos) << asked[0];
        if (take) {
            EXPECT_EQ(app.MainFrame()->SerialNumber(), 20517);
            app.ExitInstance();
        } else {
            EXPECT_NE(app.StartupError().Find(device.c_str()), -1) << app.StartupError().c_str();
            EXPECT_NE(app.StartupError().Find("--device simulator"), -1);
        }
        // A choice is kept only once it has opened.
        EXPECT_EQ(iniValue(ini(), "Library"), "simulator") << take;
    }
}

TEST_F(StartupTest, QuitAfterEndsAStartThatAsksAboutADeviceThatCannotBeOpened) {
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    const std::string runtime = dir.path() + "/runtime";
    mkdir(runtime.c_str(), 0700);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    env.insert("TORVEL_SIM_SCENE", QString::fromStdString(dir.file("no-such-scene.ini")));
    program.setProcessEnvironment(env);
    program.start(TORVEL_BINARY, {"--no-splash", "--quit-after", "300", "--device",
                                  QString::fromStdString(simulatorByPath())});
    ASSERT_TRUE(program.waitForStarted());
    const bool ended = program.waitForFinished(20000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    ASSERT_TRUE(ended) << "the start waited for an answer";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("--device simulator"));
}

TEST_F(StartupTest, ALongInstanceNameStillTakesTheLock) {
    // String 1 names the lock; far longer than a file or socket name may be.
    replaceTableLine(1, "0001:" + lockName + std::string(400, 'L'));
    CTorvelApp app;
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
    EXPECT_FALSE(app.FoundOtherInstance());
    // A second start with the same name finds it taken and brings it forward.
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(dir.path()));
    second.start(TORVEL_BINARY, {"--no-splash"});
    ASSERT_TRUE(PumpUntil([&] {
        return second.state() == QProcess::NotRunning && app.MainFrame()->ActivationCount() == 1;
    })) << second.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0);
}

TEST_F(StartupTest, AProfileThatCannotBeReadIsKeptAndTheStartGoesOnWithDefaults) {
    // A FIFO as TORVEL.INI would block a plain open for ever.
    ASSERT_EQ(mkfifo(dir.file("TORVEL.INI").c_str(), 0600), 0);
    std::vector<std::string> shown;
    {
        CTorvelApp app;
        app.MessageBox = [&](const CString& text) { shown.push_back(text.c_str()); };
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        app.ExitInstance();
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("TORVEL.INI"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("default settings"), std::string::npos) << shown[0];
    struct stat st {};
    ASSERT_EQ(stat(dir.file("TORVEL.INI.unreadable").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(iniValue(ini(), "StartMode"), "1");

    // Settings with a NUL byte in them: kept as they were, beside the new file.
    const std::string damaged = std::string("[WINDOW]\nStartMode=1\nRECT=1,2,3,4\n\0\n", 35);
    SetProfileFile(nullptr);
    unlink(dir.file("TORVEL.INI.unreadable").c_str());
    WriteWholeFile(dir.file("TORVEL.INI"), damaged);
    shown.clear();
    {
        CTorvelApp app;
        app.MessageBox = [&](const CString& text) { shown.push_back(text.c_str()); };
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        app.ExitInstance();
    }
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(ReadWholeFile(dir.file("TORVEL.INI.unreadable")), damaged);
    EXPECT_EQ(iniValue(ini(), "RECT"), firstStartRect());
}

TEST_F(StartupTest, WithoutADisplayTheProgramSaysSoInOneLineAndEndsWithStatusOne) {
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    const std::string runtime = dir.file("runtime");
    mkdir(runtime.c_str(), 0700);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    program.setProcessEnvironment(env);
    program.start(TORVEL_BINARY, {"--no-splash"});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString error = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(error.count('\n'), 1) << error.toStdString();
    EXPECT_TRUE(error.contains("needs a display")) << error.toStdString();
    EXPECT_TRUE(error.contains("xvfb-run")) << error.toStdString();
}

// The Options menu's Reopen Windows at Start item of the menu bar, its tick
// brought up to date as when the menu opens.
QAction* ReopenItem(CMainFrame* frame) {
    for (QAction* a : frame->menuBar()->actions()) {
        QMenu* menu = a->menu();
        if (!menu || a->text().remove('&') != "Options")
            continue;
        Q_EMIT menu->aboutToShow();
        for (QAction* item : menu->actions())
            if (item->text().remove('&') == "Reopen Windows at Start")
                return item;
    }
    return nullptr;
}

TEST_F(StartupTest, TheWindowsOpenAtExitComeBackAtTheirPlaces) {
    std::vector<std::pair<int, QRect>> before;
    {
        CTorvelApp app;
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        CMainFrame* frame = app.MainFrame();
        frame->resize(1000, 800);
        // A title with a comma and a byte of another code page.
        ASSERT_TRUE(frame->OpenAnalysisWindow(3, "Zero \xe9, Span", 1));
        PumpEvents();
        const QList<QMdiSubWindow*> windows =
            frame->mdiArea()->subWindowList(QMdiArea::CreationOrder);
        ASSERT_EQ(windows.size(), 2);
        windows[0]->setGeometry(10, 20, 400, 350);
        windows[1]->setGeometry(300, 60, 450, 380);
        for (QMdiSubWindow* w : windows)
            before.emplace_back(dynamic_cast<CChildFrame*>(w)->GetCore()->GetAnalysisType(),
                                w->geometry());
        app.ExitInstance();
    }
    {
        CTorvelApp app;
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        PumpEvents();
        std::vector<std::pair<int, QRect>> after;
        for (QMdiSubWindow* w : app.MainFrame()->mdiArea()->subWindowList(QMdiArea::CreationOrder))
            after.emplace_back(dynamic_cast<CChildFrame*>(w)->GetCore()->GetAnalysisType(),
                               w->geometry());
        EXPECT_EQ(after, before);
        // The title comes back byte for byte.
        const QList<QMdiSubWindow*> windows =
            app.MainFrame()->mdiArea()->subWindowList(QMdiArea::CreationOrder);
        ASSERT_EQ(windows.size(), 2);
        EXPECT_EQ(dynamic_cast<CChildFrame*>(windows[1])->GetCore()->GetTitle().str(),
                  "Zero \xe9, Span");
        // Options > Reopen Windows at Start is ticked; the user switches it off.
        QAction* item = ReopenItem(app.MainFrame());
        ASSERT_TRUE(item);
        EXPECT_TRUE(item->isChecked());
        item->trigger();
        ReopenItem(app.MainFrame());
        EXPECT_FALSE(item->isChecked());
        app.ExitInstance();
    }
    // Switched off, only the start window opens, and the item stays unticked
    // in the menu of the frame without windows too.
    EXPECT_EQ(iniValue(ini(), "ReopenWindows"), "0");
    CTorvelApp app;
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
    EXPECT_EQ(app.MainFrame()->mdiArea()->subWindowList().size(), 1);
    app.MainFrame()->mdiArea()->closeAllSubWindows();
    PumpEvents();
    QAction* item = ReopenItem(app.MainFrame());
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(ReopenItem(app.MainFrame())->isChecked());
    app.ExitInstance();
    EXPECT_EQ(iniValue(ini(), "ReopenWindows"), "1");
}

TEST_F(StartupTest, AFirstStartMeasuresAndAStoppedWindowSaysHowToStart) {
    CString stopped;
    auto statusOf = [](CMainFrame* frame) {
        QMdiSubWindow* w = frame->mdiArea()->activeSubWindow();
        auto* core =
            w ? dynamic_cast<CNormalAnalysis*>(dynamic_cast<CChildFrame*>(w)->GetCore()) : nullptr;
        EXPECT_NE(core, nullptr);
        return core ? std::make_pair(core->GetAnalyzeFlag(),
                                     core->GetGraphInterface().GetGraph().GetStatusText().GetText())
                    : std::make_pair(-1, CString());
    };
    {
        // No profile yet: the start window measures at once, with no "Stopped" in its graph.
        ASSERT_FALSE(FileExists(dir.file("TORVEL.INI").c_str()));
        CTorvelApp app;
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        stopped = GetTorvelString(2408);
        ASSERT_FALSE(stopped.IsEmpty());
        PumpEvents();
        auto [running, status] = statusOf(app.MainFrame());
        EXPECT_NE(running, 0);
        EXPECT_NE(status, stopped);
        // Run/Stop stops it, and the graph says how to start it again.
        dynamic_cast<CChildFrame*>(app.MainFrame()->mdiArea()->activeSubWindow())
            ->GetCore()
            ->ExecuteCommand(16, 0, 0, 0, 0, 0);
        std::tie(running, status) = statusOf(app.MainFrame());
        EXPECT_EQ(running, 0);
        EXPECT_EQ(status, stopped);
        app.ExitInstance();
    }
    // With a profile the window opens stopped, and says so.
    CTorvelApp app;
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
    PumpEvents();
    auto [running, status] = statusOf(app.MainFrame());
    EXPECT_EQ(running, 0);
    EXPECT_EQ(status, stopped);
    app.ExitInstance();
}
