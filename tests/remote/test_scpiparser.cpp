// The SCPI parser over the program's command table: long and short forms,
// optional nodes, numeric suffixes, compound lines with relative headers,
// parameters of every kind, and the errors of malformed input.
#include "remote/scpiparser.h"
#include "remote/scpisession.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using scpi::Param;

const scpi::CScpiParser& parser() {
    return ScpiCommandParser();
}

std::string patternOf(int row) {
    return row < 0 ? std::string("(none)")
                   : ScpiCommandTable()[static_cast<std::size_t>(row)].pattern;
}

TEST(ScpiParser, LongShortAndOptionalFormsNameTheSameRow) {
    const int row = parser().Match("SENSe:FREQuency:CENTer");
    ASSERT_GE(row, 0);
    EXPECT_EQ(patternOf(row), "[SENSe]:FREQuency:CENTer");
    for (const char* h :
         {"FREQ:CENT", "freq:cent", ":SENS:FREQ:CENTER", "frequency:center?", "Sense:Freq:Cent"})
        EXPECT_EQ(parser().Match(h), row) << h;
    // Neither form: a prefix longer than the short form but not the long one.
    EXPECT_EQ(parser().Match("FREQU:CENT"), -1);
    EXPECT_EQ(parser().Match("FRE:CENT"), -1);
    EXPECT_EQ(patternOf(parser().Match("BAND")), "[SENSe]:BANDwidth[:RESolution]");
    EXPECT_EQ(parser().Match("SENS:BAND:RES"), parser().Match("BANDWIDTH"));
    EXPECT_EQ(patternOf(parser().Match("disp:trac:y:rlev")),
              "DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:RLEVel");
    EXPECT_EQ(parser().Match("*idn?"), parser().Match("*IDN"));
}

TEST(ScpiParser, NumericSuffixesDefaultToOneAndAreBounded) {
    auto line = parser().Parse("CALC:MARK3:X 1GHZ;:CALC:MARK:X?;CALCULATE:MARKER12:MAX");
    ASSERT_EQ(line.error, 0);
    ASSERT_EQ(line.calls.size(), 3u);
    EXPECT_EQ(line.calls[0].suffix[0], 3);
    EXPECT_EQ(line.calls[1].suffix[0], 1);
    EXPECT_TRUE(line.calls[1].query);
    EXPECT_EQ(line.calls[2].suffix[0], 12); // the handler decides 1..5
    EXPECT_EQ(patternOf(line.calls[2].row), "CALCulate:MARKer#:MAXimum[:PEAK]");
    // The suffix of a skipped optional node keeps 1, the next one counts on.
    line = parser().Parse("DISP:TRAC2:Y:RLEV -10");
    ASSERT_EQ(line.error, 0);
    EXPECT_EQ(line.calls[0].suffix[0], 1);
    EXPECT_EQ(line.calls[0].suffix[1], 2);
    EXPECT_EQ(parser().Parse("CALC:MARK123456789:X?").error, scpi::kHeaderSuffixOutOfRange);
    EXPECT_EQ(parser().Parse("CALC:MARK0:X?").error, scpi::kHeaderSuffixOutOfRange);
    // Digits on a node without '#' are part of its name.
    EXPECT_EQ(parser().Parse("FREQ2:CENT 1").error, scpi::kUndefinedHeader);
}

TEST(ScpiParser, CompoundLinesKeepThePathOfTheLastCommand) {
    auto line =
        parser().Parse("FREQ:CENT 2.4GHz;SPAN 20 MHZ; *OPC?;STAR?;:INIT:CONT OFF;:FORM REAL,32");
    ASSERT_EQ(line.error, 0);
    ASSERT_EQ(line.calls.size(), 6u);
    EXPECT_EQ(patternOf(line.calls[1].row), "[SENSe]:FREQuency:SPAN");
    EXPECT_EQ(patternOf(line.calls[2].row), "*OPC");
    // A common command leaves the path as it was.
    EXPECT_EQ(patternOf(line.calls[3].row), "[SENSe]:FREQuency:STARt");
    EXPECT_EQ(patternOf(line.calls[4].row), "INITiate:CONTinuous");
    // A relative header that is not below the path is looked up from the root.
    line = parser().Parse("FREQ:CENT 1GHZ;BAND 10KHZ");
    ASSERT_EQ(line.error, 0);
    EXPECT_EQ(patternOf(line.calls[1].row), "[SENSe]:BANDwidth[:RESolution]");
}

