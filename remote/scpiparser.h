// CScpiParser: one SCPI program line (without its line end) into the calls it
// holds, matched against a table of command patterns. A pattern such as
// "[SENSe]:FREQuency:CENTer" names each node by its long form with the short
// form in capitals; "[...]" makes a node optional and a trailing '#' takes a
// numeric suffix ("CALCulate:MARKer#:X" matches "CALC:MARK3:X"). The parser is
// a pure function of the bytes and the patterns: it never knows a command by
// name and never runs one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace scpi {

// Standard error numbers (SCPI-99 / IEEE 488.2) that the instrument reports.
constexpr int kNoError = 0;
constexpr int kCommandError = -100;
constexpr int kInvalidCharacter = -101;
constexpr int kSyntaxError = -102;
constexpr int kDataTypeError = -104;
constexpr int kParameterNotAllowed = -108;
constexpr int kMissingParameter = -109;
constexpr int kUndefinedHeader = -113;
constexpr int kHeaderSuffixOutOfRange = -114;
constexpr int kInvalidSuffix = -131;
constexpr int kInvalidStringData = -151;
constexpr int kExecutionError = -200;
constexpr int kCommandProtected = -203;
constexpr int kSettingsConflict = -221;
constexpr int kDataOutOfRange = -222;
constexpr int kTooMuchData = -223;
constexpr int kIllegalParameterValue = -224;
constexpr int kHardwareError = -240;
constexpr int kHardwareMissing = -241;
constexpr int kMassStorageError = -250;
constexpr int kFileNameNotFound = -256;
constexpr int kFileNameError = -257;
constexpr int kQueueOverflow = -350;
constexpr int kInputBufferOverrun = -363;
constexpr int kQueryInterrupted = -410;
// The text of an error number ("Syntax error"); "Unknown error" for others.
const char* ErrorText(int code);

// Longest program line taken; a longer one is refused with -363 as a whole.
constexpr std::size_t kMaxLineLength = 64 * 1024;
// Parameters of one call at most; more are -108.
constexpr std::size_t kMaxParameters = 8;
// Numeric suffixes of one header at most (one per '#' node).
constexpr std::size_t kMaxSuffixes = 4;
// A header suffix above this is -114 (no node counts that far).
constexpr int kMaxSuffixValue = 99999;

struct Param {
    enum class Kind { Number, Mnemonic, String };
    Kind kind = Kind::Mnemonic;
    double number = 0.0; // Number: the value as written, before its unit
    std::string unit;    // Number: the unit written after it, upper case ("MHZ"), or empty
    std::string text;    // Mnemonic: upper case; String: the contents without quotes
};

struct Call {
    int row = -1; // index of the matched pattern
    bool query = false;
    int suffix[kMaxSuffixes] = {1, 1, 1, 1}; // per '#' node, 1 when not written
    std::vector<Param> params;
};

struct ParsedLine {
    // The calls before the first error, in order.
    std::vector<Call> calls;
    // The first error (its message and the rest of the line are not run), or 0.
    int error = kNoError;
};

class CScpiParser {
public:
    // patterns are kept as views: their characters must outlive the parser.
    explicit CScpiParser(const std::vector<std::string_view>& patterns);

    ParsedLine Parse(std::string_view line) const;
    // The row a header (without parameters, "FREQ:CENT?") names, or -1.
    int Match(std::string_view header) const;

private:
    struct Node {
        std::string_view longForm;
        std::size_t shortLength = 0;
        bool optional = false;
        bool suffix = false;
    };
    struct Pattern {
        std::vector<Node> nodes;
        bool common = false; // "*IDN" and its kin
        int suffixNodes = 0;
    };
    // Matches header tokens (without the query mark) to a row; fills suffixes.
    int matchTokens(const std::vector<std::string_view>& tokens, int* suffix, int* error) const;
    bool matchFrom(const Pattern& p, std::size_t node, const std::vector<std::string_view>& tokens,
                   std::size_t token, int suffixIndex, int* suffix) const;

    std::vector<Pattern> m_patterns;
};

// Unit families of numeric parameters; a value in the family's base unit
// (Hz, s, dB) comes back, with SI prefixes applied as SCPI reads them
// ("MHZ" is mega for frequencies, "MS" milli for times).
// Level: dBm or dB (a level and a level difference alike); Ratio: dB only.
enum class Unit { None, Frequency, Time, Level, Ratio };
// False with *error set (-131) when the unit does not belong to the family.
bool ToBaseUnit(const Param& param, Unit family, double* value, int* error);

} // namespace scpi
