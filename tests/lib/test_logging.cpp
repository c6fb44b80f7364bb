// Logging parameters, the logging dialog (driven headless) and the log window.
#include "lib/loggingdialog.h"
#include "lib/loggingparam.h"
#include "lib/logwindow.h"
#include "lib/stringtable.h"
#include "platform/cfile.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTimeEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unistd.h>

namespace {

QString Lib(int n) {
    return QString::fromUtf8(GetLibraryString(n));
}

template <class T> T* Child(QWidget* parent, int id) {
    T* child = parent->findChild<T*>(QString::number(id));
    EXPECT_NE(child, nullptr) << id;
    return child;
}

// Runs fn on the application-modal widget of type T as soon as it shows.
template <class T> void WhenModal(std::function<void(T*)> fn, int attempts = 2000) {
    QTimer::singleShot(1, [fn, attempts] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            fn(w);
        } else if (attempts > 0) {
            WhenModal<T>(fn, attempts - 1);
        } else {
            ADD_FAILURE() << "no modal dialog appeared";
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
        }
    });
}

struct LoggingTest : ::testing::Test {
    TempDir dir;
    std::string oldDir;

    void SetUp() override {
        char buf[4096];
        oldDir = getcwd(buf, sizeof buf) ? buf : ".";
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
        DestroyLogWindow();
    }
    void TearDown() override {
        DestroyLogWindow();
        ASSERT_EQ(chdir(oldDir.c_str()), 0);
    }
    const char* section() { return GetLibraryString(33); }
};

} // namespace

TEST_F(LoggingTest, ParametersDefaultAndRoundTripThroughTheProfile) {
    const CTime before = CTime::GetCurrentTime();
    CLoggingParam fresh;
    EXPECT_GE(fresh.m_StartTime, before);
    EXPECT_LE(fresh.m_StartTime, CTime::GetCurrentTime());
    EXPECT_EQ(fresh.m_TimeSpan.GetTotalSeconds(), 1);
    EXPECT_EQ(fresh.m_CsvSize, 64);
    EXPECT_EQ(fresh.m_BmpSize, 1024);
    EXPECT_EQ(fresh.m_PngSize, 32);
    EXPECT_EQ(fresh.m_OutFlags, 0);
    EXPECT_EQ(fresh.m_TargetDir, dir.path().c_str());

    fresh.m_StartTime = CTime(2024, 5, 6, 7, 8, 9);
    fresh.m_StopTime = CTime(2024, 5, 7, 0, 0, 1);
    fresh.m_TimeSpan = CTimeSpan(1, 2, 3, 4);
    fresh.m_TargetDir = "/some/where";
    fresh.m_RefreshFlag = 1;
    fresh.m_StartFlag = 1;
    fresh.m_CsvSize = 10;
    fresh.m_OutFlags = 6;
    fresh.WriteProfile();
    EXPECT_EQ(GetProfileString(section(), "StartTime", ""), "2024,5,6,7,8,9");
    EXPECT_EQ(GetProfileString(section(), "StopSpan", ""), "1,2,3,4");

    CLoggingParam loaded;
    EXPECT_EQ(loaded.m_StartTime, fresh.m_StartTime);
    EXPECT_EQ(loaded.m_StopTime, fresh.m_StopTime);
    EXPECT_EQ(loaded.m_TimeSpan, fresh.m_TimeSpan);
    EXPECT_EQ(loaded.m_TargetDir, "/some/where");
    EXPECT_EQ(loaded.m_RefreshFlag, 1);
    EXPECT_EQ(loaded.m_StartFlag, 1);
    EXPECT_EQ(loaded.m_StopFlag, 0);
    EXPECT_EQ(loaded.m_CsvSize, 10);
    EXPECT_EQ(loaded.GetBmpFlag(), 1);
    EXPECT_EQ(loaded.GetCsvFlag(), 1);
    EXPECT_EQ(loaded.GetPngFlag(), 0);

    // A stored interval below one second would log without pause.
    WriteProfileString(section(), "StopSpan", "0,0,0,0");
    WriteProfileString(section(), "StartTime", "garbage");
    const CTime now = CTime::GetCurrentTime();
    CLoggingParam zero;
    EXPECT_EQ(zero.m_TimeSpan.GetTotalSeconds(), 1);
    EXPECT_GE(zero.m_StartTime, now);

    // An interval of more days than a 32-bit count holds is cut to the largest
    // one, which writes and reads back as itself.
    WriteProfileString(section(), "StopSpan", "2147483647,1000000,0,0");
    CLoggingParam huge;
    huge.WriteProfile();
    EXPECT_EQ(GetProfileString(section(), "StopSpan", ""), "2147483647,23,59,59");
    CLoggingParam again;
    EXPECT_EQ(again.m_TimeSpan, huge.m_TimeSpan);
}

