// The tasks: a block measured point after point, the zero-span capture of a
// band's power over time, the real-time capture of consecutive band spectra,
// and the semi-real-time sweep that goes on slice after slice. The triggered
// captures keep the samples before the trigger in a ring and are armed once
// the ring is full; a trigger is an edge: the level rises above (or falls
// below) the threshold from one sample to the next.
#include "simtask.h"

#include "devicefacts.h"

#include "device/TorvelAPI.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace torvelsim {

namespace {

// Words of a fixed-size block whose points above the highest frequency were
// not measured.
int MeasuredPoints(int startKHz, int stepKHz, int points, int maxKHz) {
    if (startKHz > maxKHz)
        return 0;
    return std::min(points, (maxKHz - startKHz) / stepKHz + 1);
}

class CBlockTask : public CSimTask {
public:
    CBlockTask(const TaskSetup& setup, const SweepRequest& sweep)
        : m_setup(setup), m_sweep(sweep) {}

    void Begin(double deviceTimeS) override { m_sweep.timeS = deviceTimeS + kTaskOverheadSeconds; }

    TaskPiece Next() override {
        TaskPiece piece;
        piece.endS = BlockSeconds(m_sweep);
        SweepRequest measured = m_sweep;
        measured.points =
            MeasuredPoints(m_sweep.startKHz, m_sweep.stepKHz, m_sweep.points, m_setup.maxKHz);
        measured.noise = m_setup.noise;
        piece.words = CSignalModel(*m_setup.scene, m_setup.sceneSeed).Sweep(measured);
        piece.words.resize(static_cast<std::size_t>(m_sweep.points), kNoSampleWord);
        piece.done = true;
        return piece;
    }

private:
    TaskSetup m_setup;
    SweepRequest m_sweep;
};

// Power (mW) at the mixer of a level word at the input.
double MixerMw(double inputDb, int attenuationDb) {
    return std::pow(10.0, (inputDb - attenuationDb) / 10.0);
}

// A value of a capture that was not measured (a bin above the highest
// frequency).
constexpr double kNotMeasured = -1.0;

// Edge trigger on one power at the mixer: type 1 fires when it rises above the
// threshold, type 2 when it falls below.
bool Fires(int type, double previous, double now, double threshold) {
    if (previous < 0.0 || now < 0.0)
        return false;
    // The converter clips above its overload level, so the trigger does too.
    const double overload = MixerMw(kOverloadLevelDbm, 0);
    previous = std::min(previous, overload);
    now = std::min(now, overload);
    if (type == 1)
        return now > threshold && previous <= threshold;
    if (type == 2)
        return now < threshold && previous >= threshold;
    return false;
}

// The part shared by the two triggered captures: a capture of `total` units
// (samples or blocks) of `unitWords` values each, taken `unitSeconds` apart,
// with `pre` units before the trigger unit. Units are powers at the mixer
// until they are kept, so that waiting for a trigger costs little.
class CCaptureTask : public CSimTask {
public:
    CCaptureTask(const TaskSetup& setup, int total, int unitWords, double unitSeconds, int pre,
                 int triggerType, int unitsPerPiece)
        : m_setup(setup), m_model(*setup.scene, setup.sceneSeed), m_total(total),
          m_unitWords(unitWords), m_unitSeconds(unitSeconds), m_pre(triggerType ? pre : 0),
          m_triggerType(triggerType), m_unitsPerPiece(unitsPerPiece) {
        m_ring.resize(static_cast<std::size_t>(m_pre) * static_cast<std::size_t>(unitWords));
        m_previous.resize(static_cast<std::size_t>(unitWords));
        m_unit.resize(static_cast<std::size_t>(unitWords));
    }

    void TakeBuffer(std::vector<short>& spare) override { m_out.swap(spare); }

    // A noise table the setup lacks is drawn here, on the task's thread, not
    // by the caller that starts the task.
    void Begin(double deviceTimeS) override {
        m_t0 = deviceTimeS + kTaskOverheadSeconds;
        // Every word of the data is written before the task hands it over; a
        // buffer taken over already has the size (a capture after capture).
        m_out.resize(static_cast<std::size_t>(m_total) * static_cast<std::size_t>(m_unitWords));
        auto factors = m_setup.noise;
        if (!factors)
            factors = std::make_shared<const CNoiseFactors>(m_setup.noiseSeed,
                                                            m_setup.scene->noiseSpreadDb);
        m_noise.emplace(std::move(factors), m_setup.noiseSeed);
    }

