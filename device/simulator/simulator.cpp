// The simulated analyser: link state, fault timeline and task starts.
#include "simulator.h"

#include "devicefacts.h"
#include "scenereader.h"

#include "device/TorvelAPI.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace torvelsim {

namespace {

constexpr const char* kSceneVariable = "TORVEL_SIM_SCENE";
constexpr const char* kSpeedVariable = "TORVEL_SIM_SPEED";
constexpr double kMaxTimeScale = 1000.0;

// TORVEL_SIM_SPEED multiplies every task's duration: 0 = no waiting, 1 = real
// time. Anything unreadable means real time.
double ReadTimeScale() {
    const char* text = std::getenv(kSpeedVariable);
    if (!text || !*text)
        return 1.0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > kMaxTimeScale)
        return 1.0;
    return v;
}

CSimulator::Clock::duration Seconds(double s) {
    return std::chrono::duration_cast<CSimulator::Clock::duration>(
        std::chrono::duration<double>(s));
}

bool Contains(const std::vector<std::uint32_t>& list, std::uint32_t n) {
    return std::find(list.begin(), list.end(), n) != list.end();
}

std::uint64_t Identity(const void* p) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

// Everything a task's words depend on but the device time it begins at: the
// kind and the setup (the scene and tables are told by their address: the
// task holds them, so no other can take that address while it lives), then
// the task's own parameters.
template <std::size_t N>
CTaskWorker::TaskKey KeyOf(int kind, const TaskSetup& s, const std::array<std::uint64_t, N>& task) {
    CTaskWorker::TaskKey key{static_cast<std::uint64_t>(kind),
                             Identity(s.scene.get()),
                             s.sceneSeed,
                             s.noiseSeed,
                             static_cast<std::uint64_t>(s.attenuationDb),
                             static_cast<std::uint64_t>(s.path),
                             static_cast<std::uint64_t>(s.maxKHz),
                             Identity(s.noise.get())};
    constexpr std::size_t kSetupEntries = 8;
    static_assert(N <= std::tuple_size_v<CTaskWorker::TaskKey> - kSetupEntries);
    std::copy(task.begin(), task.end(), key.begin() + kSetupEntries);
    return key;
}

CTaskWorker::TaskKey RealTimeKey(const TaskSetup& s, const RealTimeCapture& c) {
    return KeyOf(kTorvelKindRealTime, s,
                 std::array<std::uint64_t, 6>{Identity(s.noiseWords.get()),
                                              static_cast<std::uint64_t>(c.baseKHz),
                                              static_cast<std::uint64_t>(c.stepKHz),
                                              static_cast<std::uint64_t>(c.triggerType),
                                              static_cast<std::uint64_t>(c.senseHundredths),
                                              static_cast<std::uint64_t>(c.triggerBlock)});
}

CTaskWorker::TaskKey SweepKey(int kind, const TaskSetup& s, const SweepRequest& r) {
    return KeyOf(kind, s,
                 std::array<std::uint64_t, 7>{
                     static_cast<std::uint64_t>(r.startKHz), static_cast<std::uint64_t>(r.stepKHz),
                     static_cast<std::uint64_t>(r.points), static_cast<std::uint64_t>(r.captures),
                     static_cast<std::uint64_t>(r.catcher), std::bit_cast<std::uint64_t>(r.rbwKHz),
                     std::bit_cast<std::uint64_t>(r.pointSeconds)});
}

} // namespace

CSimulator::CSimulator() : m_worker(m_lastError) {}

CSimulator::~CSimulator() {
    m_worker.Stop();
}

CSimulator& CSimulator::Instance() {
    static CSimulator simulator;
    return simulator;
}