TEST_F(LoggingTest, OutputFlagSettersTouchOnlyTheirBit) {
    CLoggingParam p;
    p.m_OutFlags = 7;
    p.SetCsvFlag(0);
    EXPECT_EQ(p.m_OutFlags, 5);
    p.SetPngFlag(0);
    EXPECT_EQ(p.m_OutFlags, 4);
    p.SetPngFlag(42);
    p.SetBmpFlag(0);
    EXPECT_EQ(p.m_OutFlags, 1);
    EXPECT_EQ(p.GetPngFlag(), 1);
    EXPECT_EQ(p.GetBmpFlag(), 0);
}

TEST_F(LoggingTest, IntervalListParsingSelectionAndBound) {
    auto table = ParseLoggingIntervals("10s,1m,5m,1h,1d");
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[0].seconds, 10);
    EXPECT_EQ(table[1].seconds, 60);
    EXPECT_EQ(table[3].seconds, 3600);
    EXPECT_EQ(table[4].seconds, 86400);
    EXPECT_EQ(table[1].label, "1 min");
    EXPECT_EQ(table[4].label, "1 day");

    // The nearest item: a stored 1 s is nearest to 10 s, not to a day.
    EXPECT_EQ(SelectLoggingInterval(table, 120), 1);
    EXPECT_EQ(SelectLoggingInterval(table, 60), 1);
    EXPECT_EQ(SelectLoggingInterval(table, 250), 2);
    EXPECT_EQ(SelectLoggingInterval(table, 5), 0);
    EXPECT_EQ(SelectLoggingInterval(table, 1), 0);
    EXPECT_EQ(SelectLoggingInterval(table, 3 * 86400), 4);
    EXPECT_EQ(SelectLoggingInterval({}, 10), -1);

    // Unknown unit letters, missing numbers and intervals that cannot pace a
    // recording are skipped.
    EXPECT_TRUE(ParseLoggingIntervals("3x").empty());
    auto mixed = ParseLoggingIntervals("3x,2w,,0s,-5s,s,7 d,99999999999w,4h");
    ASSERT_EQ(mixed.size(), 2u);
    EXPECT_EQ(mixed[0].seconds, 2 * 604800);
    EXPECT_EQ(mixed[0].label, "2 week");
    EXPECT_EQ(mixed[1].seconds, 4 * 3600);
    EXPECT_TRUE(ParseLoggingIntervals(nullptr).empty());

    // The table holds 64 items; the rest of a longer list is ignored.
    std::string many;
    for (int i = 1; i <= 100; ++i)
        many += std::to_string(i) + "s,";
    auto bounded = ParseLoggingIntervals(many.c_str());
    ASSERT_EQ(bounded.size(), static_cast<size_t>(kMaxLoggingIntervals));
    EXPECT_EQ(bounded.back().seconds, 64);

    // The comma after an item is looked for within 64 characters.
    auto far = ParseLoggingIntervals(("1s" + std::string(70, ' ') + ",2s").c_str());
    EXPECT_EQ(far.size(), 1u);
}

TEST_F(LoggingTest, EstimateTextPerRecordingAndPerDay) {
    const QString perRecording = Lib(35), perDay = Lib(36);
    EXPECT_EQ(QString::fromUtf8(LoggingEstimateText(96, 60).c_str()),
              perRecording + "\n96 KB\n" + perDay + "\n135 MB");
    EXPECT_EQ(LoggingEstimateText(0, 60), GetLibraryString(34));
    EXPECT_EQ(LoggingEstimateText(1024, 86400),
              CString(GetLibraryString(35)) + "\n1024 KB\n" + GetLibraryString(36) + "\n1024 KB");
    // Intervals over a day still count one recording per day.
    EXPECT_EQ(LoggingEstimateText(2048, 7 * 86400),
              CString(GetLibraryString(35)) + "\n2 MB\n" + GetLibraryString(36) + "\n2 MB");
}

