// What the simulated analyser measures: carriers at their frequency and level,
// the noise floor, attenuation, bands and bursts, block sizes, and the device
// facts the program relies on.
#include "simtestutil.h"

#include "device/simulator/devicefacts.h"
#include "device/simulator/signalmodel.h"
#include "device/simulator/simtask.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <random>

namespace {

constexpr double kNoiseDensity = -140.0; // the scene default, dBm/Hz

// Median noise floor of a point step: the Gaussian resolution filter is two
// steps wide at 3 dB, its noise bandwidth sqrt(pi / (4 ln 2)) times that.
double NoiseFloor(int stepKHz) {
    const double nbwHz =
        2.0 * stepKHz * 1000.0 * std::sqrt(std::numbers::pi / (4.0 * std::log(2.0)));
    return kNoiseDensity + 10.0 * std::log10(nbwHz);
}

std::vector<short> Away(const std::vector<short>& block, int index, int distance) {
    std::vector<short> rest;
    for (int i = 0; i < static_cast<int>(block.size()); ++i) {
        if (std::abs(i - index) > distance)
            rest.push_back(block[static_cast<std::size_t>(i)]);
    }
    return rest;
}

const char* kCarrierScene = "[Scene]\nSeed=7\n[Signal1]\nFrequency=100000\nLevel=-40\n";

} // namespace

class SimulatorLevels : public SimulatorTest {};

TEST_F(SimulatorLevels, CarrierShowsAtItsFrequencyAboveTheNoiseFloor) {
    ASSERT_EQ(OpenWithScene(kCarrierScene), 1);
    // RBW index 1: 10 kHz points, a block is one 2 MHz segment.
    const std::vector<short> block = NormalBlock(99000, 1, 0);
    ASSERT_EQ(block.size(), 200u);
    const int at = (100000 - 99000) / 10;
    EXPECT_EQ(std::max_element(block.begin(), block.end()) - block.begin(), at);
    EXPECT_NEAR(Db(block[at]), -40.0, 0.3);
    // Half a filter bandwidth off: 3 dB down on both sides.
    EXPECT_NEAR(Db(block[at - 1]), -43.0, 0.3);
    EXPECT_NEAR(Db(block[at + 1]), -43.0, 0.3);
    const std::vector<short> rest = Away(block, at, 8);
    EXPECT_NEAR(MedianDb(rest), NoiseFloor(10), 1.0);
    EXPECT_LT(Db(*std::max_element(rest.begin(), rest.end())), NoiseFloor(10) + 8.0);
    EXPECT_EQ(window.Last().wParam, 1u);
    EXPECT_EQ(window.Last().lParam, 200);
}

TEST_F(SimulatorLevels, AttenuationRaisesTheNoiseFloorAndKeepsSignalLevels) {
    // Levels are those at the analyser's input: the attenuator lowers what the
    // mixer sees, and the reported level adds the attenuation back.
    ASSERT_EQ(OpenWithScene(kCarrierScene), 1);
    const int at = 100;
    const std::vector<short> att20 = NormalBlock(99000, 1, 20);
    ASSERT_EQ(att20.size(), 200u);
    EXPECT_NEAR(Db(att20[at]), -40.0, 0.3);
    EXPECT_NEAR(MedianDb(Away(att20, at, 8)), NoiseFloor(10) + 20.0, 1.0);

    // The attenuator moves in whole steps up to its maximum.
    const std::vector<short> att25 = NormalBlock(99000, 1, 25);
    ASSERT_EQ(att25.size(), 200u);
    EXPECT_NEAR(MedianDb(Away(att25, at, 8)), NoiseFloor(10) + 20.0, 1.0);
    const std::vector<short> att90 = NormalBlock(99000, 1, 90);
    ASSERT_EQ(att90.size(), 200u);
    // At the highest attenuation the noise floor lies only about 10 dB below
    // the carrier: its bin reads the sum of both powers.
    const double floor90 = NoiseFloor(10) + GetMaxAttenuation();
    const double sum90 = 10.0 * std::log10(std::pow(10.0, -4.0) + std::pow(10.0, floor90 / 10.0));
    EXPECT_NEAR(Db(att90[at]), sum90, 1.0);
    EXPECT_NEAR(MedianDb(Away(att90, at, 8)), floor90, 1.0);
}

