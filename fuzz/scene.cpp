// A simulator scene file, read as the simulator reads it when the device link
// opens, and, when it is accepted, measured: a sweep block and a band of bins
// at each of the first signals, at the start and later in measurement time.
#include "fuzzinput.h"

#include "device/simulator/scenereader.h"
#include "device/simulator/signalmodel.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kSignalsMeasured = 4;

void Measure(const torvelsim::CSimScene& scene) {
    // A scene without a seed gets a random one from the simulator; a fixed one
    // here keeps every run of an input alike.
    const std::uint64_t seed = scene.seed.value_or(1);
    torvelsim::CSignalModel model(scene, seed);
    std::vector<int> starts{2400000};
    for (std::size_t i = 0; i < std::min(kSignalsMeasured, scene.signals.size()); ++i)
        starts.push_back(static_cast<int>(scene.signals[i].frequencyKHz) / 2000 * 2000);
    const auto factors =
        std::make_shared<const torvelsim::CNoiseFactors>(seed, scene.noiseSpreadDb);
    torvelsim::CNoiseTable noise(factors, seed);
    for (int start : starts)
        for (double t : {0.0, 12.345}) {
            torvelsim::SweepRequest sweep;
            sweep.startKHz = start;
            sweep.stepKHz = 10;
            sweep.points = 200;
            sweep.rbwKHz = 20.0;
            sweep.timeS = t;
            model.Sweep(sweep);
            torvelsim::BandRequest band;
            band.startKHz = start;
            band.stepKHz = 250;
            band.bins = 104;
            band.rbwKHz = 500.0;
            const torvelsim::CSignalModel::BandPlan plan = model.Plan(band);
            double out[104];
            model.Band(band, plan, t, noise, out);
            // The real-time path: a row of the table, as powers and as words.
            const torvelsim::CNoiseWords words(*factors, plan.floorMw, 0);
            short row[104];
            model.BandRow(band, plan, t, *factors, noise.NextRow(), &words, out, row);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    torvelsim::CSceneReader reader;
    torvelsim::CSimScene scene = torvelsim::CSimScene::Default();
    if (reader.ReadFile(path, scene))
        Measure(scene);
    return 0;
}
