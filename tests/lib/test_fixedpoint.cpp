// Fixed-point fractions at their limits, and the power sum of levels against a
// double-precision sum of powers.
#include "lib/fixedpoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

TEST(FixedPoint, SixteenBitFractionsSaturateAndTruncateTowardZero) {
    EXPECT_EQ(Float2Fixed16(0.5), 16384);
    EXPECT_EQ(Float2Fixed16(-0.5), -16384);
    EXPECT_EQ(Float2Fixed16(1.0), 32767);
    EXPECT_EQ(Float2Fixed16(-1.0), -32768);
    EXPECT_EQ(Float2Fixed16(1e300), 32767);
    EXPECT_EQ(Float2Fixed16(-std::numeric_limits<double>::infinity()), -32768);
    EXPECT_EQ(Float2Fixed16(0.99999), 32767);
    EXPECT_EQ(Float2Fixed16(-0.00002), 0); // toward zero, not down
    EXPECT_EQ(Float2Fixed16(std::nan("")), 0);
    EXPECT_EQ(Fixed2Float16(16384), 0.5);
    EXPECT_EQ(Fixed2Float16(-16384), -0.5);
    EXPECT_EQ(Fixed2Float16(0x8000), -1.0); // the low 16 bits are a signed fraction
    EXPECT_EQ(Fixed2Float16(0x14000), 0.5); // bits above 16 are ignored
    EXPECT_EQ(Fixed2Float16(1), 3.0517578125e-05);
}

TEST(FixedPoint, ThirtyTwoBitFractionsSaturateAndTruncateTowardZero) {
    EXPECT_EQ(Float2Fixed32(0.5), 0x40000000);
    EXPECT_EQ(Float2Fixed32(-0.5), -0x40000000);
    EXPECT_EQ(Float2Fixed32(1.0), 0x7FFFFFFF);
    EXPECT_EQ(Float2Fixed32(-1.0), std::numeric_limits<int>::min());
    EXPECT_EQ(Float2Fixed32(0.9999999999), 2147483647);
    EXPECT_EQ(Float2Fixed32(-1e-12), 0);
    EXPECT_EQ(Float2Fixed32(std::nan("")), 0);
    EXPECT_EQ(Fixed2Float32(0x40000000), 0.5);
    EXPECT_EQ(Fixed2Float32(std::numeric_limits<int>::min()), -1.0);
    for (double x : {0.123456789, -0.987654321, 0.25})
        EXPECT_NEAR(Fixed2Float32(Float2Fixed32(x)), x, 4.7e-10);
}

TEST(PowerSum, TwoEqualLevelsAddThreeDecibels) {
    for (short level : {short(0), short(-1000), short(-13000), short(12000)}) {
        short two[2] = {level, level};
        EXPECT_EQ(AccumulatePower(two, 2), level + 493);
    }
    short one[1] = {-777};
    EXPECT_EQ(AccumulatePower(one, 1), -777);
    EXPECT_EQ(AccumulatePower(one, 0), -777);
    EXPECT_EQ(AccumulatePower(nullptr, 5), static_cast<short>(0x8080));
    // A level 100 dB below the sum adds nothing; one 100 dB above takes over.
    short far[2] = {0, -16384};
    EXPECT_EQ(AccumulatePower(far, 2), 0);
    short above[2] = {-16384, 0};
    EXPECT_EQ(AccumulatePower(above, 2), 0);
}

TEST(PowerSum, WithinOneWordOfTheExactSumForAnyCount) {
    // 1638.4 * log10 of the summed powers, in level words.
    auto exact = [](const std::vector<short>& levels) {
        long double power = 0;
        for (short v : levels)
            power += std::pow(10.0L, v / 1638.4L);
        return static_cast<double>(1638.4L * std::log10(power));
    };
    auto check = [&](std::vector<short> levels, const char* what) {
        const double reference = exact(levels);
        const short sum = AccumulatePower(levels.data(), static_cast<int>(levels.size()));
        EXPECT_LE(std::abs(sum - reference), 1.0) << what << ": " << sum << " vs " << reference;
    };
    // N equal levels add 10 log10 N dB: 30 dB for 1000, 50 dB for 100 000.
    check(std::vector<short>(1000, static_cast<short>(-100 * 163.84)), "1000 equal");
    check(std::vector<short>(100000, static_cast<short>(-120 * 163.84)), "100 000 equal");
    check(std::vector<short>(3, -20000), "3 equal");

    std::mt19937 rng(11);
    std::normal_distribution<double> noise(-100.0, 3.0);
    std::vector<short> samples(10000);
    for (short& v : samples)
        v = static_cast<short>(noise(rng) * 163.84);
    check(samples, "10 000 noise samples");
    // A carrier among the noise, first and last.
    samples.front() = static_cast<short>(-30 * 163.84);
    check(samples, "carrier first");
    std::swap(samples.front(), samples.back());
    check(samples, "carrier last");

    std::uniform_int_distribution<int> level(-120 * 164, 10 * 164);
    for (int count : {2, 3, 5, 10, 100, 2000}) {
        std::vector<short> levels(static_cast<size_t>(count));
        for (short& v : levels)
            v = static_cast<short>(level(rng));
        check(levels, "uniform");
    }
    // A sum beyond the largest level word is held there.
    std::vector<short> loud(4, 32767);
    EXPECT_EQ(AccumulatePower(loud.data(), 4), 32767);
}