TEST_F(LoggingTest, DialogShowsTheParametersAndAppliesItsEnableRules) {
    WriteProfileString(section(), "TimeSpan", "10s,1m,5m,1h,1d");
    CLoggingParam param;
    param.m_TimeSpan = CTimeSpan(120);
    param.m_OutFlags = 3; // CSV and PNG
    param.m_StartTime = CTime(2000, 1, 1, 0, 0, 0);
    param.m_StopTime = CTime::GetCurrentTime() + CTimeSpan(3, 0, 0, 0);
    param.m_TargetDir = "/tmp";

    CLoggingDialog dialog(param);
    EXPECT_EQ(dialog.windowTitle(), Lib(21));
    auto* combo = Child<QComboBox>(&dialog, 1040);
    EXPECT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(combo->itemText(1), "1 min");
    EXPECT_EQ(dialog.param().m_TimeSpan.GetTotalSeconds(), 60);
    EXPECT_TRUE(Child<QCheckBox>(&dialog, 1073)->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(&dialog, 1074)->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(&dialog, 1075)->isChecked());
    EXPECT_EQ(Child<QLineEdit>(&dialog, 1042)->text(), "/tmp");
    auto* estimate = Child<QLabel>(&dialog, 1043);
    EXPECT_EQ(estimate->text(), Lib(35) + "\n96 KB\n" + Lib(36) + "\n135 MB");

    // A start time in the past shows a whole minute a little ahead, still to
    // come when OK is pressed; the stop time as stored.
    const QDateTime shownStart(Child<QDateEdit>(&dialog, 1038)->date(),
                               Child<QTimeEdit>(&dialog, 1036)->time());
    const qint64 ahead = QDateTime::currentDateTime().secsTo(shownStart);
    EXPECT_GE(ahead, 60);
    EXPECT_LE(ahead, 121);
    EXPECT_EQ(shownStart.time().second(), 0);
    const CTime stop = param.m_StopTime;
    EXPECT_EQ(Child<QDateEdit>(&dialog, 1039)->date(),
              QDate(stop.GetYear(), stop.GetMonth(), stop.GetDay()));
    EXPECT_EQ(Child<QTimeEdit>(&dialog, 1037)->time(),
              QTime(stop.GetHour(), stop.GetMinute(), stop.GetSecond()));

    auto* ok = Child<QPushButton>(&dialog, 1);
    auto* start = Child<QCheckBox>(&dialog, 1046);
    auto* stopBox = Child<QCheckBox>(&dialog, 1047);
    auto* missing = Child<QLabel>(&dialog, 1076);
    EXPECT_FALSE(ok->isEnabled());       // neither start nor stop
    EXPECT_EQ(missing->text(), Lib(93)); // and the dialog says so beside OK
    EXPECT_FALSE(Child<QDateEdit>(&dialog, 1038)->isEnabled());
    start->setChecked(true);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(missing->text().isEmpty());
    EXPECT_TRUE(Child<QDateEdit>(&dialog, 1038)->isEnabled());
    EXPECT_TRUE(Child<QTimeEdit>(&dialog, 1036)->isEnabled());
    EXPECT_FALSE(Child<QTimeEdit>(&dialog, 1037)->isEnabled());
    Child<QCheckBox>(&dialog, 1073)->setChecked(false);
    EXPECT_EQ(estimate->text(), Lib(35) + "\n32 KB\n" + Lib(36) + "\n45 MB");
    Child<QCheckBox>(&dialog, 1075)->setChecked(false);
    EXPECT_FALSE(ok->isEnabled()); // no output
    EXPECT_EQ(missing->text(), Lib(92));
    EXPECT_EQ(estimate->text(), Lib(34));
    Child<QCheckBox>(&dialog, 1074)->setChecked(true);
    start->setChecked(false);
    stopBox->setChecked(true);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(Child<QDateEdit>(&dialog, 1039)->isEnabled());
    combo->setCurrentIndex(4);
    EXPECT_EQ(estimate->text(), Lib(35) + "\n1024 KB\n" + Lib(36) + "\n1024 KB");

    // A stored interval shorter than every item selects the shortest one.
    param.m_TimeSpan = CTimeSpan(1);
    CLoggingDialog shortInterval(param);
    EXPECT_EQ(Child<QComboBox>(&shortInterval, 1040)->currentIndex(), 0);
    EXPECT_EQ(shortInterval.param().m_TimeSpan.GetTotalSeconds(), 10);
}

