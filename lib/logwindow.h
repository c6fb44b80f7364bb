// The log window (dialog 2005): one library-wide modeless text window into
// which the program appends time-stamped lines, which can show itself for a
// number of seconds with a countdown in its title (timer 1562), and whose text
// is saved to TorvelLog.txt in the current directory when it is destroyed.
#pragma once

#include "platform/cstring.h"
#include "platform/msgwindow.h"

#include <QDialog>

class QPlainTextEdit;

class CLogWindow : public QDialog, public CWnd {
    Q_OBJECT
public:
    static constexpr UINT_PTR kCountdownTimer = 1562;
    static constexpr UINT kCountdownPeriodMs = 1000;
    static constexpr const char* kLogFileName = "TorvelLog.txt";
    // Characters that the copy button selects and copies.
    static constexpr int kCopyLimit = 32768;

    explicit CLogWindow(QWidget* parent = nullptr);
    // Saves a non-empty text to TorvelLog.txt (replacing the file safely).
    ~CLogWindow() override;

    // Appends "%m/%d %H:%M:%S : text" and a line break at the end of the text.
    void AddText(const char* text);
    // Replaces the file at path safely with the text; FALSE when it could not
    // be written (the earlier file then stays as it was).
    BOOL SaveText(const char* path) const;
    // seconds > 0: show with a countdown of that many seconds, then hide.
    void ShowWithCountdown(int seconds);
    void OnTimer(UINT_PTR id) override;

    void ClearText();
    void CopyText();
    // Stops the countdown and hides the window; its text stays.
    void CloseWindow();

    CString GetText() const;
    int GetCountdown() const { return m_Countdown; }

    void reject() override { CloseWindow(); }

private:
    void showCountdownTitle();

    QPlainTextEdit* m_Edit = nullptr;
    int m_Countdown = -1;
};

extern "C" {
// Shows the log window (creating it on first use); seconds > 0 starts a
// countdown after which it hides. 0 only if the window could not be created.
int ShowLogDialog(int seconds);
// Appends a time-stamped line (creating and showing the window on first use).
// 0 only if the window could not be created.
int AddLogText(const char* text);
} // extern "C"

// The log window if it exists, else null.
CLogWindow* GetLogWindow();
// Destroys the log window now (saving its text); done at the latest when the
// application object goes away.
void DestroyLogWindow();