TEST(ScpiParser, ParametersOfEveryKind) {
    auto line = parser().Parse(
        "FREQ:CENT +2.4e9;SPAN 10.5 kHz;INST:SEL \"Normal \"\"A\"\";b\";FORM real, 32;"
        "INIT:CONT on;MMEM:STOR:STAT 'x.SPE'");
    ASSERT_EQ(line.error, 0) << scpi::ErrorText(line.error);
    ASSERT_EQ(line.calls.size(), 6u);
    const Param& centre = line.calls[0].params.at(0);
    EXPECT_EQ(centre.kind, Param::Kind::Number);
    EXPECT_DOUBLE_EQ(centre.number, 2.4e9);
    EXPECT_TRUE(centre.unit.empty());
    const Param& span = line.calls[1].params.at(0);
    EXPECT_DOUBLE_EQ(span.number, 10.5);
    EXPECT_EQ(span.unit, "KHZ");
    // Quotes inside a string stand doubled; ';' inside it does not split.
    EXPECT_EQ(line.calls[2].params.at(0).kind, Param::Kind::String);
    EXPECT_EQ(line.calls[2].params.at(0).text, "Normal \"A\";b");
    ASSERT_EQ(line.calls[3].params.size(), 2u);
    EXPECT_EQ(line.calls[3].params[0].text, "REAL");
    EXPECT_DOUBLE_EQ(line.calls[3].params[1].number, 32);
    EXPECT_EQ(line.calls[4].params.at(0).text, "ON");
    EXPECT_EQ(line.calls[5].params.at(0).text, "x.SPE");
}

TEST(ScpiParser, UnitsConvertByFamily) {
    auto value = [](const char* text, scpi::Unit unit, double* v) {
        auto line = parser().Parse(std::string("FREQ:CENT ") + text);
        EXPECT_EQ(line.error, 0) << text;
        int error = 0;
        return !line.calls.empty() && scpi::ToBaseUnit(line.calls[0].params.at(0), unit, v, &error);
    };
    double v = 0;
    ASSERT_TRUE(value("100 MHZ", scpi::Unit::Frequency, &v));
    EXPECT_DOUBLE_EQ(v, 100e6); // MHZ is mega, as SCPI reads it
    ASSERT_TRUE(value("2.4GHZ", scpi::Unit::Frequency, &v));
    EXPECT_DOUBLE_EQ(v, 2.4e9);
    ASSERT_TRUE(value("5 ms", scpi::Unit::Time, &v));
    EXPECT_DOUBLE_EQ(v, 5e-3);
    ASSERT_TRUE(value("-30dBm", scpi::Unit::Level, &v));
    EXPECT_DOUBLE_EQ(v, -30);
    EXPECT_FALSE(value("10 MS", scpi::Unit::Frequency, &v));
    EXPECT_FALSE(value("10 HZ", scpi::Unit::Level, &v));
}

