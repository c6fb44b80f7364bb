// CChildFrame: one analysis window. It owns its core for the window's whole
// life, shows one view of one document, routes WM_VIEW_UPDATE and
// WM_VIEW_PROGRESS to the core, tells the main frame when it is activated and
// when it comes back from being minimised, and at destruction lets the core
// write its profile and stop before it leaves the scheduler.
#pragma once

#include "platform/msgwindow.h"

#include <QMdiSubWindow>

#include <memory>

class CAnalysisCore;
class CDrawObject;
class CLoggingBar;
class CMainFrame;
class CTorvelDoc;
class CTorvelView;

class CChildFrame : public QMdiSubWindow, public CWnd {
    Q_OBJECT
public:
    // The smallest size at which every pane of a window of the kind is readable.
    static QSize MinimumWindowSize(int kind);
    CChildFrame(CMainFrame* mainFrame, std::unique_ptr<CAnalysisCore> core);
    ~CChildFrame() override;

    CAnalysisCore* GetCore() const { return m_core.get(); }
    CTorvelView* GetView() const { return m_view; }
    CLoggingBar* GetLoggingBar() const { return m_loggingBar; }
    // The window's own drawing attributes (profile section "WINDOW"): the
    // font of string 30 and the background 0x7878FA, in which its logging bar
    // shows.
    CDrawObject* GetDrawObject() const { return m_drawObject.get(); }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Shows the core's title (menu captions carry '&' mnemonics, titles do
    // not), with ":n" after it when it is the n-th open window of that title.
    void UpdateTitle();
    // The title without the wait for the device ("Semi Real Time:2").
    QString PlainTitle() const;
    // The window waits for the device (text, added to the title and told in
    // the graph), or no longer (empty). The view is updated when it changes.
    void SetDeviceWait(const QString& text);
    const QString& GetDeviceWait() const { return m_deviceWait; }
    int GetTitleNumber() const { return m_titleNumber; }
    void SetTitleNumber(int n) {
        m_titleNumber = n;
        UpdateTitle();
    }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void shutdownCore();

    CMainFrame* m_mainFrame;
    std::unique_ptr<CDrawObject> m_drawObject;
    std::unique_ptr<CAnalysisCore> m_core;
    CTorvelDoc* m_doc = nullptr;
    CTorvelView* m_view = nullptr;
    CLoggingBar* m_loggingBar = nullptr;
    int m_titleNumber = 1;
    QString m_deviceWait;
    bool m_wasMinimized = false;
    bool m_shutDown = false;
};
