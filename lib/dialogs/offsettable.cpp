// Reading offset files and interpolating the offset table.
#include "lib/dialogs/offsettable.h"

#include "platform/cfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

namespace OffsetTable {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%f" at p, read the same in every locale (the program's locale may use a
// decimal comma; offset files always use a point). Returns the position after
// the number or nullptr.
const char* ScanFloat(const char* p, const char* end, float* value) {
    while (p < end && IsBlank(*p)) {
        ++p;
    }
    if (p < end && *p == '+') {
        ++p;
        if (p < end && *p == '-') {
            return nullptr;
        }
    }
    auto [next, ec] = std::from_chars(p, end, *value, std::chars_format::general);
    if (ec != std::errc()) {
        return nullptr;
    }
    return next;
}

short ToRawOffset(float db) {
    const double raw = db * kUnitsPerDB;
    if (raw >= 32767.0) {
        return 32767;
    }
    if (raw <= -32768.0) {
        return -32768;
    }
    return static_cast<short>(static_cast<int>(raw)); // truncation toward zero
}

} // namespace

bool ParseLine(const char* line, int* index, short* value) {
    const char* end = line;
    while (*end != '\0' && end - line < kMaxLineLength) {
        ++end;
    }
    float frequency = 0;
    float offset = 0;
    const char* p = ScanFloat(line, end, &frequency);
    if (p == nullptr || p == end || *p != ',') {
        return false;
    }
    p = ScanFloat(p + 1, end, &offset);
    if (p == nullptr || !std::isfinite(frequency) || !std::isfinite(offset)) {
        return false;
    }
    // The index is the frequency truncated toward zero, so -0.5 MHz still lands on 0.
    if (!(frequency > -1.0f && frequency < static_cast<float>(kEntries))) {
        return false;
    }
    *index = static_cast<int>(frequency);
    *value = ToRawOffset(offset);
    return true;
}

bool Interpolate(Table& table, const std::array<bool, kEntries>& set) {
    int first = -1;
    for (int i = 0; i < kEntries; ++i) {
        if (set[i]) {
            first = i;
            break;
        }
    }
    if (first < 0) {
        return false;
    }
    for (int i = 0; i < first; ++i) {
        table[i] = table[first];
    }
    int j = first;
    for (int k = first + 1; k < kEntries; ++k) {
        if (!set[k]) {
            continue;
        }
        const int vj = table[j];
        const int vk = table[k];
        // |vk - vj| * 4096 < 2^28 and (i - j) * c never exceeds it, so int holds both.
        const int c = ((vk - vj) * (1 << kSlopeShift)) / (k - j);
        for (int i = j + 1; i < k; ++i) {
            table[i] = static_cast<short>(vj + (((i - j) * c) >> kSlopeShift));
        }
        j = k;
    }
    for (int i = j + 1; i < kEntries; ++i) {
        table[i] = table[j];
    }
    return true;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

bool LoadFile(const char* path, short* table) {
    if (path == nullptr || table == nullptr || !FileExists(path)) {
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return false;
    }
    Table built;
    built.fill(0);
    std::array<bool, kEntries> set{};

    char line[kMaxLineLength + 1];
    int length = 0;
    long total = 0;
    bool skipping = false; // inside the unread rest of an overlong line
    auto finishLine = [&] {
        line[length] = '\0';
        int index = 0;
        short value = 0;
        if (ParseLine(line, &index, &value)) {
            built[index] = value; // a later line for the same MHz wins
            set[index] = true;
        }
        length = 0;
        skipping = false;
    };
    for (int c; (c = std::getc(file.get())) != EOF;) {
        if (++total > kMaxFileBytes) {
            return false;
        }
        if (c == '\n') {
            finishLine();
        } else if (!skipping) {
            if (length < kMaxLineLength) {
                line[length++] = static_cast<char>(c);
            } else {
                skipping = true;
            }
        }
    }
    if (std::ferror(file.get())) {
        return false;
    }
    if (length > 0) {
        finishLine();
    }
    if (!Interpolate(built, set)) {
        return false;
    }
    std::copy(built.begin(), built.end(), table);
    return true;
}

} // namespace OffsetTable
