#include "platform/framepacer.h"

#include <QTimerEvent>
#include <QWidget>

CFramePacer::CFramePacer(QWidget* widget) : QObject(widget), m_widget(widget) {}

CFramePacer* CFramePacer::of(QWidget* widget) {
    for (QObject* child : widget->children())
        if (auto* pacer = dynamic_cast<CFramePacer*>(child))
            return pacer;
    return new CFramePacer(widget);
}

void CFramePacer::Update(QWidget* widget) {
    if (widget)
        of(widget)->request(QRegion(widget->rect()));
}

void CFramePacer::Update(QWidget* widget, const QRect& rect) {
    if (widget)
        of(widget)->request(QRegion(rect));
}

void CFramePacer::request(const QRegion& region) {
    if (m_timer.isActive()) {
        m_pending += region;
        return;
    }
    if (!m_sinceHanded.isValid() || m_sinceHanded.elapsed() >= kFrameMs) {
        m_sinceHanded.start();
        m_widget->update(region);
        return;
    }
    m_pending = region;
    m_timer.start(static_cast<int>(kFrameMs - m_sinceHanded.elapsed()), Qt::PreciseTimer, this);
}

void CFramePacer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_timer.stop();
    const QRegion region = m_pending;
    m_pending = QRegion();
    m_sinceHanded.start();
    m_widget->update(region);
}
