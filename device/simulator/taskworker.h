// The simulator's task thread: runs one device task at a time. A task renders
// its block, waits as long as the real measurement would take (scaled), then
// publishes its words and posts WM_ANALYSIS_DONE, or posts WM_DEVICE_ERROR
// when it is set to fail or the device is unplugged while it runs. A task that
// is terminated posts nothing.
//
// Called from the GUI thread; the task thread only posts messages and, when a
// task fails, sets the last error (an atomic shared with the rest of the
// simulator) just before posting. Everything else the two share is guarded by
// one mutex.
#pragma once

#include "signalmodel.h"

#include "platform/wintypes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
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
        // The scene stays alive while the job uses it, even if a new one is loaded.
        std::shared_ptr<const CSimScene> scene;
        std::uint64_t sceneSeed = 0;
        SweepRequest sweep;
        // When the data are ready (wall clock).
        Clock::time_point readyAt;
        // When the device will be unplugged, if that falls into this task.
        std::optional<Clock::time_point> unplugAt;
        bool fail = false;
        // Words delivered when the data are cut short; none = the whole block.
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

    // Words of the last finished task.
    int DataCount() const;
    int CopyData(short* buffer, int count) const;

private:
    void Run();
    // Ends the current task with the given outcome; called with the lock held.
    void Finish(const Job& job, std::vector<short>& words);
    void FailTask(const Job& job, int error);

    std::atomic<int>& m_lastError;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_stop = false;
    bool m_busy = false;
    std::uint64_t m_generation = 0;
    std::optional<Job> m_pending;
    std::vector<short> m_data;
};

} // namespace torvelsim