TEST(ScpiParser, MalformedInputGivesTheStandardErrors) {
    struct Case {
        const char* line;
        int error;
        std::size_t callsBefore;
    } cases[] = {
        {"FOO:BAR 1", scpi::kUndefinedHeader, 0},
        {"*RST;NOPE;*CLS", scpi::kUndefinedHeader, 1}, // the rest of the line is not run
        {"FREQ::CENT 1", scpi::kSyntaxError, 0},
        {"FREQ:CENT 1,,2", scpi::kSyntaxError, 0},
        {"FREQ:CENT 1.2.3", scpi::kSyntaxError, 0},
        {"FREQ:CENT 1e999", scpi::kDataOutOfRange, 0},
        {"FREQ:CENT #H1F", scpi::kDataTypeError, 0},
        {"INST:SEL \"open", scpi::kInvalidStringData, 0},
        {"*IDN?;INST:SEL \"a\"b\"", scpi::kInvalidStringData, 1},
        {"FREQ:CENT 1,2,3,4,5,6,7,8,9", scpi::kParameterNotAllowed, 0},
        {"*RST;;*CLS", scpi::kSyntaxError, 1},
        {"\x01\xff\x80:X", scpi::kInvalidCharacter, 0},
    };
    for (const Case& c : cases) {
        const auto line = parser().Parse(c.line);
        EXPECT_EQ(line.error, c.error) << c.line;
        EXPECT_EQ(line.calls.size(), c.callsBefore) << c.line;
    }
    // A byte outside printable ASCII is an invalid character wherever it
    // stands outside a string, a NUL byte too; inside a string it is text.
    using namespace std::string_view_literals;
    for (const std::string_view bad :
         {"*IDN?\0"sv, "*RST;FREQ:CENT 1\0"sv, "FREQ:CENT 1 MHZ\x7f"sv, "FREQ:CENT 1 \xb5HZ"sv,
          "INIT:CONT O\x01N"sv, "FREQ:CENT\0 1"sv, "INST:SEL 1,\xff"sv}) {
        const auto line = parser().Parse(bad);
        EXPECT_EQ(line.error, scpi::kInvalidCharacter) << testing::PrintToString(bad);
        EXPECT_EQ(line.calls.size(), bad.starts_with("*RST;") ? 1u : 0u);
    }
    const auto text = parser().Parse("INST:SEL \"A\0\xb5\x01\"\t"sv);
    ASSERT_EQ(text.error, 0);
    ASSERT_EQ(text.calls.size(), 1u);
    EXPECT_EQ(text.calls[0].params[0].text, "A\0\xb5\x01"sv);
    // An empty line and a line ending in ';' are fine.
    EXPECT_EQ(parser().Parse("").error, 0);
    EXPECT_EQ(parser().Parse("  \r").calls.size(), 0u);
    EXPECT_EQ(parser().Parse("*RST;").calls.size(), 1u);
    // A line past the input buffer is refused whole.
    EXPECT_EQ(parser().Parse(std::string(scpi::kMaxLineLength + 1, 'A')).error,
              scpi::kInputBufferOverrun);
    EXPECT_STREQ(scpi::ErrorText(scpi::kUndefinedHeader), "Undefined header");
}

TEST(ScpiCommandTable, EveryRowIsReachableByItsOwnLongAndShortForm) {
    // Each pattern, written out with all its optional nodes and in short form
    // without them, names its own row: no row hides another.
    const auto rows = ScpiCommandTable();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string full, shortForm;
        const std::string pattern = rows[r].pattern;
        bool optional = false;
        std::string node;
        auto flush = [&] {
            if (node.empty())
                return;
            std::string name = node;
            if (name.back() == '#')
                name.pop_back();
            std::string s;
            for (char c : name)
                if (!(c >= 'a' && c <= 'z'))
                    s += c;
                else
                    break;
            full += (full.empty() ? "" : ":") + name;
            if (!optional)
                shortForm += (shortForm.empty() ? "" : ":") + s;
            node.clear();
        };
        for (char c : pattern) {
            if (c == '[') {
                flush();
                optional = true;
            } else if (c == ']') {
                flush();
                optional = false;
            } else if (c == ':') {
                flush();
            } else if (c != '?') {
                node += c;
            }
        }
        flush();
        EXPECT_EQ(parser().Match(full), static_cast<int>(r)) << pattern << " as " << full;
        EXPECT_EQ(parser().Match(shortForm), static_cast<int>(r)) << pattern << " as " << shortForm;
        EXPECT_NE(rows[r].forms, 0u);
        EXPECT_TRUE(rows[r].handler);
    }
}