TEST_F(SimulatorLevels, NoiseFloorIsOnTheDefaultDisplayAtEveryAttenuation) {
    // The normal window's default display: 10 dB per division, ten divisions,
    // the reference level (zero reference plus attenuation) on division 9 from
    // the bottom, RBW index 1 and up.
    ::unsetenv("TORVEL_SIM_SCENE");
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    for (int att = 0; att <= GetMaxAttenuation(); att += GetAttenuatorStep()) {
        const double bottom = GetZeroReferenceLevel() + att - 9 * 10.0;
        const double top = bottom + 10 * 10.0;
        for (int rbw = 1; rbw <= 5; ++rbw) {
            // 200-240 MHz holds no signal of the built-in scene; at least 100
            // points for a steady median.
            std::vector<short> points;
            for (int start = 200000; points.size() < 100; start += 2000) {
                const std::vector<short> block = NormalBlock(start, rbw, att);
                ASSERT_FALSE(block.empty());
                points.insert(points.end(), block.begin(), block.end());
            }
            const double floor = MedianDb(points);
            EXPECT_NEAR(floor, NoiseFloor(GetRBWFrequency(1, rbw)) + att, 1.0)
                << "att " << att << " rbw " << rbw;
            EXPECT_GT(floor, bottom + 2.0) << "att " << att << " rbw " << rbw;
            EXPECT_LT(floor, top) << "att " << att << " rbw " << rbw;
        }
    }
}

TEST_F(SimulatorLevels, StrongSignalOverloadsWithoutAttenuation) {
    ASSERT_EQ(OpenWithScene("[Signal1]\nFrequency=100000\nLevel=10\n"), 1);
    const std::vector<short> att0 = NormalBlock(99000, 1, 0);
    ASSERT_EQ(att0.size(), 200u);
    EXPECT_NEAR(Db(att0[100]), GetZeroReferenceLevel() + 10.0, 0.1);
    // With 30 dB in front of the mixer the same signal is measured at its level.
    const std::vector<short> att30 = NormalBlock(99000, 1, 30);
    ASSERT_EQ(att30.size(), 200u);
    EXPECT_NEAR(Db(att30[100]), 10.0, 0.3);
}

TEST_F(SimulatorLevels, BandSpreadsItsPowerSoItsLevelDependsOnTheRbw) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=3\n[Signal1]\nFrequency=500000\nWidth=10000\n"
                            "Level=-30\n"),
              1);
    const double nbw10 = NoiseFloor(10) - kNoiseDensity; // 10 log10(noise bandwidth in Hz)
    const std::vector<short> normal = NormalBlock(499000, 1, 0);
    ASSERT_EQ(normal.size(), 200u);
    EXPECT_NEAR(MedianDb(normal), -30.0 - (10.0 * std::log10(10000e3) - nbw10), 0.3);

    // The high-speed sweep's 100 kHz points see ten times more of the band.
    ASSERT_EQ(HighSpeedSpectrumAnalysis(window.GetSafeHwnd(), 2, 495000, 0, 1, 1), 1);
    const std::vector<short> fast = Collect();
    ASSERT_EQ(fast.size(), 100u);
    EXPECT_NEAR(Db(fast[50]), MedianDb(normal) + 10.0, 0.3);
}

TEST_F(SimulatorLevels, BurstShowsOnlyWhileOn) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=5\n"
                            "[Signal Off]\nType=Burst\nFrequency=100000\nLevel=-40\nDuty=0\n"
                            "[Signal On]\nType=Burst\nFrequency=100500\nLevel=-45\nDuty=1\n"),
              1);
    const std::vector<short> block = NormalBlock(99000, 1, 0);
    ASSERT_EQ(block.size(), 200u);
    EXPECT_LT(Db(block[100]), NoiseFloor(10) + 8.0);
    EXPECT_NEAR(Db(block[150]), -45.0, 0.3);
}

