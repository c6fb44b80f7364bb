#include "ctime.h"

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
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

CTime CTime::GetCurrentTime() { return CTime(std::time(nullptr)); }

std::tm CTime::local() const {
    std::tm t{};
    localtime_r(&m_time, &t);
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
