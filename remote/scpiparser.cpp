#include "scpiparser.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace scpi {

namespace {

struct ErrorName {
    int code;
    const char* text;
};
constexpr ErrorName kErrorTexts[] = {
    {kNoError, "No error"},
    {kCommandError, "Command error"},
    {kInvalidCharacter, "Invalid character"},
    {kSyntaxError, "Syntax error"},
    {kDataTypeError, "Data type error"},
    {kParameterNotAllowed, "Parameter not allowed"},
    {kMissingParameter, "Missing parameter"},
    {kUndefinedHeader, "Undefined header"},
    {kHeaderSuffixOutOfRange, "Header suffix out of range"},
    {kInvalidSuffix, "Invalid suffix"},
    {kInvalidStringData, "Invalid string data"},
    {kExecutionError, "Execution error"},
    {kCommandProtected, "Command protected"},
    {kSettingsConflict, "Settings conflict"},
    {kDataOutOfRange, "Data out of range"},
    {kTooMuchData, "Too much data"},
    {kIllegalParameterValue, "Illegal parameter value"},
    {kHardwareError, "Hardware error"},
    {kHardwareMissing, "Hardware missing"},
    {kMassStorageError, "Mass storage error"},
    {kFileNameNotFound, "File name not found"},
    {kFileNameError, "File name error"},
    {kQueueOverflow, "Queue overflow"},
    {kInputBufferOverrun, "Input buffer overrun"},
    {kQueryInterrupted, "Query INTERRUPTED"},
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return upper(x) == upper(y); });
}
std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits at sep outside quoted strings; false when a quote is left open.
bool splitOutsideQuotes(std::string_view s, char sep, std::vector<std::string_view>* parts) {
    char quote = 0;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            if (c == quote)
                quote = 0; // a doubled quote closes and reopens: the same
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == sep) {
            parts->push_back(s.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    parts->push_back(s.substr(begin));
    return quote == 0;
}

int parseString(std::string_view s, Param* p) {
    const char quote = s.front();
    if (s.size() < 2 || s.back() != quote)
        return kInvalidStringData;
    p->kind = Param::Kind::String;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == quote) {
            // Inside, a quote stands only doubled.
            if (i + 2 >= s.size() || s[i + 1] != quote)
                return kInvalidStringData;
            ++i;
        }
        p->text += s[i];
    }
    return kNoError;
}

int parseNumber(std::string_view s, Param* p) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return kSyntaxError;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        std::size_t expDigits = 0;
        while (j < s.size() && isDigit(s[j]))
            ++j, ++expDigits;
        // "1E" alone is no exponent: the E starts a unit only when letters
        // follow it ("1EX" is a syntax error either way).
        if (expDigits > 0)
            i = j;
    }
    std::string_view numberText = s.substr(0, i);
    if (!numberText.empty() && numberText.front() == '+')
        numberText.remove_prefix(1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(numberText.data(), numberText.data() + numberText.size(), value);
    if (ec == std::errc::result_out_of_range || !std::isfinite(value))
        return kDataOutOfRange;
    if (ec != std::errc() || end != numberText.data() + numberText.size())
        return kSyntaxError;
    std::string_view unit = trim(s.substr(i));
    for (char c : unit)
        if (!isLetter(c))
            return kSyntaxError;
    p->kind = Param::Kind::Number;
    p->number = value;
    p->unit.clear();
    for (char c : unit)
        p->unit += upper(c);
    return kNoError;
}

bool printable(char c) {
    return (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7E) ||
           isSpace(c);
}

int parseParam(std::string_view s, Param* p) {
    s = trim(s);
    if (s.empty())
        return kSyntaxError;
    const char c = s.front();
    if (c == '"' || c == '\'')
        return parseString(s, p);
    // Outside a string every byte is printable ASCII (a NUL byte is not).
    if (!std::all_of(s.begin(), s.end(), printable))
        return kInvalidCharacter;
    if (isDigit(c) || c == '+' || c == '-' || c == '.')
        return parseNumber(s, p);
    if (c == '#') // non-decimal numbers and blocks are not taken
        return kDataTypeError;
    if (!isLetter(c))
        return kSyntaxError;
    for (char ch : s) {
        if (!isLetter(ch) && !isDigit(ch) && ch != '_')
            return kSyntaxError;
    }
    p->kind = Param::Kind::Mnemonic;
    p->text.reserve(s.size());
    for (char ch : s)
        p->text += upper(ch);
    return kNoError;
}

