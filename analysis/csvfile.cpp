// The CSV data file's frame and its shared reading rules.
#include "analysis/csvfile.h"

#include "analysis/analysiscore.h"
#include "trace/tracestore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The rows the vector pass of SplitStableLine leaves (a quote, no line end
// within the limit) come here: few, so byte by byte.
void CCsvLine::SplitStable(std::string_view line) {
    const char* s = line.data();
    const size_t n = line.size();
    m_stable = s;
    m_pieces.clear();
    size_t begin = 0;
    size_t i = 0;
    const auto comma = [&](size_t at) {
        m_pieces.push_back({begin, at - begin});
        begin = at + 1;
    };
    for (; i < n; ++i) {
        if (s[i] == ',') {
            comma(i);
        } else if (s[i] == '"') {
            Split(line);
            return;
        }
    }
    // The last piece: after a trailing comma, an empty field.
    m_pieces.push_back({begin, n - begin});
}

size_t CCsvLine::SplitStableLine(const char* s, size_t limit) {
    m_stable = s;
    m_pieces.clear();
    size_t begin = 0;
    size_t i = 0;
    size_t end = std::string_view::npos;
    const auto comma = [&](size_t at) {
        m_pieces.push_back({begin, at - begin});
        begin = at + 1;
    };
#if defined(__SSE2__)
    // Sixteen bytes at a time: the commas and quotes before the first line end.
    const __m128i commas = _mm_set1_epi8(',');
    const __m128i quotes = _mm_set1_epi8('"');
    const __m128i lineEnds = _mm_set1_epi8('\n');
    for (; i + 16 <= limit; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const auto maskOf = [&](__m128i c) {
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, c)));
        };
        const unsigned lineEnd = maskOf(lineEnds);
        const unsigned before = lineEnd ? (lineEnd & (0u - lineEnd)) - 1 : 0xffffu;
        if (maskOf(quotes) & before)
            return std::string_view::npos;
        for (unsigned mask = maskOf(commas) & before; mask != 0; mask &= mask - 1)
            comma(i + static_cast<size_t>(__builtin_ctz(mask)));
        if (lineEnd) {
            end = i + static_cast<size_t>(__builtin_ctz(lineEnd));
            break;
        }
    }
#endif
    for (; end == std::string_view::npos && i < limit; ++i) {
        if (s[i] == '\n')
            end = i;
        else if (s[i] == ',')
            comma(i);
        else if (s[i] == '"')
            return std::string_view::npos;
    }
    if (end == std::string_view::npos)
        return end;
    // The last piece, without the CR of a CR LF line end.
    const size_t kept = end > 0 && s[end - 1] == '\r' ? end - 1 : end;
    m_pieces.push_back({begin, kept - begin});
    return end;
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

