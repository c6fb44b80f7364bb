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

// The level word of a point that was not measured.
constexpr short kNoSampleWord = static_cast<short>(0x8080);

// Zero span and real time measure a block of 104 bins from a base frequency;
// the base lies on the 2 MHz grid below the band, at most one grid step below
// the kind's lowest frequency.
constexpr int kBandBins = 104;
// A zero-span capture takes one sample every 100 us, at most 500 000 of them.
constexpr double kZeroSpanSampleSeconds = 100e-6;
constexpr int kMaxZeroSpanSamples = 500000;
// A real-time capture is 256 blocks, 4 us apart; each block is 128 bins from
// the base, so that it reaches past the top of a band whose 1 MHz grid ends
// up to 27 MHz above the base.
constexpr int kRealTimeBlocks = 256;
constexpr int kRealTimeBlockWords = 128;
constexpr double kRealTimeBlockSeconds = 4e-6;
// A semi-real-time slice is 400 points; the device keeps at most 100 slices
// that the program has not asked for.
constexpr int kSliceBins = 400;
constexpr int kSliceBufferSlices = 100;
// While a capture waits for its trigger the device reports so every 0.5 s.
constexpr double kTriggerWaitReportSeconds = 0.5;

// Bits of the intermediate-data message's lParam for the triggered captures.
constexpr LPARAM kProgressWaitingForTrigger = 0x0800;
constexpr LPARAM kProgressTriggered = 0x1000;

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
