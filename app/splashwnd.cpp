#include "splashwnd.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>

#include <cmath>

namespace {
// The one splash window of the process, if showing.
QPointer<CSplashWnd>& current() {
    static QPointer<CSplashWnd> splash;
    return splash;
}
} // namespace

CSplashWnd::Placement CSplashWnd::PlacementFor(const QString& platformName) {
    // Wayland ignores where a window asks to be and whether it stays on top:
    // a splash window of its own would lie behind the main window.
    return platformName.startsWith(QLatin1String("wayland")) ? Placement::InsideMainWindow
                                                             : Placement::OwnWindow;
}

CSplashWnd::CSplashWnd(QWidget* mainWindow, Placement placement)
    : QWidget(placement == Placement::InsideMainWindow ? mainWindow : nullptr,
              placement == Placement::InsideMainWindow
                  ? Qt::Widget
                  : Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_mainWindow(mainWindow),
      m_picture(Picture(mainWindow ? mainWindow->devicePixelRatioF() : qApp->devicePixelRatio())) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(m_picture.deviceIndependentSize().toSize());
    if (parentWidget()) {
        move(parentWidget()->rect().center() - rect().center());
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    qApp->installEventFilter(this);
}

CSplashWnd::~CSplashWnd() {
    qApp->removeEventFilter(this);
}

void CSplashWnd::ShowSplashScreen(QWidget* mainWindow) {
    ShowSplashScreen(mainWindow, PlacementFor(QGuiApplication::platformName()));
}

void CSplashWnd::ShowSplashScreen(QWidget* mainWindow, Placement placement) {
    if (IsShowing())
        return;
    if (placement == Placement::InsideMainWindow && !mainWindow)
        return;
    auto* splash = new CSplashWnd(mainWindow, placement);
    current() = splash;
    splash->show();
    splash->raise();
    splash->SetTimer(kTimerId, kTimerMs);
}

bool CSplashWnd::IsShowing() {
    // A closed splash is deleted later.
    return current() && current()->isVisible();
}

CSplashWnd* CSplashWnd::Current() {
    return IsShowing() ? current().data() : nullptr;
}

void CSplashWnd::OnTimer(UINT_PTR id) {
    if (id == kTimerId)
        hideSplash();
}

void CSplashWnd::hideSplash() {
    KillTimer(kTimerId);
    qApp->removeEventFilter(this);
    close();
    if (m_mainWindow)
        m_mainWindow->update();
}

bool CSplashWnd::eventFilter(QObject* watched, QEvent* event) {
    // The first press closes the picture and goes on to where it was aimed.
    switch (event->type()) {
    case QEvent::Resize:
        // Inside the main window: it stays in the middle.
        if (watched == parentWidget())
            move(parentWidget()->rect().center() - rect().center());
        return false;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        hideSplash();
        return false;
    default:
        return false;
    }
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
}

QPixmap CSplashWnd::Picture(qreal ratio) {
    constexpr int w = 400, h = 240;
    QPixmap pm(qRound(w * ratio), qRound(h * ratio));
    pm.setDevicePixelRatio(ratio);
    QPainter p(&pm);
    QLinearGradient bg(0, 0, 0, h);
    bg.setColorAt(0, QColor(16, 24, 48));
    bg.setColorAt(1, QColor(4, 8, 20));
    p.fillRect(0, 0, w, h, bg);
    // A graticule and a spectrum with a few carriers above the noise.
    p.setPen(QColor(40, 60, 100));
    for (int x = 20; x <= w - 20; x += 36)
        p.drawLine(x, 70, x, h - 20);
    for (int y = 70; y <= h - 20; y += 30)
        p.drawLine(20, y, w - 20, y);
    QPainterPath trace;
    for (int x = 20; x <= w - 20; ++x) {
        double noise = std::sin(x * 1.7) * 2.0 + std::sin(x * 0.63) * 2.5;
        double peaks = 90 * std::exp(-std::pow((x - 110) / 4.0, 2)) +
                       60 * std::exp(-std::pow((x - 230) / 9.0, 2)) +
                       75 * std::exp(-std::pow((x - 320) / 3.0, 2));
        double y = h - 40 - noise - peaks;
        if (x == 20)
            trace.moveTo(x, y);
        else
            trace.lineTo(x, y);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(250, 220, 80), 1.5));
    p.drawPath(trace);
    QFont title("Sans", 28, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 10, w, 50), Qt::AlignCenter, "Torvel");
    QFont sub("Sans", 9);
    p.setFont(sub);
    p.setPen(QColor(180, 190, 220));
    p.drawText(QRect(0, 48, w, 20), Qt::AlignCenter, "Spectrum analyser front end");
    return pm;
}