TEST_F(SimulatorLevels, HighSpeedAndHighResolutionBlocks) {
    ASSERT_EQ(OpenWithScene("[Signal1]\nFrequency=5000\nLevel=-50\n"
                            "[Signal2]\nFrequency=430250\nLevel=-70\n"),
              1);
    const HWND h = window.GetSafeHwnd();
    ASSERT_EQ(HighSpeedSpectrumAnalysis(h, 3, 0, 0, 1, 4), 1);
    const std::vector<short> fast = Collect();
    ASSERT_EQ(fast.size(), 100u);
    EXPECT_EQ(GetRBWFrequency(kTorvelKindHighSpeed, 6), 100);
    EXPECT_NEAR(Db(fast[50]), -50.0, 0.3);

    ASSERT_EQ(HighResolutionSpectrumAnalysis(h, 4, 430000, 0, 2), 1);
    const std::vector<short> fine = Collect();
    ASSERT_EQ(fine.size(), 2000u);
    EXPECT_EQ(GetRBWFrequency(kTorvelKindHighResolution, 0), 1);
    EXPECT_NEAR(Db(fine[250]), -70.0, 0.3);
    EXPECT_EQ(std::max_element(fine.begin(), fine.end()) - fine.begin(), 250);
}

TEST_F(SimulatorLevels, BlocksStayWithinTheFrequencyRange) {
    ASSERT_EQ(OpenWithScene("[Scene]\n"), 1);
    const HWND h = window.GetSafeHwnd();
    // The last block stops at the highest frequency.
    EXPECT_EQ(NormalBlock(2999000, 1, 0).size(), 101u);
    // Start beyond the range, below 0, or an RBW index the normal sweep cannot use.
    EXPECT_EQ(NormalSpectrumAnalysis(h, 1, 3000001, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);
    EXPECT_EQ(NormalSpectrumAnalysis(h, 1, -2000, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);
    EXPECT_EQ(NormalSpectrumAnalysis(h, 1, 100000, 6, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);
    EXPECT_EQ(NormalSpectrumAnalysis(h, 1, 100000, kTorvelRbwIndexCount, 0, 1), 0);
    // A block below the lowest specified frequency (the sweep grid starts on
    // 0 kHz) is measured.
    EXPECT_EQ(NormalBlock(0, 1, 0).size(), 200u);
}

TEST_F(SimulatorLevels, ReceiveDataCopiesAtMostWhatWasDelivered) {
    ASSERT_EQ(OpenWithScene("[Scene]\n"), 1);
    ASSERT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 9, 99000, 4, 0, 1), 1);
    ASSERT_TRUE(window.Wait());
    ASSERT_EQ(GetLastFunctionDataCount(), 20); // 100 kHz points over 2 MHz
    std::vector<short> buffer(64, 0x1234);
    EXPECT_EQ(ReceiveData(buffer.data(), 64), 20);
    EXPECT_EQ(buffer[19] == 0x1234, false);
    EXPECT_EQ(buffer[20], 0x1234);
    std::vector<short> few(8, 0x1234);
    EXPECT_EQ(ReceiveData(few.data(), 5), 5);
    EXPECT_EQ(few[5], 0x1234);
    EXPECT_EQ(ReceiveData(nullptr, 10), 0);
    EXPECT_EQ(ReceiveData(few.data(), -1), 0);
}

TEST_F(SimulatorLevels, SeedMakesTheNoiseRepeatable) {
    const std::string scene = "[Scene]\nSeed=42\n";
    ASSERT_EQ(OpenWithScene(scene, "a.ini"), 1);
    const std::vector<short> first = NormalBlock(99000, 1, 0);
    ASSERT_EQ(OpenWithScene(scene, "b.ini"), 1);
    const std::vector<short> second = NormalBlock(99000, 1, 0);
    ASSERT_EQ(first.size(), 200u);
    EXPECT_EQ(first, second);
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=43\n", "c.ini"), 1);
    EXPECT_NE(NormalBlock(99000, 1, 0), first);
}

TEST_F(SimulatorLevels, ASceneLoadedLaterBringsItsOwnNoiseSpread) {
    const auto spreadDb = [&] {
        std::vector<short> words;
        for (int block = 0; block < 5; ++block) {
            const std::vector<short> b = NormalBlock(99000, 1, 0);
            words.insert(words.end(), b.begin(), b.end());
        }
        double sum = 0.0, squares = 0.0;
        for (short w : words) {
            sum += Db(w);
            squares += Db(w) * Db(w);
        }
        const double mean = sum / words.size();
        return std::sqrt(squares / words.size() - mean * mean);
    };
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=42\nNoiseSpread=0.5\n", "quiet.ini"), 1);
    EXPECT_NEAR(spreadDb(), 0.5, 0.1);
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=42\nNoiseSpread=8\n", "wild.ini"), 1);
    EXPECT_NEAR(spreadDb(), 8.0, 0.8);
}

TEST_F(SimulatorLevels, DefaultSceneHasWlanAndTelemetrySignals) {
    ::unsetenv("TORVEL_SIM_SCENE");
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    // Telemetry channel at 431125 kHz: -58 dBm (fading by 2 dB) spread over
    // 8 kHz, seen through the 1 kHz points' filter.
    ASSERT_EQ(HighResolutionSpectrumAnalysis(window.GetSafeHwnd(), 1, 430000, 0, 1), 1);
    const std::vector<short> fine = Collect();
    ASSERT_EQ(fine.size(), 2000u);
    const double nbw1 = NoiseFloor(1) - kNoiseDensity;
    EXPECT_NEAR(Db(fine[1125]), -58.0 - (10.0 * std::log10(8000.0) - nbw1), 2.5);
    EXPECT_LT(Db(fine[1200]), NoiseFloor(1) + 8.0);
    // WLAN channel 1 is bursty: peak catching over many blocks sees it.
    double highest = -200.0;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(HighSpeedSpectrumAnalysis(window.GetSafeHwnd(), 1, 2407000, 0, 1, 16), 1);
        const std::vector<short> fast = Collect();
        ASSERT_EQ(fast.size(), 100u);
        highest = std::max(highest, Db(fast[50]));
    }
    EXPECT_GT(highest, NoiseFloor(100) + 20.0);
}

