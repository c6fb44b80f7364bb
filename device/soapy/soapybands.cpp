// The band analyses of CSoapyAnalyser: zero span, real-time and semi-real-time,
// all on 250 kHz bins of a block from a base frequency.
#include "soapyanalyser.h"

#include "flattopspectrum.h"

#include "device/TorvelAPI.h"

#include <SoapySDR/Device.hpp>

#include <algorithm>
#include <cmath>

namespace torvelsoapy {
namespace {

constexpr int kBandBinKHz = 250;
constexpr int kZeroSpanBins = 104;
constexpr int kZeroSpanMaxSamples = 500000;
// One zero-span sample is the power of 100 us of IQ.
constexpr double kZeroSpanSampleS = 100e-6;
// A band up to this share of the rate is measured a quarter of the rate
// below the tuned frequency, away from the receiver's DC offset.
constexpr double kOffsetTuneShare = 0.3;
// Share of the rate usable on either side of the tuned frequency.
constexpr double kEdgeShare = 0.4;
constexpr int kMinFft = 64;

// A real-time capture: 256 blocks of 128 bins, one block every 4 us. The
// receiver is tuned to the middle of the band the window shows (14 MHz above
// the base); bins it does not see are the no-sample word.
constexpr int kRealTimeBlocks = 256;
constexpr int kRealTimeBins = 128;
constexpr double kRealTimeHopS = 4e-6;
constexpr double kRealTimeCenterKHz = 14000;
// The noise floor the threshold is relative to: the median over the bins of
// their mean over the first blocks.
constexpr int kFloorBlocks = 256;
// The trigger compares each bin's power averaged over the last blocks, so
// that noise alone never reaches a threshold 10 dB above the floor.
constexpr int kTriggerBlocks = 8;

constexpr int kSliceWords = 400;
constexpr std::size_t kSliceRing = 100;
constexpr int kMaxDropped = 0x7FF;
constexpr LPARAM kTriggered = 0x1000;

bool Crosses(int type, double previous, double now, double threshold) {
    return type == 1 ? (previous <= threshold && now > threshold)
                     : (previous >= threshold && now < threshold);
}

} // namespace

// ---- Starting the tasks (GUI thread)

int CSoapyAnalyser::StartZeroSpan(BYTE tag, int baseKHz, int attenuation, int triggerType,
                                  int triggerLevel, int firstBin, int lastBin, int samples,
                                  int postTrigger) {
    if (m_open && (baseKHz < 0 || baseKHz > m_maxKHz))
        return RefuseRange();
    if (m_open && (triggerType < 0 || triggerType > 2 || firstBin > lastBin ||
                   lastBin >= kZeroSpanBins || samples < 1 || samples > kZeroSpanMaxSamples ||
                   postTrigger < 0 || postTrigger > samples)) {
        SetError(kTorvelErrorBadParameter);
        return 0;
    }
    Job job;
    job.kind = Kind::ZeroSpan;
    job.tag = tag;
    job.startKHz = baseKHz;
    job.triggerType = triggerType;
    job.triggerLevel = triggerLevel;
    job.firstBin = firstBin;
    job.lastBin = lastBin;
    job.samples = samples;
    job.postTrigger = triggerType == 0 ? samples : postTrigger;
    return Start(job, attenuation);
}

int CSoapyAnalyser::StartRealTime(BYTE tag, int baseKHz, int attenuation, int triggerType,
                                  int senseValue, int triggerPosition) {
    if (m_open && (baseKHz < 0 || baseKHz > m_maxKHz))
        return RefuseRange();
    if (m_open && (triggerType < 0 || triggerType > 2 || triggerPosition < 0 ||
                   triggerPosition >= kRealTimeBlocks)) {
        SetError(kTorvelErrorBadParameter);
        return 0;
    }
    Job job;
    job.kind = Kind::RealTime;
    job.tag = tag;
    job.startKHz = baseKHz;
    job.triggerType = triggerType;
    job.triggerLevel = senseValue;
    job.triggerPosition = triggerType == 0 ? 0 : triggerPosition;
    return Start(job, attenuation);
}

int CSoapyAnalyser::StartSemiRealTime(BYTE tag, int startKHz, int attenuation, int rejection) {
    // A band reaching below the receiver's lowest frequency starts there
    // with no-sample words, as a sweep does.
    if (m_open && (startKHz < 0 || startKHz > m_maxKHz))
        return RefuseRange();
    Job job;
    job.kind = Kind::SemiRealTime;
    job.tag = tag;
    job.startKHz = startKHz;
    job.stepKHz = kBandBinKHz;
    job.points = std::min(kSliceWords, (m_maxKHz - startKHz) / kBandBinKHz + 1);
    job.blockWords = kSliceWords;
    job.averages = std::clamp(rejection, 1, 64);
    return Start(job, attenuation);
}

int CSoapyAnalyser::SemiRealTimeResult(BYTE tag) {
    if (!CheckOpen())
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    // The mutex is held: the error is set here, without words.
    if (!m_semiRunning) {
        m_lastError = kTorvelErrorTaskFailed;
        m_errorText.clear();
        return 0;
    }
    if (tag != m_semiTag) {
        m_lastError = kTorvelErrorBadParameter;
        m_errorText.clear();
        return 0;
    }
    m_sliceAsked = true;
    if (!m_slices.empty())
        HandOverSlices(m_semiTag);
    return 1;
}

void CSoapyAnalyser::HandOverSlices(BYTE tag) {
    m_data.clear();
    for (const std::vector<short>& slice : m_slices)
        m_data.insert(m_data.end(), slice.begin(), slice.end());
    const LPARAM progress = (static_cast<LPARAM>(m_slices.size()) << 16) | m_droppedSlices;
    m_slices.clear();
    m_droppedSlices = 0;
    m_sliceAsked = false;
    Post(kTorvelMsgAnalysisProgress, tag, progress);
}

// ---- The tasks (task thread)

int CSoapyAnalyser::MeasureZeroSpan(const Job& job, std::vector<short>& words) {
    const double binHz = kBandBinKHz * 1e3;
    const double low = job.startKHz * 1e3 + (job.firstBin - 0.5) * binHz;
    const double high = job.startKHz * 1e3 + (job.lastBin + 0.5) * binHz;
    const bool narrow = high - low <= kOffsetTuneShare * m_rateHz;
    // A narrow band lies below the tuned frequency, or above it where the
    // receiver's range ends before.
    double center = (low + high) / 2 + (narrow ? m_rateHz / 4 : 0.0);
    if (narrow && Tunable(center) != center)
        center -= m_rateHz / 2;
    center = Tunable(center);
    if (int e = Tune(center))
        return e;
    const int n = std::max(kMinFft, static_cast<int>(std::lround(m_rateHz * kZeroSpanSampleS)));
    CFlatTopSpectrum spectrum(n);
    const double edge = kEdgeShare * m_rateHz;
    const double lowOffset = std::max(low - center, -edge);
    const double highOffset = std::min(high - center, edge);
    const double offsetDb = job.attenuationDb + m_config.levelOffsetDb;

    // Before the trigger the last N - P samples are kept; the trigger is
    // armed once they are there and one sample lies before the one compared.
    const int pre = job.samples - job.postTrigger;
    std::deque<short> before;
    bool triggered = job.triggerType == 0;
    bool havePrevious = false;
    short previous = 0;
    words.clear();
    if (!triggered)
        ReportWaiting(job.tag, true);
    return Stream(n, n, [&](const std::complex<float>* block) {
        spectrum.Reset();
        spectrum.Add(block);
        const short w = LevelWord(
            BandPower(spectrum.Mean(), m_rateHz, spectrum.EnbwBins(), lowOffset, highOffset),
            offsetDb);
        if (!triggered) {
            const bool armed = static_cast<int>(before.size()) >= pre && havePrevious;
            if (!(armed && Crosses(job.triggerType, previous, w, job.triggerLevel))) {
                previous = w;
                havePrevious = true;
                before.push_back(w);
                if (static_cast<int>(before.size()) > pre)
                    before.pop_front();
                ReportWaiting(job.tag, false);
                return true;
            }
            triggered = true;
            Post(kTorvelMsgAnalysisProgress, job.tag, kTriggered);
            words.assign(before.begin(), before.end());
        }
        if (static_cast<int>(words.size()) < job.samples)
            words.push_back(w);
        return static_cast<int>(words.size()) < job.samples;
    });
}

int CSoapyAnalyser::MeasureRealTime(const Job& job, std::vector<short>& words) {
    const double binHz = kBandBinKHz * 1e3;
    const double base = job.startKHz * 1e3;
    const double center = Tunable(base + kRealTimeCenterKHz * 1e3);
    if (int e = Tune(center))
        return e;
    // FFT bins of at most a sixteenth of a 250 kHz bin: the flat-top main
    // lobe (ten FFT bins) stays within the bin of a tone.
    int size = kMinFft;
    while (size * binHz < 16 * m_rateHz)
        size *= 2;
    CFlatTopSpectrum spectrum(size);
    const int hop = std::max(1, static_cast<int>(std::lround(m_rateHz * kRealTimeHopS)));
    const double edge = kEdgeShare * m_rateHz;
    struct Bin {
        int index;
        double low, high; // relative to the tuned frequency
    };
    std::vector<Bin> seen;
    for (int b = 0; b < kRealTimeBins; ++b) {
        const double f = base + b * binHz;
        const double low = f - binHz / 2 - center, high = f + binHz / 2 - center;
        if (low >= -edge && high <= edge && f <= m_maxKHz * 1e3)
            seen.push_back({b, low, high});
    }
    const double offsetDb = job.attenuationDb + m_config.levelOffsetDb;
    const std::size_t bins = seen.size();

    // Blocks as power per seen bin; the words are made at the end.
    std::vector<std::vector<float>> blocks;
    std::deque<std::vector<float>> recent; // the last kTriggerBlocks, for the trigger
    std::vector<double> sum(bins, 0.0), previous(bins, 0.0), floorSum(bins, 0.0);
    int floorBlocks = 0;
    double threshold = 0.0;
    bool triggered = job.triggerType == 0, havePrevious = false;
    const std::size_t pre = static_cast<std::size_t>(job.triggerPosition);
    if (!triggered)
        ReportWaiting(job.tag, true);
    const int e = Stream(size, hop, [&](const std::complex<float>* samples) {
        spectrum.Reset();
        spectrum.Add(samples);
        const std::vector<float> power = spectrum.Mean();
        std::vector<float> block(bins);
        for (std::size_t i = 0; i < bins; ++i)
            block[i] = static_cast<float>(
                BandPower(power, m_rateHz, spectrum.EnbwBins(), seen[i].low, seen[i].high));
        if (triggered) {
            blocks.push_back(std::move(block));
            return blocks.size() < kRealTimeBlocks;
        }
        // The floor first, from the blocks of the pre-roll.
        if (floorBlocks < kFloorBlocks) {
            for (std::size_t i = 0; i < bins; ++i)
                floorSum[i] += block[i];
            if (++floorBlocks == kFloorBlocks && bins > 0) {
                std::vector<double> means = floorSum;
                std::nth_element(means.begin(), means.begin() + means.size() / 2, means.end());
                threshold = means[means.size() / 2] / kFloorBlocks *
                            std::pow(10.0, job.triggerLevel / 1000.0);
            }
            ReportWaiting(job.tag, false);
            return true;
        }
        for (std::size_t i = 0; i < bins; ++i)
            sum[i] += block[i];
        recent.push_back(block);
        if (recent.size() > kTriggerBlocks) {
            for (std::size_t i = 0; i < bins; ++i)
                sum[i] -= recent.front()[i];
            recent.pop_front();
        }
        bool fire = false;
        if (havePrevious && blocks.size() >= pre && recent.size() == kTriggerBlocks)
            for (std::size_t i = 0; i < bins && !fire; ++i)
                fire = Crosses(job.triggerType, previous[i], sum[i] / kTriggerBlocks, threshold);
        if (recent.size() == kTriggerBlocks) {
            for (std::size_t i = 0; i < bins; ++i)
                previous[i] = sum[i] / kTriggerBlocks;
            havePrevious = true;
        }
        blocks.push_back(std::move(block));
        if (!fire) {
            if (blocks.size() > pre)
                blocks.erase(blocks.begin());
            ReportWaiting(job.tag, false);
            return true;
        }
        triggered = true;
        Post(kTorvelMsgAnalysisProgress, job.tag, kTriggered);
        return blocks.size() < kRealTimeBlocks;
    });
    if (e)
        return e;
    words.assign(static_cast<std::size_t>(kRealTimeBlocks * kRealTimeBins), kNoSampleWord);
    for (std::size_t k = 0; k < blocks.size(); ++k)
        for (std::size_t i = 0; i < bins; ++i)
            words[k * kRealTimeBins + seen[i].index] = LevelWord(blocks[k][i], offsetDb);
    return 0;
}

int CSoapyAnalyser::RunSemiRealTime(const Job& job) {
    Job slice = job;
    slice.kind = Kind::Sweep;
    for (;;) {
        std::vector<short> words;
        // The next slice begins where this one did.
        if (int e = Measure(slice, words, slice.startKHz))
            return e;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_slices.push_back(std::move(words));
        if (m_slices.size() > kSliceRing) {
            m_slices.pop_front();
            m_droppedSlices = std::min(m_droppedSlices + 1, kMaxDropped);
        }
        if (m_sliceAsked)
            HandOverSlices(job.tag);
    }
}

} // namespace torvelsoapy