bool validToken(std::string_view t, bool common) {
    if (t.empty())
        return false;
    std::size_t i = 0;
    if (common) {
        if (t[0] != '*')
            return false;
        i = 1;
    }
    if (i >= t.size() || !isLetter(t[i]))
        return false;
    for (; i < t.size(); ++i)
        if (!isLetter(t[i]) && !isDigit(t[i]) && t[i] != '_')
            return false;
    return true;
}

} // namespace

const char* ErrorText(int code) {
    for (const ErrorName& e : kErrorTexts)
        if (e.code == code)
            return e.text;
    return "Unknown error";
}

CScpiParser::CScpiParser(const std::vector<std::string_view>& patterns) {
    m_patterns.reserve(patterns.size());
    for (std::string_view text : patterns) {
        Pattern p;
        if (!text.empty() && text.back() == '?')
            text.remove_suffix(1);
        p.common = !text.empty() && text.front() == '*';
        std::size_t i = 0;
        while (i < text.size()) {
            Node n;
            if (text[i] == '[') {
                n.optional = true;
                ++i;
            }
            if (i < text.size() && text[i] == ':')
                ++i;
            std::size_t begin = i;
            while (i < text.size() && text[i] != ':' && text[i] != '[' && text[i] != ']')
                ++i;
            std::string_view name = text.substr(begin, i - begin);
            if (n.optional && i < text.size() && text[i] == ']')
                ++i;
            if (!name.empty() && name.back() == '#') {
                n.suffix = true;
                name.remove_suffix(1);
                ++p.suffixNodes;
            }
            n.longForm = name;
            while (n.shortLength < name.size() &&
                   !(name[n.shortLength] >= 'a' && name[n.shortLength] <= 'z'))
                ++n.shortLength;
            if (!name.empty())
                p.nodes.push_back(n);
        }
        m_patterns.push_back(std::move(p));
    }
}

bool CScpiParser::matchFrom(const Pattern& p, std::size_t node,
                            const std::vector<std::string_view>& tokens, std::size_t token,
                            int suffixIndex, int* suffix) const {
    if (node == p.nodes.size())
        return token == tokens.size();
    const Node& n = p.nodes[node];
    if (token < tokens.size()) {
        std::string_view t = tokens[token];
        int value = 1;
        if (n.suffix) {
            std::size_t end = t.size();
            while (end > 0 && isDigit(t[end - 1]))
                --end;
            const std::string_view digits = t.substr(end);
            t = t.substr(0, end);
            if (!digits.empty()) {
                value = 0;
                for (char c : digits) {
                    value = value * 10 + (c - '0');
                    if (value > kMaxSuffixValue) {
                        value = kMaxSuffixValue + 1;
                        break;
                    }
                }
            }
        }
        const bool named =
            equalNoCase(t, n.longForm) ||
            (n.shortLength > 0 && equalNoCase(t, n.longForm.substr(0, n.shortLength)));
        if (named) {
            int saved = 0;
            if (n.suffix && suffixIndex < static_cast<int>(kMaxSuffixes)) {
                saved = suffix[suffixIndex];
                suffix[suffixIndex] = value;
            }
            if (matchFrom(p, node + 1, tokens, token + 1, suffixIndex + (n.suffix ? 1 : 0), suffix))
                return true;
            if (n.suffix && suffixIndex < static_cast<int>(kMaxSuffixes))
                suffix[suffixIndex] = saved;
        }
    }
    // An optional node may be left out; its suffix keeps 1.
    return n.optional &&
           matchFrom(p, node + 1, tokens, token, suffixIndex + (n.suffix ? 1 : 0), suffix);
}

int CScpiParser::matchTokens(const std::vector<std::string_view>& tokens, int* suffix,
                             int* error) const {
    for (std::size_t r = 0; r < m_patterns.size(); ++r) {
        const Pattern& p = m_patterns[r];
        if (p.common != (!tokens.empty() && !tokens[0].empty() && tokens[0][0] == '*'))
            continue;
        std::fill(suffix, suffix + kMaxSuffixes, 1);
        if (matchFrom(p, 0, tokens, 0, 0, suffix)) {
            for (std::size_t k = 0; k < kMaxSuffixes; ++k)
                if (suffix[k] > kMaxSuffixValue || suffix[k] < 1)
                    *error = kHeaderSuffixOutOfRange;
            return static_cast<int>(r);
        }
    }
    *error = kUndefinedHeader;
    return -1;
}

int CScpiParser::Match(std::string_view header) const {
    header = trim(header);
    if (!header.empty() && header.back() == '?')
        header.remove_suffix(1);
    if (!header.empty() && header.front() == ':')
        header.remove_prefix(1);
    std::vector<std::string_view> tokens;
    splitOutsideQuotes(header, ':', &tokens);
    int suffix[kMaxSuffixes];
    int error = kNoError;
    const int row = matchTokens(tokens, suffix, &error);
    return error == kNoError ? row : -1;
}