TEST(SimulatorFacts, OneStepPerKindThatIsNotToldItsRbwIndex) {
    // Only the normal sweep receives its RBW index; every other kind measures
    // with one step, which must be the one the program reads for its indexes.
    for (int kind : {kTorvelKindHighSpeed, kTorvelKindHighResolution, kTorvelKindZeroSpan,
                     kTorvelKindSemiRealTime, kTorvelKindRealTime}) {
        int step = 0;
        for (int i = 0; i < kTorvelRbwIndexCount; ++i) {
            const int s = GetRBWFrequency(kind, i);
            if (s == 0)
                continue;
            if (step == 0)
                step = s;
            EXPECT_EQ(s, step) << "kind " << kind << " index " << i;
        }
        EXPECT_GT(step, 0) << "kind " << kind;
    }
    // The sweep kinds never share an index, so the index alone picks the sweep.
    for (int i = 0; i < kTorvelRbwIndexCount; ++i) {
        const int users = (GetRBWFrequency(1, i) != 0) + (GetRBWFrequency(2, i) != 0) +
                          (GetRBWFrequency(4, i) != 0);
        EXPECT_LE(users, 1) << "index " << i;
        EXPECT_EQ(GetRBWFrequency(7, i),
                  std::max({GetRBWFrequency(1, i), GetRBWFrequency(2, i), GetRBWFrequency(4, i)}));
        // Steps divide the 2 MHz grid the sweeps are aligned to.
        if (GetRBWFrequency(7, i) != 0) {
            EXPECT_EQ(2000 % GetRBWFrequency(7, i), 0);
        }
    }
    EXPECT_NE(GetRBWFrequency(1, 1), 0); // the default RBW index sweeps normally
    EXPECT_EQ(GetRBWFrequency(0, 1), 0);
    EXPECT_EQ(GetRBWFrequency(64, 1), 0);
    EXPECT_EQ(GetRBWFrequency(1, -1), 0);
}

