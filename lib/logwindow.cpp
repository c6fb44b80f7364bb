// The log window: time-stamped lines, countdown display, clear/copy/close, and
// the TorvelLog.txt file written when the window goes away.
#include "lib/logwindow.h"

#include "lib/stringtable.h"
#include "platform/cfile.h"
#include "platform/ctime.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Library strings of the window.
constexpr int kTitle = 68;
constexpr int kClearButton = 69;
constexpr int kCopyButton = 70;
constexpr int kCloseButton = 71;
constexpr int kCountdownFormat = 72;
constexpr int kEditFont = 73;

QPointer<CLogWindow> g_window;
QCoreApplication* g_cleanupRegisteredFor = nullptr;

const char* Lib(int n) {
    const char* text = GetLibraryString(n);
    return text ? text : "";
}

QString LibQ(int n) {
    return QString::fromUtf8(Lib(n));
}

// A font description of the string table as a Qt font; "FixedSys" (the
// default description) is the system's fixed-pitch font.
QFont ToQFont(const LOGFONT& lf) {
    char face[LF_FACESIZE + 1] = {};
    std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
    QFont font;
    if (face[0] == '\0' || std::strcmp(face, "FixedSys") == 0)
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    else
        font = QFont(QString::fromUtf8(face));
    if (lf.lfHeight != 0)
        font.setPixelSize(std::clamp(std::abs(lf.lfHeight), 1, 400));
    if (lf.lfWeight > 0)
        font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(lf.lfWeight, 100, 900)));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    return font;
}

QWidget* MainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w))
            return w;
    return nullptr;
}

CLogWindow* EnsureLogWindow(bool* created) {
    *created = false;
    if (g_window)
        return g_window.data();
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app))
        return nullptr;
    g_window = new CLogWindow(MainWindow());
    *created = true;
    // The window must go (and save its text) while the application object can
    // still destroy widgets.
    if (g_cleanupRegisteredFor != app) {
        qAddPostRoutine(DestroyLogWindow);
        g_cleanupRegisteredFor = app;
    }
    return g_window.data();
}

} // namespace

CLogWindow::CLogWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("2005");
    setModal(false);
    setWindowTitle(LibQ(kTitle));

    m_Edit = new QPlainTextEdit(this);
    m_Edit->setObjectName("2024");
    m_Edit->setReadOnly(true);
    m_Edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_Edit->setFont(ToQFont(GetLibraryStyleFont(kEditFont)));

    auto* clear = new QPushButton(LibQ(kClearButton), this);
    clear->setObjectName("2004");
    auto* copy = new QPushButton(LibQ(kCopyButton), this);
    copy->setObjectName("2005");
    auto* close = new QPushButton(LibQ(kCloseButton), this);
    close->setObjectName("2003");
    close->setAutoDefault(false);
    clear->setAutoDefault(false);
    copy->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, [this] { ClearText(); });
    connect(copy, &QPushButton::clicked, this, [this] { CopyText(); });
    connect(close, &QPushButton::clicked, this, [this] { CloseWindow(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addWidget(copy);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_Edit, 1);
    layout->addLayout(buttons);
    resize(480, 240);
}

CLogWindow::~CLogWindow() {
    // A file that cannot be written is skipped; an earlier log stays intact.
    if (!GetText().IsEmpty())
        SaveText(kLogFileName);
}

BOOL CLogWindow::SaveText(const char* path) const {
    CStdioFile file;
    if (!file.Open(path,
                   CFile::modeCreate | CFile::modeWrite | CFile::typeText | CFile::modeSafeReplace))
        return FALSE;
    if (!file.WriteString(GetText())) {
        file.Abort();
        return FALSE;
    }
    return file.Close();
}

void CLogWindow::AddText(const char* text) {
    CString line = CTime::GetCurrentTime().Format("%m/%d %H:%M:%S : ");
    line += text ? text : "";
    line += "\n";
    // Lines always go to the end, whatever the user has selected.
    QTextCursor cursor(m_Edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf8(line.c_str()));
    m_Edit->verticalScrollBar()->setValue(m_Edit->verticalScrollBar()->maximum());
}

void CLogWindow::ShowWithCountdown(int seconds) {
    if (seconds > 0) {
        m_Countdown = seconds;
        showCountdownTitle();
        SetTimer(kCountdownTimer, kCountdownPeriodMs);
    }
    show();
}

void CLogWindow::OnTimer(UINT_PTR id) {
    if (id != kCountdownTimer)
        return;
    KillTimer(kCountdownTimer);
    --m_Countdown;
    if (m_Countdown <= 0) {
        setWindowTitle(LibQ(kTitle));
        hide();
        return;
    }
    showCountdownTitle();
    SetTimer(kCountdownTimer, kCountdownPeriodMs);
}

void CLogWindow::showCountdownTitle() {
    CString suffix;
    suffix.Format(CheckedFormat(Lib(kCountdownFormat), "d", " (%d)"), m_Countdown);
    setWindowTitle(LibQ(kTitle) + QString::fromUtf8(suffix.c_str()));
}

void CLogWindow::ClearText() {
    m_Edit->clear();
}

void CLogWindow::CopyText() {
    QTextCursor cursor(m_Edit->document());
    cursor.setPosition(0);
    const int end = std::min(kCopyLimit, m_Edit->document()->characterCount() - 1);
    cursor.setPosition(std::max(end, 0), QTextCursor::KeepAnchor);
    m_Edit->setTextCursor(cursor);
    m_Edit->ensureCursorVisible();
    m_Edit->copy();
}

void CLogWindow::CloseWindow() {
    KillTimer(kCountdownTimer);
    m_Countdown = -1;
    setWindowTitle(LibQ(kTitle));
    hide();
}

CString CLogWindow::GetText() const {
    return CString(m_Edit->toPlainText().toUtf8().toStdString());
}

int ShowLogDialog(int seconds) {
    bool created = false;
    CLogWindow* window = EnsureLogWindow(&created);
    if (!window)
        return 0;
    window->ShowWithCountdown(seconds);
    return 1;
}

int AddLogText(const char* text) {
    bool created = false;
    CLogWindow* window = EnsureLogWindow(&created);
    if (!window)
        return 0;
    window->AddText(text);
    if (created)
        window->show();
    return 1;
}

CLogWindow* GetLogWindow() {
    return g_window.data();
}

void DestroyLogWindow() {
    delete g_window.data();
}
