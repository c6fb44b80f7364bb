// CDataWatchdog: the watch over an alarm window's data. A window that watches
// levels for an alarm and gets no new data raises no alarm however the levels
// go: it is blind. The watchdog keeps the time of the window's last data and
// the usual time from one data intake to the next (its cycle); a window that
// watches and has had no data for three of its cycles, and at least
// kLeastSilence, has lost its monitoring, a technical alarm of its own,
// until data come again. While the window's own task runs (a long capture,
// a capture waiting for its trigger) the device works for it: that is no
// silence. Every analysis core owns one; the main frame's timer looks at all
// of them.
#pragma once

#include "platform/ctime.h"

#include <array>
#include <chrono>
#include <functional>

class CDataWatchdog {
public:
    using Clock = std::chrono::steady_clock;
    // The shortest silence that raises the alarm, and the silence counted in
    // the window's own cycles.
    static constexpr std::chrono::milliseconds kLeastSilence{10000};
    static constexpr int kSilentCycles = 3;
    // The cycle is the longest of this many recent gaps between data.
    static constexpr int kGapsKept = 8;

    enum class Change { kNone, kRaised, kCleared };

    // The clock of the watch and the least silence; tests shorten them.
    void SetClock(std::function<Clock::time_point()> clock) { m_clock = std::move(clock); }
    void SetLeastSilence(std::chrono::milliseconds silence) { m_leastSilence = silence; }

    // Data came in, measured at wall time `when`; kCleared when that ends a
    // raised alarm.
    Change DataArrived(const CTime& when);
    // One look at the window: `watching` while it measures with an armed
    // alarm, `busy` while its own task runs. Raises the alarm after the
    // silence; a window that stops watching clears it.
    Change Check(bool watching, bool busy = false);

    bool IsRaised() const { return m_raised; }
    // The wall time since which the window has had no data: its last data, or
    // the moment it began to watch when none came since.
    const CTime& SilentSince() const;
    // The silence that raises the alarm now.
    std::chrono::milliseconds Limit() const;

private:
    Clock::time_point Now() const { return m_clock ? m_clock() : Clock::now(); }

    std::function<Clock::time_point()> m_clock;
    std::chrono::milliseconds m_leastSilence = kLeastSilence;
    bool m_hasData = false;
    Clock::time_point m_lastData{};
    CTime m_lastDataWall;
    bool m_watching = false;
    Clock::time_point m_watchStart{};
    Clock::time_point m_lastBusy{};
    CTime m_watchStartWall;
    bool m_raised = false;
    std::array<Clock::duration, kGapsKept> m_gaps{};
    int m_nextGap = 0;
};
