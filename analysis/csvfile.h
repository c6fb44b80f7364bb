// The CSV data file: the common four-line frame every analysis window writes
// before its own sections (title line, analysis kind and variant, caption,
// time of the data), the section markers, and the shared rules by which the
// mode readers take fields, parameter lines and data rows from its lines.
// Files are outside input: every line is read into a bounded buffer, and a
// field that is missing or empty reads as "missing", never as a size.
#pragma once

#include "platform/cfile.h"
#include "platform/cstring.h"
#include "platform/ctime.h"

#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CAnalysisCore;

constexpr const char* kCsvFileTitle = "Torvel Version2 CSV Formatted Data File";
constexpr const char* kCsvParamMarker = "[PARAM ENTRY]";
constexpr const char* kCsvDataMarker = "[DATA ENTRY]";
constexpr const char* kCsvWriteTimeKey = "Write Time";
// An integer field that is empty or missing.
constexpr int kCsvMissing = INT_MIN;
// Lines are kept up to this many bytes; a longer line is read to its end and
// reported as too long (its row is refused).
constexpr int kCsvMaxLine = 65536;
// The "Write Time" line is looked for in this many lines; only in the first
// kCsvWriteTimeUsedLines of them does it set the data time.
constexpr int kCsvWriteTimeLines = 10;
constexpr int kCsvWriteTimeUsedLines = 8;

// One line split at commas: piece 0 is the key, the following pieces are the
// fields 0, 1, 2 .... A piece that begins with a double quote is read as a
// quoted field ("" inside stands for one quote), so a quoted comma stays in it.
class CCsvLine {
public:
    CCsvLine() = default;
    explicit CCsvLine(std::string_view line) { Split(line); }

    void Split(std::string_view line);
    // The same for a line whose bytes stay where they are, unchanged, for as
    // long as this object's fields are read (a row in the file's memory): a
    // line without quotes is then read where it lies, not copied.
    void SplitStable(std::string_view line);
    // SplitStable of the line that starts at s, up to its '\n' (a CR before
    // it is the line end's) within the first limit bytes: its length without
    // the '\n'. npos, and nothing usable split, when there is no '\n' within
    // limit bytes or the line holds a quote.
    size_t SplitStableLine(const char* s, size_t limit);
    std::string_view Key() const { return Piece(0); }
    int GetFieldCount() const { return static_cast<int>(m_pieces.size()) - 1; }
    // The text of field i; empty when the field does not exist.
    CString Field(int i) const;
    // Decimal conversion of the field's leading digits (optional blanks and
    // sign first, saturating at the int range); kCsvMissing when the field is
    // empty or does not exist.
    int IntField(int i) const;
    // A decimal floating-point field; false when it is missing, empty or not
    // a finite number.
    bool DoubleField(int i, double* value) const;
    // A level field in dB as its trace word: CsvLevelWord of DoubleField,
    // false where DoubleField is.
    bool LevelField(int i, short* word) const;
    // LevelField of the count (at most 32) fields from first on into words;
    // bit k of the result is set when words[k] was read.
    unsigned LevelFields(int first, int count, short* words) const;

private:
    // Piece n (0 is the key); empty past the last.
    std::string_view Piece(size_t n) const {
        if (n >= m_pieces.size())
            return {};
        const char* base = m_stable ? m_stable : m_text.data();
        return std::string_view(base + m_pieces[n].begin, m_pieces[n].length);
    }
    struct Span {
        size_t begin;
        size_t length;
    };
    // The line's bytes, quoted pieces unquoted in place (never longer than
    // their quoted text), and where each piece lies in them. Both keep their
    // room from row to row.
    std::string m_text;
    // The caller's stable line the pieces lie in; null: they lie in m_text.
    const char* m_stable = nullptr;
    std::vector<Span> m_pieces{Span{0, 0}};
};

// A level in dB as a trace word: kWordsPerDb words per dB, rounded to the
// nearest word (halves away from zero), held at the word's range; a level that
// is not a number gives the lowest word. Rounded, so that a file written from
// words reads back to the same words and writes the same rows again.
short CsvLevelWord(double db);

// The caption as it is written after "Analysis Caption,": line breaks become
// blanks (the frame must stay four lines), and a caption with a comma or a
// double quote is quoted, so that this program and common CSV readers read it
// whole.
CString CsvCaptionField(const CString& caption);

// Reading and writing the frame, and the reader the mode sections use.
class CCsvFile {
public:
    // Writes the frame and then the core's sections (its WriteCSVSections) to
    // path through a temporary file that replaces path only when everything
    // was written. 1 on success; 0 when the file cannot be created, the
    // sections fail, or a write fails (an earlier file of that name stays).
    static int Write(CAnalysisCore& core, const char* path);
    // Reads the frame: kind, variant and caption. False when the file cannot
    // be opened, its first line is not the title, line 2 lacks the two
    // integers, the caption is empty, or there is no fourth line.
    static bool ReadHeader(const char* path, int* kind, int* variant, CString* caption);

    // Opens the file and reads it whole (up to the file's read limit); the
    // lines are then taken from memory.
    BOOL Open(const char* path);
    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }

    // The next line without its line end. FALSE at the end of the file. A line
    // longer than kCsvMaxLine is read to its end, kept up to the limit, and
    // *tooLong is set.
    BOOL ReadLine(std::string& line, bool* tooLong = nullptr);
    // From the start of the file: finds the "Write Time" line and sets
    // *lastDataTime from it (see the rules in the .cpp); without such a line
    // *lastDataTime becomes now and reading starts again at the beginning.
    void ReadWriteTime(CTime* lastDataTime, CTime now = CTime::GetCurrentTime());
    // Reads forward to the line that contains marker; false at the end of file.
    bool FindSection(const char* marker);
    // The next parameter line's integer field 0 (kCsvMissing when empty); the
    // key is not compared. False when the line is missing.
    bool ReadParam(int* value);
    // The next data row, split. False at the end of the file. *refused is set
    // for a row longer than kCsvMaxLine (its values must not be used).
    bool ReadRow(CCsvLine* row, bool* refused);

private:
    // The next line in the file's memory, without its line end and cut at
    // kCsvMaxLine (then *tooLong); false at the end of the file.
    bool NextLine(std::string_view* line, bool* tooLong);

    CStdioFile m_file;
    // The file's bytes (only the first m_size are the file's) and where the
    // next line starts.
    std::unique_ptr<char[]> m_text;
    size_t m_size = 0;
    size_t m_next = 0;
    std::string m_line;
};

// Parses the text from the first comma of a "Write Time" line as six integers
// ",%d,%d,%d,%d,%d,%d" and gives the local time they name; false when there are
// fewer than six or they are not a valid calendar time.
bool ParseCsvWriteTime(std::string_view fromComma, CTime* time);