    TaskPiece Next() override {
        TaskPiece piece;
        if (m_triggerType != 0 && !m_waitReported) {
            // Waiting from the start: the ring before the trigger fills first.
            m_waitReported = true;
            m_nextWaitReportS = kTriggerWaitReportSeconds;
            piece.endS = 0.0;
            piece.progress.push_back(kProgressWaitingForTrigger);
            piece.waiting = true;
            return piece;
        }
        for (int n = 0; n < m_unitsPerPiece; ++n) {
            // A unit that goes straight into the data is wanted as words, written
            // at the data's end.
            const bool direct = m_triggerType == 0 || m_triggered;
            const bool gaveWords =
                Measure(UnitTime(), m_unit.data(), direct ? m_out.data() + m_filled : nullptr);
            ++m_taken;
            piece.endS = kTaskOverheadSeconds + static_cast<double>(m_taken) * m_unitSeconds;
            if (direct) {
                if (gaveWords)
                    m_filled += static_cast<std::size_t>(m_unitWords);
                else
                    Append(m_unit.data());
            } else if (Armed() && Triggers(m_previous.data(), m_unit.data())) {
                m_triggered = true;
                Unroll();
                if (m_pre < m_total)
                    Append(m_unit.data());
                piece.progress.push_back(kProgressTriggered);
            } else {
                Keep();
            }
            m_previous.swap(m_unit);
            if (m_filled == m_out.size()) {
                piece.done = true;
                piece.words = Finish(std::move(m_out));
                return piece;
            }
            if (!piece.progress.empty())
                return piece;
            if (m_triggerType != 0 && !m_triggered && piece.endS >= m_nextWaitReportS) {
                m_nextWaitReportS += kTriggerWaitReportSeconds;
                piece.progress.push_back(kProgressWaitingForTrigger);
                piece.waiting = true;
                return piece;
            }
        }
        return piece;
    }

protected:
    // Measures the unit taken at time t: powers at the mixer (mW), or
    // kNotMeasured. Given words (the unit goes straight into the data), a task
    // may give the unit's level words instead, and then returns true.
    virtual bool Measure(double t, double* unit, short* words) = 0;
    // True when the unit now fires the trigger against the one before.
    virtual bool Triggers(const double* previous, const double* now) const = 0;
    // The task's data from the captured units' words.
    virtual std::vector<short> Finish(std::vector<short> words) const { return words; }

    TaskSetup m_setup;
    CSignalModel m_model;
    std::optional<CNoiseTable> m_noise; // from Begin on

private:
    double UnitTime() const { return m_t0 + static_cast<double>(m_taken) * m_unitSeconds; }
    // Armed once the units before the trigger are all there and there is a
    // unit before this one to compare with.
    bool Armed() const { return m_taken > m_pre && m_taken >= 2; }
    void Append(const double* unit) {
        CSignalModel::InputWords(unit, static_cast<std::size_t>(m_unitWords), m_setup.attenuationDb,
                                 kNoSampleWord, m_out.data() + m_filled);
        m_filled += static_cast<std::size_t>(m_unitWords);
    }
    void Keep() {
        if (m_pre == 0)
            return;
        std::copy(m_unit.begin(), m_unit.end(),
                  m_ring.begin() + static_cast<std::ptrdiff_t>(m_head) * m_unitWords);
        m_head = (m_head + 1) % m_pre;
    }
    // The units before the trigger, oldest first.
    void Unroll() {
        for (int i = 0; i < m_pre; ++i) {
            const int at = (m_head + i) % m_pre;
            Append(m_ring.data() + static_cast<std::ptrdiff_t>(at) * m_unitWords);
        }
        m_ring.clear();
        m_ring.shrink_to_fit();
    }

