// Renders what the analyser measures: for each point of a sweep block, the
// noise floor plus every signal of the scene seen through the resolution filter
// at the moment that point is measured, as level words of 1/163.84 dB; and for
// the wide-IF kinds (zero span, real time) the power in every bin of a band at
// one instant.
#pragma once

#include "simscene.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace torvelsim {

// One block to measure.
class CNoiseFactors;

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
    int path = 0;                // RF input: 0 = RF1, 1 = RF2
    std::uint64_t noiseSeed = 0;
    // The scene's noise factors, read in the order noiseSeed fixes; without
    // them every sub-capture's spread is drawn from noiseSeed.
    std::shared_ptr<const CNoiseFactors> noise;
};

// A band of bins measured all at once (one FFT of the wide IF).
struct BandRequest {
    int startKHz = 0;
    int stepKHz = 1;
    int bins = 0;
    int attenuationDb = 0;
    double rbwKHz = 2.0;
    int path = 0;

    bool operator==(const BandRequest&) const = default;
};

// The noise's spread from sample to sample for the fast captures: log-normal
// power factors drawn once from a seed. The simulator draws one table for its
// scene; each task reads it in its own pseudo-random order (CNoiseTable).
class CNoiseFactors {
public:
    // Large enough that each of the 256 blocks of a real-time capture reads
    // its own stretch of kRowMax entries.
    static constexpr std::size_t kSize = 65536;
    // A row of up to this many consecutive entries starts at any index below
    // kSize: the table's first entries repeat after its end.
    static constexpr std::size_t kRowMax = 256;

    CNoiseFactors(std::uint64_t seed, double spreadDb);
    const double* Data() const { return m_factor.data(); }

private:
    std::array<double, kSize + kRowMax> m_factor{};
};

// The level words of the noise alone, entry by entry of a factor table, at
// one floor (mW at the mixer) and attenuation: what InputWord gives for
// floor x factor.
class CNoiseWords {
public:
    CNoiseWords(const CNoiseFactors& factors, double floorMw, int attenuationDb);
    const short* Data() const { return m_words.data(); }
    double FloorMw() const { return m_floorMw; }
    int AttenuationDb() const { return m_attenuationDb; }

private:
    std::array<short, CNoiseFactors::kSize + CNoiseFactors::kRowMax> m_words{};
    double m_floorMw;
    int m_attenuationDb;
};

// One task's reading of a factor table: sample after sample in a
// pseudo-random order fixed by the seed (Next), or a row of consecutive
// entries from a pseudo-random start (NextRow) for a spectrum of bins.
class CNoiseTable {
public:
    CNoiseTable(std::shared_ptr<const CNoiseFactors> factors, std::uint64_t seed);
    double Next() {
        Step();
        return m_factors->Data()[m_state & (CNoiseFactors::kSize - 1)];
    }
    // The index of the first entry of the next row.
    std::size_t NextRow() {
        Step();
        return m_state & (CNoiseFactors::kSize - 1);
    }
    const CNoiseFactors& Factors() const { return *m_factors; }

private:
    void Step() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
    }

    std::shared_ptr<const CNoiseFactors> m_factors;
    std::uint64_t m_state;
};

class CSignalModel {
public:
    // sceneSeed fixes the burst patterns and fading phases.
    CSignalModel(const CSimScene& scene, std::uint64_t sceneSeed);

    std::vector<short> Sweep(const SweepRequest& request) const;
    // The power (mW) at the mixer each point of the block measures: the mean
    // of its captures, each the peak of its sub-captures, each the noise
    // times its spread plus every signal's SignalPower in the scene's order
    // (attenuated). Sweep gives their level words.
    std::vector<double> SweepPowers(const SweepRequest& request) const;

