// The simulated analyser's tables: limits and RBW steps per analysis kind.
#include "devicefacts.h"

#include "device/TorvelAPI.h"

#include <algorithm>
#include <array>

namespace torvelsim {

namespace {

struct KindFacts {
    int kind;
    int minKHz;
    int maxKHz;
    double pointSeconds;
    // Step in kHz per RBW index; 0 = the index is not usable by this kind.
    std::array<int, kTorvelRbwIndexCount> rbwStepKHz;
};

// Each index belongs to one sweep kind, so that an RBW index picks one sweep
// function: 0 the high-resolution sweep, 1-5 the normal sweep, 6 the
// high-speed sweep. Only the normal sweep is told its RBW index; every other
// kind measures with the one step it has. The band analyses (zero span, real
// time) use 250 kHz bins: 104 bins cover a 24 MHz band on the 2 MHz grid with
// room to spare; semi-real-time slices of 400 points are 100 MHz wide, the
// widest band the semi-real-time window shows. A zero-span or real-time block
// is one FFT of the wide IF (4 us for all its bins); a semi-real-time point
// dwells 25 us, so that a slice averaged 5 times (the default rejection rate)
// takes 50 ms.
constexpr std::array<KindFacts, 6> kKinds = {{
    {kTorvelKindNormal, 1000, 3000000, 10e-6, {0, 10, 20, 50, 100, 200, 0, 0, 0, 0, 0, 0, 0, 0}},
    {kTorvelKindHighSpeed, 1000, 3000000, 2e-6, {0, 0, 0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0}},
    {kTorvelKindHighResolution, 1000, 3000000, 50e-6, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {kTorvelKindZeroSpan, 10000, 3000000, 4e-6, {0, 250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {kTorvelKindSemiRealTime, 10000, 3000000, 25e-6, {0, 250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {kTorvelKindRealTime, 10000, 3000000, 4e-6, {0, 250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
}};

constexpr int kAllKinds = 63;

const KindFacts* Find(int kind) {
    for (const KindFacts& k : kKinds) {
        if (k.kind == kind)
            return &k;
    }
    return nullptr;
}

bool ValidSet(int kindSet) {
    return kindSet > 0 && (kindSet & ~kAllKinds) == 0;
}

} // namespace

bool IsSingleKind(int kind) {
    return Find(kind) != nullptr;
}

int MinFrequencyKHz(int kindSet) {
    if (!ValidSet(kindSet))
        return 0;
    int lowest = 0;
    bool any = false;
    for (const KindFacts& k : kKinds) {
        if (kindSet & k.kind) {
            lowest = any ? std::min(lowest, k.minKHz) : k.minKHz;
            any = true;
        }
    }
    return lowest;
}

int MaxFrequencyKHz(int kindSet) {
    if (!ValidSet(kindSet))
        return 0;
    int highest = 0;
    for (const KindFacts& k : kKinds) {
        if (kindSet & k.kind)
            highest = std::max(highest, k.maxKHz);
    }
    return highest;
}

int RbwStepKHz(int kindSet, int rbwIndex) {
    if (!ValidSet(kindSet) || rbwIndex < 0 || rbwIndex >= kTorvelRbwIndexCount)
        return 0;
    for (const KindFacts& k : kKinds) {
        if ((kindSet & k.kind) && k.rbwStepKHz[rbwIndex] != 0)
            return k.rbwStepKHz[rbwIndex];
    }
    return 0;
}

int FixedStepKHz(int kind) {
    const KindFacts* k = Find(kind);
    if (!k)
        return 0;
    for (int step : k->rbwStepKHz) {
        if (step != 0)
            return step;
    }
    return 0;
}

int SweepBlockPoints(int kind, int stepKHz) {
    if (stepKHz <= 0)
        return 0;
    if (kind == kTorvelKindHighSpeed)
        return kHighSpeedBlockPoints;
    return std::max(1, kSegmentKHz / stepKHz);
}

double PointSeconds(int kind) {
    const KindFacts* k = Find(kind);
    return k ? k->pointSeconds : 0.0;
}

int EffectiveAttenuation(int requestedDb) {
    const int limited = std::clamp(requestedDb, 0, kMaxAttenuationDb);
    return limited / kAttenuatorStepDb * kAttenuatorStepDb;
}

} // namespace torvelsim
