// The CSV data file's frame and its shared reading rules.
#include "analysis/csvfile.h"

#include "analysis/analysiscore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// ---- One line split into fields

void CCsvLine::Split(std::string_view line) {
    // The pieces of the last line are reused: rows of a file have the same
    // fields, so their texts are kept without allocating.
    size_t count = 0;
    auto next = [this, &count]() -> std::string& {
        if (count == m_pieces.size())
            m_pieces.emplace_back();
        std::string& piece = m_pieces[count++];
        piece.clear();
        return piece;
    };
    size_t i = 0;
    for (;;) {
        std::string& piece = next();
        if (i < line.size() && line[i] == '"') {
            // A quoted field: up to the closing quote; "" stands for one quote.
            ++i;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        piece += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                piece += line[i++];
            }
            // Anything between the closing quote and the next comma belongs to it.
            const size_t comma = line.find(',', i);
            const size_t end = comma == std::string_view::npos ? line.size() : comma;
            piece.append(line.substr(i, end - i));
            i = end;
        } else {
            const size_t comma = line.find(',', i);
            const size_t end = comma == std::string_view::npos ? line.size() : comma;
            piece.assign(line.substr(i, end - i));
            i = end;
        }
        if (i >= line.size())
            break;
        ++i; // past the comma
        if (i == line.size()) {
            next(); // a trailing comma ends with an empty field
            break;
        }
    }
    m_pieces.resize(count);
}

const std::string* CCsvLine::Piece(int i) const {
    if (i < 0 || i + 1 >= static_cast<int>(m_pieces.size()))
        return nullptr;
    return &m_pieces[static_cast<size_t>(i) + 1];
}

CString CCsvLine::Field(int i) const {
    const std::string* p = Piece(i);
    return p ? CString(*p) : CString();
}

int CCsvLine::IntField(int i) const {
    const std::string* p = Piece(i);
    if (!p || p->empty())
        return kCsvMissing;
    // Leading digits, as atoi reads them, but saturating instead of overflowing.
    const char* s = p->c_str();
    errno = 0;
    const long long v = std::strtoll(s, nullptr, 10);
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
    long long digits = 0;
    int count = 0;
    int decimals = 0;
    bool point = false;
    const char* start = first;
    for (; first < last; ++first) {
        const char c = *first;
        if (c >= '0' && c <= '9') {
            if (++count > kPlainDigits)
                return false;
            digits = digits * 10 + (c - '0');
            decimals += point ? 1 : 0;
        } else if (c == '.' && !point && first > start) {
            point = true;
        } else {
            return false;
        }
    }
    if (count == 0 || (point && decimals == 0))
        return false;
    const double v = static_cast<double>(digits) / kPowersOfTen[decimals];
    *value = negative ? -v : v;
    return true;
}

} // namespace

bool CCsvLine::DoubleField(int i, double* value) const {
    const std::string* p = Piece(i);
    if (!p || p->empty())
        return false;
    // Leading blanks and a plus sign as strtod takes them, then the number.
    const char* first = p->data();
    const char* last = first + p->size();
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
    // Read in pieces to the end: the size the file claims is not trusted, and
    // the read limit bounds what is kept. The text grows with what was read,
    // so a small file costs little.
    constexpr UINT kPiece = 16384;
    char piece[kPiece];
    for (;;) {
        const UINT n = m_file.Read(piece, kPiece);
        m_text.append(piece, n);
        if (n < kPiece)
            break;
    }
    // Past the read limit the line that was cut is not a line of the file.
    if (m_file.HasFailed()) {
        const size_t lastEnd = m_text.rfind('\n');
        m_text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    return TRUE;
}

void CCsvFile::Close() {
    m_file.Close();
    m_text.clear();
    m_text.shrink_to_fit();
    m_next = 0;
}

BOOL CCsvFile::ReadLine(std::string& line, bool* tooLong) {
    line.clear();
    if (tooLong)
        *tooLong = false;
    if (m_next >= m_text.size())
        return FALSE;
    const std::string_view rest = std::string_view(m_text).substr(m_next);
    const size_t end = rest.find('\n');
    const size_t length = end == std::string_view::npos ? rest.size() : end;
    m_next += end == std::string_view::npos ? length : length + 1;
    // Up to kCsvMaxLine bytes are kept; a CR that ends what is kept is the
    // line end's.
    const size_t kept = std::min(length, static_cast<size_t>(kCsvMaxLine));
    if (tooLong && kept < length)
        *tooLong = true;
    line.assign(rest.substr(0, kept));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return TRUE;
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
    while (ReadLine(m_line))
        if (m_line.find(marker) != std::string::npos)
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
    bool tooLong = false;
    if (!ReadLine(m_line, &tooLong))
        return false;
    *refused = tooLong;
    if (!tooLong)
        row->Split(m_line);
    return true;
}
