// The program as a desktop program: its command line, files named on it, files
// handed to a running instance, and the installed program starting from
// another folder.
#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/programicon.h"
#include "app/torvelapp.h"
#include "lib/settingfile.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Kind = CTorvelApp::FileKind;

// Each test works in its own folder with its own data files; string 1, the
// single-instance name, is unique per test so parallel tests never meet.
class DesktopTest : public ::testing::Test {
protected:
    TempDir dir;
    char oldCwd[4096] = {};
    std::string table;

    void SetUp() override {
        ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        const std::string lockName = "TorvelDesktopTest" + std::to_string(getpid()) + "x" +
                                     std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFF);
        std::ifstream in(TORVEL_SOURCE_RESOURCES "/Torvel.txt");
        std::string line;
        for (int i = 0; std::getline(in, line); ++i)
            table += (i == 1 ? "0001:" + lockName : line) + "\n";
        copyDataTo(dir.path());
    }
    void TearDown() override {
        FlushProfile();
        SetProfileFile(nullptr);
        ASSERT_EQ(chdir(oldCwd), 0);
    }
    void copyDataTo(const std::string& folder) {
        WriteWholeFile(folder + "/Torvel.txt", table);
        WriteWholeFile(folder + "/TorvelList.txt",
                       ReadWholeFile(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"));
    }
    // Writes a normal window titled title (and so told apart from the start
    // window) as a setting data file and as a CSV data file, from a program
    // run of their own.
    void writeDataFiles(const std::string& title, const std::string& spe, const std::string& csv) {
        CTorvelApp app;
        watch(app);
        ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
        CChildFrame* w = app.MainFrame()->OpenAnalysisWindow(1, title.c_str(), 1);
        ASSERT_TRUE(w);
        CCorePrompts& prompts = w->GetCore()->GetLoggingOutput().Prompts();
        prompts.warning = [this](const CString& text) { shown.push_back(text.c_str()); };
        prompts.askYesNo = [this](const CString& text) {
            shown.push_back(text.c_str());
            return true;
        };
        ReleaseSettingFileObject();
        ASSERT_EQ(w->GetCore()->SaveSettings(), 1);
        ASSERT_EQ(WriteSettingFileObject(spe.c_str()), 1);
        ReleaseSettingFileObject();
        ASSERT_EQ(w->GetCore()->WriteCSVFile(csv.c_str()), 1);
        app.ExitInstance();
        // A normal window's many points make the CSV save ask first (yes).
        shown.clear();
    }
    // Message boxes are recorded instead of waiting for a user.
    std::vector<std::string> shown;
    void watch(CTorvelApp& app) {
        app.MessageBox = [this](const CString& text) { shown.push_back(text.c_str()); };
    }
    static QStringList titles(CMainFrame* frame) {
        QStringList t;
        for (QMdiSubWindow* w : frame->mdiArea()->subWindowList())
            if (auto* c = dynamic_cast<CChildFrame*>(w))
                t << QString::fromUtf8(c->GetCore()->GetTitle().c_str());
        return t;
    }
};

// The program run with no display at all and nothing of the toolkit's set.
struct ProgramRun {
    int exitCode = -1;
    QString out, err;
};
ProgramRun runWithoutDisplay(const QStringList& args, const QString& folder) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(v);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(TORVEL_BINARY, args);
    ProgramRun r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

TEST(CommandLine, OptionsFilesAndTheToolkitsOwnOptions) {
    const QString cwd = QDir::currentPath();
    auto cl = CTorvelApp::ParseCommandLine({"torvel", "-platform", "offscreen", "--style=Fusion",
                                            "-reverse", "a.SPE", "--no-splash", "--quit-after",
                                            "250", "--", "--odd.CSV", "/abs/b.CSV"});
    EXPECT_TRUE(cl.error.isEmpty()) << cl.error.toStdString();
    EXPECT_FALSE(cl.showSplash);
    EXPECT_EQ(cl.quitAfterMs, 250);
    // A toolkit option's value is not a file; relative names are made absolute
    // here, before the program may change folder or hand them on.
    EXPECT_EQ(cl.files, QStringList({cwd + "/a.SPE", cwd + "/--odd.CSV", "/abs/b.CSV"}));

    for (const QStringList& bad :
         {QStringList{"torvel", "--bogus"}, QStringList{"torvel", "--quit-after", "soon"},
          QStringList{"torvel", "--quit-after"}, QStringList{"torvel", "-x", "--help"}}) {
        cl = CTorvelApp::ParseCommandLine(bad);
        EXPECT_FALSE(cl.error.isEmpty()) << bad.join(' ').toStdString();
        EXPECT_FALSE(cl.error.contains('\n'));
    }
}

// Every window shows the program's icon (not the toolkit's), and the
// desktop entry names the window class the program's windows carry, so that
// a dock matches them with their launcher.
TEST_F(DesktopTest, EveryWindowCarriesTheProgramsIconAndTheEntryNamesItsClass) {
    CTorvelApp app;
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
    CMainFrame* frame = app.MainFrame();
    ASSERT_TRUE(frame->OpenAnalysisWindow(1, "Iconic", 1));
    const QImage icon = ProgramIcon().pixmap(32).toImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_NE(icon.pixel(16, 16), 0u) << "the icon is drawn";
    std::vector<QWidget*> windows = {frame};
    for (QMdiSubWindow* w : frame->mdiArea()->subWindowList())
        windows.push_back(w);
    QMessageBox box(frame);
    windows.push_back(&box);
    ASSERT_GE(windows.size(), 3u);
    for (QWidget* w : windows)
        EXPECT_EQ(w->windowIcon().pixmap(32).toImage(), icon) << w->metaObject()->className();

    EXPECT_EQ(QCoreApplication::applicationName(), kWindowClass);
    const std::string entry = ReadWholeFile(TORVEL_SOURCE_RESOURCES "/" TORVEL_APP_ID ".desktop");
    EXPECT_NE(entry.find(std::string("\nStartupWMClass=") + kWindowClass + "\n"),
              std::string::npos);
}

TEST_F(DesktopTest, AFileIsKnownByItsFirstLineAndNothingElseIsTaken) {
    WriteWholeFile(dir.file("a.SPE"), "Torvel Version2 Setting Data File\r\n[TORVEL_CORE]\r\n");
    WriteWholeFile(dir.file("b.txt"), "Torvel Version2 CSV Formatted Data File\n1,2\n");
    WriteWholeFile(dir.file("c.SPE"), "Torvel Version2 Setting Data File, or so\n");
    WriteWholeFile(dir.file("empty.CSV"), "");
    ASSERT_EQ(mkfifo(dir.file("fifo.SPE").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(dir.file("folder.SPE").c_str(), 0700), 0);
    EXPECT_EQ(CTorvelApp::DataFileKind(QString::fromStdString(dir.file("a.SPE"))), Kind::Setting);
    EXPECT_EQ(CTorvelApp::DataFileKind(QString::fromStdString(dir.file("b.txt"))), Kind::Csv);
    // A FIFO with no writer would block a plain open for ever.
    for (const char* name : {"c.SPE", "empty.CSV", "fifo.SPE", "folder.SPE", "missing.SPE"}) {
        QString problem;
        EXPECT_EQ(CTorvelApp::DataFileKind(QString::fromStdString(dir.file(name)), &problem),
                  Kind::Unreadable)
            << name;
        EXPECT_TRUE(problem.contains(QString::fromStdString(dir.file(name)))) << name;
        EXPECT_FALSE(problem.contains('\n'));
    }
}

TEST_F(DesktopTest, HelpVersionAndWrongCommandLinesAnswerWithoutADisplay) {
    const QString here = QString::fromStdString(dir.path());
    ProgramRun r = runWithoutDisplay({"--version"}, here);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Torvel " TORVEL_VERSION "\n");
    r = runWithoutDisplay({"--help"}, here);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Usage: torvel")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("--quit-after"));

    WriteWholeFile(dir.file("notes.txt"), "shopping list\n");
    for (const QStringList& args : {QStringList{"--frobnicate"}, QStringList{"notes.txt"},
                                    QStringList{"--no-splash", "missing.SPE"}}) {
        r = runWithoutDisplay(args, here);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(args.last())) << r.err.toStdString();
    }
    // Nothing was started: no profile was written.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("TORVEL.INI"))));
}

TEST_F(DesktopTest, FilesOnTheCommandLineOpenInsteadOfTheStartWindow) {
    writeDataFiles("Stored Spectrum", dir.file("z.SPE"), dir.file("z.CSV"));
    unlink(dir.file("TORVEL.INI").c_str());
    CTorvelApp app;
    watch(app);
    ASSERT_TRUE(
        app.InitInstance({"Torvel", "--no-splash", QString::fromStdString(dir.file("z.SPE")),
                          QString::fromStdString(dir.file("z.CSV"))}))
        << app.StartupError().c_str();
    EXPECT_EQ(titles(app.MainFrame()), QStringList({"Stored Spectrum", "Stored Spectrum"}));
    EXPECT_TRUE(shown.empty()) << shown[0];
    app.ExitInstance();

    // A file that passes its first line but cannot be loaded is reported, and
    // the start window opens instead (the windows of the last exit are not
    // reopened here).
    WriteProfileInt("WINDOW", "ReopenWindows", 0);
    FlushProfile();
    WriteWholeFile(dir.file("cut.SPE"), "Torvel Version2 Setting Data File\r\n");
    CTorvelApp second;
    watch(second);
    ASSERT_TRUE(second.InitInstance(
        {"Torvel", "--no-splash", QString::fromStdString(dir.file("cut.SPE"))}));
    EXPECT_EQ(shown.size(), 1u);
    ASSERT_EQ(second.MainFrame()->mdiArea()->subWindowList().size(), 1);
    EXPECT_NE(titles(second.MainFrame())[0], "Stored Spectrum");
}

TEST_F(DesktopTest, FilesGivenToASecondStartOpenInTheRunningInstance) {
    // The second start runs in another folder, with the same data files, and
    // names its file relative to that folder.
    const std::string elsewhere = dir.file("elsewhere");
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    copyDataTo(elsewhere);
    writeDataFiles("Handed Over", elsewhere + "/h.SPE", elsewhere + "/h.CSV");
    unlink(dir.file("TORVEL.INI").c_str());

    CTorvelApp app;
    watch(app);
    ASSERT_TRUE(app.InitInstance({"Torvel", "--no-splash"})) << app.StartupError().c_str();
    CMainFrame* frame = app.MainFrame();
    const QStringList before = titles(frame);
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(elsewhere));
    second.start(TORVEL_BINARY, {"--no-splash", "h.SPE", "h.CSV"});
    ASSERT_TRUE(PumpUntil([&] {
        return second.state() == QProcess::NotRunning && titles(frame).size() == before.size() + 2;
    })) << second.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(titles(frame).mid(before.size()), QStringList({"Handed Over", "Handed Over"}));
    EXPECT_GE(frame->ActivationCount(), 1);

    // A start given another temporary folder (a desktop session and a
    // terminal may differ) still finds the running Torvel and hands it the file.
    const std::string otherTmp = dir.file("othertmp");
    ASSERT_EQ(mkdir(otherTmp.c_str(), 0700), 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", QString::fromStdString(otherTmp));
    QProcess third;
    third.setProcessEnvironment(env);
    third.setWorkingDirectory(QString::fromStdString(elsewhere));
    third.start(TORVEL_BINARY, {"--no-splash", "h.SPE"});
    ASSERT_TRUE(PumpUntil([&] {
        return third.state() == QProcess::NotRunning && titles(frame).size() == before.size() + 3;
    })) << third.readAllStandardError().toStdString();
    EXPECT_EQ(third.exitCode(), 0);

    // An unreadable file is refused by the second start itself, in one line.
    second.start(TORVEL_BINARY, {"--no-splash", "nothing.SPE"});
    ASSERT_TRUE(PumpUntil([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(second.readAllStandardError().contains("nothing.SPE"));
    PumpEvents();
    EXPECT_EQ(titles(frame).size(), before.size() + 3);
}

TEST_F(DesktopTest, TheInstalledProgramStartsFromAnotherFolderWithItsOwnData) {
    const std::string prefix = dir.file("prefix");
    QProcess install;
    install.start(CMAKE_COMMAND,
                  {"--install", TORVEL_BUILD_DIR, "--prefix", QString::fromStdString(prefix)});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    for (const char* f :
         {"/bin/torvel", "/" TORVEL_PRIVATE_LIBDIR "/libTorvelLib.so",
          "/" TORVEL_PRIVATE_LIBDIR "/libTorvelAPI.so", "/share/torvel/Torvel.txt",
          "/share/torvel/TorvelList.txt", "/share/torvel/guide/index.html",
          "/share/torvel/guide/screenshots/normal.png", "/share/doc/torvel/copyright",
          "/share/doc/torvel/changelog.gz", "/share/applications/" TORVEL_APP_ID ".desktop",
          "/share/icons/hicolor/scalable/apps/" TORVEL_APP_ID ".svg",
          "/share/metainfo/" TORVEL_APP_ID ".metainfo.xml"})
        EXPECT_TRUE(QFile::exists(QString::fromStdString(prefix + f))) << f;

    // The installed data carry marks: this test's lock name, and a channel
    // that only the installed list holds. The list is written back to the
    // working folder at exit, so the mark shows which list was read.
    WriteWholeFile(prefix + "/share/torvel/Torvel.txt", table);
    std::string list = ReadWholeFile(prefix + "/share/torvel/TorvelList.txt");
    const size_t at = list.find("[0001]:CH1,");
    ASSERT_NE(at, std::string::npos);
    list.replace(at, 11, "[0001]:INSTALLED,");
    WriteWholeFile(prefix + "/share/torvel/TorvelList.txt", list);

    const std::string work = dir.file("work");
    const std::string xdg = dir.file("xdg");
    ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(xdg.c_str(), 0700), 0);
    for (bool userFolder : {false, true}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_DATA_HOME", QString::fromStdString(xdg));
        env.remove("LD_LIBRARY_PATH");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(work));
        QStringList args = {"--no-splash", "--quit-after", "300"};
        if (userFolder)
            args << "--user-folder";
        p.start(QString::fromStdString(prefix + "/bin/torvel"), args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        const std::string ran = userFolder ? xdg + "/torvel" : work;
        EXPECT_NE(ReadWholeFile(ran + "/TORVEL.INI").find("TableFile=Torvel.txt"),
                  std::string::npos)
            << ran;
        EXPECT_NE(ReadWholeFile(ran + "/TorvelList.txt").find("INSTALLED"), std::string::npos)
            << ran;
    }
}