ParsedLine CScpiParser::Parse(std::string_view line) const {
    ParsedLine out;
    if (line.size() > kMaxLineLength) {
        out.error = kInputBufferOverrun;
        return out;
    }
    std::vector<std::string_view> messages;
    if (!splitOutsideQuotes(line, ';', &messages)) {
        // An open quote swallows the rest of the line; the messages before it
        // still run.
        messages.pop_back();
        out.error = kInvalidStringData;
    }
    const int openQuoteError = out.error;
    out.error = kNoError;
    // The path of the last command: a header without a leading ':' after ';'
    // is first looked for below it ("FREQ:CENT 1GHZ;SPAN 1MHZ").
    std::vector<std::string_view> prefix;
    std::vector<std::string_view> tokens;
    for (std::size_t m = 0; m < messages.size(); ++m) {
        std::string_view msg = trim(messages[m]);
        if (msg.empty()) {
            // Only the end of a line may be empty ("*RST;").
            if (m + 1 == messages.size() || messages.size() == 1)
                continue;
            out.error = kSyntaxError;
            return out;
        }
        std::size_t headerEnd = 0;
        while (headerEnd < msg.size() && !isSpace(msg[headerEnd]))
            ++headerEnd;
        std::string_view header = msg.substr(0, headerEnd);
        const std::string_view rest = trim(msg.substr(headerEnd));
        Call call;
        if (!header.empty() && header.back() == '?') {
            call.query = true;
            header.remove_suffix(1);
        }
        bool absolute = false;
        if (!header.empty() && header.front() == ':') {
            absolute = true;
            header.remove_prefix(1);
        }
        const bool common = !header.empty() && header.front() == '*';
        tokens.clear();
        splitOutsideQuotes(header, ':', &tokens);
        for (std::string_view t : tokens) {
            if (!validToken(t, common && t.data() == header.data())) {
                bool binary = false;
                for (char c : t)
                    binary = binary || static_cast<unsigned char>(c) < 0x20 ||
                             static_cast<unsigned char>(c) > 0x7E;
                out.error = binary ? kInvalidCharacter : kSyntaxError;
                return out;
            }
        }
        int error = kNoError;
        call.row = -1;
        if (!absolute && !common && !prefix.empty()) {
            std::vector<std::string_view> relative = prefix;
            relative.insert(relative.end(), tokens.begin(), tokens.end());
            int relativeError = kNoError;
            call.row = matchTokens(relative, call.suffix, &relativeError);
            if (call.row >= 0) {
                error = relativeError;
                tokens = relative;
            }
        }
        if (call.row < 0)
            call.row = matchTokens(tokens, call.suffix, &error);
        if (error != kNoError) {
            out.error = error;
            return out;
        }
        if (!common)
            prefix.assign(tokens.begin(), tokens.end() - 1);
        if (!rest.empty()) {
            std::vector<std::string_view> params;
            splitOutsideQuotes(rest, ',', &params);
            if (params.size() > kMaxParameters) {
                out.error = kParameterNotAllowed;
                return out;
            }
            for (std::string_view text : params) {
                Param p;
                if (int e = parseParam(text, &p); e != kNoError) {
                    out.error = e;
                    return out;
                }
                call.params.push_back(std::move(p));
            }
        }
        out.calls.push_back(std::move(call));
    }
    out.error = openQuoteError;
    return out;
}

bool ToBaseUnit(const Param& param, Unit family, double* value, int* error) {
    struct Suffix {
        const char* name;
        Unit family;
        double factor;
    };
    static constexpr Suffix kSuffixes[] = {
        {"HZ", Unit::Frequency, 1.0},  {"KHZ", Unit::Frequency, 1e3},
        {"MHZ", Unit::Frequency, 1e6}, {"MAHZ", Unit::Frequency, 1e6},
        {"GHZ", Unit::Frequency, 1e9}, {"S", Unit::Time, 1.0},
        {"MS", Unit::Time, 1e-3},      {"US", Unit::Time, 1e-6},
        {"NS", Unit::Time, 1e-9},      {"DB", Unit::Level, 1.0},
        {"DBM", Unit::Level, 1.0},     {"DB", Unit::Ratio, 1.0},
    };
    *value = param.number;
    if (param.unit.empty())
        return true;
    for (const Suffix& s : kSuffixes) {
        if (s.family == family && param.unit == s.name) {
            *value = param.number * s.factor;
            return true;
        }
    }
    *error = kInvalidSuffix;
    return false;
}

} // namespace scpi
