// The simulator's task thread: runs one device task at a time. A task measures
// in pieces of device time (CSimTask); the thread keeps each piece to the wall
// clock (scaled), posts the intermediate-data messages a piece reports, and at
// the end publishes the task's words and posts WM_ANALYSIS_DONE, or posts
// WM_DEVICE_ERROR when the task is set to fail or the device is unplugged
// while it runs. A continuing (semi-real-time) task keeps its slices in a
// bounded buffer and hands them over only when the program has asked for them.
// A task that is terminated posts nothing.
//
// Called from the GUI thread; the task thread only posts messages and, when a
// task fails, sets the last error (an atomic shared with the rest of the
// simulator) just before posting. Everything else the two share is guarded by
// one mutex, and messages are posted with it held.
#pragma once

#include "simtask.h"

#include "platform/wintypes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace torvelsim {

class CTaskWorker {
public:
    using Clock = std::chrono::steady_clock;

    struct Job {
        HWND hwnd = 0;
        UINT messageBase = 0;
        BYTE tag = 0;
        std::unique_ptr<CSimTask> task;
        // Wall seconds per second of device time (TORVEL_SIM_SPEED).
        double timeScale = 1.0;
        // When the device will be unplugged, if that is still to come.
        std::optional<Clock::time_point> unplugAt;
        bool fail = false;
        // Words delivered when the data are cut short; none = all of them.
        std::optional<int> shortCount;
    };

    explicit CTaskWorker(std::atomic<int>& lastError);
    ~CTaskWorker();
    CTaskWorker(const CTaskWorker&) = delete;
    CTaskWorker& operator=(const CTaskWorker&) = delete;

    bool Busy() const;
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
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_stop = false;
    bool m_busy = false;
    std::uint64_t m_generation = 0;
    std::optional<Job> m_pending;
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