TEST_F(LoggingTest, AnEmptyIntervalListIsFilledFromTheStringTable) {
    CLoggingParam param;
    CLoggingDialog dialog(param);
    EXPECT_EQ(GetProfileString(section(), "TimeSpan", ""), GetLibraryString(39));
    EXPECT_EQ(dialog.intervals().size(), ParseLoggingIntervals(GetLibraryString(39)).size());
    EXPECT_GT(dialog.intervals().size(), 3u);
}

TEST_F(LoggingTest, OkCorrectsTheTimesChecksTheFolderAndWritesTheProfile) {
    WriteProfileString(section(), "TimeSpan", "10s,1m,5m,1h,1d");
    CLoggingParam param;
    param.m_TimeSpan = CTimeSpan(300);
    param.m_TargetDir = dir.file("missing").c_str();

    QString warning;
    bool dialogSeen = false;
    const CTime before = CTime::GetCurrentTime();
    WhenModal<CLoggingDialog>([&](CLoggingDialog* dialog) {
        dialogSeen = true;
        Child<QCheckBox>(dialog, 1073)->setChecked(true);
        Child<QCheckBox>(dialog, 1074)->setChecked(true);
        Child<QCheckBox>(dialog, 1046)->setChecked(true);
        Child<QCheckBox>(dialog, 1047)->setChecked(true);
        Child<QCheckBox>(dialog, 1045)->setChecked(true);
        Child<QComboBox>(dialog, 1040)->setCurrentIndex(3); // 1h
        const QDate yesterday = QDate::currentDate().addDays(-1);
        Child<QDateEdit>(dialog, 1038)->setDate(yesterday);
        Child<QDateEdit>(dialog, 1039)->setDate(yesterday);

        // The folder does not exist: a warning, and the dialog stays open.
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warning = box->text();
            box->accept();
        });
        Child<QPushButton>(dialog, 1)->click();
        EXPECT_TRUE(dialog->isVisible());

        Child<QLineEdit>(dialog, 1042)->setText(QString::fromStdString(dir.path()));
        Child<QPushButton>(dialog, 1)->click();
    });
    ASSERT_EQ(DoModalLoggingDialog(&param), 1);
    const CTime after = CTime::GetCurrentTime();
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(warning, Lib(74));

    EXPECT_EQ(param.m_OutFlags, 6);
    EXPECT_EQ(param.m_TimeSpan.GetTotalSeconds(), 3600);
    EXPECT_GE(param.m_StartTime, before);
    EXPECT_LE(param.m_StartTime, after);
    EXPECT_GE(param.m_StopTime, before + CTimeSpan(3600));
    EXPECT_LE(param.m_StopTime, after + CTimeSpan(3600));
    EXPECT_EQ(param.m_TargetDir, dir.path().c_str());
    EXPECT_EQ(param.m_RefreshFlag, 1);
    EXPECT_EQ(param.m_StartFlag, 1);
    EXPECT_EQ(param.m_StopFlag, 1);

    CLoggingParam stored;
    EXPECT_EQ(stored.m_OutFlags, 6);
    EXPECT_EQ(stored.m_TimeSpan.GetTotalSeconds(), 3600);
    EXPECT_EQ(stored.m_StopTime, param.m_StopTime);
    EXPECT_EQ(stored.m_TargetDir, dir.path().c_str());
}

