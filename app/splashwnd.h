// CSplashWnd: the start-up picture, shown once after the device link opened.
// It closes after two seconds or at the first key or mouse press anywhere in
// the application; that press goes on to where it was aimed. Where the window
// system places windows itself and keeps none above another (Wayland), the
// picture is shown inside the main window instead of as a window of its own.
#pragma once

#include "platform/msgwindow.h"

#include <QPixmap>
#include <QWidget>

class CSplashWnd : public QWidget, public CWnd {
    Q_OBJECT
public:
    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTimerMs = 2000;

    // Where the picture is shown: a window of its own over the main window's
    // screen, or a part of the main window over its middle.
    enum class Placement { OwnWindow, InsideMainWindow };
    // The placement for a platform of the toolkit (QGuiApplication::platformName).
    static Placement PlacementFor(const QString& platformName);

    // Shows the splash screen unless one exists already, placed as the
    // running platform asks.
    static void ShowSplashScreen(QWidget* mainWindow);
    static void ShowSplashScreen(QWidget* mainWindow, Placement placement);
    static bool IsShowing();
    // The splash screen showing, or null.
    static CSplashWnd* Current();
    ~CSplashWnd() override;

    void OnTimer(UINT_PTR id) override;
    // The picture: drawn by the program itself, 400 x 240, with as many more
    // pixels as the device pixel ratio says.
    static QPixmap Picture(qreal ratio = 1.0);

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CSplashWnd(QWidget* mainWindow, Placement placement);
    void hideSplash();

    QWidget* m_mainWindow;
    QPixmap m_picture;
};
