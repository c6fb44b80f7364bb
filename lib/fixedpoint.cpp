// Fixed-point fractions and the power sum of levels.
//
// The power sum adds the levels (words of 1/163.84 dB) as powers. Each level v
// becomes the power 10^(v / 1638.4) as the product of two table values, one for
// its high byte and one for its low byte, the powers are added in double
// precision, and the total is turned back into a level once:
//   levels[0] + floor(1638.4 * log10(sum / 10^(levels[0] / 1638.4))).
// Rounding happens only in that last step, so the result is within one level
// word of the exact sum for any number of levels. (Adding level by level with a
// table of truncated words instead loses up to a word per level and stops
// growing once the sum is about 28 dB above the levels added.)
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

// 10^(v / 1638.4) for a level word v = 256 * high + low: high[high byte] x low[low byte].
class PowerTables {
public:
    PowerTables() {
        for (int i = 0; i < 256; ++i) {
            const int high = static_cast<std::int8_t>(static_cast<std::uint8_t>(i));
            m_high[static_cast<size_t>(i)] = std::pow(10.0, high * 256 * kDbPerUnit / 10.0);
            m_low[static_cast<size_t>(i)] = std::pow(10.0, i * kDbPerUnit / 10.0);
        }
    }
    double operator()(short level) const {
        const auto u = static_cast<std::uint16_t>(level);
        return m_high[u >> 8] * m_low[u & 0xFF];
    }

private:
    std::array<double, 256> m_high{};
    std::array<double, 256> m_low{};
};

const PowerTables& powerTables() {
    static const PowerTables tables;
    return tables;
}

// Built while the library loads, so the first power sum costs no more than the rest.
[[maybe_unused]] const PowerTables& g_tablesAtLoad = powerTables();

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
    if (count <= 1)
        return levels[0];
    const PowerTables& power = powerTables();
    // Four partial sums, so that the additions do not wait on each other.
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        s0 += power(levels[i]);
        s1 += power(levels[i + 1]);
        s2 += power(levels[i + 2]);
        s3 += power(levels[i + 3]);
    }
    for (; i < count; ++i)
        s0 += power(levels[i]);
    const double sum = (s0 + s1) + (s2 + s3);
    // The sum is at least the first level's own power, so the rise is >= 0.
    const double rise = std::floor(1638.4 * std::log10(sum / power(levels[0])));
    const double level = levels[0] + rise;
    return static_cast<short>(level > 32767.0 ? 32767.0 : level);
}
