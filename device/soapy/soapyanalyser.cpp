#include "soapyanalyser.h"

#include "flattopspectrum.h"
#include "sweepplan.h"

#include "device/TorvelAPI.h"
#include "platform/msgwindow.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Types.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace torvelsoapy {
namespace {

constexpr int kAttenuatorStepDb = 10;
constexpr int kMaxAttenuationDb = 50;
// The piece a streaming task reads at a time.
constexpr int kReadChunk = 4096;
// The largest sample rate and settling time taken (no receiver streams
// faster; a longer settling would only stall the sweeps).
constexpr double kMaxRateHz = 1e9;
constexpr double kMaxSettleMs = 10000;
// The highest point lies this share of the rate below the receiver's top.
constexpr double kTopMargin = 0.05;

bool AnyKind(int kinds) {
    return kinds & (kTorvelKindNormal | kTorvelKindHighSpeed | kTorvelKindHighResolution |
                    kTorvelKindZeroSpan | kTorvelKindSemiRealTime | kTorvelKindRealTime);
}

} // namespace

bool ParseReceiverArgs(const std::string& args, ReceiverConfig* config) {
    SoapySDR::Kwargs kw = SoapySDR::KwargsFromString(args);
    auto number = [&kw](const char* key, double* value, double highest) {
        auto it = kw.find(key);
        if (it == kw.end())
            return true;
        char* end = nullptr;
        const double v = std::strtod(it->second.c_str(), &end);
        // end points into the value: judged before the value is erased.
        const bool whole = end != nullptr && end != it->second.c_str() && *end == '\0';
        kw.erase(it);
        if (!whole || !(v > 0) || !(v <= highest))
            return false;
        *value = v;
        return true;
    };
    double settleMs = config->settleS * 1000;
    if (!number("rate", &config->rateHz, kMaxRateHz) || !number("settle", &settleMs, kMaxSettleMs))
        return false;
    config->settleS = settleMs / 1000;
    config->deviceArgs = SoapySDR::KwargsToString(kw);
    return true;
}

short LevelWord(double powerFullScale, double offsetDb) {
    const double db = 10.0 * std::log10(std::max(powerFullScale, 1e-30)) + offsetDb;
    const double word = std::round(db * kLevelWordsPerDb);
    return static_cast<short>(std::clamp(word, kNoSampleWord + 1.0, 32767.0));
}

CSoapyAnalyser& CSoapyAnalyser::Instance() {
    static CSoapyAnalyser analyser;
    return analyser;
}

CSoapyAnalyser::~CSoapyAnalyser() {
    Close();
}

int CSoapyAnalyser::Open(HWND hwnd, UINT messageBase) {
    Close();
    try {
        m_device = SoapySDR::Device::make(m_config.deviceArgs);
    } catch (const std::exception&) {
        m_device = nullptr;
    }
    if (!m_device) {
        SetError(kTorvelErrorNoDevice);
        return 0;
    }
    try {
        m_device->setSampleRate(SOAPY_SDR_RX, 0, m_config.rateHz);
        m_rateHz = m_device->getSampleRate(SOAPY_SDR_RX, 0);
        // The frequency limits and FFT sizes are made from it.
        if (!(m_rateHz > 0 && m_rateHz <= kMaxRateHz))
            throw std::runtime_error("the receiver gives no usable sample rate");
        const SoapySDR::Range gain = m_device->getGainRange(SOAPY_SDR_RX, 0);
        m_minGain = gain.minimum();
        m_maxGain = gain.maximum();
        const int span = static_cast<int>(m_maxGain - m_minGain);
        m_maxAttenuation =
            std::min(kMaxAttenuationDb, span / kAttenuatorStepDb * kAttenuatorStepDb);
        double low = 0, high = 0;
        m_ranges.clear();
        for (const SoapySDR::Range& r : m_device->getFrequencyRange(SOAPY_SDR_RX, 0)) {
            low = (low == 0 || r.minimum() < low) ? r.minimum() : low;
            high = std::max(high, r.maximum());
            m_ranges.push_back({r.minimum(), r.maximum()});
        }
        if (m_ranges.empty() || !(high > low))
            throw std::runtime_error("the receiver gives no frequency range");
        // The centre bin of a sweep's tunings is left out: a receiver that
        // can take its DC offset out does so.
        if (m_device->hasDCOffsetMode(SOAPY_SDR_RX, 0))
            m_device->setDCOffsetMode(SOAPY_SDR_RX, 0, true);
        m_lowHz = low;
        m_highHz = high;
        m_minKHz = static_cast<int>(std::ceil(low / 1000));
        m_maxKHz = static_cast<int>((high - kTopMargin * m_rateHz) / 1000);
        m_stream = m_device->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
        if (m_device->activateStream(m_stream) != 0)
            throw std::runtime_error("the stream does not start");
        m_samples.Attach(m_device, m_stream, m_rateHz, &m_cancel);
        const std::string key = m_device->getHardwareKey() + m_config.deviceArgs;
        m_serial = static_cast<WORD>(std::hash<std::string>{}(key) % 65535 + 1);
        m_antennas = m_device->listAntennas(SOAPY_SDR_RX, 0);
    } catch (const std::exception&) {
        Close();
        SetError(kTorvelErrorNoDevice);
        return 0;
    }
    m_hwnd = hwnd;
    m_messageBase = messageBase;
    m_gainDb = std::nan("");
    m_pathInUse = -1;
    m_path = 0;
    m_open = true;
    SetError(kTorvelErrorNone);
    return 1;
}