namespace {

// The shape this program writes: an optional minus, one to three digits (four
// without the minus), a point and two decimals (a case of PlainLevelWord
// below). m x 16384 for four digits and two decimals reaches 1.6e10, beyond 32
// bits: the product is taken in 64. False for any other text.
inline bool WrittenLevelWord(const char* p, const char* last, short* word) {
    if (last - p < 4 || last - p > 7 || last[-3] != '.')
        return false;
    const bool negative = *p == '-';
    const char* point = last - 3;
    p += negative ? 1 : 0;
    unsigned m = 0;
    bool digits = p < point;
    for (; p < point; ++p) {
        const unsigned d = static_cast<unsigned char>(*p - '0');
        digits &= d < 10;
        m = m * 10 + d;
    }
    const unsigned d1 = static_cast<unsigned char>(last[-2] - '0');
    const unsigned d2 = static_cast<unsigned char>(last[-1] - '0');
    if (!digits || d1 >= 10 || d2 >= 10)
        return false;
    const std::uint64_t r = (std::uint64_t{m * 100 + d1 * 10 + d2} * 16384 + 5000) / 10000;
    *word = negative ? static_cast<short>(-static_cast<int>(std::min<std::uint64_t>(r, 32768)))
                     : static_cast<short>(std::min<std::uint64_t>(r, 32767));
    return true;
}

// A level written as a plain decimal with at most nine digits before the point
// and four after it (all of which DoubleField reads through PlainDecimal),
// turned into its word with integers. The level is m / 10^d dB for its digits
// m and decimals d, so the word is q = m x 16384 / 10^(d+2), rounded. That q is
// never a half (q = k + 1/2 means m x 2^15 = (2k + 1) x 2^(d+2) x 5^(d+2), with
// at least 15 factors 2 on the left and d + 2 <= 6 on the right), so it lies at
// least 1 / (2 x 10^(d+2)) words from every half: far beyond the error of the
// double arithmetic (below 1e-11 words within the word's range). This word is
// therefore the one CsvLevelWord gives for the double DoubleField reads. False
// for any other text.
bool PlainLevelWord(std::string_view piece, short* word) {
    const char* p = piece.data();
    const char* last = p + piece.size();
    if (WrittenLevelWord(p, last, word))
        return true;
    while (p < last && (*p == ' ' || *p == '\t'))
        ++p;
    if (p < last && *p == '+')
        ++p;
    const bool negative = p < last && *p == '-';
    if (negative)
        ++p;
    std::uint64_t m = 0;
    const char* first = p;
    while (p < last && static_cast<unsigned char>(*p - '0') < 10)
        m = m * 10 + static_cast<unsigned>(*p++ - '0');
    const long whole = p - first;
    if (whole == 0 || whole > 9)
        return false;
    long decimals = 0;
    if (p < last && *p == '.') {
        const char* fraction = ++p;
        while (p < last && static_cast<unsigned char>(*p - '0') < 10)
            m = m * 10 + static_cast<unsigned>(*p++ - '0');
        decimals = p - fraction;
        if (decimals == 0 || decimals > 4)
            return false;
    }
    if (p != last)
        return false;
    // The nearest whole number to q: floor(q + 1/2), each divisor a constant.
    const auto rounded = [m](std::uint64_t denominator) {
        return (m * 16384 + denominator / 2) / denominator;
    };
    std::uint64_t r = 0;
    switch (decimals) {
    case 0:
        r = rounded(100);
        break;
    case 1:
        r = rounded(1000);
        break;
    case 2:
        r = rounded(10000);
        break;
    case 3:
        r = rounded(100000);
        break;
    default:
        r = rounded(1000000);
        break;
    }
    // Held at the word's range as CsvLevelWord holds it.
    *word = negative ? static_cast<short>(-static_cast<int>(std::min<std::uint64_t>(r, 32768)))
                     : static_cast<short>(std::min<std::uint64_t>(r, 32767));
    return true;
}

} // namespace

bool CCsvLine::LevelField(int i, short* word) const {
    if (i >= 0 && PlainLevelWord(Piece(static_cast<size_t>(i) + 1), word))
        return true;
    double db = 0;
    if (!DoubleField(i, &db))
        return false;
    *word = CsvLevelWord(db);
    return true;
}

unsigned CCsvLine::LevelFields(int first, int count, short* words) const {
    // The written shape is taken straight from the pieces; anything else
    // through LevelField. Past the last field nothing more is read.
    const char* base = m_stable ? m_stable : m_text.data();
    unsigned read = 0;
    for (int k = 0; k < count && k < 32; ++k) {
        const int field = first + k;
        const size_t n = static_cast<size_t>(field) + 1;
        if (field >= 0 && n >= m_pieces.size())
            break;
        if (field >= 0) {
            const char* p = base + m_pieces[n].begin;
            if (WrittenLevelWord(p, p + m_pieces[n].length, &words[k])) {
                read |= 1u << k;
                continue;
            }
        }
        if (LevelField(field, &words[k]))
            read |= 1u << k;
    }
    return read;
}

// The rounding is std::round's (halves away from zero) done inline: within the
// held range the part after the point of a double is exact, so the whole part
// and that fraction decide it.
short CsvLevelWord(double db) {
    const double words = db * kWordsPerDb;
    if (!(words > -32768.5)) // also a level that is not a number
        return -32768;
    if (words >= 32767.5)
        return 32767;
    const int whole = static_cast<int>(words); // toward zero
    const double fraction = words - whole;
    return static_cast<short>(whole + (fraction >= 0.5) - (fraction <= -0.5));
}

CString CsvCaptionField(const CString& caption) {
    std::string text = caption.str();
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\0')
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
    // The caption is text: it ends at a NUL character, as the window's title
    // and every file that stores it would end it.
    const CString c(std::string(CCsvLine(line).Field(0).c_str()));
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
    // A row that ends well within the limit and has no quote is split as it
    // is found; any other row takes the general way.
    if (m_next < m_size) {
        const size_t length = row->SplitStableLine(
            m_text.get() + m_next, std::min(m_size - m_next, static_cast<size_t>(kCsvMaxLine)));
        if (length != std::string_view::npos) {
            m_next += length + 1;
            *refused = false;
            return true;
        }
    }
    std::string_view line;
    bool tooLong = false;
    if (!NextLine(&line, &tooLong))
        return false;
    *refused = tooLong;
    if (!tooLong)
        row->SplitStable(line);
    return true;
}
