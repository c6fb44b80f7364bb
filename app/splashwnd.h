// CSplashWnd: the start-up picture, shown once after the device link opened.
// It closes after two seconds or at the first key or mouse press anywhere in
// the application (that press is swallowed).
#pragma once

#include "platform/msgwindow.h"

#include <QPixmap>
#include <QWidget>

class CSplashWnd : public QWidget, public CWnd {
    Q_OBJECT
public:
    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTimerMs = 2000;

    // Shows the splash screen unless one exists already.
    static void ShowSplashScreen(QWidget* mainWindow);
    static bool IsShowing();
    ~CSplashWnd() override;

    void OnTimer(UINT_PTR id) override;
    // The picture: drawn by the program itself, 400 x 240.
    static QPixmap Picture();

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CSplashWnd(QWidget* mainWindow);
    void hideSplash();

    QWidget* m_mainWindow;
    QPixmap m_picture;
};
