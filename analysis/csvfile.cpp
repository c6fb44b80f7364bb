// The CSV data file's frame and its shared reading rules.
#include "analysis/csvfile.h"

#include "analysis/analysiscore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- One line split into fields

void CCsvLine::Split(std::string_view line) {
    // The line is copied once; a quoted piece is unquoted where it lies (its
    // text only gets shorter), and every piece is a span of the copy.
    m_text.assign(line);
    m_stable = nullptr;
    m_pieces.clear();
    char* s = m_text.data();
    const size_t n = m_text.size();
    size_t i = 0;
    for (;;) {
        const size_t begin = i;
        if (i < n && s[i] == '"') {
            // A quoted field: up to the closing quote; "" stands for one quote.
            size_t out = i++;
            while (i < n) {
                if (s[i] == '"') {
                    if (i + 1 < n && s[i + 1] == '"') {
                        s[out++] = '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                s[out++] = s[i++];
            }
            // Anything between the closing quote and the next comma belongs to it.
            while (i < n && s[i] != ',')
                s[out++] = s[i++];
            m_pieces.push_back({begin, out - begin});
        } else {
            while (i < n && s[i] != ',')
                ++i;
            m_pieces.push_back({begin, i - begin});
        }
        if (i >= n)
            break;
        ++i; // past the comma
        if (i == n) {
            m_pieces.push_back({n, 0}); // a trailing comma ends with an empty field
            break;
        }
    }
}

void CCsvLine::SplitStable(std::string_view line) {
    if (line.find('"') != std::string_view::npos) {
        Split(line);
        return;
    }
    m_stable = line.data();
    m_pieces.clear();
    const char* s = line.data();
    const size_t n = line.size();
    size_t begin = 0;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == ',') {
            m_pieces.push_back({begin, i - begin});
            begin = i + 1;
        }
    }
    // The last piece: after a trailing comma, an empty field.
    m_pieces.push_back({begin, n - begin});
}

CString CCsvLine::Field(int i) const {
    return i < 0 ? CString() : CString(std::string(Piece(static_cast<size_t>(i) + 1)));
}