bool CSimulator::LoadScene() {
    const char* env = std::getenv(kSceneVariable);
    const std::string path = env ? env : "";
    if (m_scene && path == m_scenePath)
        return true;

    CSimScene scene = CSimScene::Default();
    if (!path.empty()) {
        CSceneReader reader;
        if (!reader.ReadFile(path, scene)) {
            std::fprintf(stderr, "Torvel simulator: scene file %s: %s\n", path.c_str(),
                         reader.Error().c_str());
            m_scene.reset();
            m_scenePath.clear();
            return false;
        }
    }
    m_sceneSeed = scene.seed
                      ? *scene.seed
                      : (std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}();
    m_scene = std::make_shared<const CSimScene>(std::move(scene));
    // One noise table for the scene: each task reads it in its own order.
    m_noise = std::make_shared<const CNoiseFactors>(m_sceneSeed, m_scene->noiseSpreadDb);
    m_noiseWords.reset();
    m_realTimePlan.reset();
    m_scenePath = path;
    m_loadedAt = Clock::now();
    m_taskCount = 0;
    m_worker.ResetClock();
    return true;
}

std::optional<CSimulator::Clock::time_point> CSimulator::LastUnplug(Clock::time_point now) const {
    const SimFaults& f = m_scene->faults;
    if (!f.unplugAtS && !f.unplugEveryS)
        return std::nullopt;
    // The first unplug comes at UnplugAt, or one period after loading.
    const auto first = m_loadedAt + Seconds(f.unplugAtS ? *f.unplugAtS : *f.unplugEveryS);
    if (now < first)
        return std::nullopt;
    if (!f.unplugEveryS)
        return first;
    const auto period = Seconds(*f.unplugEveryS);
    return first + period * ((now - first) / period);
}

bool CSimulator::Plugged(Clock::time_point now) const {
    const auto unplug = LastUnplug(now);
    if (!unplug)
        return true;
    const SimFaults& f = m_scene->faults;
    return f.replugAfterS && now >= *unplug + Seconds(*f.replugAfterS);
}

std::optional<CSimulator::Clock::time_point> CSimulator::NextUnplug(Clock::time_point now) const {
    const SimFaults& f = m_scene->faults;
    if (!f.unplugAtS && !f.unplugEveryS)
        return std::nullopt;
    const auto last = LastUnplug(now);
    if (!last)
        return m_loadedAt + Seconds(f.unplugAtS ? *f.unplugAtS : *f.unplugEveryS);
    if (!f.unplugEveryS)
        return std::nullopt;
    return *last + Seconds(*f.unplugEveryS);
}

int CSimulator::Open(HWND hwnd, UINT messageBase) {
    m_worker.Terminate();
    m_link = Link::Closed;
    m_timeScale = ReadTimeScale();
    if (!LoadScene() || !Plugged(Clock::now())) {
        m_lastError = kTorvelErrorNoDevice;
        return 0;
    }
    m_link = Link::Open;
    m_path = 0;
    m_openedAt = Clock::now();
    m_hwnd = hwnd;
    m_messageBase = messageBase;
    m_lastError = kTorvelErrorNone;
    return 1;
}

void CSimulator::Close() {
    m_worker.Stop();
    m_link = Link::Closed;
}

void CSimulator::Terminate() {
    m_worker.Terminate();
}

bool CSimulator::CheckLink() {
    if (m_link == Link::Open) {
        // Unplugged at any moment since the link was opened: the link stays
        // lost, even when the device is back, until it is opened again.
        const auto unplug = LastUnplug(Clock::now());
        if (unplug && *unplug > m_openedAt)
            m_link = Link::Lost;
    }
    switch (m_link) {
    case Link::Open:
        return true;
    case Link::Closed:
        m_lastError = kTorvelErrorNotOpen;
        return false;
    case Link::Lost:
        m_lastError = kTorvelErrorRemoved;
        return false;
    }
    return false;
}

int CSimulator::Refuse(int error) {
    m_lastError = error;
    return 0;
}

TaskSetup CSimulator::Setup(int kind, int attenuation, std::uint32_t taskNumber) const {
    TaskSetup setup;
    setup.scene = m_scene;
    setup.sceneSeed = m_sceneSeed;
    setup.noiseSeed = NoiseSeed(taskNumber);
    setup.attenuationDb = EffectiveAttenuation(attenuation);
    setup.path = m_path;
    setup.maxKHz = MaxFrequencyKHz(kind);
    setup.noise = m_noise;
    return setup;
}

