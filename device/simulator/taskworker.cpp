// The task thread. Messages are posted with the lock held and only after the
// job's generation is checked, so TerminateTorvelTask (which bumps the
// generation under the same lock) guarantees that a stopped task stays silent.
// Measuring happens outside the lock in pieces of a few milliseconds at most,
// so a terminate never waits for a long capture.
#include "taskworker.h"

#include "devicefacts.h"

#include "device/TorvelAPI.h"
#include "platform/msgwindow.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <type_traits>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace torvelsim {

namespace {

// At speed 0 the reports of a capture waiting for its trigger, and the slices
// of a continuing task whose buffer is full, are still this far apart in wall
// time, so that a trigger that never comes or a program that stopped asking
// neither floods the window nor keeps a processor busy.
constexpr auto kWaitReportGap = std::chrono::milliseconds(10);

// The lParam of a batch of slices: the count above bit 16, the slices dropped
// since the last batch below (at most 0x7FF).
constexpr int kMaxDroppedReported = 0x7FF;

CTaskWorker::Clock::duration Seconds(double s) {
    return std::chrono::duration_cast<CTaskWorker::Clock::duration>(
        std::chrono::duration<double>(s));
}

} // namespace

CTaskWorker::CTaskWorker(std::atomic<int>& lastError)
    : m_lastError(lastError), m_alarm(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
      m_kick(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // The alarm is set in the steady clock's time.
    static_assert(std::is_same_v<Clock, std::chrono::steady_clock>);
}

CTaskWorker::~CTaskWorker() {
    Stop();
    if (m_alarm >= 0)
        close(m_alarm);
    if (m_kick >= 0)
        close(m_kick);
}

bool CTaskWorker::Busy() const {
    std::lock_guard lock(m_mutex);
    return m_busy;
}

bool CTaskWorker::MeasuredAhead(const TaskKey& key) const {
    std::lock_guard lock(m_mutex);
    return m_ahead && m_ahead->key == key && m_ahead->beginS == m_clock;
}

void CTaskWorker::SetAlarm(std::optional<Clock::time_point> at) {
    // Disarmed unless a time is given.
    itimerspec expiry{};
    if (at) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(at->time_since_epoch()).count();
        // A zero time would disarm the alarm instead.
        const long long due = std::max<long long>(ns, 1);
        expiry.it_value.tv_sec = static_cast<time_t>(due / 1000000000);
        expiry.it_value.tv_nsec = static_cast<long>(due % 1000000000);
    }
    timerfd_settime(m_alarm, TFD_TIMER_ABSTIME, &expiry, nullptr);
}

void CTaskWorker::Kick() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_kick, &one, sizeof one);
}

void CTaskWorker::Sleep(std::optional<Clock::time_point> alarm,
                        std::unique_lock<std::mutex>& lock) {
    SetAlarm(alarm);
    m_idle = !alarm;
    lock.unlock();
    pollfd fds[2] = {{m_alarm, POLLIN, 0}, {m_kick, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    // The alarm's expiry needs no reading: setting the alarm (every sleep
    // does) clears it.
    if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(m_kick, &count, sizeof count);
    }
    lock.lock();
    m_idle = false;
}

bool CTaskWorker::Start(Job job) {
    std::unique_lock lock(m_mutex);
    if (m_alarm < 0 || m_kick < 0)
        return false;
    if (!m_thread.joinable()) {
        m_stop = false;
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    const auto now = Clock::now();
    job.startedAt = now;
    // A job without a task is the one measured ahead, which the task thread
    // either has measured or is measuring now (it looks for a job when done).
    const bool ahead = !job.task;
    if (ahead &&
        !(m_ahead && job.repeat && m_ahead->key == job.repeat->key && m_ahead->beginS == m_clock))
        return false;
    std::optional<Clock::time_point> due;
    if (ahead && m_ahead->first)
        due = job.startedAt + Seconds(m_ahead->first->endS * job.timeScale);
    // A task that is started again as it ends is no continuing one.
    m_continuous = !ahead && job.task->SliceWords() > 0;
    m_continuousTag = job.tag;
    // The first slices are handed over unasked.
    m_requested = true;
    m_slices.clear();
    m_dropped = 0;
    m_pending = std::move(job);
    m_busy = true;
    if (ahead && !m_ahead->first)
        return true;
    // The thread waiting for this job with its first piece measured sleeps
    // on until the piece ends.
    if (due && m_idle && *due > now) {
        SetAlarm(due);
        return true;
    }
    // Woken after the unlock, the task thread finds the mutex free instead of
    // waking only to wait for it (a capture after capture starts hundreds of
    // tasks a second). The wake-up descriptor keeps the kick until it sleeps.
    lock.unlock();
    Kick();
    return true;
}

void CTaskWorker::Terminate() {
    {
        std::lock_guard lock(m_mutex);
        ++m_generation;
        m_pending.reset();
        m_busy = false;
        m_continuous = false;
        m_slices.clear();
    }
    Kick();
}

void CTaskWorker::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        ++m_generation;
        m_pending.reset();
        m_busy = false;
        m_continuous = false;
        m_slices.clear();
        m_ahead.reset();
    }
    Kick();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    m_stop = false;
}

