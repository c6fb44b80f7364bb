// The string table file, loaded as the library loads it at start-up, then used
// as the program uses its texts: every entry as a text, as a printf format of
// the shapes the program formats with (only when the format checks pass), and
// the library strings as style fonts, pens and colours.
#include "fuzzinput.h"

#include "lib/stringtable.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr int kEntries = 3000;
constexpr int kLibraryBase = 2500;

// The argument shapes the program's formats take.
constexpr const char* kShapes[] = {"",  "d",  "dd", "ddd", "f",  "ff",
                                   "s", "ss", "sd", "ds",  "df", "fs"};

// Formats with arguments of the shape's types, as the program does once a
// format passed the checks.
void FormatWith(const char* format, std::string_view shape) {
    char out[4096];
    const int i1 = 1, i2 = -2, i3 = 3;
    const double f1 = 1.5, f2 = -2.25;
    const char *s1 = "text", *s2 = "more";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    if (shape.empty())
        std::snprintf(out, sizeof out, format);
    else if (shape == "d")
        std::snprintf(out, sizeof out, format, i1);
    else if (shape == "dd")
        std::snprintf(out, sizeof out, format, i1, i2);
    else if (shape == "ddd")
        std::snprintf(out, sizeof out, format, i1, i2, i3);
    else if (shape == "f")
        std::snprintf(out, sizeof out, format, f1);
    else if (shape == "ff")
        std::snprintf(out, sizeof out, format, f1, f2);
    else if (shape == "s")
        std::snprintf(out, sizeof out, format, s1);
    else if (shape == "ss")
        std::snprintf(out, sizeof out, format, s1, s2);
    else if (shape == "sd")
        std::snprintf(out, sizeof out, format, s1, i1);
    else if (shape == "ds")
        std::snprintf(out, sizeof out, format, i1, s1);
    else if (shape == "df")
        std::snprintf(out, sizeof out, format, i1, f1);
    else if (shape == "fs")
        std::snprintf(out, sizeof out, format, f1, s1);
#pragma GCC diagnostic pop
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    if (!InitializeTorvelLibDLL(path, kLibraryBase))
        return 0;
    for (int i = 0; i < kEntries; ++i) {
        const char* text = GetTorvelString(i);
        if (!text || !*text || std::string_view(text) == "NotEntry")
            continue;
        for (const char* shape : kShapes) {
            const char* format = GetTorvelFormat(i, shape, nullptr);
            if (format)
                FormatWith(format, shape);
        }
    }
    for (int n = 0; n < kEntries - kLibraryBase; ++n) {
        GetLibraryStyleFont(n);
        GetLibraryStylePen(n);
        GetLibraryStyleColor(n, 0);
    }
    return 0;
}
