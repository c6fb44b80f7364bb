// Scene files: what a good file sets, and that bad or hostile files are
// refused with a message and never crash or hang the device.
#include "device/simulator/scenereader.h"
#include "simtestutil.h"

#include <random>
#include <sys/stat.h>

using torvelsim::CSceneReader;
using torvelsim::CSimScene;
using torvelsim::SignalType;

namespace {

const char* kFullScene = "; a scene for the tests\n"
                         "[Scene]\r\n"
                         "Seed = 18446744073709551615\n"
                         "NoiseDensity=-140.5\n"
                         "NoiseSpread=0.5 ; quieter\n"
                         "\n"
                         "[Faults]\n"
                         "UnplugAt=0.25\n"
                         "ReplugAfter=1.5\n"
                         "FailTask=3,9\n"
                         "ShortDataTask=4\n"
                         "ShortDataCount=12\n"
                         "[Signal WLAN]\n"
                         "Type=Burst\n"
                         "Frequency=2412000\n"
                         "Level=-30\n"
                         "Width=16600\n"
                         "Duty=0.25\n"
                         "BurstLength=0.5\n"
                         "# the swept tone\n"
                         "[Signal Sweep]\n"
                         "Type=Sweep\n"
                         "Frequency=1000000\n"
                         "StopFrequency=1100000\n"
                         "Period=4\n"
                         "Level=-45.5\n"
                         "Fade=2\n"
                         "FadePeriod=3\n"
                         "CrossPolar=-3\n"
                         "[Signal Key]\n"
                         "Type=Pulse\n"
                         "Frequency=433920\n"
                         "Level=-30\n"
                         "Period=2\n"
                         "PulseLength=4\n"
                         "FirstPulse=0\n";

} // namespace

TEST(SceneReader, ReadsEveryKey) {
    CSimScene scene;
    CSceneReader reader;
    ASSERT_TRUE(reader.ReadText(kFullScene, scene)) << reader.Error();
    ASSERT_TRUE(scene.seed.has_value());
    EXPECT_EQ(*scene.seed, UINT64_MAX);
    EXPECT_DOUBLE_EQ(scene.noiseDensityDbmHz, -140.5);
    EXPECT_DOUBLE_EQ(scene.noiseSpreadDb, 0.5);
    EXPECT_DOUBLE_EQ(scene.faults.unplugAtS.value_or(-1), 0.25);
    EXPECT_DOUBLE_EQ(scene.faults.replugAfterS.value_or(-1), 1.5);
    EXPECT_EQ(scene.faults.failTasks, (std::vector<std::uint32_t>{3, 9}));
    EXPECT_EQ(scene.faults.shortDataTasks, (std::vector<std::uint32_t>{4}));
    EXPECT_EQ(scene.faults.shortDataCount.value_or(-1), 12);
    ASSERT_EQ(scene.signals.size(), 3u);
    const auto& wlan = scene.signals[0];
    EXPECT_EQ(wlan.name, "Signal WLAN");
    EXPECT_EQ(wlan.type, SignalType::Burst);
    EXPECT_DOUBLE_EQ(wlan.frequencyKHz, 2412000);
    EXPECT_DOUBLE_EQ(wlan.widthKHz, 16600);
    EXPECT_DOUBLE_EQ(wlan.duty, 0.25);
    EXPECT_DOUBLE_EQ(wlan.burstMs, 0.5);
    const auto& sweep = scene.signals[1];
    EXPECT_EQ(sweep.type, SignalType::Sweep);
    EXPECT_DOUBLE_EQ(sweep.stopFrequencyKHz, 1100000);
    EXPECT_DOUBLE_EQ(sweep.periodS, 4);
    EXPECT_DOUBLE_EQ(sweep.levelDbm, -45.5);
    EXPECT_DOUBLE_EQ(sweep.fadeDb, 2);
    EXPECT_DOUBLE_EQ(sweep.fadePeriodS, 3);
    EXPECT_DOUBLE_EQ(sweep.crossPolarDb, -3);
    EXPECT_DOUBLE_EQ(wlan.crossPolarDb, 25); // the default isolation of the second path
    const auto& key = scene.signals[2];
    EXPECT_EQ(key.type, SignalType::Pulse);
    EXPECT_DOUBLE_EQ(key.periodS, 2);
    EXPECT_DOUBLE_EQ(key.pulseMs, 4);
    EXPECT_DOUBLE_EQ(key.firstPulseS, 0);
}