TEST(SimulatorFacts, LimitsAttenuatorAndIdentity) {
    EXPECT_EQ(GetMinFrequency(kTorvelKindNormal), 1000);
    EXPECT_EQ(GetMaxFrequency(kTorvelKindNormal), 3000000);
    EXPECT_EQ(GetMinFrequency(7), 1000);
    EXPECT_EQ(GetMaxFrequency(kTorvelKindZeroSpan), 3000000);
    EXPECT_GT(GetMinFrequency(kTorvelKindZeroSpan), GetMinFrequency(kTorvelKindNormal));
    EXPECT_EQ(GetMinFrequency(0), 0);
    EXPECT_EQ(GetMaxFrequency(128), 0);
    EXPECT_DOUBLE_EQ(GetZeroReferenceLevel(), -10.0);
    EXPECT_EQ(GetMaxAttenuation(), 50);
    EXPECT_EQ(GetAttenuatorStep(), 10);
    EXPECT_EQ(GetMaxAttenuation() % GetAttenuatorStep(), 0);
    EXPECT_EQ(GetFirmWareVersion() >> 4, 2);
    EXPECT_EQ(GetFirmWareVersion() & 0xF, 5);
    EXPECT_NE(GetSerialNumber(), 0);
}

// A capture's level words are the ones log10 gives (clipped at the overload
// level, the attenuation added back, rounded), also for powers a hair either
// side of a word's rounding boundary, at clipping, and for powers log10 alone
// reads (zero, subnormal, infinite); a negative power was not measured.
TEST(SimulatorFacts, CapturedPowersBecomeTheWordsOfTheirLevelByLog10) {
    using torvelsim::CSignalModel;
    const auto reference = [](double mw, int attenuation) {
        return CSignalModel::LevelWord(
            std::min(10.0 * std::log10(mw), torvelsim::kOverloadLevelDbm) + attenuation);
    };
    std::vector<double> powers = {0.0, 4.9e-324, 1e-310, 1e300, HUGE_VAL, 1e-30, 1.0};
    for (double word = -32610.0; word < 4000.0; word += 0.5) {
        const double mw = std::pow(10.0, word / 163.84 / 10.0);
        powers.push_back(mw);
        powers.push_back(std::nextafter(mw, 0.0));
        powers.push_back(std::nextafter(mw, HUGE_VAL));
    }
    std::uint64_t x = 88172645463325252ULL;
    for (int i = 0; i < 200000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        powers.push_back(std::pow(10.0, -21.0 + 23.0 * static_cast<double>(x >> 11) * 0x1.0p-53));
    }
    powers.push_back(-1.0);
    std::vector<short> words(powers.size());
    for (int attenuation = 0; attenuation <= 50; attenuation += 10) {
        CSignalModel::InputWords(powers.data(), powers.size(), attenuation, 0x7EEE, words.data());
        int differing = 0;
        for (std::size_t i = 0; i + 1 < powers.size(); ++i)
            differing += words[i] != reference(powers[i], attenuation);
        EXPECT_EQ(differing, 0) << attenuation << " dB";
        EXPECT_EQ(words.back(), 0x7EEE);
    }
}

