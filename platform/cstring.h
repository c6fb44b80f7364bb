// CString: the program's byte string. UTF-8 on Linux plays the part of the ANSI
// code page; lengths and positions count bytes, and comparisons are exact and
// case-sensitive. Format() is printf-style and checked by the compiler where the
// format is a literal; formats that come from data files are checked by their
// callers before use.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}
    CString(const char* s, int n) : m_s(s ? std::string(s, n > 0 ? n : 0) : std::string()) {}
    CString(std::string s) : m_s(std::move(s)) {}
    CString(std::string_view s) : m_s(s) {}
    CString(char c, int n = 1) : m_s(n > 0 ? n : 0, c) {}

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int i) const { return m_s[static_cast<size_t>(i)]; }
    void SetAt(int i, char c) { m_s[static_cast<size_t>(i)] = c; }
    char operator[](int i) const { return GetAt(i); }

    operator const char*() const { return m_s.c_str(); }
    const char* c_str() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }
    std::string& str() { return m_s; }

    CString Left(int n) const;
    CString Right(int n) const;
    CString Mid(int first) const;
    CString Mid(int first, int n) const;
    // Position of the first match at or after start, or -1.
    int Find(char c, int start = 0) const;
    int Find(const char* s, int start = 0) const;
    int ReverseFind(char c) const;
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim() { return TrimLeft().TrimRight(); }
    int Replace(const char* from, const char* to);
    void MakeUpper();
    void MakeLower();
    int Compare(const char* s) const;

    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    CString& operator+=(const CString& o) {
        m_s += o.m_s;
        return *this;
    }
    CString& operator+=(const char* s) {
        m_s += s ? s : "";
        return *this;
    }
    CString& operator+=(char c) {
        m_s += c;
        return *this;
    }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
    friend CString operator+(const CString& a, const char* b) {
        return CString(a.m_s + (b ? b : ""));
    }
    friend CString operator+(const char* a, const CString& b) {
        return CString((a ? a : "") + b.m_s);
    }
    friend CString operator+(const CString& a, char c) { return CString(a.m_s + c); }

    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.m_s == (b ? b : ""); }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

private:
    std::string m_s;
};