TEST(SceneReader, FileSignalsReplaceTheDefaultsUnlessKept) {
    CSceneReader reader;
    CSimScene scene = CSimScene::Default();
    ASSERT_TRUE(reader.ReadText("[Signal1]\nFrequency=1000\nLevel=-20\n", scene));
    EXPECT_EQ(scene.signals.size(), 1u);
    EXPECT_FALSE(scene.seed.has_value());

    const std::size_t defaults = CSimScene::Default().signals.size();
    ASSERT_TRUE(reader.ReadText("[Scene]\nDefaultSignals=1\n[Signal1]\nFrequency=1000\nLevel=-20\n",
                                scene));
    EXPECT_EQ(scene.signals.size(), defaults + 1);
    EXPECT_GT(defaults, 10u);
}

TEST(SceneReader, BadFilesFailWithTheLineAndLeaveTheSceneAlone) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"Seed=1\n", "line 1: key outside a section"},
        {"[Scene]\nSeed=-1\n", "line 2: bad value for Seed"},
        {"[Scene]\nSeed=18446744073709551616\n", "line 2: bad value for Seed"},
        {"[Scene]\nNoiseSpread=nan\n", "line 2: bad value for NoiseSpread"},
        {"[Scene]\nNoiseDensity=1e400\n", "line 2: bad value for NoiseDensity"},
        {"[Scene]\nNoiseDensity=-150 dBm\n", "line 2: bad value for NoiseDensity"},
        {"[Scene]\nnoisedensity=-150\n", "line 2: unknown key noisedensity"},
        {"[Scene\n", "line 1: section name without ]"},
        {"[Noise]\n", "line 1: unknown section [Noise]"},
        {"[Scene]\n[Scene]\n", "line 2: section [Scene] appears twice"},
        {"[Signal1]\nLevel=-3\n", "signal Signal1 has no Frequency"},
        {"[Signal1]\nFrequency=5\n[Signal2]\n", "line 3: signal Signal1 has no Level"},
        {"[Signal1]\nType=Sweep\nFrequency=5\nLevel=-3\n", "sweep Signal1 has no StopFrequency"},
        {"[Signal1]\nType=Noise\n", "line 2: bad value for Type"},
        {"[Signal1]\nDuty=1.5\n", "line 2: bad value for Duty"},
        {"[Signal1]\nPeriod=0\n", "line 2: bad value for Period"},
        {"[Signal1]\nPulseLength=0\n", "line 2: bad value for PulseLength"},
        {"[Signal1]\nFirstPulse=-1\n", "line 2: bad value for FirstPulse"},
        {"[Signal1]\nCrossPolar=-61\n", "line 2: bad value for CrossPolar"},
        {"[Faults]\nFailTask=0\n", "line 2: bad value for FailTask"},
        {"[Faults]\nFailTask=1,,2\n", "line 2: bad value for FailTask"},
        {"[Faults]\nShortDataCount=100001\n", "line 2: bad value for ShortDataCount"},
        {"[Faults]\nUnplugAt=\n", "line 2: no value for UnplugAt"},
        {"[Faults]\nReplugAfter=1\n", "ReplugAfter without UnplugAt"},
        {"[Faults]\nUnplugEvery=0\nReplugAfter=0\n", "line 2: bad value for UnplugEvery"},
        {"[Faults]\nUnplugEvery=2\n", "UnplugEvery needs a ReplugAfter shorter"},
        {"[Faults]\nUnplugEvery=2\nReplugAfter=2\n", "UnplugEvery needs a ReplugAfter shorter"},
        {"[Faults]\njust text\n", "line 2: expected key=value or [section]"},
    };
    for (const auto& c : cases) {
        CSimScene scene;
        scene.noiseSpreadDb = 7.0;
        CSceneReader reader;
        EXPECT_FALSE(reader.ReadText(c.text, scene)) << c.text;
        EXPECT_NE(reader.Error().find(c.message), std::string::npos)
            << c.text << " gave: " << reader.Error();
        EXPECT_DOUBLE_EQ(scene.noiseSpreadDb, 7.0);
        EXPECT_TRUE(scene.signals.empty());
    }
}