// A real-time block read from one row of the noise table: its words are the
// words of its powers (the noise's own words where no signal reaches, the
// converted sums where one does, a swept tone included), the noise alone is
// the floor times the row's factors, and its spread is the scene's.
TEST(SimulatorFacts, RealTimeBlockWordsAreTheWordsOfItsPowers) {
    using namespace torvelsim;
    CSimScene scene = CSimScene::Default();
    SimSignal sweep;
    sweep.type = SignalType::Sweep;
    sweep.frequencyKHz = 421000;
    sweep.stopFrequencyKHz = 450000;
    sweep.periodS = 0.01;
    sweep.levelDbm = -60.0;
    scene.signals.push_back(sweep);
    const CSignalModel model(scene, 3);
    const auto factors = std::make_shared<const CNoiseFactors>(9, scene.noiseSpreadDb);
    CNoiseTable noise(factors, 11);
    BandRequest band;
    band.startKHz = 420000;
    band.stepKHz = 250;
    band.bins = 128;
    band.rbwKHz = RbwBandwidthKHz(250);
    const CSignalModel::BandPlan plan = model.Plan(band);
    ASSERT_FALSE(plan.fixed.empty());
    for (int attenuation : {0, 30}) {
        band.attenuationDb = attenuation;
        const CNoiseWords noiseWords(*factors, plan.floorMw, attenuation);
        std::vector<double> floorDb;
        int reached = 0;
        for (int block = 0; block < 400; ++block) {
            const double t = 0.3 + block * 37e-6;
            const std::size_t row = noise.NextRow();
            double power[128];
            short words[128];
            short expected[128];
            model.BandRow(band, plan, t, *factors, row, nullptr, power, nullptr);
            model.BandRow(band, plan, t, *factors, row, &noiseWords, nullptr, words);
            CSignalModel::InputWords(power, 128, attenuation, kNoSampleWord, expected);
            ASSERT_TRUE(std::equal(words, words + 128, expected)) << "block " << block;
            for (int b = 0; b < 128; ++b) {
                const double alone = plan.floorMw * factors->Data()[row + b];
                ASSERT_GE(power[b], alone);
                if (power[b] == alone)
                    floorDb.push_back(10.0 * std::log10(factors->Data()[row + b]));
                else
                    ++reached;
            }
        }
        EXPECT_GT(reached, 0);
        // The factors are a log-normal spread about the floor.
        ASSERT_GT(floorDb.size(), 10000u);
        double sum = 0.0, squares = 0.0;
        for (double db : floorDb) {
            sum += db;
            squares += db * db;
        }
        const double mean = sum / floorDb.size();
        EXPECT_NEAR(mean, 0.0, 0.1);
        EXPECT_NEAR(std::sqrt(squares / floorDb.size() - mean * mean), scene.noiseSpreadDb, 0.1);
    }
}

TEST(SimulatorFacts, SweepNoiseFromTheTableHasTheScenesSpreadAndDoesNotRepeat) {
    using namespace torvelsim;
    for (double spreadDb : {2.0, 6.0}) {
        CSimScene scene = CSimScene::Default();
        scene.signals.clear();
        scene.noiseSpreadDb = spreadDb;
        const CSignalModel model(scene, 5);
        const auto factors = std::make_shared<const CNoiseFactors>(17, spreadDb);
        SweepRequest r;
        r.startKHz = 1000000;
        r.stepKHz = 10;
        r.points = 150000;
        r.rbwKHz = 10.0;
        r.attenuationDb = 0;
        const auto stats = [](const std::vector<short>& words) {
            double sum = 0.0, squares = 0.0;
            for (short w : words) {
                sum += Db(w);
                squares += Db(w) * Db(w);
            }
            const double mean = sum / words.size();
            return std::pair{MedianDb(words), std::sqrt(squares / words.size() - mean * mean)};
        };
        r.noiseSeed = 101;
        const auto [drawnMedian, drawnSpread] = stats(model.Sweep(r));
        r.noise = factors;
        const std::vector<short> first = model.Sweep(r);
        r.noiseSeed = 102;
        const std::vector<short> second = model.Sweep(r);
        for (const std::vector<short>* block : {&first, &second}) {
            const auto [median, spread] = stats(*block);
            EXPECT_NEAR(median, drawnMedian, 0.1) << spreadDb;
            EXPECT_NEAR(spread, drawnSpread, 0.1) << spreadDb;
        }
        // Neither the next block nor the block's own second half repeats a
        // run of the noise.
        const auto sameRuns = [](const short* a, const short* b, std::size_t n) {
            int same = 0;
            for (std::size_t i = 0; i + 4 <= n; i += 4)
                same += std::equal(a + i, a + i + 4, b + i);
            return same;
        };
        EXPECT_LT(sameRuns(first.data(), second.data(), first.size()), 3);
        EXPECT_LT(sameRuns(first.data(), first.data() + 75000, 75000), 3);
        // Neighbouring points are as unrelated as drawn ones (the order read
        // from the table follows one state from step to step).
        for (std::size_t lag = 1; lag <= 8; ++lag) {
            double sum = 0.0, squares = 0.0, products = 0.0;
            for (std::size_t i = 0; i + lag < first.size(); ++i) {
                const double a = first[i];
                sum += a;
                squares += a * a;
                products += a * first[i + lag];
            }
            const double n = static_cast<double>(first.size() - lag);
            const double mean = sum / n;
            EXPECT_NEAR((products / n - mean * mean) / (squares / n - mean * mean), 0.0, 0.015)
                << "lag " << lag;
        }
    }
}

