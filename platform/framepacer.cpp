#include "platform/framepacer.h"

#include <QTimerEvent>

#include <algorithm>
#include <utility>

CFramePacer::CFramePacer(QWidget* window) : QObject(window) {}

CFramePacer* CFramePacer::of(QWidget* widget) {
    // Asked for with every block of data: the window's pacer is looked for
    // from its newest children back, past the widgets (a type flag, not a
    // cast), since it is made after the window has been built. A window
    // taking down its children leaves empty places among them meanwhile.
    QWidget* window = widget->window();
    const QObjectList& children = window->children();
    for (auto child = children.rbegin(); child != children.rend(); ++child)
        if (*child && !(*child)->isWidgetType())
            if (auto* pacer = dynamic_cast<CFramePacer*>(*child))
                return pacer;
    return new CFramePacer(window);
}

void CFramePacer::Update(QWidget* widget) {
    if (widget)
        of(widget)->request(widget, QRegion(widget->rect()));
}

void CFramePacer::Update(QWidget* widget, const QRect& rect) {
    if (widget)
        of(widget)->request(widget, QRegion(rect));
}

void CFramePacer::request(QWidget* widget, const QRegion& region) {
    // Read once: the wait below is what is left of this same frame, never
    // less than nothing (a timer started with a negative wait never fires).
    const qint64 since = m_sinceHanded.isValid() ? m_sinceHanded.elapsed() : kFrameMs;
    if (!m_timer.isActive() && since >= kFrameMs) {
        m_sinceHanded.start();
        widget->update(region);
        return;
    }
    auto waiting = std::find_if(m_pending.begin(), m_pending.end(),
                                [widget](const Pending& p) { return p.widget == widget; });
    if (waiting != m_pending.end())
        waiting->region += region;
    else
        m_pending.push_back({widget, region});
    if (!m_timer.isActive())
        m_timer.start(static_cast<int>(kFrameMs - since), Qt::PreciseTimer, this);
}

void CFramePacer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_timer.stop();
    const std::vector<Pending> due = std::exchange(m_pending, {});
    m_sinceHanded.start();
    for (const Pending& p : due)
        if (p.widget)
            p.widget->update(p.region);
}