std::uint64_t CSimulator::NoiseSeed(std::uint32_t taskNumber) const {
    return m_sceneSeed ^ (taskNumber * 0x9E3779B97F4A7C15ULL);
}

int CSimulator::Launch(BYTE tag, std::uint32_t taskNumber, std::unique_ptr<CSimTask> task,
                       std::optional<CTaskWorker::Repeat> repeat) {
    const auto now = Clock::now();
    CTaskWorker::Job job;
    job.hwnd = m_hwnd;
    job.messageBase = m_messageBase;
    job.tag = tag;
    job.task = std::move(task);
    job.repeat = std::move(repeat);
    job.timeScale = m_timeScale;
    job.unplugAt = NextUnplug(now);
    const SimFaults& faults = m_scene->faults;
    job.fail = Contains(faults.failTasks, taskNumber);
    if (Contains(faults.shortDataTasks, taskNumber)) {
        // Half of what one delivery holds when no count is given.
        job.shortCount = faults.shortDataCount ? *faults.shortDataCount : -1;
    }
    // Cleared before the task thread can report: a task failing at once must
    // leave its code for the GUI thread to read.
    m_lastError = kTorvelErrorNone;
    if (!m_worker.Start(std::move(job)))
        return Refuse(kTorvelErrorTaskFailed);
    return 1;
}

bool CSimulator::BandBaseInRange(int kind, int baseKHz) {
    // The base lies on the 2 MHz grid below the band the program shows, so it
    // may be up to one grid step below the kind's lowest frequency.
    return baseKHz >= MinFrequencyKHz(kind) - kSegmentKHz && baseKHz <= MaxFrequencyKHz(kind);
}

int CSimulator::StartSweep(int kind, BYTE tag, int startKHz, int stepKHz, int attenuation,
                           int rejectionRate, int catcherRate) {
    if (!CheckLink())
        return 0;
    if (m_worker.Busy())
        return Refuse(kTorvelErrorBusy);
    const int maxKHz = MaxFrequencyKHz(kind);
    if (stepKHz <= 0 || startKHz < 0 || startKHz > maxKHz)
        return Refuse(kTorvelErrorBadParameter);

    // A block never reaches past the analyser's highest frequency.
    const auto blockPoints = [&](int fromKHz) {
        return std::min(SweepBlockPoints(kind, stepKHz), (maxKHz - fromKHz) / stepKHz + 1);
    };
    const int points = blockPoints(startKHz);
    const std::uint32_t taskNumber = ++m_taskCount;
    const TaskSetup setup = Setup(kind, attenuation, taskNumber);

    SweepRequest sweep;
    sweep.startKHz = startKHz;
    sweep.stepKHz = stepKHz;
    sweep.points = points;
    sweep.attenuationDb = setup.attenuationDb;
    sweep.captures = std::clamp(rejectionRate, 1, kMaxRejectionRate);
    sweep.catcher = kind == kTorvelKindHighSpeed ? std::clamp(catcherRate, 1, kMaxCatcherRate) : 1;
    sweep.rbwKHz = RbwBandwidthKHz(stepKHz);
    sweep.pointSeconds = PointSeconds(kind);
    sweep.path = setup.path;
    sweep.noiseSeed = setup.noiseSeed;
    // A window sweeps its span block after block: the next block begins where
    // this one ends, unless the window asked for this block twice in a row (a
    // span of one block), or this one reaches the top of the range. The first
    // block of the next sweep is not foreseen: its start measures anew.
    const bool again = m_lastBlock == std::array<int, 3>{kind, startKHz, stepKHz};
    m_lastBlock = {kind, startKHz, stepKHz};
    SweepRequest next = sweep;
    next.startKHz = startKHz + points * stepKHz;
    if (again || next.startKHz > maxKHz)
        next.startKHz = startKHz;
    next.points = blockPoints(next.startKHz);
    return LaunchBlock(kind, tag, taskNumber, setup, sweep, next);
}

