// The device's tasks as the task thread runs them. A task measures in pieces
// of device time; after each piece the thread paces to the wall clock, checks
// for termination and unplugging, and carries out what the piece reports:
// intermediate-data messages, a semi-real-time slice, or the task's data.
//
// A task is built on the GUI thread with its arguments already checked and is
// then used by the task thread alone.
#pragma once

#include "signalmodel.h"

#include "platform/wintypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace torvelsim {

struct TaskPiece {
    // Device time since the task began at the end of this piece.
    double endS = 0.0;
    // Intermediate-data messages (their lParam) to post at endS.
    std::vector<LPARAM> progress;
    // The progress is a waiting-for-trigger report: at speed 0 such reports
    // are still spaced in wall time, so a trigger that never comes does not
    // flood the window.
    bool waiting = false;
    // words hold one slice of a continuing task.
    bool slice = false;
    // words hold the task's data; the task ends.
    bool done = false;
    std::vector<short> words;
};

class CSimTask {
public:
    virtual ~CSimTask() = default;
    // Called once by the task thread before the first piece: the device time
    // the task begins at.
    virtual void Begin(double deviceTimeS) = 0;
    virtual TaskPiece Next() = 0;
    // Called by the task thread before Begin with the data of a task before,
    // which nobody reads any more: a task that delivers its words in one
    // vector may take it (swap) and write its data there instead of into
    // memory of its own.
    virtual void TakeBuffer(std::vector<short>& /*spare*/) {}
    // Words a continuing task delivers per slice (0 for the others).
    virtual int SliceWords() const { return 0; }
};

// What every task shares.
struct TaskSetup {
    std::shared_ptr<const CSimScene> scene;
    std::uint64_t sceneSeed = 0;
    std::uint64_t noiseSeed = 0;
    int attenuationDb = 0; // as set on the attenuator
    int path = 0;          // RF input
    int maxKHz = 0;        // points above this read as the no-sample word
    // The scene's noise table for the fast captures (a task without one draws
    // its own from noiseSeed), and its words at the real-time band's floor and
    // the attenuation (made by the task when missing or made for another).
    std::shared_ptr<const CNoiseFactors> noise;
    std::shared_ptr<const CNoiseWords> noiseWords;
    // The scene's plan of the real-time band (RealTimeBand), made once for
    // the captures after capture that ask for it (a task makes its own when
    // missing or made for another band).
    std::shared_ptr<const CSignalModel::BandPlan> realTimePlan;
};

// One block of points measured point after point (the sweeps, the zero-span
// spectrum and the single high-resolution block).
std::unique_ptr<CSimTask> MakeBlockTask(const TaskSetup& setup, const SweepRequest& sweep);

struct ZeroSpanCapture {
    int baseKHz = 0;
    int stepKHz = 1;
    int firstBin = 0;
    int lastBin = 0;
    int samples = 1;
    int postTriggerSamples = 0;
    int triggerType = 0;  // 0 free run, 1 rising above, 2 falling below
    int triggerLevel = 0; // level word
};
std::unique_ptr<CSimTask> MakeZeroSpanTask(const TaskSetup& setup, const ZeroSpanCapture& capture);

struct RealTimeCapture {
    int baseKHz = 0;
    int stepKHz = 1;
    int triggerType = 0;     // 0 immediate, 1 a bin rises above, 2 a bin falls below
    int senseHundredths = 0; // threshold, 1/100 dB above the noise floor
    int triggerBlock = 0;    // index of the trigger block within the capture
};
// The band a real-time capture measures.
BandRequest RealTimeBand(const TaskSetup& setup, const RealTimeCapture& capture);
std::unique_ptr<CSimTask> MakeRealTimeTask(const TaskSetup& setup, const RealTimeCapture& capture);

struct SemiRealTimeSweep {
    int startKHz = 0;
    int stepKHz = 1;
    int captures = 1;
};
std::unique_ptr<CSimTask> MakeSemiRealTimeTask(const TaskSetup& setup,
                                               const SemiRealTimeSweep& sweep);

// Nominal device time of a block task.
double BlockSeconds(const SweepRequest& sweep);

} // namespace torvelsim
