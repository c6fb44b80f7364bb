// Fixed-point fractions and the power sum of levels.
//
// The power sum adds levels as powers without leaving integer arithmetic: for
// two levels a and b (words of 1/163.84 dB) the sum is
//   a + 1638.4 * log10(1 + 10^((b - a) / 1638.4)),
// and the second term depends only on the 16-bit difference, so it comes from a
// table of 65536 words built once when the library is loaded.
#include "lib/fixedpoint.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kFixed16Scale = 32768.0;      // 2^15
constexpr double kFixed32Scale = 2147483648.0; // 2^31
constexpr double kFixed16Step = 3.0517578125e-05;
constexpr double kFixed32Step = 4.656612873077393e-10;
constexpr double kDbPerUnit = 0.006103515625; // 1/163.84 dB
// The level returned when there are no levels to add: the "no sample" word.
constexpr short kNoSample = static_cast<short>(0x8080);

class PowerSumTable {
public:
    PowerSumTable() {
        for (std::uint32_t u = 0; u < m_table.size(); ++u) {
            const int d = static_cast<std::int16_t>(static_cast<std::uint16_t>(u));
            const double sum =
                163.84 * 10.0 * std::log10(1.0 + std::pow(10.0, d * kDbPerUnit / 10.0));
            m_table[u] = static_cast<short>(std::trunc(sum));
        }
    }
    short operator[](std::uint16_t difference) const { return m_table[difference]; }

private:
    std::array<short, 65536> m_table{};
};

const PowerSumTable& powerSumTable() {
    static const PowerSumTable table;
    return table;
}

// Built while the library loads, so the first power sum costs no more than the rest.
[[maybe_unused]] const PowerSumTable& g_tableAtLoad = powerSumTable();

} // namespace

short Float2Fixed16(double x) {
    if (x >= 1.0)
        return 0x7FFF;
    if (x <= -1.0)
        return static_cast<short>(-32768);
    if (std::isnan(x))
        return 0;
    return static_cast<short>(std::trunc(x * kFixed16Scale));
}

double Fixed2Float16(int v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF)) * kFixed16Step;
}

int Float2Fixed32(double x) {
    if (x >= 1.0)
        return 0x7FFFFFFF;
    if (x <= -1.0)
        return static_cast<int>(0x80000000u);
    if (std::isnan(x))
        return 0;
    return static_cast<int>(std::trunc(x * kFixed32Scale));
}

double Fixed2Float32(int v) {
    return v * kFixed32Step;
}

short AccumulatePower(short* levels, int count) {
    if (!levels)
        return kNoSample;
    const PowerSumTable& table = powerSumTable();
    std::uint16_t acc = static_cast<std::uint16_t>(levels[0]);
    for (int i = 1; i < count; ++i) {
        const std::uint16_t v = static_cast<std::uint16_t>(levels[i]);
        acc = static_cast<std::uint16_t>(
            acc + static_cast<std::uint16_t>(table[static_cast<std::uint16_t>(v - acc)]));
    }
    return static_cast<short>(acc);
}
