#include "cstring.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {
size_t clampPos(int i, size_t n) {
    return i < 0 ? 0 : std::min(static_cast<size_t>(i), n);
}
} // namespace

CString CString::Left(int n) const { return CString(m_s.substr(0, clampPos(n, m_s.size()))); }

CString CString::Right(int n) const {
    size_t k = clampPos(n, m_s.size());
    return CString(m_s.substr(m_s.size() - k));
}

CString CString::Mid(int first) const { return CString(m_s.substr(clampPos(first, m_s.size()))); }

CString CString::Mid(int first, int n) const {
    size_t f = clampPos(first, m_s.size());
    return CString(m_s.substr(f, clampPos(n, m_s.size() - f)));
}

int CString::Find(char c, int start) const {
    if (start < 0 || static_cast<size_t>(start) >= m_s.size())
        return -1;
    size_t p = m_s.find(c, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const char* s, int start) const {
    if (!s || start < 0 || static_cast<size_t>(start) > m_s.size())
        return -1;
    size_t p = m_s.find(s, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(char c) const {
    size_t p = m_s.rfind(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[i])))
        ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    size_t n = m_s.size();
    while (n > 0 && std::isspace(static_cast<unsigned char>(m_s[n - 1])))
        --n;
    m_s.resize(n);
    return *this;
}

int CString::Replace(const char* from, const char* to) {
    if (!from || !*from)
        return 0;
    std::string t = to ? to : "";
    size_t flen = std::strlen(from);
    int count = 0;
    for (size_t p = m_s.find(from); p != std::string::npos; p = m_s.find(from, p + t.size())) {
        m_s.replace(p, flen, t);
        ++count;
    }
    return count;
}

void CString::MakeUpper() {
    for (auto& c : m_s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void CString::MakeLower() {
    for (auto& c : m_s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

int CString::Compare(const char* s) const { return m_s.compare(s ? s : ""); }

void CString::FormatV(const char* fmt, va_list args) {
    if (!fmt) {
        m_s.clear();
        return;
    }
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) {
        m_s.clear();
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        m_s.assign(small, static_cast<size_t>(n));
        return;
    }
    std::string buf(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    buf.resize(static_cast<size_t>(n));
    m_s = std::move(buf);
}

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::AppendFormat(const char* fmt, ...) {
    CString tail;
    va_list args;
    va_start(args, fmt);
    tail.FormatV(fmt, args);
    va_end(args);
    m_s += tail.m_s;
}