int CSimulator::LaunchBlock(int kind, BYTE tag, std::uint32_t taskNumber, const TaskSetup& setup,
                            const SweepRequest& sweep, SweepRequest next) {
    const TaskSetup nextSetup = NextSetup(setup, taskNumber);
    next.noiseSeed = nextSetup.noiseSeed;
    return LaunchAhead(tag, taskNumber,
                       {SweepKey(kind, setup, sweep), SweepKey(kind, nextSetup, next),
                        [nextSetup, next] { return MakeBlockTask(nextSetup, next); }},
                       [&] { return MakeBlockTask(setup, sweep); });
}

TaskSetup CSimulator::NextSetup(const TaskSetup& setup, std::uint32_t taskNumber) const {
    TaskSetup next = setup;
    next.noiseSeed = NoiseSeed(taskNumber + 1);
    return next;
}

int CSimulator::LaunchAhead(BYTE tag, std::uint32_t taskNumber, CTaskWorker::Repeat repeat,
                            const std::function<std::unique_ptr<CSimTask>()>& make) {
    // This task is the one measured ahead when the keys agree; the task
    // thread then measures repeat's next one ahead.
    std::unique_ptr<CSimTask> task;
    if (!m_worker.MeasuredAhead(repeat.key))
        task = make();
    return Launch(tag, taskNumber, std::move(task), std::move(repeat));
}

int CSimulator::StartZeroSpanSpectrum(BYTE tag, int baseKHz, int attenuation) {
    if (!CheckLink())
        return 0;
    if (m_worker.Busy())
        return Refuse(kTorvelErrorBusy);
    const int step = FixedStepKHz(kTorvelKindZeroSpan);
    if (!BandBaseInRange(kTorvelKindZeroSpan, baseKHz))
        return Refuse(kTorvelErrorBadParameter);
    const std::uint32_t taskNumber = ++m_taskCount;
    const TaskSetup setup = Setup(kTorvelKindZeroSpan, attenuation, taskNumber);
    SweepRequest sweep;
    sweep.startKHz = baseKHz;
    sweep.stepKHz = step;
    sweep.points = kBandBins;
    sweep.attenuationDb = setup.attenuationDb;
    sweep.rbwKHz = RbwBandwidthKHz(step);
    sweep.pointSeconds = PointSeconds(kTorvelKindZeroSpan);
    sweep.path = setup.path;
    sweep.noiseSeed = setup.noiseSeed;
    // The window sweeps its band again as soon as a sweep is in.
    return LaunchBlock(kTorvelKindZeroSpan, tag, taskNumber, setup, sweep, sweep);
}

int CSimulator::StartZeroSpanCapture(BYTE tag, int baseKHz, int attenuation, int triggerType,
                                     int triggerLevel, int firstBin, int lastBin, int samples,
                                     int postTriggerSamples) {
    if (!CheckLink())
        return 0;
    if (m_worker.Busy())
        return Refuse(kTorvelErrorBusy);
    if (!BandBaseInRange(kTorvelKindZeroSpan, baseKHz) || triggerType < 0 || triggerType > 2 ||
        firstBin < 0 || lastBin >= kBandBins || firstBin > lastBin || samples < 1 ||
        samples > kMaxZeroSpanSamples || postTriggerSamples < 0 || postTriggerSamples > samples)
        return Refuse(kTorvelErrorBadParameter);
    const std::uint32_t taskNumber = ++m_taskCount;
    ZeroSpanCapture capture;
    capture.baseKHz = baseKHz;
    capture.stepKHz = FixedStepKHz(kTorvelKindZeroSpan);
    capture.firstBin = firstBin;
    capture.lastBin = lastBin;
    capture.samples = samples;
    capture.postTriggerSamples = postTriggerSamples;
    capture.triggerType = triggerType;
    capture.triggerLevel = triggerLevel;
    return Launch(tag, taskNumber,
                  MakeZeroSpanTask(Setup(kTorvelKindZeroSpan, attenuation, taskNumber), capture));
}