int CTaskWorker::RequestSlices(BYTE tag) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_busy || !m_continuous)
            return kTorvelErrorTaskFailed;
        if (tag != m_continuousTag)
            return kTorvelErrorBadParameter;
        m_requested = true;
    }
    Kick();
    return kTorvelErrorNone;
}

void CTaskWorker::ResetClock() {
    std::lock_guard lock(m_mutex);
    m_clock = 0.0;
    m_ahead.reset();
}

int CTaskWorker::DataCount() const {
    std::lock_guard lock(m_dataMutex);
    return static_cast<int>(m_data.size());
}

int CTaskWorker::CopyData(short* buffer, int count) const {
    if (!buffer || count <= 0)
        return 0;
    std::lock_guard lock(m_dataMutex);
    const int n = std::min(count, static_cast<int>(m_data.size()));
    std::memcpy(buffer, m_data.data(), static_cast<std::size_t>(n) * sizeof(short));
    return n;
}

namespace {

// A short-data task delivers its count of words, or half when the count is
// negative.
void Cut(const CTaskWorker::Job& job, std::vector<short>& words) {
    if (!job.shortCount)
        return;
    const std::size_t n =
        *job.shortCount < 0 ? words.size() / 2 : static_cast<std::size_t>(*job.shortCount);
    if (n < words.size())
        words.resize(n);
}

} // namespace

void CTaskWorker::Finish(const Job& job, std::vector<short>& words) {
    Cut(job, words);
    const auto count = static_cast<LPARAM>(words.size());
    {
        std::lock_guard data(m_dataMutex);
        m_data.swap(words);
    }
    // The data before are kept for the next task to write into.
    m_spare = std::move(words);
    m_busy = false;
    m_continuous = false;
    PostMessage(job.hwnd, job.messageBase + kTorvelMsgAnalysisDone, job.tag, count);
}

void CTaskWorker::FailTask(const Job& job, int error) {
    {
        std::lock_guard data(m_dataMutex);
        m_data.clear();
    }
    m_busy = false;
    m_continuous = false;
    m_slices.clear();
    m_lastError = error;
    PostMessage(job.hwnd, job.messageBase + kTorvelMsgDeviceError, job.tag, error);
}

void CTaskWorker::KeepSlice(std::vector<short>& words) {
    if (m_slices.size() == kSliceBuffer) {
        m_slices.pop_front();
        ++m_dropped;
    }
    m_slices.push_back(std::move(words));
}

void CTaskWorker::DeliverSlices(const Job& job) {
    if (!m_continuous || !m_requested || m_slices.empty())
        return;
    const auto count = static_cast<LPARAM>(m_slices.size());
    std::vector<short> words;
    words.reserve(m_slices.size() * m_slices.front().size());
    for (const std::vector<short>& slice : m_slices)
        words.insert(words.end(), slice.begin(), slice.end());
    m_slices.clear();
    Cut(job, words);
    {
        std::lock_guard data(m_dataMutex);
        m_data.swap(words);
    }
    const LPARAM flags = std::min(m_dropped, kMaxDroppedReported);
    m_dropped = 0;
    m_requested = false;
    PostMessage(job.hwnd, job.messageBase + kTorvelMsgAnalysisProgress, job.tag,
                (count << 16) | flags);
}