TEST(SceneReader, SizesAreBounded) {
    CSceneReader reader;
    CSimScene scene;
    EXPECT_FALSE(reader.ReadText(std::string(CSceneReader::kMaxFileBytes + 1, '\n'), scene));
    EXPECT_FALSE(reader.ReadText("[Scene]\n; " + std::string(600, 'x') + "\n", scene));
    EXPECT_NE(reader.Error().find("line 2"), std::string::npos);
    EXPECT_FALSE(reader.ReadText(std::string("[Scene]\n\0Seed=1\n", 16), scene));

    std::string many;
    for (int i = 0; i <= static_cast<int>(CSceneReader::kMaxSignals); ++i)
        many += "[Signal" + std::to_string(i) + "]\nFrequency=1000\nLevel=-50\n";
    EXPECT_FALSE(reader.ReadText(many, scene));
    EXPECT_NE(reader.Error().find("more than 64 signals"), std::string::npos);

    std::string list = "[Faults]\nFailTask=1";
    for (int i = 2; i <= 17; ++i)
        list += "," + std::to_string(i);
    EXPECT_FALSE(reader.ReadText(list + "\n", scene));
}

TEST(SceneReader, MangledScenesNeverCrash) {
    // Random edits of a good scene: each is read or refused, nothing else.
    const std::string good = kFullScene;
    std::mt19937 rng(12345);
    const std::string alphabet = "[]=;#,.-+eE0123456789 \t\r\nabcSignalFaultsScene\x01\xff";
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = good;
        const int edits = 1 + static_cast<int>(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = rng() % (text.size() + 1);
            switch (rng() % 3) {
            case 0:
                text.insert(at, 1, alphabet[rng() % alphabet.size()]);
                break;
            case 1:
                if (at < text.size())
                    text.erase(at, 1 + rng() % 8);
                break;
            default:
                if (at < text.size())
                    text[at] = static_cast<char>(rng() & 0xFF);
                break;
            }
        }
        CSimScene scene;
        CSceneReader reader;
        if (reader.ReadText(text, scene))
            ++accepted;
        else
            EXPECT_FALSE(reader.Error().empty());
    }
    EXPECT_GT(accepted, 0);
}

class SceneFiles : public SimulatorTest {};

TEST_F(SceneFiles, HostileSceneFilesDoNotOpenTheDevice) {
    const HWND h = window.GetSafeHwnd();
    const auto refused = [&](const std::string& path) {
        ::setenv("TORVEL_SIM_SCENE", path.c_str(), 1);
        EXPECT_EQ(InitTorvelDLL(h, kTorvelMessageBase), 0) << path;
        EXPECT_EQ(GetTorvelLastError(), kTorvelErrorNoDevice) << path;
        EXPECT_EQ(NormalSpectrumAnalysis(h, 1, 100000, 1, 0, 1), 0);
        EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    };
    std::mt19937 rng(99);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng() & 0xFF);
    WriteWholeFile(dir.file("random.ini"), noise);
    refused(dir.file("random.ini"));
    for (char& c : noise)
        c = static_cast<char>(1 + rng() % 255);
    WriteWholeFile(dir.file("random-text.ini"), noise);
    refused(dir.file("random-text.ini"));
    WriteWholeFile(dir.file("huge.ini"), "[Scene]\n" + std::string(1 << 20, ';'));
    refused(dir.file("huge.ini"));
    WriteWholeFile(dir.file("long.ini"), "[Signal1]\nFrequency=" + std::string(1000, '9') + "\n");
    refused(dir.file("long.ini"));
    refused(dir.file("missing.ini"));
    refused(dir.path()); // a folder
    // A FIFO with no writer must not block the caller.
    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    refused(fifo);
    refused("/dev/zero");

    // After all that a good scene opens the device.
    EXPECT_EQ(OpenWithScene("[Signal1]\nFrequency=100000\nLevel=-40\n", "good.ini"), 1);
    const std::vector<short> block = NormalBlock(99000, 1, 0);
    ASSERT_EQ(block.size(), 200u);
    EXPECT_NEAR(Db(block[100]), -40.0, 0.3);
}
