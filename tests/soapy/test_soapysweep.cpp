// Sweeps of libTorvelSoapy.so on receivers that stream in real time and keep
// what they have queued when they are retuned, as many drivers do: a tone
// reads its frequency and level at every RBW, with buffers of 1024 to 65 536
// samples and queues of 0 to 4 buffers, at the bottom, the middle and the top
// of the receiver's range, and no tuning lies outside that range.
#include "soapytest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr double kToneDbfs = -40.0;
// What a ghost of the tone (samples of another tuning) would exceed: the
// floor of the tone's receiver lies near -110 dBFS a bin.
constexpr double kGhostDbfs = -70.0;

// Where a tone lies on a receiver of 24 to 1766 MHz at 4.8 MS/s (tunings of
// 3.84 MHz, blocks of two): in the first tuning of a sweep from the bottom,
// in the first tuning of the second block of a sweep in the middle, and in
// the last tuning of a sweep up to the top, which lies at 1766 MHz.
struct Position {
    const char* name;
    int startKHz;
    int stopKHz;
    double toneHz;
};
constexpr Position kPositions[] = {
    {"bottom", 24000, 39000, 24.5037e6},
    {"middle", 430000, 445000, 439.3037e6},
    {"top", 1753480, 1765760, 1765.7037e6},
};

struct ToneError {
    int points = 0;
    double db = 0.0;
};

// The error of the peak of a sweep against the tone, and the highest level
// more than two points away from it.
ToneError Judge(const std::vector<short>& words, int startKHz, int stepKHz, double toneHz,
                double* ghostDb) {
    const long expected = std::lround((toneHz / 1e3 - startKHz) / stepKHz);
    const auto peak = std::max_element(words.begin(), words.end()) - words.begin();
    *ghostDb = -200.0;
    for (std::size_t p = 0; p < words.size(); ++p)
        if (std::labs(static_cast<long>(p) - expected) > 2 && words[p] != -32640)
            *ghostDb = std::max(*ghostDb, Db(words[p]));
    return {static_cast<int>(peak - expected),
            Db(words[static_cast<std::size_t>(peak)]) - kToneDbfs};
}

struct Receiver {
    int mtu;
    bool timestamps;
};

class ToneTable : public SoapyTest, public ::testing::WithParamInterface<Receiver> {};

TEST_P(ToneTable, AToneReadsItsPointAndLevelAtEveryRbwQueueAndPlaceInTheRange) {
    const Receiver receiver = GetParam();
    for (int queue = 0; queue <= 4; ++queue) {
        ToneError worst[6];
        for (const Position& at : kPositions) {
            char args[200];
            std::snprintf(args, sizeof args,
                          "rate=4.8e6,low_hz=24e6,high_hz=1766e6,noise_dbfs=-100,tone_dbfs=%g,"
                          "tone_hz=%.0f,mtu=%d,queue=%d,timestamps=%d",
                          kToneDbfs, at.toneHz, receiver.mtu, queue, receiver.timestamps ? 1 : 0);
            ASSERT_TRUE(Open(args)) << args;
            ASSERT_EQ(GetMaxFrequency(kTorvelKindNormal), 1765760);
            for (int rbw = 1; rbw <= 5; ++rbw) {
                const int step = GetRBWFrequency(kTorvelKindNormal, rbw);
                const std::vector<short> words = Sweep(at.startKHz, at.stopKHz, rbw);
                ASSERT_FALSE(words.empty())
                    << args << " rbw " << step << " kHz: error " << window.Last().lParam;
                double ghost = 0.0;
                const ToneError e = Judge(words, at.startKHz, step, at.toneHz, &ghost);
                EXPECT_LE(std::abs(e.points), 1) << at.name << " " << args << " rbw " << step;
                EXPECT_LE(std::fabs(e.db), 0.5) << at.name << " " << args << " rbw " << step;
                EXPECT_LT(ghost, kGhostDbfs) << at.name << " " << args << " rbw " << step;
                ToneError& w = worst[rbw];
                w.points = std::max(w.points, std::abs(e.points));
                w.db = std::fabs(e.db) > std::fabs(w.db) ? e.db : w.db;
            }
            ShutdownTorvelDLL();
        }
        for (int rbw = 1; rbw <= 5; ++rbw)
            std::printf("tone table: RBW %3d kHz, buffers %5d, queue %d%s: %d points, %+.2f dB\n",
                        GetRBWFrequency(kTorvelKindNormal, rbw), receiver.mtu, queue,
                        receiver.timestamps ? ", time stamps" : "", worst[rbw].points,
                        worst[rbw].db);
    }
}

INSTANTIATE_TEST_SUITE_P(Buffers, ToneTable,
                         ::testing::Values(Receiver{1024, false}, Receiver{4096, false},
                                           Receiver{16384, false}, Receiver{65536, false},
                                           Receiver{16384, true}),
                         [](const ::testing::TestParamInfo<Receiver>& info) {
                             return "Mtu" + std::to_string(info.param.mtu) +
                                    (info.param.timestamps ? "Stamped" : "");
                         });

class SoapySweep : public SoapyTest {};

TEST_F(SoapySweep, TheTopIsSweptWithoutTuningAboveItOnAReceiverThatClampsOrRefuses) {
    // 1755 to 1765.88 MHz at RBW 100 kHz on a receiver of 24 to 1766 MHz
    // at 2.4 MS/s; a tuning above 1766 MHz would read its tone as noise and
    // show a ghost beside it, or be refused.
    for (const char* outside : {"clamp", "refuse"}) {
        ASSERT_TRUE(Open(std::string("low_hz=24e6,high_hz=1766e6,noise_dbfs=-100,tone_hz=1765.7e6,"
                                     "outside=") +
                         outside));
        const int top = GetMaxFrequency(kTorvelKindNormal);
        EXPECT_EQ(top, 1765880);
        const std::vector<short> words = Sweep(1755000, top, 4);
        ASSERT_FALSE(words.empty()) << outside << ": error " << window.Last().lParam;
        double ghost = 0.0;
        const ToneError e = Judge(words, 1755000, 100, 1765.7e6, &ghost);
        EXPECT_LE(std::abs(e.points), 1) << outside;
        EXPECT_LE(std::fabs(e.db), 0.5) << outside;
        EXPECT_LT(ghost, kGhostDbfs) << outside;
        ShutdownTorvelDLL();
    }
}

TEST_F(SoapySweep, AToneAtATunedFrequencyIsSeenBesideTheCentreBin) {
    // The first tuning of a block from 100 MHz at RBW 10 kHz lies at
    // 100 MHz - 5 kHz + 0.4 x 2.4 MHz: its centre bin is left out, and the
    // captures keep their mean, so the bins beside it show the tone.
    ASSERT_TRUE(Open("noise_dbfs=-100,tone_hz=100.955e6"));
    const std::vector<short> words = NormalBlock(100000, 1, 0, 1);
    ASSERT_FALSE(words.empty());
    const auto peak = std::max_element(words.begin(), words.end()) - words.begin();
    EXPECT_NEAR(static_cast<double>(peak), 95.5, 1.0);
    EXPECT_NEAR(Db(words[static_cast<std::size_t>(peak)]), kToneDbfs, 0.5);
}

} // namespace