int CSimulator::StartRealTime(BYTE tag, int baseKHz, int attenuation, int triggerType, int sense,
                              int triggerPosition) {
    if (!CheckLink())
        return 0;
    if (m_worker.Busy())
        return Refuse(kTorvelErrorBusy);
    if (!BandBaseInRange(kTorvelKindRealTime, baseKHz) || triggerType < 0 || triggerType > 2 ||
        triggerPosition < 0 || triggerPosition >= kRealTimeBlocks)
        return Refuse(kTorvelErrorBadParameter);
    const std::uint32_t taskNumber = ++m_taskCount;
    RealTimeCapture capture;
    capture.baseKHz = baseKHz;
    capture.stepKHz = FixedStepKHz(kTorvelKindRealTime);
    capture.triggerType = triggerType;
    capture.senseHundredths = sense;
    capture.triggerBlock = triggerPosition;
    TaskSetup setup = Setup(kTorvelKindRealTime, attenuation, taskNumber);
    // The band's plan and the noise's words at its floor (the scene's, at the
    // fixed step), made again with a new scene, band or attenuation: a
    // capture after capture reuses them.
    const BandRequest band = RealTimeBand(setup, capture);
    if (!m_realTimePlan || m_realTimePlan->request != band)
        m_realTimePlan = std::make_shared<const CSignalModel::BandPlan>(
            CSignalModel(*m_scene, m_sceneSeed).Plan(band));
    setup.realTimePlan = m_realTimePlan;
    if (!m_noiseWords || m_noiseWords->AttenuationDb() != setup.attenuationDb)
        m_noiseWords = std::make_shared<const CNoiseWords>(*m_noise, m_realTimePlan->floorMw,
                                                           setup.attenuationDb);
    setup.noiseWords = m_noiseWords;
    if (triggerType != 0)
        return Launch(tag, taskNumber, MakeRealTimeTask(setup, capture));
    // An immediate capture is started again as soon as it is in.
    const TaskSetup next = NextSetup(setup, taskNumber);
    return LaunchAhead(tag, taskNumber,
                       {RealTimeKey(setup, capture), RealTimeKey(next, capture),
                        [next, capture] { return MakeRealTimeTask(next, capture); }},
                       [&] { return MakeRealTimeTask(setup, capture); });
}

int CSimulator::StartSemiRealTime(BYTE tag, int startKHz, int attenuation, int rejectionRate) {
    if (!CheckLink())
        return 0;
    if (m_worker.Busy())
        return Refuse(kTorvelErrorBusy);
    if (startKHz < MinFrequencyKHz(kTorvelKindSemiRealTime) ||
        startKHz > MaxFrequencyKHz(kTorvelKindSemiRealTime))
        return Refuse(kTorvelErrorBadParameter);
    const std::uint32_t taskNumber = ++m_taskCount;
    SemiRealTimeSweep sweep;
    sweep.startKHz = startKHz;
    sweep.stepKHz = FixedStepKHz(kTorvelKindSemiRealTime);
    sweep.captures = std::clamp(rejectionRate, 1, kMaxRejectionRate);
    return Launch(
        tag, taskNumber,
        MakeSemiRealTimeTask(Setup(kTorvelKindSemiRealTime, attenuation, taskNumber), sweep));
}

int CSimulator::RequestSlices(BYTE tag) {
    if (!CheckLink())
        return 0;
    const int error = m_worker.RequestSlices(tag);
    if (error != kTorvelErrorNone)
        return Refuse(error);
    return 1;
}

int CSimulator::PowerSupply(int port, int enable, int value, int /*reserved*/) {
    if (!CheckLink())
        return 0;
    // One output (port 0); switched off it leaves the switch at RF1.
    if (port != 0 || enable < 0 || enable > 1 || (enable == 1 && (value < 0 || value > 1)))
        return Refuse(kTorvelErrorBadParameter);
    m_path = enable == 1 ? value : 0;
    m_lastError = kTorvelErrorNone;
    return 1;
}

} // namespace torvelsim
