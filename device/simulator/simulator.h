// The simulated analyser behind the exported functions: the link to the
// device and its loss, the scene and its fault timeline, the measurement clock
// and the start of tasks, which run on the task thread (CTaskWorker).
//
// Called only from the GUI thread. The scene file (TORVEL_SIM_SCENE) and the
// time scale (TORVEL_SIM_SPEED) are read by Open. A scene is loaded again only
// when the scene path differs from the loaded one, so that its fault timeline
// and task count go on across the re-opens that recover from an unplug.
#pragma once

#include "simscene.h"
#include "taskworker.h"

#include "platform/wintypes.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace torvelsim {

class CSimulator {
public:
    using Clock = std::chrono::steady_clock;

    CSimulator();
    ~CSimulator();
    CSimulator(const CSimulator&) = delete;
    CSimulator& operator=(const CSimulator&) = delete;

    // The one simulated device of the process.
    static CSimulator& Instance();

    int Open(HWND hwnd, UINT messageBase);
    void Close();
    void Terminate();
    int LastError() const { return m_lastError; }

    // Starts a sweep of one block (kind: normal, high-speed or high-resolution).
    int StartSweep(int kind, BYTE tag, int startKHz, int stepKHz, int attenuation,
                   int rejectionRate, int catcherRate);
    // The 104-bin spectrum block of zero span from baseKHz.
    int StartZeroSpanSpectrum(BYTE tag, int baseKHz, int attenuation);
    // A zero-span time capture of the bins firstBin..lastBin.
    int StartZeroSpanCapture(BYTE tag, int baseKHz, int attenuation, int triggerType,
                             int triggerLevel, int firstBin, int lastBin, int samples,
                             int postTriggerSamples);
    // A real-time capture of 256 blocks from baseKHz.
    int StartRealTime(BYTE tag, int baseKHz, int attenuation, int triggerType, int sense,
                      int triggerPosition);
    // The continuing semi-real-time sweep of 400 points from startKHz.
    int StartSemiRealTime(BYTE tag, int startKHz, int attenuation, int rejectionRate);
    // The program asks the semi-real-time task for its next slices.
    int RequestSlices(BYTE tag);
    // The power-supply control output: the RF path switch.
    int PowerSupply(int port, int enable, int value, int reserved);

    int DataCount() const { return m_worker.DataCount(); }
    int CopyData(short* buffer, int count) const { return m_worker.CopyData(buffer, count); }

private:
    enum class Link { Closed, Open, Lost };

    bool LoadScene();
    bool Plugged(Clock::time_point now) const;
    // The latest unplug at or before now, if there was one.
    std::optional<Clock::time_point> LastUnplug(Clock::time_point now) const;
    // The moment the device will be unplugged, if that is still to come.
    std::optional<Clock::time_point> NextUnplug(Clock::time_point now) const;
    // True when the link is usable; otherwise sets the link error.
    bool CheckLink();
    int Refuse(int error);
    // What every task of the kind shares.
    TaskSetup Setup(int kind, int attenuation, std::uint32_t taskNumber) const;
    // The noise seed of a task number.
    std::uint64_t NoiseSeed(std::uint32_t taskNumber) const;
    // Hands the task to the task thread with the faults of its number (no
    // task: the one the thread measured ahead for `repeat`).
    int Launch(BYTE tag, std::uint32_t taskNumber, std::unique_ptr<CSimTask> task,
               std::optional<CTaskWorker::Repeat> repeat = std::nullopt);
    // The setup of the task after taskNumber: this one with that task's noise.
    TaskSetup NextSetup(const TaskSetup& setup, std::uint32_t taskNumber) const;
    // Launches a task the program is expected to follow with repeat's next
    // one, which the task thread measures ahead; make() makes this one unless
    // it was measured ahead.
    int LaunchAhead(BYTE tag, std::uint32_t taskNumber, CTaskWorker::Repeat repeat,
                    const std::function<std::unique_ptr<CSimTask>()>& make);
    // Launches a block of a sweep of that kind, with the block the program is
    // expected to start next.
    int LaunchBlock(int kind, BYTE tag, std::uint32_t taskNumber, const TaskSetup& setup,
                    const SweepRequest& sweep, SweepRequest next);
    // True when a band block from baseKHz lies within the kind's range.
    static bool BandBaseInRange(int kind, int baseKHz);

    std::atomic<int> m_lastError{0};
    CTaskWorker m_worker;

    Link m_link = Link::Closed;
    Clock::time_point m_openedAt;
    HWND m_hwnd = 0;
    UINT m_messageBase = 0;
    double m_timeScale = 1.0;

    std::shared_ptr<const CSimScene> m_scene;
    std::string m_scenePath;
    std::uint64_t m_sceneSeed = 0;
    std::shared_ptr<const CNoiseFactors> m_noise;
    std::shared_ptr<const CNoiseWords> m_noiseWords;              // of the last real-time capture
    std::shared_ptr<const CSignalModel::BandPlan> m_realTimePlan; // and its band's plan
    // The kind, start and step of the last sweep block asked for.
    std::array<int, 3> m_lastBlock{};
    Clock::time_point m_loadedAt;
    std::uint32_t m_taskCount = 0;
    // The RF input the next task measures: 0 = RF1, 1 = RF2.
    int m_path = 0;
};

} // namespace torvelsim