// A sweep's powers are, to the last bit, those of the model taken literally:
// for every sub-capture of every point the noise times its spread, plus each
// signal of the scene in turn; the peak of a capture's sub-captures, the mean
// of a point's captures. Random scenes of every signal type near the block
// (fading, bursts, pulses, swept tones that wrap inside it) and random blocks
// of every size, rate, path and attenuation, with and without a noise table.
TEST(SimulatorFacts, SweepAddsEverySignalToEverySubCaptureToTheLastBit) {
    using namespace torvelsim;
    const auto reference = [](const CSimScene& scene, const CSignalModel& model,
                              const SweepRequest& r) {
        std::mt19937_64 rng(r.noiseSeed);
        std::normal_distribution<double> spread(0.0, std::max(1e-9, scene.noiseSpreadDb));
        std::optional<CNoiseTable> table;
        if (r.noise)
            table.emplace(r.noise, r.noiseSeed);
        const double noise = std::exp(model.NoiseFloorDbm(r.rbwKHz) * std::numbers::ln10 / 10.0);
        const double attenuation = std::exp(-r.attenuationDb * std::numbers::ln10 / 10.0);
        std::vector<double> powers;
        for (int i = 0; i < r.points; ++i) {
            const double f = r.startKHz + static_cast<double>(r.stepKHz) * i;
            double sum = 0.0;
            for (int k = 0; k < r.captures; ++k) {
                double peak = 0.0;
                for (int j = 0; j < r.catcher; ++j) {
                    const double t =
                        r.timeS + ((static_cast<double>(i) * r.captures + k) * r.catcher + j) *
                                      r.pointSeconds;
                    double p = noise * (table ? table->Next()
                                              : std::exp(spread(rng) * std::numbers::ln10 / 10.0));
                    for (std::size_t s = 0; s < scene.signals.size(); ++s)
                        p += model.SignalPower(s, f, r.rbwKHz, t, r.path) * attenuation;
                    peak = std::max(peak, p);
                }
                sum += peak;
            }
            powers.push_back(sum / r.captures);
        }
        return powers;
    };

    std::mt19937_64 random(20261208);
    const auto uniform = [&](double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(random);
    };
    const auto integer = [&](int a, int b) {
        return std::uniform_int_distribution<int>(a, b)(random);
    };
    const auto table = std::make_shared<const CNoiseFactors>(3, 3.0);
    int reached = 0;
    for (int round = 0; round < 300; ++round) {
        SweepRequest r;
        r.stepKHz = std::array{1, 10, 100, 250}[integer(0, 3)];
        r.points = integer(1, 250);
        r.startKHz = integer(100000, 120000);
        r.captures = integer(1, 6);
        r.catcher = integer(1, 4);
        r.rbwKHz = RbwBandwidthKHz(r.stepKHz) * uniform(0.5, 2.0);
        r.timeS = uniform(0.0, 30.0);
        r.pointSeconds = std::array{2e-6, 10e-6, 50e-6}[integer(0, 2)];
        r.attenuationDb = 10 * integer(0, 5);
        r.path = integer(0, 1);
        r.noiseSeed = random();
        if (round % 4 != 0)
            r.noise = table;
        const double span = static_cast<double>(r.stepKHz) * r.points;

        CSimScene scene;
        scene.noiseSpreadDb = 3.0;
        for (int n = integer(0, 8); n > 0; --n) {
            SimSignal s;
            s.type = static_cast<SignalType>(integer(0, 3));
            s.frequencyKHz = r.startKHz + uniform(-0.2, 1.2) * span;
            s.levelDbm = uniform(-90.0, 0.0);
            s.widthKHz = integer(0, 1) ? 0.0 : uniform(0.0, span / 4);
            s.duty = uniform(0.0, 1.0);
            s.burstMs = uniform(0.01, 2.0);
            s.stopFrequencyKHz = r.startKHz + uniform(-0.2, 1.2) * span;
            s.periodS = uniform(0.5, 2.0) * r.points * r.captures * r.catcher * r.pointSeconds;
            s.pulseMs = uniform(0.01, 1.0);
            s.firstPulseS = uniform(0.0, 30.0);
            s.crossPolarDb = uniform(-10.0, 30.0);
            s.fadeDb = integer(0, 1) ? 0.0 : uniform(0.1, 10.0);
            s.fadePeriodS = uniform(0.001, 5.0);
            scene.signals.push_back(s);
        }
        const CSignalModel model(scene, random());
        const std::vector<double> expected = reference(scene, model, r);
        ASSERT_EQ(model.SweepPowers(r), expected) << "round " << round;
        const std::vector<short> words = model.Sweep(r);
        for (std::size_t i = 0; i < words.size(); ++i)
            ASSERT_EQ(words[i], CSignalModel::InputWord(expected[i], r.attenuationDb)) << round;
        const short floor = CSignalModel::LevelWord(model.NoiseFloorDbm(r.rbwKHz) + 15.0);
        reached += std::count_if(words.begin(), words.end(), [&](short w) { return w > floor; });
    }
    // The scenes' signals showed, well above the noise.
    EXPECT_GT(reached, 3000);
}

