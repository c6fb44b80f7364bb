// CXpdControllerLink: the XPD window's serial controllers and the worker
// thread that serves them. Two controllers (primary and secondary port, both
// station 1) are polled for a start request, run a timed active period, and
// are written the XPD value, the peak frequency, the remaining time and the
// output words in every round. The GUI thread and the worker exchange only
// the atomic values below; each side tolerates the other's previous value.
#pragma once

#include "platform/serialport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CXpdControllerLink {
public:
    // Controller registers.
    static constexpr int kRegStart = 20;     // D20: start request
    static constexpr int kRegRestart = 30;   // D30: restart request during a period
    static constexpr int kRegMode = 0;       // D0
    static constexpr int kRegRelay = 0;      // R0
    static constexpr int kRegRemaining = 13; // D13: remaining time in percent
    static constexpr int kRegXpdWhole = 10;  // D10
    static constexpr int kRegXpdHundredths = 11;
    static constexpr int kRegPeakWhole = 12;
    static constexpr int kRegPeakThousandths = 14;
    // Words written.
    static constexpr unsigned kModeActive = 16;
    static constexpr unsigned kModeIdle = 32;
    static constexpr unsigned kRelayActive = 0x2400;
    static constexpr unsigned kRelayAlarm = 0x2C00;
    static constexpr unsigned kRelayIdle = 0x2000;
    // The pause after the reads of a round, and the worker's poll at close.
    static constexpr int kReadWaitMs = 40;
    static constexpr int kStopPollMs = 10;
    // The base wait is held to 0 ... 1 s: a round makes about twenty writes.
    static constexpr int kMaxBaseWaitMs = 1000;
    // The most a reply to one of the closing writes is waited for: the six
    // closing writes and the worker's end take well under a second.
    static constexpr int kCloseReplyWaitMs = 100;
    // The longest active period, in s: the remaining time's active time x 100
    // stays within an unsigned word.
    static constexpr int kMaxActiveTime = 42949672;
    enum { kPrimary = 0, kSecondary = 1, kPorts = 2 };

    CXpdControllerLink();
    // Stops the worker if it still runs.
    ~CXpdControllerLink();
    CXpdControllerLink(const CXpdControllerLink&) = delete;
    CXpdControllerLink& operator=(const CXpdControllerLink&) = delete;

    // The port names, taken by the worker when it (re)opens a port. A port
    // whose name changed is moved: the controller on the old port is left
    // inactive and closed at the start of the next round.
    void SetPortNames(const std::string& primary, const std::string& secondary);
    // Sets the run flag and starts the worker at below-normal priority.
    void Start();
    // Clears the run flag, waits (polling every 10 ms) until the worker has
    // ended, then leaves both controllers inactive (R0 2000 hex, D0 32,
    // D20 0), opening again a port the worker had closed, and closes both
    // ports. Only a link that was started writes anything. Returns a bit
    // (1 << port) for each controller that answered while the link ran but
    // could not be reached at the end (one that never answered was never
    // driven).
    unsigned Stop();
    bool IsWorkerRunning() const { return m_workerAlive.load(); }

    // One round of the worker's loop; it leaves as soon as the run flag is 0.
    void RunRound();
    void SetRunFlag(int flag);
    int GetRunFlag() const { return m_run.load(); }

    // The words sent for the current values.
    // The remaining time of an active period (active time held to 1 ...
    // kMaxActiveTime s).
    static unsigned RemainingPercent(int activeTime, long long elapsed);
    static int ClampBaseWait(int ms);
    static int ClampActiveTime(int seconds);
    static unsigned XpdWhole(double xpd);
    static unsigned XpdHundredths(double xpd);
    static unsigned PeakWhole(double peak);
    static unsigned PeakThousandths(double peak);

    // ---- Written by the GUI thread, read by the worker.
    std::atomic<int> m_detectFlag{0};
    std::atomic<int> m_alarmFlag{0};
    // 1 while the window's watch has lost its data: the alarm relay is set
    // whether or not a period runs.
    std::atomic<int> m_technicalAlarm{0};
    std::atomic<double> m_xpdValue{0.0};
    std::atomic<double> m_peakValue{0.0};
    // 0 while the window has no XPD reading: the value words are not written.
    std::atomic<int> m_valuesValid{1};
    std::atomic<int> m_activeTime{20}; // s, at least 1
    std::atomic<int> m_baseWait{40};   // ms
    // ---- Written by the worker, read by the GUI thread.
    std::atomic<int> m_activeFlag{0};
    std::atomic<int> m_remainingPercent{0};

    // Seconds of the worker's clock; tests replace it before the worker starts.
    std::function<std::time_t()> m_clock;
    // The time all closing writes together may take, and the longest wait for
    // one reply among them. Tests that check what the close writes, not how
    // fast, lengthen them so that a loaded machine cannot miss a reply.
    std::chrono::milliseconds m_closeBudget{600};
    int m_closeReplyWaitMs = kCloseReplyWaitMs;
    // The least such a reply is waited for. Tests that check what is written
    // lengthen it past any hold-up of a loaded machine.
    int m_minReplyWaitMs = kReadWaitMs;
    // The same for the writes that leave a controller inactive when its port
    // is moved to another name.
    std::chrono::milliseconds m_moveBudget{200};

    // Only while no worker runs.
    bool IsPortOpen(int port) const { return m_ports[port].IsOpen(); }

private:
    void WorkerMain();
    // Waits ms; false (early) when the run flag was cleared.
    bool Wait(int ms);
    bool Running() const { return m_run.load() != 0; }
    // Sends the read of reg to both ports, waits, and takes both replies
    // ("0000" for a port that gave none; a failing port is closed).
    // false when the run flag was cleared meanwhile.
    bool ReadBoth(int reg, std::string values[kPorts]);
    // Send, base wait, receive and check on one port; a failure closes it.
    bool WriteWithReply(int port, const std::string& frame, const char* letters);
    // The frame to both ports in turn; false when the run flag was cleared.
    bool WriteBoth(bool relay, int reg, unsigned value);
    // Leaves the controller of a port whose name changed inactive (before
    // deadline) and closes its port; opens every closed port by its name.
    void OpenPorts(std::chrono::steady_clock::time_point deadline);
    // R0 2000 hex, D0 32 and D20 0 to one port, all before deadline; false
    // when the controller did not take all three.
    bool LeaveInactive(int port, std::chrono::steady_clock::time_point deadline);
    // One write of the closing sequence on its own port.
    bool CloseWrite(int port, bool relay, int reg, unsigned value,
                    std::chrono::steady_clock::time_point deadline);
    int BaseWait() const { return ClampBaseWait(m_baseWait.load()); }
    std::time_t Now() const;

    CSerialPort m_ports[kPorts];
    std::string m_names[kPorts];
    bool m_moved[kPorts] = {false, false}; // the name changed since the port was opened
    std::mutex m_mutex;                    // guards the port names and the wait
    std::condition_variable m_wake;
    std::atomic<int> m_run{0};
    std::atomic<bool> m_workerAlive{false};
    bool m_served = false; // the run flag was set since the last Stop
    // The controller on the port answered since its port name was set.
    bool m_reached[kPorts] = {false, false};
    // The name each port was last opened by: a controller whose port a missed
    // reply had closed is found there when its name moves.
    std::string m_openedNames[kPorts];
    std::thread m_thread;
    // The worker's own state.
    std::time_t m_periodStart = 0;
    int m_lastDetect = 0;
};