    const int m_total;
    const int m_unitWords;
    const double m_unitSeconds;
    const int m_pre;
    const int m_triggerType;
    const int m_unitsPerPiece;
    double m_t0 = 0.0;
    long long m_taken = 0;
    bool m_triggered = false;
    bool m_waitReported = false;
    double m_nextWaitReportS = 0.0;
    std::vector<double> m_ring;
    int m_head = 0;
    std::vector<double> m_previous;
    std::vector<double> m_unit;
    // The data, sized from Begin on; the words before m_filled are written.
    std::vector<short> m_out;
    std::size_t m_filled = 0;
};

class CZeroSpanTask : public CCaptureTask {
public:
    CZeroSpanTask(const TaskSetup& setup, const ZeroSpanCapture& c)
        : CCaptureTask(setup, c.samples, 1, kZeroSpanSampleSeconds,
                       c.samples - c.postTriggerSamples, c.triggerType,
                       std::clamp(20000 / (c.lastBin - c.firstBin + 1), 1, 500)),
          m_capture(c) {
        m_band.startKHz = c.baseKHz + c.firstBin * c.stepKHz;
        m_band.stepKHz = c.stepKHz;
        m_band.bins =
            MeasuredPoints(m_band.startKHz, c.stepKHz, c.lastBin - c.firstBin + 1, setup.maxKHz);
        m_band.attenuationDb = setup.attenuationDb;
        m_band.rbwKHz = RbwBandwidthKHz(c.stepKHz);
        m_band.path = setup.path;
        m_power.resize(static_cast<std::size_t>(std::max(1, m_band.bins)));
        m_plan = m_model.Plan(m_band);
        // The level is a level word at the input.
        m_threshold = MixerMw(c.triggerLevel / 163.84, setup.attenuationDb);
    }

protected:
    // The power sum of the bins.
    bool Measure(double t, double* unit, short*) override {
        if (m_band.bins <= 0) {
            unit[0] = kNotMeasured;
            return false;
        }
        m_model.Band(m_band, m_plan, t, *m_noise, m_power.data());
        double sum = 0.0;
        for (int b = 0; b < m_band.bins; ++b)
            sum += m_power[static_cast<std::size_t>(b)];
        unit[0] = sum;
        return false;
    }

    bool Triggers(const double* previous, const double* now) const override {
        return Fires(m_capture.triggerType, previous[0], now[0], m_threshold);
    }

private:
    ZeroSpanCapture m_capture;
    BandRequest m_band;
    CSignalModel::BandPlan m_plan;
    std::vector<double> m_power;
    double m_threshold = 0.0;
};

class CRealTimeTask : public CCaptureTask {
public:
    CRealTimeTask(const TaskSetup& setup, const RealTimeCapture& c)
        : CCaptureTask(setup, kRealTimeBlocks, kRealTimeBlockWords, kRealTimeBlockSeconds,
                       c.triggerBlock, c.triggerType, 1250),
          m_capture(c) {
        m_band = RealTimeBand(setup, c);
        if (setup.realTimePlan && setup.realTimePlan->request == m_band)
            m_plan = setup.realTimePlan;
        else
            m_plan = std::make_shared<const CSignalModel::BandPlan>(m_model.Plan(m_band));
        // The threshold is relative to the noise floor the bins show; at the
        // mixer that floor does not depend on the attenuation.
        m_threshold = MixerMw(m_plan->floorDbm + c.senseHundredths / 100.0, 0);
    }

    void Begin(double deviceTimeS) override {
        CCaptureTask::Begin(deviceTimeS);
        const double floor = m_plan->floorMw;
        m_noiseWords = m_setup.noiseWords;
        if (!m_noiseWords || !m_setup.noise || m_noiseWords->FloorMw() != floor ||
            m_noiseWords->AttenuationDb() != m_band.attenuationDb)
            m_noiseWords = std::make_shared<const CNoiseWords>(m_noise->Factors(), floor,
                                                               m_band.attenuationDb);
    }

protected:
    // Each block reads its noise from one row of the table; its words come
    // from the table's words but where a signal reaches. The table is cut
    // into stretches of kRowMax entries; each block takes the stretch after
    // the one before (the capture's first anywhere) and its row starts at a
    // random place inside it. So no two blocks of any run of kStretches share
    // an entry (a capture is such a run, the blocks before its trigger
    // included), and a capture waiting for its trigger does not meet the same
    // noise again every kStretches blocks: a level only a few entries of the
    // table pass fires sooner or later, as on the device.
    static constexpr std::size_t kStretches = CNoiseFactors::kSize / CNoiseFactors::kRowMax;
    static_assert(kRealTimeBlocks <= static_cast<int>(kStretches));
    static_assert(kRealTimeBlockWords <= static_cast<int>(CNoiseFactors::kRowMax));
    bool Measure(double t, double* unit, short* words) override {
        m_stretch =
            m_stretch ? (*m_stretch + 1) % kStretches : m_noise->NextRow() / CNoiseFactors::kRowMax;
        const std::size_t row =
            *m_stretch * CNoiseFactors::kRowMax +
            m_noise->NextRow() % (CNoiseFactors::kRowMax - kRealTimeBlockWords + 1);
        const int bins = std::max(0, m_band.bins);
        if (words) {
            m_model.BandRow(m_band, *m_plan, t, m_noise->Factors(), row, m_noiseWords.get(),
                            nullptr, words);
            std::fill(words + bins, words + kRealTimeBlockWords, kNoSampleWord);
            return true;
        }
        m_model.BandRow(m_band, *m_plan, t, m_noise->Factors(), row, nullptr, unit, nullptr);
        std::fill(unit + bins, unit + kRealTimeBlockWords, kNotMeasured);
        return false;
    }

