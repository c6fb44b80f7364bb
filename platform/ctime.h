// CTime and CTimeSpan: calendar time in whole seconds, in the local time zone,
// with daylight saving decided by the system (mktime with tm_isdst = -1).
#pragma once

#include "cstring.h"

#include <cstdint>
#include <ctime>

class CTimeSpan {
public:
    CTimeSpan() = default;
    explicit CTimeSpan(std::int64_t seconds) : m_span(seconds) {}
    CTimeSpan(long days, int hours, int minutes, int seconds)
        : m_span(static_cast<std::int64_t>(days) * 86400 + static_cast<std::int64_t>(hours) * 3600 +
                 static_cast<std::int64_t>(minutes) * 60 + seconds) {}

    std::int64_t GetTotalSeconds() const { return m_span; }
    std::int64_t GetTotalMinutes() const { return m_span / 60; }
    std::int64_t GetTotalHours() const { return m_span / 3600; }
    std::int64_t GetDays() const { return m_span / 86400; }
    int GetHours() const { return static_cast<int>(GetTotalHours() - GetDays() * 24); }
    int GetMinutes() const { return static_cast<int>(GetTotalMinutes() - GetTotalHours() * 60); }
    int GetSeconds() const { return static_cast<int>(m_span - GetTotalMinutes() * 60); }

    CTimeSpan operator+(CTimeSpan o) const { return CTimeSpan(m_span + o.m_span); }
    CTimeSpan operator-(CTimeSpan o) const { return CTimeSpan(m_span - o.m_span); }
    auto operator<=>(const CTimeSpan&) const = default;

private:
    std::int64_t m_span = 0;
};

class CTime {
public:
    CTime() = default;
    explicit CTime(std::time_t t) : m_time(t) {}
    // Local calendar time; dst -1 lets the system decide daylight saving. A
    // date outside IsValidDate gives time 0.
    CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);

    // Years 1900 to 9999, month 1-12, day 1-31, hour 0-23, minute 0-59, second 0-60.
    static bool IsValidDate(int year, int month, int day, int hour, int minute, int second);
    // The latest time the calendar fields are given for: 9999-12-31 23:59:59 UTC.
    static constexpr std::time_t kLatestTime = 253402300799;

    static CTime GetCurrentTime();

    std::time_t GetTime() const { return m_time; }
    int GetYear() const { return local().tm_year + 1900; }
    int GetMonth() const { return local().tm_mon + 1; }
    int GetDay() const { return local().tm_mday; }
    int GetHour() const { return local().tm_hour; }
    int GetMinute() const { return local().tm_min; }
    int GetSecond() const { return local().tm_sec; }
    int GetDayOfWeek() const { return local().tm_wday + 1; }
    // strftime of the local time.
    CString Format(const char* fmt) const;

    CTime operator+(CTimeSpan s) const { return CTime(add(m_time, s.GetTotalSeconds())); }
    CTime operator-(CTimeSpan s) const {
        const std::int64_t span = s.GetTotalSeconds();
        return CTime(add(m_time, span == INT64_MIN ? INT64_MAX : -span));
    }
    CTimeSpan operator-(CTime o) const {
        return CTimeSpan(static_cast<std::int64_t>(m_time) - o.m_time);
    }
    CTime& operator+=(CTimeSpan s) { return *this = *this + s; }
    auto operator<=>(const CTime&) const = default;

private:
    // a + b, held at the ends of the time range instead of overflowing.
    static std::time_t add(std::time_t a, std::int64_t b);
    // The local calendar fields; a time past kLatestTime reads as kLatestTime.
    std::tm local() const;
    std::time_t m_time = 0;
};