TEST_F(LoggingTest, CancelLeavesTheParametersAlone) {
    CLoggingParam param;
    param.m_OutFlags = 2;
    param.m_TimeSpan = CTimeSpan(7);
    WhenModal<CLoggingDialog>([](CLoggingDialog* dialog) {
        Child<QCheckBox>(dialog, 1075)->setChecked(true);
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(DoModalLoggingDialog(&param), 0);
    EXPECT_EQ(param.m_OutFlags, 2);
    EXPECT_EQ(param.m_TimeSpan.GetTotalSeconds(), 7);
    EXPECT_EQ(GetProfileString(section(), "OutFlags", "none"), "none");
    EXPECT_EQ(DoModalLoggingDialog(nullptr), 0);
}

TEST_F(LoggingTest, LogLinesAreTimeStampedAndAlwaysAppended) {
    EXPECT_EQ(GetLogWindow(), nullptr);
    ASSERT_EQ(AddLogText("first"), 1);
    CLogWindow* window = GetLogWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), Lib(68));
    EXPECT_EQ(Child<QPushButton>(window, 2004)->text(), Lib(69));

    // The user's selection at the start does not take the new line.
    auto* edit = Child<QPlainTextEdit>(window, 2024);
    QTextCursor cursor(edit->document());
    cursor.setPosition(0);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    window->hide();
    ASSERT_EQ(AddLogText("second, 100%s"), 1);
    EXPECT_FALSE(window->isVisible()); // only a new window shows itself
    AddLogText(nullptr);

    const QString text = QString::fromStdString(window->GetText().str());
    const QRegularExpression form("^(\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d : [^\\n]*\\n){3}$");
    EXPECT_TRUE(form.match(text).hasMatch()) << text.toStdString();
    const QStringList lines = text.split('\n');
    EXPECT_TRUE(lines[0].endsWith(" : first"));
    EXPECT_TRUE(lines[1].endsWith(" : second, 100%s"));
    EXPECT_TRUE(lines[2].endsWith(" : "));
    const CString today = CTime::GetCurrentTime().Format("%m/%d");
    EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8(today.c_str())));

    Child<QPushButton>(window, 2005)->click();
    EXPECT_EQ(QApplication::clipboard()->text(), text);

    Child<QPushButton>(window, 2004)->click();
    EXPECT_TRUE(window->GetText().IsEmpty());
}

TEST_F(LoggingTest, CountdownShowsThenHidesTheWindow) {
    ASSERT_EQ(ShowLogDialog(3), 1);
    CLogWindow* window = GetLogWindow();
    ASSERT_NE(window, nullptr);
    const QString title = Lib(68);
    auto counting = [&](int n) { return title + QString(" - closes in %1 s").arg(n); };
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), counting(3));
    EXPECT_TRUE(window->HasTimer(CLogWindow::kCountdownTimer));

    const HWND hwnd = window->GetSafeHwnd();
    SendMessage(hwnd, WM_TIMER, CLogWindow::kCountdownTimer, 0);
    EXPECT_EQ(window->windowTitle(), counting(2));
    SendMessage(hwnd, WM_TIMER, CLogWindow::kCountdownTimer, 0);
    EXPECT_EQ(window->windowTitle(), counting(1));
    EXPECT_TRUE(window->isVisible());
    SendMessage(hwnd, WM_TIMER, CLogWindow::kCountdownTimer, 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_FALSE(window->HasTimer(CLogWindow::kCountdownTimer));

    // Without a countdown the window just shows; the real timer hides it again.
    ASSERT_EQ(ShowLogDialog(0), 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), title);
    ASSERT_EQ(ShowLogDialog(1), 1);
    EXPECT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(window->windowTitle(), title);

    // Close stops the countdown and keeps the text.
    AddLogText("kept");
    ShowLogDialog(5);
    Child<QPushButton>(window, 2003)->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->GetCountdown(), -1);
    EXPECT_FALSE(window->HasTimer(CLogWindow::kCountdownTimer));
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_FALSE(window->GetText().IsEmpty());
    EXPECT_EQ(GetLogWindow(), window);
}

TEST_F(LoggingTest, TheTextIsSavedWhenTheWindowGoesAway) {
    ShowLogDialog(0);
    DestroyLogWindow();
    EXPECT_EQ(GetLogWindow(), nullptr);
    EXPECT_FALSE(FileExists(dir.file("TorvelLog.txt").c_str())); // nothing to save

    AddLogText("alarm one");
    AddLogText("alarm two");
    const std::string text = GetLogWindow()->GetText().str();
    DestroyLogWindow();
    const std::string saved = ReadWholeFile(dir.file("TorvelLog.txt"));
    std::string expected;
    for (char c : text)
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(saved, expected);
    EXPECT_NE(saved.find(" : alarm two\r\n"), std::string::npos);

    // A new window replaces the file with its own text.
    AddLogText("later");
    DestroyLogWindow();
    const std::string replaced = ReadWholeFile(dir.file("TorvelLog.txt"));
    EXPECT_EQ(replaced.find("alarm"), std::string::npos);
    EXPECT_NE(replaced.find(" : later\r\n"), std::string::npos);
}
