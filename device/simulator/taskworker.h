// The simulator's task thread: runs one device task at a time. A task measures
// in pieces of device time (CSimTask); the thread keeps each piece to the wall
// clock (scaled), posts the intermediate-data messages a piece reports, and at
// the end publishes the task's words and posts WM_ANALYSIS_DONE, or posts
// WM_DEVICE_ERROR when the task is set to fail or the device is unplugged
// while it runs. A continuing (semi-real-time) task keeps its slices in a
// bounded buffer and hands them over only when the program has asked for them.
// A task that is terminated posts nothing.
//
// A task the program follows with another at once (a real-time window's
// capture after capture, a sweep's next block) is measured ahead: once such a
// task ends, the thread makes the one the program is expected to start next
// and measures its first piece while the program takes the data in. A start
// that finds it done only sets the thread's alarm to the piece's end, so the
// thread wakes once per task instead of twice and the starting thread is not
// preempted.
//
// Called from the GUI thread; the task thread only posts messages and, when a
// task fails, sets the last error (an atomic shared with the rest of the
// simulator) just before posting. Everything else the two share is guarded by
// one mutex, and messages are posted with it held, but the data, which have a
// mutex of their own.
#pragma once

#include "simtask.h"

#include "platform/wintypes.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace torvelsim {

class CTaskWorker {
public:
    using Clock = std::chrono::steady_clock;
    // What tells two tasks apart: tasks of equal keys begun at the same
    // device time measure the same words.
    using TaskKey = std::array<std::uint64_t, 16>;

    // A task the program follows with another as soon as it ends.
    struct Repeat {
        TaskKey key{};
        // The task the program is expected to start next: the same again (a
        // capture after capture), or the next block of a sweep.
        TaskKey nextKey{};
        std::function<std::unique_ptr<CSimTask>()> makeNext;
    };

    struct Job {
        HWND hwnd = 0;
        UINT messageBase = 0;
        BYTE tag = 0;
        // None when the task is the one measured ahead (MeasuredAhead).
        std::unique_ptr<CSimTask> task;
        std::optional<Repeat> repeat;
        // Wall seconds per second of device time (TORVEL_SIM_SPEED).
        double timeScale = 1.0;
        // When the device will be unplugged, if that is still to come.
        std::optional<Clock::time_point> unplugAt;
        bool fail = false;
        // Words delivered when the data are cut short; none = all of them.
        std::optional<int> shortCount;
        // When the program started it (set by Start): its pieces end so much
        // wall time after.
        Clock::time_point startedAt{};
    };

    explicit CTaskWorker(std::atomic<int>& lastError);
    ~CTaskWorker();
    CTaskWorker(const CTaskWorker&) = delete;
    CTaskWorker& operator=(const CTaskWorker&) = delete;

    bool Busy() const;
    // True when the task of this key is measured ahead (or being measured):
    // a job of this key needs no task then.
    bool MeasuredAhead(const TaskKey& key) const;
    // Hands a job to the task thread (started on first use); false when the
    // thread cannot be started. The caller has checked that no task is busy.
    bool Start(Job job);
    // Stops the running task; once this returns it posts nothing.
    void Terminate();
    // Terminates and ends the task thread.
    void Stop();

    // The program asks the running continuing task for its next slices.
    // Returns an error code: 0 when asked, task failed when no continuing
    // task runs, bad parameter when the tag is not the task's.
    int RequestSlices(BYTE tag);

    // The measurement clock: device seconds, advanced by every task as far as
    // it measured, so the scene behaves the same at every time scale.
    void ResetClock();

    // Words of the last finished task (or of the last slices handed over).
    int DataCount() const;
    int CopyData(short* buffer, int count) const;

    // Slices a continuing task keeps while the program has not asked.
    static constexpr std::size_t kSliceBuffer = 100;

private:
    void Run();
    // Makes the task measured ahead and measures its first piece, outside
    // the lock.
    void MeasureAhead(std::function<std::unique_ptr<CSimTask>()> make,
                      std::unique_lock<std::mutex>& lock);
    // Sleeps with the lock released until the alarm (none: until woken);
    // another thread may set the alarm meanwhile (SetAlarm) or wake it (Kick).
    void Sleep(std::optional<Clock::time_point> alarm, std::unique_lock<std::mutex>& lock);
    void SetAlarm(std::optional<Clock::time_point> at);
    void Kick();
    // Waits until `due` while the job is current; hands over slices asked
    // for meanwhile; false when the job was terminated or failed by an
    // unplug. Called with the lock held.
    bool Pace(const Job& job, std::uint64_t generation, Clock::time_point due,
              std::unique_lock<std::mutex>& lock);
    // With the lock held:
    void Finish(const Job& job, std::vector<short>& words);
    void FailTask(const Job& job, int error);
    void KeepSlice(std::vector<short>& words);
    void DeliverSlices(const Job& job);

    std::atomic<int>& m_lastError;
    // The task thread's alarm (a timer descriptor any thread may set) and
    // its wake-up (an event descriptor).
    int m_alarm = -1;
    int m_kick = -1;
    mutable std::mutex m_mutex;
    std::thread m_thread;
    // The thread sleeps waiting for a job.
    bool m_idle = false;
    bool m_stop = false;
    bool m_busy = false;
    std::uint64_t m_generation = 0;
    std::optional<Job> m_pending;
    // The task measured ahead: its key, the device time it began at and,
    // once measured, its first piece.
    struct Ahead {
        TaskKey key;
        double beginS;
        std::unique_ptr<CSimTask> task;
        std::optional<TaskPiece> first;
    };
    std::optional<Ahead> m_ahead;
    // The data the program copies, guarded by a mutex of their own: the
    // program, woken by a message the thread posts with m_mutex held, takes
    // them without waiting for the thread to release that (lock order:
    // m_mutex before m_dataMutex).
    mutable std::mutex m_dataMutex;
    std::vector<short> m_data;
    // Memory of data nobody reads any more, for the next task (the task
    // thread's alone).
    std::vector<short> m_spare;
    double m_clock = 0.0;

    // The running continuing task's slices.
    bool m_continuous = false;
    BYTE m_continuousTag = 0;
    bool m_requested = false;
    std::deque<std::vector<short>> m_slices;
    int m_dropped = 0;
};

} // namespace torvelsim
