// CFramePacer: a widget's repaints held to one per display frame. A repaint
// asked for within a frame of the last one handed to the toolkit gathers with
// the others of that frame into one region, handed on when the frame's time
// has come; one asked for after a quiet frame is handed on at once. The data
// that asked for the repaints is taken in meanwhile: nothing waits for a paint.
#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QRegion>

class QWidget;

class CFramePacer : public QObject {
public:
    // 30 frames a second: smooth enough for a measurement display, and each
    // frame of a live window redraws its whole graph.
    static constexpr int kFrameMs = 33;

    // The whole widget, or a part of it, is to be repainted. The widget's pacer
    // is made on its first repaint and goes with the widget. A null widget is
    // ignored.
    static void Update(QWidget* widget);
    static void Update(QWidget* widget, const QRect& rect);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    explicit CFramePacer(QWidget* widget);
    static CFramePacer* of(QWidget* widget);
    void request(const QRegion& region);

    QWidget* m_widget;
    QRegion m_pending;
    QBasicTimer m_timer;
    // Since the last repaint handed to the toolkit.
    QElapsedTimer m_sinceHanded;
};
