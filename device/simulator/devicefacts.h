// The simulated analyser's fixed facts: identity, reference level, attenuator,
// frequency limits and RBW steps per analysis kind, and how many points a sweep
// block holds and how long measuring it takes.
#pragma once

#include "platform/wintypes.h"

namespace torvelsim {

constexpr WORD kSerialNumber = 20517;
// Major version in the high bits, minor in the low four: 0x25 is 2.5.
constexpr WORD kFirmwareVersion = 0x25;

// Reference level at attenuation 0: the top of the analyser's useful range.
constexpr double kZeroReferenceLevelDbm = -10.0;
// Signals reaching the mixer above this level overload the converter and are
// clipped there.
constexpr double kOverloadLevelDbm = kZeroReferenceLevelDbm + 10.0;
constexpr int kMaxAttenuationDb = 50;
constexpr int kAttenuatorStepDb = 10;

// A normal or high-resolution sweep block is one 2 MHz segment of the analyser's
// narrow IF; a high-speed block is a fixed number of points of the wide IF.
constexpr int kSegmentKHz = 2000;
constexpr int kHighSpeedBlockPoints = 100;

// Averaging (rejection rate) and peak catching (catcher rate) are bounded by
// the analyser's capture memory.
constexpr int kMaxRejectionRate = 64;
constexpr int kMaxCatcherRate = 16;

// Time to retune and hand over one block, whatever its size.
constexpr double kTaskOverheadSeconds = 0.5e-3;

// True when kind is exactly one of the six analysis-kind bits.
bool IsSingleKind(int kind);

// Lowest / highest frequency (kHz) of the kinds in the set; 0 for an empty or
// unknown set.
int MinFrequencyKHz(int kindSet);
int MaxFrequencyKHz(int kindSet);

// Step in kHz between points for the RBW index, answered by the first kind of
// the set (in bit order) that can use the index; 0 when none can.
int RbwStepKHz(int kindSet, int rbwIndex);

// The step of a kind whose task is not told an RBW index (every kind but the
// normal sweep): the kind has one usable step.
int FixedStepKHz(int kind);

// The resolution filter's 3 dB bandwidth for a point step: two steps, so that a
// carrier between two points still shows within a dB of its level.
constexpr double RbwBandwidthKHz(int stepKHz) {
    return 2.0 * stepKHz;
}

// Points of one sweep block of a single kind at the given step.
int SweepBlockPoints(int kind, int stepKHz);

// Measuring time of one capture of one point for a single kind.
double PointSeconds(int kind);

// The attenuation the analyser actually sets: limited to 0..max and cut down to
// a whole attenuator step.
int EffectiveAttenuation(int requestedDb);

} // namespace torvelsim