int CCsvLine::IntField(int i) const {
    const std::string_view piece = i < 0 ? std::string_view() : Piece(static_cast<size_t>(i) + 1);
    if (piece.empty())
        return kCsvMissing;
    // Leading digits, as atoi reads them, but saturating instead of overflowing.
    const std::string text(piece);
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

namespace {

// The powers of ten a double holds exactly.
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr int kPlainDigits = 15;

// The text [first, last) when it is a plain decimal, an optional minus, digits
// and optionally a point and more digits, with at most 15 digits: as the
// digits form an integer below 2^53 and 10^decimals is exact, one division
// gives the correctly rounded value, the same double from_chars reads. False
// for anything else (from_chars reads those).
bool PlainDecimal(const char* first, const char* last, double* value) {
    const bool negative = first < last && *first == '-';
    if (negative)
        ++first;
    // Unsigned, so that a long run of digits wraps harmlessly before the
    // count refuses it.
    unsigned long long digits = 0;
    const char* p = first;
    while (p < last && static_cast<unsigned char>(*p - '0') < 10)
        digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    const long whole = p - first;
    long decimals = 0;
    if (p < last && *p == '.' && whole > 0) {
        const char* fraction = ++p;
        while (p < last && static_cast<unsigned char>(*p - '0') < 10)
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        decimals = p - fraction;
        if (decimals == 0)
            return false;
    }
    if (p != last || whole == 0 || whole + decimals > kPlainDigits)
        return false;
    const double v = static_cast<double>(digits) / kPowersOfTen[decimals];
    *value = negative ? -v : v;
    return true;
}

} // namespace

bool CCsvLine::DoubleField(int i, double* value) const {
    const std::string_view piece = i < 0 ? std::string_view() : Piece(static_cast<size_t>(i) + 1);
    if (piece.empty())
        return false;
    // Leading blanks and a plus sign as strtod takes them, then the number.
    const char* first = piece.data();
    const char* last = first + piece.size();
    while (first < last && (*first == ' ' || *first == '\t'))
        ++first;
    if (first < last && *first == '+')
        ++first;
    if (PlainDecimal(first, last, value))
        return true;
    double v = 0;
    const auto result = std::from_chars(first, last, v);
    if (result.ec != std::errc() || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

CString CsvCaptionField(const CString& caption) {
    std::string text = caption.str();
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    if (text.find_first_of(",\"") == std::string::npos)
        return CString(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return CString(quoted);
}

// ---- The write time

namespace {

// One ",%d" step of the scan: a comma, blanks, an optional sign and at least
// one digit. Saturates at the int range.
bool ScanCommaInt(std::string_view text, size_t* pos, int* value) {
    size_t i = *pos;
    if (i >= text.size() || text[i] != ',')
        return false;
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (v < 10'000'000'000LL)
            v = v * 10 + (text[i] - '0');
        ++i;
    }
    v = negative ? -v : v;
    *value = static_cast<int>(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v);
    *pos = i;
    return true;
}

} // namespace

bool ParseCsvWriteTime(std::string_view fromComma, CTime* time) {
    int v[6] = {};
    size_t pos = 0;
    for (int& n : v)
        if (!ScanCommaInt(fromComma, &pos, &n))
            return false;
    const int year = v[0], month = v[1], day = v[2], hour = v[3], minute = v[4], second = v[5];
    // Numbers outside the calendar are not a time of data (mktime would
    // silently roll them over, or fail for years it cannot represent).
    if (year < 1970 || year > 3000 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return false;
    const CTime t(year, month, day, hour, minute, second);
    if (t.GetTime() == static_cast<std::time_t>(-1))
        return false;
    *time = t;
    return true;
}

// ---- Writing the frame

int CCsvFile::Write(CAnalysisCore& core, const char* path) {
    CStdioFile file;
    if (!file.Open(path,
                   CFile::modeCreate | CFile::modeWrite | CFile::typeText | CFile::modeSafeReplace))
        return 0;
    const CTime& t = core.GetLastDataTime();
    CString header;
    header.Format("%s\n"
                  "Analysis Type,%d,%d\n"
                  "Analysis Caption,%s\n"
                  "Write Time,%d,%d,%d,%d,%d,%d\n",
                  kCsvFileTitle, core.GetAnalysisType(), core.GetTitleIndex(),
                  CsvCaptionField(core.GetTitle()).c_str(), t.GetYear(), t.GetMonth(), t.GetDay(),
                  t.GetHour(), t.GetMinute(), t.GetSecond());
    file.WriteString(header);
    if (!core.WriteCSVSections(file)) {
        file.Abort();
        return 0;
    }
    return file.Close() ? 1 : 0;
}

// ---- Reading

bool CCsvFile::ReadHeader(const char* path, int* kind, int* variant, CString* caption) {
    CCsvFile f;
    if (!f.Open(path))
        return false;
    std::string line;
    if (!f.ReadLine(line) || line != kCsvFileTitle)
        return false;
    if (!f.ReadLine(line))
        return false;
    // The key of line 2 is not compared; its two integers are what counts.
    const CCsvLine type(line);
    const int k = type.IntField(0), v = type.IntField(1);
    if (k == kCsvMissing || v == kCsvMissing)
        return false;
    if (!f.ReadLine(line))
        return false;
    const CString c = CCsvLine(line).Field(0);
    if (c.IsEmpty())
        return false;
    if (!f.ReadLine(line))
        return false;
    *kind = k;
    *variant = v;
    *caption = c;
    return true;
}

BOOL CCsvFile::Open(const char* path) {
    Close();
    if (!m_file.Open(path, CFile::modeRead | CFile::typeText))
        return FALSE;
    // Read to the end: the size the file claims only chooses the first room
    // (within the read limit, which bounds what is kept); the room grows as
    // long as the file gives more. The room is not cleared before reading.
    constexpr size_t kFirstRoom = size_t{1} << 16;
    constexpr size_t kMostFirstRoom = size_t{1} << 26;
    const std::int64_t claimed = m_file.GetLength();
    size_t room =
        claimed > 0 ? std::min(static_cast<size_t>(claimed) + 1, kMostFirstRoom) : kFirstRoom;
    m_text.reset(new char[room]);
    for (;;) {
        if (m_size == room) {
            std::unique_ptr<char[]> larger(new char[room * 2]);
            std::memcpy(larger.get(), m_text.get(), m_size);
            m_text = std::move(larger);
            room *= 2;
        }
        const UINT n = m_file.Read(m_text.get() + m_size,
                                   static_cast<UINT>(std::min<size_t>(room - m_size, 1u << 30)));
        m_size += n;
        if (n == 0 || m_file.HasFailed())
            break;
    }
    // Past the read limit the line that was cut is not a line of the file.
    if (m_file.HasFailed()) {
        const std::string_view text(m_text.get(), m_size);
        const size_t lastEnd = text.rfind('\n');
        m_size = lastEnd == std::string_view::npos ? 0 : lastEnd + 1;
    }
    return TRUE;
}

void CCsvFile::Close() {
    m_file.Close();
    m_text.reset();
    m_size = 0;
    m_next = 0;
}

bool CCsvFile::NextLine(std::string_view* line, bool* tooLong) {
    *tooLong = false;
    if (m_next >= m_size)
        return false;
    const char* begin = m_text.get() + m_next;
    const size_t rest = m_size - m_next;
    const void* end = std::memchr(begin, '\n', rest);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - begin) : rest;
    m_next += end ? length + 1 : length;
    // Up to kCsvMaxLine bytes are kept; a CR that ends what is kept is the
    // line end's.
    size_t kept = std::min(length, static_cast<size_t>(kCsvMaxLine));
    *tooLong = kept < length;
    if (kept > 0 && begin[kept - 1] == '\r')
        --kept;
    *line = std::string_view(begin, kept);
    return true;
}

BOOL CCsvFile::ReadLine(std::string& line, bool* tooLong) {
    std::string_view view;
    bool cut = false;
    const bool any = NextLine(&view, &cut);
    line.assign(view);
    if (tooLong)
        *tooLong = cut;
    return any ? TRUE : FALSE;
}

void CCsvFile::ReadWriteTime(CTime* lastDataTime, CTime now) {
    m_next = 0;
    for (int n = 1; n <= kCsvWriteTimeLines; ++n) {
        if (!ReadLine(m_line))
            break;
        const size_t key = m_line.find(kCsvWriteTimeKey);
        if (key == std::string::npos)
            continue;
        // Lines 9 and 10 are too far down to be the frame's: the time stays.
        if (n <= kCsvWriteTimeUsedLines) {
            const size_t comma = m_line.find(',');
            CTime t;
            if (comma != std::string::npos &&
                ParseCsvWriteTime(std::string_view(m_line).substr(comma), &t))
                *lastDataTime = t;
            else
                *lastDataTime = now;
        }
        return;
    }
    *lastDataTime = now;
    m_next = 0;
}

bool CCsvFile::FindSection(const char* marker) {
    std::string_view line;
    bool tooLong = false;
    while (NextLine(&line, &tooLong))
        if (line.find(marker) != std::string_view::npos)
            return true;
    return false;
}

bool CCsvFile::ReadParam(int* value) {
    if (!ReadLine(m_line))
        return false;
    *value = CCsvLine(m_line).IntField(0);
    return true;
}

bool CCsvFile::ReadRow(CCsvLine* row, bool* refused) {
    std::string_view line;
    bool tooLong = false;
    if (!NextLine(&line, &tooLong))
        return false;
    *refused = tooLong;
    if (!tooLong)
        row->SplitStable(line);
    return true;
}
