// The task thread. Messages are posted with the lock held and only after the
// job's generation is checked, so TerminateTorvelTask (which bumps the
// generation under the same lock) guarantees that a stopped task stays silent.
#include "taskworker.h"

#include "device/TorvelAPI.h"
#include "platform/msgwindow.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace torvelsim {

CTaskWorker::CTaskWorker(std::atomic<int>& lastError) : m_lastError(lastError) {}

CTaskWorker::~CTaskWorker() {
    Stop();
}

bool CTaskWorker::Busy() const {
    std::lock_guard lock(m_mutex);
    return m_busy;
}

bool CTaskWorker::Start(Job job) {
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable()) {
        m_stop = false;
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    m_pending = std::move(job);
    m_busy = true;
    m_wake.notify_all();
    return true;
}

void CTaskWorker::Terminate() {
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_pending.reset();
    m_busy = false;
    m_wake.notify_all();
}

void CTaskWorker::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        ++m_generation;
        m_pending.reset();
        m_busy = false;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    m_stop = false;
}

int CTaskWorker::DataCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_data.size());
}

int CTaskWorker::CopyData(short* buffer, int count) const {
    if (!buffer || count <= 0)
        return 0;
    std::lock_guard lock(m_mutex);
    const int n = std::min(count, static_cast<int>(m_data.size()));
    std::memcpy(buffer, m_data.data(), static_cast<std::size_t>(n) * sizeof(short));
    return n;
}

void CTaskWorker::Finish(const Job& job, std::vector<short>& words) {
    if (job.shortCount && *job.shortCount < static_cast<int>(words.size()))
        words.resize(static_cast<std::size_t>(std::max(0, *job.shortCount)));
    m_data = std::move(words);
    m_busy = false;
    PostMessage(job.hwnd, job.messageBase + kTorvelMsgAnalysisDone, job.tag,
                static_cast<LPARAM>(m_data.size()));
}

void CTaskWorker::FailTask(const Job& job, int error) {
    m_data.clear();
    m_busy = false;
    m_lastError = error;
    PostMessage(job.hwnd, job.messageBase + kTorvelMsgDeviceError, job.tag, error);
}

void CTaskWorker::Run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stop || m_pending.has_value(); });
        if (m_stop)
            return;
        Job job = std::move(*m_pending);
        m_pending.reset();
        const std::uint64_t generation = m_generation;

        // Measuring happens outside the lock: the GUI thread may terminate
        // meanwhile, which the generation check below notices.
        lock.unlock();
        std::vector<short> words;
        if (!job.fail)
            words = CSignalModel(*job.scene, job.sceneSeed).Sweep(job.sweep);
        lock.lock();

        while (!m_stop && generation == m_generation) {
            const auto now = Clock::now();
            if (job.unplugAt && now >= *job.unplugAt && *job.unplugAt <= job.readyAt) {
                FailTask(job, kTorvelErrorRemoved);
                break;
            }
            if (now >= job.readyAt) {
                if (job.fail)
                    FailTask(job, kTorvelErrorTaskFailed);
                else
                    Finish(job, words);
                break;
            }
            auto wake = job.readyAt;
            if (job.unplugAt && *job.unplugAt < wake)
                wake = *job.unplugAt;
            m_wake.wait_until(lock, wake);
        }
    }
}

} // namespace torvelsim