    // Any bin crossing the threshold.
    bool Triggers(const double* previous, const double* now) const override {
        for (int b = 0; b < kRealTimeBlockWords; ++b) {
            if (Fires(m_capture.triggerType, previous[b], now[b], m_threshold))
                return true;
        }
        return false;
    }

private:
    RealTimeCapture m_capture;
    BandRequest m_band;
    std::shared_ptr<const CSignalModel::BandPlan> m_plan;
    double m_threshold = 0.0;
    std::shared_ptr<const CNoiseWords> m_noiseWords; // from Begin on
    std::optional<std::size_t> m_stretch;            // the last block's
};

class CSemiRealTimeTask : public CSimTask {
public:
    CSemiRealTimeTask(const TaskSetup& setup, const SemiRealTimeSweep& s)
        : m_setup(setup), m_model(*setup.scene, setup.sceneSeed) {
        m_sweep.startKHz = s.startKHz;
        m_sweep.stepKHz = s.stepKHz;
        m_sweep.points = MeasuredPoints(s.startKHz, s.stepKHz, kSliceBins, setup.maxKHz);
        m_sweep.attenuationDb = setup.attenuationDb;
        m_sweep.captures = s.captures;
        m_sweep.rbwKHz = RbwBandwidthKHz(s.stepKHz);
        m_sweep.pointSeconds = PointSeconds(kTorvelKindSemiRealTime);
        m_sweep.path = setup.path;
        m_sliceSeconds = kSliceBins * s.captures * m_sweep.pointSeconds;
    }

    void Begin(double deviceTimeS) override { m_t0 = deviceTimeS + kTaskOverheadSeconds; }

    TaskPiece Next() override {
        TaskPiece piece;
        m_sweep.timeS = m_t0 + static_cast<double>(m_slices) * m_sliceSeconds;
        m_sweep.noiseSeed = m_setup.noiseSeed + static_cast<std::uint64_t>(m_slices);
        m_sweep.noise = m_setup.noise;
        piece.words = m_model.Sweep(m_sweep);
        piece.words.resize(kSliceBins, kNoSampleWord);
        ++m_slices;
        piece.endS = kTaskOverheadSeconds + static_cast<double>(m_slices) * m_sliceSeconds;
        piece.slice = true;
        return piece;
    }

    int SliceWords() const override { return kSliceBins; }

private:
    TaskSetup m_setup;
    CSignalModel m_model;
    SweepRequest m_sweep;
    double m_sliceSeconds = 0.0;
    double m_t0 = 0.0;
    long long m_slices = 0;
};

} // namespace

double BlockSeconds(const SweepRequest& sweep) {
    return kTaskOverheadSeconds +
           static_cast<double>(sweep.points) * sweep.captures * sweep.catcher * sweep.pointSeconds;
}

std::unique_ptr<CSimTask> MakeBlockTask(const TaskSetup& setup, const SweepRequest& sweep) {
    return std::make_unique<CBlockTask>(setup, sweep);
}

std::unique_ptr<CSimTask> MakeZeroSpanTask(const TaskSetup& setup, const ZeroSpanCapture& capture) {
    return std::make_unique<CZeroSpanTask>(setup, capture);
}

BandRequest RealTimeBand(const TaskSetup& setup, const RealTimeCapture& capture) {
    BandRequest band;
    band.startKHz = capture.baseKHz;
    band.stepKHz = capture.stepKHz;
    band.bins = MeasuredPoints(capture.baseKHz, capture.stepKHz, kRealTimeBlockWords, setup.maxKHz);
    band.attenuationDb = setup.attenuationDb;
    band.rbwKHz = RbwBandwidthKHz(capture.stepKHz);
    band.path = setup.path;
    return band;
}

std::unique_ptr<CSimTask> MakeRealTimeTask(const TaskSetup& setup, const RealTimeCapture& capture) {
    return std::make_unique<CRealTimeTask>(setup, capture);
}

std::unique_ptr<CSimTask> MakeSemiRealTimeTask(const TaskSetup& setup,
                                               const SemiRealTimeSweep& sweep) {
    return std::make_unique<CSemiRealTimeTask>(setup, sweep);
}

} // namespace torvelsim