void CSoapyAnalyser::StopThread() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_cancel = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = false;
    m_cancel = false;
    m_busy = false;
    m_pending.reset();
}

void CSoapyAnalyser::Close() {
    StopThread();
    m_open = false;
    m_samples.Detach();
    if (!m_device)
        return;
    // An unplugged receiver may fail on the way down as well.
    try {
        if (m_stream) {
            m_device->deactivateStream(m_stream);
            m_device->closeStream(m_stream);
        }
    } catch (const std::exception&) {
    }
    try {
        SoapySDR::Device::unmake(m_device);
    } catch (const std::exception&) {
    }
    m_stream = nullptr;
    m_device = nullptr;
}

void CSoapyAnalyser::Terminate() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_pending) {
        // Not taken up by the task thread yet.
        m_pending.reset();
        m_busy = false;
    }
    if (!m_busy)
        return;
    m_cancel = true;
    m_wake.wait(lock, [this] { return !m_busy; });
    m_cancel = false;
}

int CSoapyAnalyser::MinFrequencyKHz(int kinds) const {
    return AnyKind(kinds) ? m_minKHz : 0;
}

int CSoapyAnalyser::MaxFrequencyKHz(int kinds) const {
    return AnyKind(kinds) ? m_maxKHz : 0;
}

int CSoapyAnalyser::SelectPath(int port, int enable, int path) {
    if (!CheckOpen())
        return 0;
    if (port != 0 || enable < 0 || enable > 1 || path < 0 || path > 1) {
        SetError(kTorvelErrorBadParameter);
        return 0;
    }
    // Without a second input there is no path to switch.
    if (m_antennas.size() < 2)
        return Refuse("this receiver has one antenna input; the XPD window needs two");
    // Acts on the next task: a running one keeps its input.
    m_path = enable ? path : 0;
    return 1;
}

bool CSoapyAnalyser::CheckOpen() {
    if (m_open)
        return true;
    if (!TorvelErrorIsLinkLost(m_lastError))
        SetError(kTorvelErrorNotOpen);
    return false;
}

int CSoapyAnalyser::Refuse(std::string why) {
    if (m_open)
        SetError(kTorvelErrorTaskFailed, std::move(why));
    else
        SetError(kTorvelErrorNotOpen);
    return 0;
}

int CSoapyAnalyser::RefuseRange() {
    char text[96];
    std::snprintf(text, sizeof text, "this receiver covers %g\u2013%g MHz", m_lowHz / 1e6,
                  m_highHz / 1e6);
    SetError(kTorvelErrorBadParameter, text);
    return 0;
}

void CSoapyAnalyser::SetError(int code, std::string text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = code;
    m_errorText = std::move(text);
}

std::string CSoapyAnalyser::ErrorText() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errorText;
}

int CSoapyAnalyser::SweepBlockPoints(int stepKHz, int minimumKHz) const {
    if (!m_open || stepKHz <= 0)
        return 0;
    return BlockPoints(stepKHz * 1e3, minimumKHz * 1e3, m_rateHz);
}

