// CDataWatchdog: the silence of an alarm window's data.
#include "analysis/datawatchdog.h"

#include <algorithm>

CDataWatchdog::Change CDataWatchdog::DataArrived(const CTime& when) {
    const Clock::time_point now = Now();
    // The cycle is learnt while the window watches and gets its data: the
    // time it was not watching, and the silence that raised the alarm, are
    // no cycle of it.
    if (m_hasData && m_watching && !m_raised) {
        m_gaps[static_cast<size_t>(m_nextGap)] = now - std::max(m_lastData, m_watchStart);
        m_nextGap = (m_nextGap + 1) % kGapsKept;
    }
    m_hasData = true;
    m_lastData = now;
    m_lastDataWall = when;
    if (!m_raised)
        return Change::kNone;
    m_raised = false;
    return Change::kCleared;
}

CDataWatchdog::Change CDataWatchdog::Check(bool watching, bool busy) {
    const Clock::time_point now = Now();
    if (!watching) {
        m_watching = false;
        if (!m_raised)
            return Change::kNone;
        m_raised = false;
        return Change::kCleared;
    }
    if (!m_watching) {
        m_watching = true;
        m_watchStart = now;
        m_watchStartWall = CTime::GetCurrentTime();
    }
    if (busy)
        m_lastBusy = now;
    if (m_raised)
        return Change::kNone;
    // The silence counts from the last data, or from the start of the watch
    // or the last look that found the window's task running when those are
    // later.
    Clock::time_point from = std::max(m_watchStart, m_lastBusy);
    if (m_hasData)
        from = std::max(from, m_lastData);
    if (now - from < Limit())
        return Change::kNone;
    m_raised = true;
    return Change::kRaised;
}

const CTime& CDataWatchdog::SilentSince() const {
    return m_hasData ? m_lastDataWall : m_watchStartWall;
}

std::chrono::milliseconds CDataWatchdog::Limit() const {
    const Clock::duration cycle = *std::max_element(m_gaps.begin(), m_gaps.end());
    return std::max(m_leastSilence,
                    std::chrono::duration_cast<std::chrono::milliseconds>(cycle * kSilentCycles));
}
