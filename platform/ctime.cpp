#include "ctime.h"

bool CTime::IsValidDate(int year, int month, int day, int hour, int minute, int second) {
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
           hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 60;
}

std::time_t CTime::add(std::time_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(static_cast<std::int64_t>(a), b, &sum))
        return b > 0 ? INT64_MAX : INT64_MIN;
    return static_cast<std::time_t>(sum);
}

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
    if (!IsValidDate(year, month, day, hour, minute, second))
        return;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = dst;
    std::time_t v = std::mktime(&t);
    m_time = v == static_cast<std::time_t>(-1) ? 0 : v;
}

CTime CTime::GetCurrentTime() {
    return CTime(std::time(nullptr));
}

std::tm CTime::local() const {
    std::tm t{};
    const std::time_t time = m_time > kLatestTime ? kLatestTime : m_time;
    if (!localtime_r(&time, &t))
        t = std::tm{};
    return t;
}

CString CTime::Format(const char* fmt) const {
    if (!fmt || !*fmt)
        return CString();
    std::tm t = local();
    char buf[512];
    size_t n = std::strftime(buf, sizeof buf, fmt, &t);
    return CString(buf, static_cast<int>(n));
}
