// CFramePacer: the repaints of a top-level window's widgets held to one per
// display frame. A repaint asked for within a frame of the last one handed to
// the toolkit gathers with the others of that frame, of every widget of the
// window, and all are handed on together when the frame's time has come, so
// that the window is painted and sent to the display once per frame; one
// asked for after a quiet frame is handed on at once. The data that asked for
// the repaints is taken in meanwhile: nothing waits for a paint.
#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <vector>

class CFramePacer : public QObject {
public:
    // 30 frames a second: smooth enough for a measurement display, and each
    // frame of a live window redraws its whole graph.
    static constexpr int kFrameMs = 33;

    // The whole widget, or a part of it, is to be repainted. The pacer of the
    // widget's top-level window is made on its first repaint and goes with
    // that window. A null widget is ignored.
    static void Update(QWidget* widget);
    static void Update(QWidget* widget, const QRect& rect);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    explicit CFramePacer(QWidget* window);
    static CFramePacer* of(QWidget* widget);
    void request(QWidget* widget, const QRegion& region);

    struct Pending {
        QPointer<QWidget> widget;
        QRegion region;
    };
    // The widgets waiting for the frame's time, each with its parts.
    std::vector<Pending> m_pending;
    QBasicTimer m_timer;
    // Since the last repaints handed to the toolkit.
    QElapsedTimer m_sinceHanded;
};
