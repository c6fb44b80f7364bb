// The level-offset table: 3200 corrections in raw level units (1/163.84 dB),
// one per MHz, loaded from a text file of "frequency MHz,offset dB" points and
// filled between the points by fixed-point linear interpolation.
#pragma once

#include <array>

namespace OffsetTable {

constexpr int kEntries = 3200;
// Characters of a line that are looked at; the rest of a longer line is skipped.
constexpr int kMaxLineLength = 255;
// A file larger than this is refused rather than read (no offset file comes near it).
constexpr long kMaxFileBytes = 16L * 1024 * 1024;
// Raw level units per dB.
constexpr double kUnitsPerDB = 163.84;
// Interpolation slopes are 20.12 fixed point.
constexpr int kSlopeShift = 12;

using Table = std::array<short, kEntries>;

// One point of a file line: the table index and the raw offset. False when
// the line does not start with two numbers "%f,%f", when a number is not
// finite, or when the frequency falls outside the table. Offsets beyond the
// 16-bit range are held at its ends.
bool ParseLine(const char* line, int* index, short* value);

// Fills every entry whose set flag is clear from its set neighbours: before
// the first set entry and after the last one the nearest value, between two set
// entries j < k the line vj + ((i - j) * c) >> 12 with
// c = ((vk - vj) * 4096) / (k - j). False (table untouched) when nothing is set.
bool Interpolate(Table& table, const std::array<bool, kEntries>& set);

// Reads an offset file and builds the whole table from it. On any failure
// (cannot open, not a regular file, too large, no usable point) returns false
// and leaves table as it was.
bool LoadFile(const char* path, short* table);

} // namespace OffsetTable
