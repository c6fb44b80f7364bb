#include "msgwindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace {

// The window registry: handle to live window. Handles are never reused while the
// process runs (a 32-bit counter), so a stale handle cannot reach a new window.
class Registry {
public:
    HWND add(CWnd* w) {
        std::lock_guard lock(m_mutex);
        HWND h = ++m_next;
        if (h == 0)
            h = ++m_next;
        m_windows[h] = w;
        return h;
    }
    void remove(HWND h) {
        std::lock_guard lock(m_mutex);
        m_windows.erase(h);
    }
    CWnd* find(HWND h) {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(h);
        return it == m_windows.end() ? nullptr : it->second;
    }

private:
    std::mutex m_mutex;
    HWND m_next = 0;
    std::unordered_map<HWND, CWnd*> m_windows;
};

Registry& registry() {
    static Registry r;
    return r;
}

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

struct PostedMessage : QEvent {
    PostedMessage(HWND h, UINT m, WPARAM w, LPARAM l)
        : QEvent(kPostedMessage), hwnd(h), message(m), wParam(w), lParam(l) {}
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Receives posted messages on the application's thread and hands them to the
// window, if it still exists.
class Dispatcher : public QObject {
public:
    // A message is made on the posting thread and read on this one. Qt's
    // queue orders the two with a lock of its own; the count states that
    // order in this code too (a release per message posted, an acquire before
    // one is read), where the thread sanitizer sees it.
    void Publish() { m_published.fetch_add(1, std::memory_order_release); }

    bool event(QEvent* e) override {
        m_published.load(std::memory_order_acquire);
        if (e->type() != kPostedMessage)
            return QObject::event(e);
        auto* m = static_cast<PostedMessage*>(e);
        if (CWnd* w = registry().find(m->hwnd))
            w->WindowProc(m->message, m->wParam, m->lParam);
        return true;
    }

private:
    std::atomic<unsigned> m_published{0};
};

// One dispatcher per application object, living in the application's thread.
Dispatcher* dispatcher() {
    static std::mutex mutex;
    static QPointer<Dispatcher> current;
    static QCoreApplication* owner = nullptr;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    std::lock_guard lock(mutex);
    if (!current || owner != app) {
        auto* d = new Dispatcher;
        d->moveToThread(app->thread());
        current = d;
        owner = app;
    }
    return current.data();
}

} // namespace

CWnd::CWnd() : m_hwnd(registry().add(this)) {}

CWnd::~CWnd() {
    registry().remove(m_hwnd);
    // A window may be destroyed from inside one of its own timer callbacks.
    for (auto& [id, timer] : m_timers) {
        timer->stop();
        timer.release()->deleteLater();
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    return registry().find(hwnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_TIMER)
        OnTimer(wParam);
    return 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) {
    auto& slot = m_timers[id];
    if (!slot) {
        slot = std::make_unique<QTimer>();
        HWND h = m_hwnd;
        QObject::connect(slot.get(), &QTimer::timeout, [h, id] {
            if (CWnd* w = registry().find(h))
                w->WindowProc(WM_TIMER, id, 0);
        });
    }
    slot->start(static_cast<int>(elapseMs));
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return FALSE;
    // The timer may be the one whose timeout is running now; let Qt delete it later.
    it->second->stop();
    it->second.release()->deleteLater();
    m_timers.erase(it);
    return TRUE;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessage(m_hwnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(message, wParam, lParam);
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!registry().find(hwnd))
        return FALSE;
    Dispatcher* d = dispatcher();
    if (!d)
        return FALSE;
    auto* m = new PostedMessage(hwnd, message, wParam, lParam);
    d->Publish();
    QCoreApplication::postEvent(d, m);
    return TRUE;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* w = registry().find(hwnd);
    return w ? w->WindowProc(message, wParam, lParam) : 0;
}

bool IsWindow(HWND hwnd) {
    return registry().find(hwnd) != nullptr;
}