// A real-time capture waiting for its trigger keeps measuring fresh noise: a
// level only the table's two highest entries pass fires every capture soon
// (each block is a random window of the table, about one in 250 blocks holds
// one of them), however long the capture has been waiting.
TEST(SimulatorFacts, RealTimeTriggerOnRareNoiseFiresEveryCapture) {
    using namespace torvelsim;
    auto scene = std::make_shared<CSimScene>();
    const auto table = std::make_shared<const CNoiseFactors>(11, scene->noiseSpreadDb);
    std::vector<double> factors(table->Data(), table->Data() + CNoiseFactors::kSize);
    std::sort(factors.begin(), factors.end(), std::greater<>());
    // Hundredths of a dB between the second and the third highest entry.
    const double second = 1000.0 * std::log10(factors[1]);
    const double third = 1000.0 * std::log10(factors[2]);
    ASSERT_GT(second - third, 2.0);
    RealTimeCapture capture;
    capture.baseKHz = 420000;
    capture.stepKHz = 250;
    capture.triggerType = 1;
    capture.senseHundredths = static_cast<int>(std::round((second + third) / 2.0));
    capture.triggerBlock = 0;
    int fired = 0;
    for (std::uint64_t seed = 1; seed <= 16; ++seed) {
        TaskSetup setup;
        setup.scene = scene;
        setup.sceneSeed = 5;
        setup.noiseSeed = seed * 0x9E3779B97F4A7C15ULL;
        setup.maxKHz = 6000000;
        setup.noise = table;
        const auto task = MakeRealTimeTask(setup, capture);
        task->Begin(0.0);
        // 40000 blocks: 0.16 s of device time.
        for (TaskPiece piece; piece.endS < 40000 * kRealTimeBlockSeconds;) {
            piece = task->Next();
            if (piece.done) {
                ++fired;
                break;
            }
        }
    }
    EXPECT_EQ(fired, 16);
}