TEST(ScpiLevels, EveryLevelWordReadsAsItsExactLevelWithTwoDecimals) {
    for (int w = -32768; w <= 32767; ++w) {
        const short word = static_cast<short>(w);
        QByteArray ours;
        ScpiAppendLevel(ours, word);
        char buf[32];
        const double level = word == static_cast<short>(0x8080) ? -199.0 : word * 0.006103515625;
        const auto r = std::to_chars(buf, buf + sizeof buf, level, std::chars_format::fixed, 2);
        ASSERT_EQ(ours.toStdString(), std::string(buf, r.ptr)) << w;
    }
}

// The reference's line for a row: pattern, forms, parameters, kinds, meaning.
std::string referenceLine(const ScpiRow& row) {
    auto escape = [](std::string_view text) {
        std::string out;
        for (char c : text) {
            if (c == '|')
                out += "\\|";
            else if (c == '<')
                out += "&lt;";
            else if (c == '>')
                out += "&gt;";
            else
                out += c;
        }
        return out;
    };
    std::string forms = (row.forms & ScpiRow::kSet) ? "set" : "";
    if (row.forms & ScpiRow::kQuery)
        forms += forms.empty() ? "query" : " / query";
    static constexpr const char* kNames[] = {"normal", "WLAN", "ZSP", "SRT", "RT", "MED", "XPD"};
    std::string kinds = row.kinds == 0              ? "–"
                        : row.kinds == 0x7F         ? "all"
                        : row.kinds == (0x7F & ~4u) ? "all but ZSP"
                                                    : "";
    for (int k = 0; k < 7 && row.kinds != 0x7F && row.kinds != (0x7F & ~4u); ++k)
        if (row.kinds & (1u << k))
            kinds += (kinds.empty() ? "" : ", ") + std::string(kNames[k]);
    const std::string parameters = *row.parameters ? escape(row.parameters) : "–";
    return "| `" + std::string(row.pattern) + "` | " + forms + " | " + parameters + " | " + kinds +
           " | " + escape(row.meaning) + " |";
}

TEST(ScpiCommandTable, TheReferenceListsEveryRow) {
    std::ifstream in(TORVEL_SOURCE_DIR "/docs/remote.md");
    ASSERT_TRUE(in) << "docs/remote.md";
    std::string line;
    std::vector<std::string> documented;
    bool inTable = false;
    while (std::getline(in, line)) {
        if (line == "<!-- scpi-table -->")
            inTable = true;
        else if (line == "<!-- end-scpi-table -->")
            inTable = false;
        else if (inTable && line.starts_with("| `"))
            documented.push_back(line);
    }
    // The reference holds exactly the table's rows, in its order; a failure
    // prints the line the reference needs.
    std::vector<std::string> expected;
    for (const ScpiRow& row : ScpiCommandTable())
        expected.push_back(referenceLine(row));
    EXPECT_EQ(documented.size(), expected.size());
    for (std::size_t i = 0; i < std::min(documented.size(), expected.size()); ++i)
        EXPECT_EQ(documented[i], expected[i]) << "row " << i;
}

// The error numbers of the reference name the texts the instrument answers.
TEST(ScpiCommandTable, TheReferenceNamesEveryErrorByItsText) {
    std::ifstream in(TORVEL_SOURCE_DIR "/docs/remote.md");
    ASSERT_TRUE(in) << "docs/remote.md";
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (!line.starts_with("| -") && !line.starts_with("| 0 |"))
            continue;
        const std::size_t bar = line.find('|', 2), next = line.find('|', bar + 1);
        ASSERT_NE(next, std::string::npos) << line;
        const int code = std::stoi(line.substr(2, bar - 2));
        const std::string text = line.substr(bar + 2, next - bar - 3);
        EXPECT_EQ(text, scpi::ErrorText(code)) << line;
        ++rows;
    }
    EXPECT_GE(rows, 20);
}

} // namespace