int CSoapyAnalyser::StartSweep(BYTE tag, int startKHz, int stepKHz, int points, int attenuation,
                               int averages) {
    if (m_open && (startKHz < 0 || startKHz > m_maxKHz))
        return RefuseRange();
    if (m_open && stepKHz <= 0) {
        SetError(kTorvelErrorBadParameter);
        return 0;
    }
    Job job;
    job.tag = tag;
    job.startKHz = startKHz;
    job.stepKHz = stepKHz;
    job.points = stepKHz > 0 ? std::min(points, (m_maxKHz - startKHz) / stepKHz + 1) : 0;
    job.averages = std::clamp(averages, 1, 64);
    // Every block has its fixed size, as the analyser's: the points above
    // the top are no-sample words, so the window's grid, which may reach a
    // little beyond, moves on by whole blocks and starts over.
    job.blockWords = points;
    return Start(job, attenuation);
}

int CSoapyAnalyser::Start(Job job, int attenuation) {
    if (!CheckOpen())
        return 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_busy || m_pending) {
        m_lastError = kTorvelErrorBusy;
        m_errorText.clear();
        return 0;
    }
    const int att =
        std::clamp(attenuation, 0, m_maxAttenuation) / kAttenuatorStepDb * kAttenuatorStepDb;
    // The attenuation lowers the gain; levels stay referred to the input.
    job.gainDb = m_maxGain - att;
    job.attenuationDb = att;
    job.path = m_path;
    if (job.kind == Kind::SemiRealTime) {
        // The first slices are handed over unasked.
        m_semiRunning = true;
        m_semiTag = job.tag;
        m_sliceAsked = true;
        m_slices.clear();
        m_droppedSlices = 0;
    }
    m_pending = job;
    m_busy = true;
    m_lastError = kTorvelErrorNone;
    m_errorText.clear();
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    lock.unlock();
    m_wake.notify_all();
    return 1;
}

void CSoapyAnalyser::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending.has_value(); });
        if (m_stop)
            return;
        const Job job = *m_pending;
        m_pending.reset();
        lock.unlock();
        std::vector<short> words;
        int error = 0;
        try {
            // A new gain or input settles as a retune does.
            if (job.gainDb != m_gainDb || job.path != m_pathInUse) {
                if (m_antennas.size() > 1)
                    m_device->setAntenna(SOAPY_SDR_RX, 0, m_antennas[job.path]);
                m_device->setGain(SOAPY_SDR_RX, 0, job.gainDb);
                m_gainDb = job.gainDb;
                m_pathInUse = job.path;
                m_samples.Untune();
            }
            switch (job.kind) {
            case Kind::Sweep:
                // The block a window asks for next begins where this one's
                // words end.
                error = Measure(job, words,
                                job.startKHz + std::max(job.points, job.blockWords) * job.stepKHz);
                break;
            case Kind::ZeroSpan:
                error = MeasureZeroSpan(job, words);
                break;
            case Kind::RealTime:
                error = MeasureRealTime(job, words);
                break;
            case Kind::SemiRealTime:
                error = RunSemiRealTime(job);
                break;
            }
        } catch (const std::exception&) {
            error = kTorvelErrorRemoved;
        }
        lock.lock();
        m_semiRunning = false;
        m_slices.clear();
        // A terminated task posts nothing; a semi-real-time task ends only
        // when terminated or failed.
        if (!m_cancel && !(error == 0 && job.kind == Kind::SemiRealTime)) {
            if (error == 0) {
                m_data = std::move(words);
                Post(kTorvelMsgAnalysisDone, job.tag, static_cast<LPARAM>(m_data.size()));
            } else {
                m_lastError = error;
                m_errorText.clear();
                if (error == kTorvelErrorTaskFailed) {
                    char text[96];
                    std::snprintf(text, sizeof text, "the receiver refused the tuning to %.6g MHz",
                                  m_samples.RefusedHz() / 1e6);
                    m_errorText = text;
                }
                if (TorvelErrorIsLinkLost(error))
                    m_open = false;
                Post(kTorvelMsgDeviceError, job.tag, error);
            }
        }
        m_busy = false;
        m_wake.notify_all();
    }
}

void CSoapyAnalyser::Post(UINT offset, WPARAM wParam, LPARAM lParam) const {
    PostMessage(m_hwnd, m_messageBase + offset, wParam, lParam);
}

