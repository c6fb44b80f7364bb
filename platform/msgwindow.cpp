#include "msgwindow.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_map>

#include <sys/eventfd.h>
#include <unistd.h>

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

struct PostedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Hands posted messages from any thread to the application's thread. A poster
// puts its message into the queue under the queue's lock and, when the queue
// was idle, wakes the application's thread through an eventfd; a socket
// notifier there takes the messages out under the same lock, one at a time,
// and hands each to its window if that still exists. No Qt event object is
// made on the posting thread, so everything the two threads share is ordered
// by the lock, where the thread sanitizer sees it too.
class Dispatcher : public QObject {
public:
    Dispatcher() : m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Dispatcher() override {
        delete m_notifier;
        if (m_wake >= 0)
            close(m_wake);
    }
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    bool Usable() const { return m_wake >= 0; }

    // On the application's thread: watches the wake-up descriptor. A wake-up
    // written before this still counts, since the descriptor keeps it.
    void Arm() {
        if (m_notifier || m_wake < 0)
            return;
        m_notifier = new QSocketNotifier(m_wake, QSocketNotifier::Read, this);
        QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { Deliver(); });
    }

    void Post(const PostedMessage& m) {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(m);
            wake = !m_wakePending;
            m_wakePending = true;
        }
        if (wake)
            Wake();
    }

private:
    void Wake() {
        const std::uint64_t one = 1;
        // A full counter (never reached) already wakes the reader.
        [[maybe_unused]] const ssize_t n = write(m_wake, &one, sizeof one);
    }

    void Deliver() {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(m_wake, &count, sizeof count);
        bool rearmed = false;
        for (;;) {
            PostedMessage m{};
            bool more = false;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty()) {
                    // The wake-up written for a loop of a handler's own is
                    // taken back when no such loop took it: it would only wake
                    // this thread once more for an empty queue. No other
                    // thread writes one while a wake-up is pending.
                    if (rearmed) {
                        [[maybe_unused]] const ssize_t taken = read(m_wake, &count, sizeof count);
                    }
                    m_wakePending = false;
                    return;
                }
                m = m_queue.front();
                m_queue.pop_front();
                more = !m_queue.empty();
            }
            // A handler may run an event loop of its own (a modal dialog);
            // the messages behind it are then delivered from that loop, in order.
            if (more && !rearmed) {
                Wake();
                rearmed = true;
            }
            if (CWnd* w = registry().find(m.hwnd))
                w->WindowProc(m.message, m.wParam, m.lParam);
        }
    }

    int m_wake = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::mutex m_mutex;
    std::deque<PostedMessage> m_queue;
    bool m_wakePending = false;
};

// One dispatcher per application object, living in the application's thread.
// Windows are made on that thread, which makes the dispatcher there before
// any message can be posted; one first asked for on another thread is armed
// by the application's thread as soon as its event loop runs.
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
        if (!d->Usable()) {
            delete d;
            return nullptr;
        }
        if (QThread::currentThread() == app->thread()) {
            d->Arm();
        } else {
            d->moveToThread(app->thread());
            QMetaObject::invokeMethod(
                d, [d] { d->Arm(); }, Qt::QueuedConnection);
        }
        current = d;
        owner = app;
    }
    return current.data();
}

} // namespace

CWnd::CWnd() : m_hwnd(registry().add(this)) {
    if (QCoreApplication* app = QCoreApplication::instance();
        app && QThread::currentThread() == app->thread())
        dispatcher();
}

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
    d->Post({hwnd, message, wParam, lParam});
    return TRUE;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* w = registry().find(hwnd);
    return w ? w->WindowProc(message, wParam, lParam) : 0;
}

bool IsWindow(HWND hwnd) {
    return registry().find(hwnd) != nullptr;
}
