// Renders what the analyser measures: for each point of a sweep block, the
// noise floor plus every signal of the scene seen through the resolution filter
// at the moment that point is measured, as level words of 1/163.84 dB.
#pragma once

#include "simscene.h"

#include <cstdint>
#include <vector>

namespace torvelsim {

// One block to measure.
struct SweepRequest {
    int startKHz = 0;
    int stepKHz = 1;
    int points = 0;
    int attenuationDb = 0;       // as set on the attenuator
    int captures = 1;            // averaged per point (rejection rate)
    int catcher = 1;             // peak-held sub-captures per capture (catcher rate)
    double rbwKHz = 2.0;         // resolution filter's 3 dB bandwidth
    double timeS = 0.0;          // measurement time of the first point
    double pointSeconds = 10e-6; // one sub-capture of one point
    std::uint64_t noiseSeed = 0;
};

class CSignalModel {
public:
    // sceneSeed fixes the burst patterns and fading phases.
    CSignalModel(const CSimScene& scene, std::uint64_t sceneSeed);

    std::vector<short> Sweep(const SweepRequest& request) const;

    // Median noise floor in dBm for a resolution bandwidth.
    double NoiseFloorDbm(double rbwKHz) const;

    // dB to a level word (1/163.84 dB), rounded and kept above the no-sample
    // word 0x8080.
    static short LevelWord(double db);

private:
    // Power (mW) of signal i at the input, seen through a filter of 3 dB
    // bandwidth rbwKHz centred on fKHz, at time t.
    double SignalPower(std::size_t i, double fKHz, double rbwKHz, double t) const;
    bool SignalNear(std::size_t i, double loKHz, double hiKHz, double rbwKHz, double t0,
                    double t1) const;

    const CSimScene& m_scene;
    std::uint64_t m_seed;
};

} // namespace torvelsim