    // What a band of bins sees of the signals: for each signal that stays where
    // it is and reaches the band, the bins it reaches and the share of its
    // power each passes, worked out once for a task; the swept tones are
    // worked out at every instant.
    struct BandPlan {
        struct Reach {
            std::size_t signal = 0;
            int firstBin = 0;
            std::vector<double> response;
        };
        BandRequest request; // what it was made for
        std::vector<Reach> fixed;
        std::vector<std::size_t> moving;
        double floorDbm = 0.0; // the noise floor at the mixer
        double floorMw = 0.0;  // and its power
        // The share of the power the request's attenuation passes, and each
        // signal's power at the input on either path (index 2 * signal, + 1
        // for a path other than 0) where it does not fade, NaN where it does:
        // worked out once, not at every block.
        double attenuation = 1.0;
        std::vector<double> steadyMw;
    };
    BandPlan Plan(const BandRequest& request) const;

    // Power (mW) at the mixer in each bin of the band at time t; out holds
    // request.bins values.
    void Band(const BandRequest& request, const BandPlan& plan, double t, CNoiseTable& noise,
              double* out) const;
    // The same band with the noise of one row of the factor table (row: its
    // first entry), as powers (when power is not null) and as level words
    // (when words is not null; noiseWords are the table's words at this band's
    // floor and attenuation). Only the bins a signal reaches are converted
    // from their power; the others take the noise's word.
    void BandRow(const BandRequest& request, const BandPlan& plan, double t,
                 const CNoiseFactors& factors, std::size_t row, const CNoiseWords* noiseWords,
                 double* power, short* words) const;
    // The noise floor's power (mW) at the mixer for a band's filter.
    double NoiseFloorMw(double rbwKHz) const;

    // Median noise floor in dBm for a resolution bandwidth, at attenuation 0.
    double NoiseFloorDbm(double rbwKHz) const;

    // The level word the analyser reports for a power at the mixer: clipped at
    // the overload level, the attenuation added back.
    static short InputWord(double mixerMw, int attenuationDb);
    // InputWord of count powers; a negative power (not measured) becomes
    // notMeasured.
    static void InputWords(const double* mixerMw, std::size_t count, int attenuationDb,
                           short notMeasured, short* out);

    // dB to a level word (1/163.84 dB), rounded and kept above the no-sample
    // word 0x8080.
    static short LevelWord(double db);

    // Power (mW) of signal i at the input, seen through a filter of 3 dB
    // bandwidth rbwKHz centred on fKHz, at time t; 0 while it is off or out
    // of the filter's reach. A sweep's point adds these, signal after signal
    // in the scene's order, to the noise of each sub-capture.
    double SignalPower(std::size_t i, double fKHz, double rbwKHz, double t, int path) const;

private:
    struct SignalNow {
        bool on = false;
        double centreKHz = 0.0;
    };
    // Where signal i is at time t and whether it is on.
    SignalNow Now(std::size_t i, double t) const;
    // Its power (mW) at the input at time t on the path.
    double PowerMw(std::size_t i, double t, int path) const;
    // The same from a band's plan, and the attenuation's share for the band.
    double PowerMw(const BandPlan& plan, std::size_t i, double t, int path) const;
    static double Attenuation(const BandPlan& plan, const BandRequest& request);
    // Share of the signal's power a filter of 3 dB bandwidth rbwKHz passes at
    // offset d (kHz) from the signal's centre.
    double Response(std::size_t i, double d, double rbwKHz) const;
    bool SignalNear(std::size_t i, double loKHz, double hiKHz, double rbwKHz, double t0,
                    double t1) const;

    // A signal that reaches bins first..last of a band with this power at the
    // mixer; response holds the shares of a signal that stays where it is
    // (null for a swept one, whose shares are worked out), centre where it is.
    struct Hit {
        std::size_t signal = 0;
        double power = 0.0;
        int first = 0;
        int last = -1;
        const double* response = nullptr;
        double centreKHz = 0.0;
    };

    const CSimScene& m_scene;
    std::uint64_t m_seed;
    // BandRow's work arrays: the signals that reach the band, and the powers
    // of the bins they reach.
    mutable std::vector<Hit> m_hits;
    mutable std::vector<double> m_reached;
};

} // namespace torvelsim