bool CTaskWorker::Pace(const Job& job, std::uint64_t generation, Clock::time_point due,
                       std::unique_lock<std::mutex>& lock) {
    while (true) {
        if (m_stop || generation != m_generation)
            return false;
        DeliverSlices(job);
        const auto now = Clock::now();
        if (job.unplugAt && now >= *job.unplugAt) {
            FailTask(job, kTorvelErrorRemoved);
            return false;
        }
        if (now >= due)
            return true;
        auto wake = due;
        if (job.unplugAt && *job.unplugAt < wake)
            wake = *job.unplugAt;
        Sleep(wake, lock);
    }
}

void CTaskWorker::MeasureAhead(std::function<std::unique_ptr<CSimTask>()> make,
                               std::unique_lock<std::mutex>& lock) {
    const double begin = m_ahead->beginS;
    lock.unlock();
    std::unique_ptr<CSimTask> task = make();
    task->TakeBuffer(m_spare);
    task->Begin(begin);
    TaskPiece first = task->Next();
    lock.lock();
    // Dropped meanwhile when the measurement clock was reset or the thread
    // is to end.
    if (m_ahead) {
        m_ahead->task = std::move(task);
        m_ahead->first = std::move(first);
    }
}

void CTaskWorker::Run() {
    pthread_setname_np(pthread_self(), "torvel-sim");
    std::unique_lock lock(m_mutex);
    std::function<std::unique_ptr<CSimTask>()> makeNext;
    while (true) {
        // A task to measure ahead was just set (a start that finds it waits
        // for this).
        if (m_ahead && !m_ahead->first) {
            if (makeNext && !m_stop)
                MeasureAhead(std::move(makeNext), lock);
            else
                m_ahead.reset();
        }
        makeNext = nullptr;
        while (!m_stop && !m_pending)
            Sleep(std::nullopt, lock);
        if (m_stop)
            return;
        Job job = std::move(*m_pending);
        m_pending.reset();
        const std::uint64_t generation = m_generation;
        const double begin = m_clock;
        const auto wallStart = job.startedAt;
        auto lastWaitReport = wallStart - kWaitReportGap;

        // The task measured ahead goes on from its first piece; another task
        // makes it useless.
        std::optional<TaskPiece> first;
        if (!job.task && m_ahead && m_ahead->task) {
            job.task = std::move(m_ahead->task);
            first = std::move(m_ahead->first);
        }
        m_ahead.reset();
        if (!job.task) {
            // Only when the clock was reset between the start and this.
            FailTask(job, kTorvelErrorTaskFailed);
            continue;
        }
        if (!first) {
            lock.unlock();
            job.task->TakeBuffer(m_spare);
            job.task->Begin(begin);
            lock.lock();
        }
        bool running = true;
        while (running) {
            // Measuring happens outside the lock: the GUI thread may terminate
            // meanwhile, which Pace notices.
            TaskPiece piece;
            if (first) {
                piece = std::move(*first);
                first.reset();
            } else {
                lock.unlock();
                piece = job.task->Next();
                lock.lock();
            }
            auto due = wallStart + Seconds(piece.endS * job.timeScale);
            if (piece.waiting)
                due = std::max(due, lastWaitReport + kWaitReportGap);
            // Nobody is taking the slices: a slice that will only push out
            // the oldest is not measured faster than the gap either.
            if (piece.slice && m_slices.size() == kSliceBuffer && !m_requested)
                due = std::max(due, lastWaitReport + kWaitReportGap);
            running = Pace(job, generation, due, lock);
            m_clock = std::max(m_clock, begin + piece.endS);
            if (!running)
                break;
            for (LPARAM p : piece.progress)
                PostMessage(job.hwnd, job.messageBase + kTorvelMsgAnalysisProgress, job.tag, p);
            if (piece.waiting || piece.slice)
                lastWaitReport = Clock::now();
            if (piece.done || (piece.slice && job.fail)) {
                if (job.fail) {
                    FailTask(job, kTorvelErrorTaskFailed);
                } else {
                    Finish(job, piece.words);
                    if (job.repeat) {
                        m_ahead.emplace(Ahead{job.repeat->nextKey, m_clock, {}, {}});
                        makeNext = std::move(job.repeat->makeNext);
                    }
                }
                running = false;
            } else if (piece.slice) {
                KeepSlice(piece.words);
                DeliverSlices(job);
            }
        }
    }
}

} // namespace torvelsim