int CSoapyAnalyser::Measure(const Job& job, std::vector<short>& words, int nextStartKHz) {
    // Points below the receiver's lowest frequency are no samples; the
    // tunings cover the others.
    const int below =
        std::clamp((m_minKHz - job.startKHz + job.stepKHz - 1) / job.stepKHz, 0, job.points);
    const int measured = job.points - below;
    words.assign(static_cast<std::size_t>(std::max(job.points, job.blockWords)), kNoSampleWord);
    if (measured == 0)
        return 0;
    const double enbw = CFlatTopSpectrum::EnbwBinsOf(1024);
    const SweepPlan plan = PlanSweep((job.startKHz + below * job.stepKHz) * 1e3, job.stepKHz * 1e3,
                                     measured, m_rateHz, enbw, m_ranges);
    // The tuning after the last one: the first of the block asked for next,
    // which settles while the window takes this block in.
    double after = std::nan("");
    if (nextStartKHz >= m_minKHz && nextStartKHz <= m_maxKHz)
        if (const SweepPlan next =
                PlanSweep(nextStartKHz * 1e3, job.stepKHz * 1e3, 1, m_rateHz, enbw, m_ranges);
            !next.tunings.empty())
            after = Tunable(next.tunings.front().centerHz);
    // The centre bin is left out of the plan: the captures keep their mean,
    // so a tone at a tuned frequency is seen in the bins beside it.
    CFlatTopSpectrum spectrum(plan.fftSize, false);
    const std::size_t fft = static_cast<std::size_t>(plan.fftSize);
    std::vector<std::complex<float>> samples(fft * static_cast<std::size_t>(job.averages));
    std::vector<float> level(measured, 0.0f);
    if (!plan.tunings.empty())
        if (int e = m_samples.Retune(Tunable(plan.tunings.front().centerHz)))
            return e;
    for (std::size_t i = 0; i < plan.tunings.size(); ++i) {
        const SweepTuning& t = plan.tunings[i];
        // The captures of one tuning in one read: no other tuning's samples
        // can come between them. The next tuning settles while they are
        // delivered and worked on.
        const double next =
            i + 1 < plan.tunings.size() ? Tunable(plan.tunings[i + 1].centerHz) : after;
        if (int e = m_samples.Capture(m_config.settleS, samples.data(),
                                      static_cast<int>(samples.size()), next))
            return e;
        spectrum.Reset();
        for (int a = 0; a < job.averages; ++a)
            spectrum.Add(samples.data() + static_cast<std::size_t>(a) * fft);
        const std::vector<float> power = spectrum.Mean();
        for (int b = t.firstBin; b <= t.lastBin; ++b)
            if (const int p = t.pointOf[b - t.firstBin]; p >= 0)
                level[p] = std::max(level[p], power[b]);
    }
    for (int p = 0; p < measured; ++p)
        if (!plan.unmeasured[p])
            words[below + p] = LevelWord(level[p], job.attenuationDb + m_config.levelOffsetDb);
    return 0;
}

int CSoapyAnalyser::Tune(double centerHz) {
    return m_samples.Tune(Tunable(centerHz), m_config.settleS);
}

int CSoapyAnalyser::Stream(int length, int hop, const BlockSink& sink) {
    hop = std::clamp(hop, 1, length);
    std::vector<std::complex<float>> buffer(static_cast<std::size_t>(length + kReadChunk));
    int have = 0;
    for (;;) {
        int pos = 0;
        for (; have - pos >= length; pos += hop)
            if (!sink(buffer.data() + pos))
                return 0;
        std::copy(buffer.begin() + pos, buffer.begin() + have, buffer.begin());
        have -= pos;
        const long overruns = Overruns();
        if (int e = Read(buffer.data() + have, kReadChunk))
            return e;
        // Samples were lost before this chunk: no block spans the gap.
        if (Overruns() != overruns) {
            std::copy_n(buffer.begin() + have, kReadChunk, buffer.begin());
            have = 0;
        }
        have += kReadChunk;
    }
}

void CSoapyAnalyser::ReportWaiting(BYTE tag, bool first) {
    constexpr LPARAM kWaiting = 0x0800;
    const auto now = std::chrono::steady_clock::now();
    if (first || now - m_lastWaitReport >= std::chrono::milliseconds(500)) {
        m_lastWaitReport = now;
        Post(kTorvelMsgAnalysisProgress, tag, kWaiting);
    }
}

int CSoapyAnalyser::DataCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_data.size());
}

int CSoapyAnalyser::CopyData(short* buffer, int count) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!buffer || count <= 0)
        return 0;
    const int n = std::min(count, static_cast<int>(m_data.size()));
    std::copy_n(m_data.begin(), n, buffer);
    return n;
}

} // namespace torvelsoapy
