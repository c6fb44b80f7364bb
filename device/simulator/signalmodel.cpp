// The measurement model. The resolution filter is Gaussian: a tone at offset d
// from the point reads exp(-a d^2) of its power with a = 4 ln 2 / B^2, so it is
// 3 dB down half a bandwidth away; a band of width W is that response
// integrated over the band (an erf difference). Noise is the input density
// times the filter's noise bandwidth, with a log-normal spread per capture.
// Captures of one point are power-averaged (rejection rate); sub-captures are
// peak-held (catcher rate), so a peak-catching sweep sees short bursts.
#include "signalmodel.h"

#include "devicefacts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <utility>

namespace torvelsim {

namespace {

constexpr double kLn10 = std::numbers::ln10;
// The filter's response is below -100 dB beyond this many bandwidths.
constexpr double kFilterReach = 3.0;
constexpr double kLevelWordPerDb = 163.84;
constexpr double kLowestLevelDb = -199.0;

double FilterA(double rbwKHz) {
    return 4.0 * std::numbers::ln2 / (rbwKHz * rbwKHz);
}

// Noise bandwidth of the Gaussian filter in kHz.
double NoiseBandwidthKHz(double rbwKHz) {
    return std::sqrt(std::numbers::pi / FilterA(rbwKHz));
}

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Uniform in [0, 1) from three keys.
double Hash01(std::uint64_t seed, std::uint64_t a, std::uint64_t b) {
    const std::uint64_t h = SplitMix(SplitMix(seed ^ SplitMix(a)) ^ b);
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

double DbToMw(double db) {
    return std::exp(db * kLn10 / 10.0);
}

} // namespace

CNoiseFactors::CNoiseFactors(std::uint64_t seed, double spreadDb) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> spread(0.0, std::max(1e-9, spreadDb));
    for (std::size_t i = 0; i < kSize; ++i)
        m_factor[i] = DbToMw(spread(rng));
    std::copy_n(m_factor.begin(), kRowMax, m_factor.begin() + kSize);
}

CNoiseTable::CNoiseTable(std::shared_ptr<const CNoiseFactors> factors, std::uint64_t seed)
    : m_factors(std::move(factors)), m_state(SplitMix(seed) | 1) {}

CSignalModel::CSignalModel(const CSimScene& scene, std::uint64_t sceneSeed)
    : m_scene(scene), m_seed(sceneSeed) {}

double CSignalModel::NoiseFloorMw(double rbwKHz) const {
    return DbToMw(NoiseFloorDbm(rbwKHz));
}

double CSignalModel::NoiseFloorDbm(double rbwKHz) const {
    return m_scene.noiseDensityDbmHz + 10.0 * std::log10(NoiseBandwidthKHz(rbwKHz) * 1000.0);
}

short CSignalModel::LevelWord(double db) {
    const double clamped = std::clamp(db, kLowestLevelDb, 32767.0 / kLevelWordPerDb);
    return static_cast<short>(std::lround(clamped * kLevelWordPerDb));
}

namespace {

// Level words of 10 log10 of a mantissa's leading 10 bits: a mantissa m in
// [1, 2) is read as c * (1 + r) with c the middle of its 1/1024 step, so
// |r| <= 2^-11 and ln(1 + r) = r - r^2/2 within r^3/3 (3e-11).
struct LogSteps {
    static constexpr double kWordsPerLn = 10.0 / kLn10 * kLevelWordPerDb;
    std::array<double, 1024> inverse{}; // 1 / c
    std::array<double, 1024> words{};   // words of ln c, as of ln(1 / inverse)
    LogSteps() {
        for (std::size_t i = 0; i < inverse.size(); ++i) {
            inverse[i] = 1.0 / (1.0 + (static_cast<double>(i) + 0.5) / 1024.0);
            words[i] = -std::log(inverse[i]) * kWordsPerLn;
        }
    }
};

const LogSteps kLogSteps;

// Level words of the power x (mW) of a positive normal x, within 1e-7 of a
// word: exponent, one step of the table and two terms of ln(1 + r).
double FastWords(double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const int exponent = static_cast<int>(bits >> 52) - 1023;
    const std::size_t step = (bits >> 42) & 0x3FF;
    const double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFULL) | 0x3FF0000000000000ULL);
    const double r = m * kLogSteps.inverse[step] - 1.0;
    constexpr double k = LogSteps::kWordsPerLn;
    const double whole = exponent * (std::numbers::ln2 * k) + kLogSteps.words[step];
    return whole + r * (k - r * (0.5 * k));
}

} // namespace

short CSignalModel::InputWord(double mixerMw, int attenuationDb) {
    // The mixer sees the attenuated input and clips at its overload level; the
    // analyser reports the level at its input, so the attenuation is added back:
    // signals keep their level and the noise floor rises with the attenuation.
    const double mixerLevel = 10.0 * std::log10(mixerMw);
    return LevelWord(std::min(mixerLevel, kOverloadLevelDbm) + attenuationDb);
}

void CSignalModel::InputWords(const double* mixerMw, std::size_t count, int attenuationDb,
                              short notMeasured, short* out) {
    // A capture converts thousands of powers a millisecond, so each level is
    // first found from a table a ten-millionth of a word close; where that lies
    // clear of the clipping and of a word's rounding boundary it rounds to the
    // word InputWord gives, otherwise InputWord decides.
    constexpr double kMargin = 1e-5; // words
    const double added = attenuationDb * kLevelWordPerDb;
    const double lowest = kLowestLevelDb * kLevelWordPerDb + kMargin;
    const double highest = std::min(kOverloadLevelDbm * kLevelWordPerDb + added, 32767.0) - kMargin;
    for (std::size_t i = 0; i < count; ++i) {
        const double mw = mixerMw[i];
        if (mw < 0.0) {
            out[i] = notMeasured;
            continue;
        }
        if (std::isnormal(mw)) {
            const double word = FastWords(mw) + added;
            // word lies above -199 dB, so the shift keeps truncation a floor;
            // clear of a boundary, the floor of word + 0.5 is the nearest word
            // (no branch on which way it rounds: that one would be
            // mispredicted every other word).
            const double shifted = word + 65536.0;
            const double fraction = shifted - static_cast<double>(static_cast<long long>(shifted));
            if (word > lowest && word < highest && std::abs(fraction - 0.5) > kMargin) {
                out[i] = static_cast<short>(static_cast<long long>(shifted + 0.5) - 65536);
                continue;
            }
        }
        out[i] = InputWord(mw, attenuationDb);
    }
}

CNoiseWords::CNoiseWords(const CNoiseFactors& factors, double floorMw, int attenuationDb)
    : m_floorMw(floorMw), m_attenuationDb(attenuationDb) {
    std::vector<double> power(CNoiseFactors::kSize + CNoiseFactors::kRowMax);
    for (std::size_t i = 0; i < power.size(); ++i)
        power[i] = floorMw * factors.Data()[i];
    CSignalModel::InputWords(power.data(), power.size(), attenuationDb, kNoSampleWord,
                             m_words.data());
}

CSignalModel::SignalNow CSignalModel::Now(std::size_t i, double t) const {
    const SimSignal& s = m_scene.signals[i];
    SignalNow now;
    now.on = true;
    now.centreKHz = s.frequencyKHz;
    switch (s.type) {
    case SignalType::Carrier:
        break;
    case SignalType::Sweep: {
        const double phase = t / s.periodS - std::floor(t / s.periodS);
        now.centreKHz = s.frequencyKHz + (s.stopFrequencyKHz - s.frequencyKHz) * phase;
        break;
    }
    case SignalType::Burst: {
        const auto slot = static_cast<std::uint64_t>(std::max(0.0, t * 1000.0 / s.burstMs));
        now.on = Hash01(m_seed, i, slot) < s.duty;
        break;
    }
    case SignalType::Pulse: {
        const double since = t - s.firstPulseS;
        now.on = since >= 0.0 && std::fmod(since, s.periodS) < s.pulseMs / 1000.0;
        break;
    }
    }
    return now;
}

double CSignalModel::PowerMw(std::size_t i, double t, int path) const {
    const SimSignal& s = m_scene.signals[i];
    double level = s.levelDbm;
    if (path != 0)
        level -= s.crossPolarDb;
    if (s.fadeDb > 0.0) {
        const double phase0 = 2.0 * std::numbers::pi * Hash01(m_seed, i, ~0ULL);
        level += s.fadeDb * std::sin(2.0 * std::numbers::pi * t / s.fadePeriodS + phase0);
    }
    return DbToMw(level);
}

double CSignalModel::PowerMw(const BandPlan& plan, std::size_t i, double t, int path) const {
    const std::size_t at = 2 * i + (path != 0 ? 1 : 0);
    if (at < plan.steadyMw.size() && !std::isnan(plan.steadyMw[at]))
        return plan.steadyMw[at];
    return PowerMw(i, t, path);
}

double CSignalModel::Attenuation(const BandPlan& plan, const BandRequest& request) {
    return request.attenuationDb == plan.request.attenuationDb ? plan.attenuation
                                                               : DbToMw(-request.attenuationDb);
}

double CSignalModel::Response(std::size_t i, double d, double rbwKHz) const {
    const SimSignal& s = m_scene.signals[i];
    const double a = FilterA(rbwKHz);
    if (s.widthKHz <= 0.0)
        return std::exp(-a * d * d);
    const double k = std::sqrt(a);
    const double half = s.widthKHz / 2.0;
    const double passed = std::sqrt(std::numbers::pi) / (2.0 * k) *
                          (std::erf(k * (d + half)) - std::erf(k * (d - half)));
    return passed / s.widthKHz;
}

double CSignalModel::SignalPower(std::size_t i, double fKHz, double rbwKHz, double t,
                                 int path) const {
    const SimSignal& s = m_scene.signals[i];
    const SignalNow now = Now(i, t);
    if (!now.on)
        return 0.0;
    const double reach = kFilterReach * rbwKHz + s.widthKHz / 2.0;
    const double d = fKHz - now.centreKHz;
    if (std::abs(d) > reach)
        return 0.0;
    return PowerMw(i, t, path) * Response(i, d, rbwKHz);
}

namespace {

// Bins [first, last] of a band from lo with the step that a signal centred on
// centreKHz reaches.
std::pair<int, int> Reached(double centreKHz, double reachKHz, double lo, double step, int bins) {
    const int first = std::max(0, static_cast<int>(std::ceil((centreKHz - reachKHz - lo) / step)));
    const int last =
        std::min(bins - 1, static_cast<int>(std::floor((centreKHz + reachKHz - lo) / step)));
    return {first, last};
}

} // namespace

CSignalModel::BandPlan CSignalModel::Plan(const BandRequest& r) const {
    BandPlan plan;
    plan.request = r;
    plan.floorDbm = NoiseFloorDbm(r.rbwKHz);
    plan.floorMw = NoiseFloorMw(r.rbwKHz);
    plan.attenuation = DbToMw(-r.attenuationDb);
    // A signal's power changes with time only while it fades.
    plan.steadyMw.assign(2 * m_scene.signals.size(), std::numeric_limits<double>::quiet_NaN());
    for (std::size_t i = 0; i < m_scene.signals.size(); ++i) {
        if (m_scene.signals[i].fadeDb > 0.0)
            continue;
        plan.steadyMw[2 * i] = PowerMw(i, 0.0, 0);
        plan.steadyMw[2 * i + 1] = PowerMw(i, 0.0, 1);
    }
    // The band's first and last bin, a step wider either side: a swept tone
    // whose whole run stays farther away never reaches it.
    const double bandLo = r.startKHz - static_cast<double>(r.stepKHz);
    const double bandHi = r.startKHz + static_cast<double>(r.stepKHz) * r.bins;
    for (std::size_t i = 0; i < m_scene.signals.size(); ++i) {
        const SimSignal& s = m_scene.signals[i];
        const double reach = kFilterReach * r.rbwKHz + s.widthKHz / 2.0;
        if (s.type == SignalType::Sweep) {
            if (std::max(s.frequencyKHz, s.stopFrequencyKHz) + reach >= bandLo &&
                std::min(s.frequencyKHz, s.stopFrequencyKHz) - reach <= bandHi)
                plan.moving.push_back(i);
            continue;
        }
        const auto [first, last] = Reached(s.frequencyKHz, reach, r.startKHz, r.stepKHz, r.bins);
        if (first > last)
            continue;
        BandPlan::Reach reached;
        reached.signal = i;
        reached.firstBin = first;
        for (int b = first; b <= last; ++b) {
            reached.response.push_back(Response(
                i, r.startKHz + static_cast<double>(r.stepKHz) * b - s.frequencyKHz, r.rbwKHz));
        }
        plan.fixed.push_back(std::move(reached));
    }
    return plan;
}

void CSignalModel::Band(const BandRequest& r, const BandPlan& plan, double t, CNoiseTable& noise,
                        double* out) const {
    if (r.bins <= 0)
        return;
    const double floor = plan.floorMw;
    for (int b = 0; b < r.bins; ++b)
        out[b] = floor * noise.Next();
    const double attenuation = Attenuation(plan, r);
    for (const BandPlan::Reach& reached : plan.fixed) {
        if (!Now(reached.signal, t).on)
            continue;
        const double power = PowerMw(plan, reached.signal, t, r.path) * attenuation;
        double* bin = out + reached.firstBin;
        for (double share : reached.response)
            *bin++ += power * share;
    }
    const double lo = r.startKHz;
    const double step = r.stepKHz;
    for (std::size_t i : plan.moving) {
        const SimSignal& s = m_scene.signals[i];
        const SignalNow now = Now(i, t);
        if (!now.on)
            continue;
        const double reach = kFilterReach * r.rbwKHz + s.widthKHz / 2.0;
        const auto [first, last] = Reached(now.centreKHz, reach, lo, step, r.bins);
        if (first > last)
            continue;
        const double power = PowerMw(plan, i, t, r.path) * attenuation;
        for (int b = first; b <= last; ++b)
            out[b] += power * Response(i, lo + step * b - now.centreKHz, r.rbwKHz);
    }
}

void CSignalModel::BandRow(const BandRequest& r, const BandPlan& plan, double t,
                           const CNoiseFactors& factors, std::size_t row,
                           const CNoiseWords* noiseWords, double* power, short* words) const {
    const int bins = std::min(r.bins, static_cast<int>(CNoiseFactors::kRowMax));
    if (bins <= 0)
        return;
    const double floor = plan.floorMw;
    const double* noise = factors.Data() + row;
    if (power) {
        for (int b = 0; b < bins; ++b)
            power[b] = floor * noise[b];
    }
    if (words)
        std::copy_n(noiseWords->Data() + row, bins, words);

    // The signals that reach the band now, in the order Band adds them.
    m_hits.clear();
    const double attenuation = Attenuation(plan, r);
    for (const BandPlan::Reach& reached : plan.fixed) {
        if (reached.firstBin >= bins || !Now(reached.signal, t).on)
            continue;
        Hit hit;
        hit.signal = reached.signal;
        hit.power = PowerMw(plan, reached.signal, t, r.path) * attenuation;
        hit.first = reached.firstBin;
        hit.last =
            std::min(bins - 1, reached.firstBin + static_cast<int>(reached.response.size()) - 1);
        hit.response = reached.response.data();
        m_hits.push_back(hit);
    }
    for (std::size_t i : plan.moving) {
        const SimSignal& s = m_scene.signals[i];
        const SignalNow now = Now(i, t);
        if (!now.on)
            continue;
        const double reach = kFilterReach * r.rbwKHz + s.widthKHz / 2.0;
        const auto [first, last] = Reached(now.centreKHz, reach, r.startKHz, r.stepKHz, bins);
        if (first > last)
            continue;
        Hit hit;
        hit.signal = i;
        hit.power = PowerMw(plan, i, t, r.path) * attenuation;
        hit.first = first;
        hit.last = last;
        hit.centreKHz = now.centreKHz;
        m_hits.push_back(hit);
    }
    if (m_hits.empty())
        return;

    // The bins reached: noise first, then each signal in turn (the sums of
    // Band to the last bit); only they are converted to words.
    double* sum = power;
    if (!sum) {
        m_reached.resize(static_cast<std::size_t>(bins));
        sum = m_reached.data();
        for (const Hit& hit : m_hits)
            for (int b = hit.first; b <= hit.last; ++b)
                sum[b] = floor * noise[b];
    }
    const double lo = r.startKHz;
    const double step = r.stepKHz;
    for (const Hit& hit : m_hits) {
        if (hit.response) {
            const double* share = hit.response;
            for (int b = hit.first; b <= hit.last; ++b)
                sum[b] += hit.power * *share++;
        } else {
            for (int b = hit.first; b <= hit.last; ++b)
                sum[b] += hit.power * Response(hit.signal, lo + step * b - hit.centreKHz, r.rbwKHz);
        }
    }
    if (!words)
        return;
    for (const Hit& hit : m_hits)
        InputWords(sum + hit.first, static_cast<std::size_t>(hit.last - hit.first + 1),
                   r.attenuationDb, kNoSampleWord, words + hit.first);
}

bool CSignalModel::SignalNear(std::size_t i, double loKHz, double hiKHz, double rbwKHz, double t0,
                              double t1) const {
    const SimSignal& s = m_scene.signals[i];
    double low = s.frequencyKHz;
    double high = s.frequencyKHz;
    if (s.type == SignalType::Sweep) {
        // Within a short block the tone moves little; a block longer than a
        // run may meet it anywhere.
        if (t1 - t0 >= s.periodS) {
            low = std::min(s.frequencyKHz, s.stopFrequencyKHz);
            high = std::max(s.frequencyKHz, s.stopFrequencyKHz);
        } else {
            const auto at = [&](double t) {
                const double phase = t / s.periodS - std::floor(t / s.periodS);
                return s.frequencyKHz + (s.stopFrequencyKHz - s.frequencyKHz) * phase;
            };
            const double f0 = at(t0);
            const double f1 = at(t1);
            // The run may wrap to its start inside the block.
            if ((f1 - f0) * (s.stopFrequencyKHz - s.frequencyKHz) < 0.0) {
                low = std::min(s.frequencyKHz, s.stopFrequencyKHz);
                high = std::max(s.frequencyKHz, s.stopFrequencyKHz);
            } else {
                low = std::min(f0, f1);
                high = std::max(f0, f1);
            }
        }
    }
    const double reach = kFilterReach * rbwKHz + s.widthKHz / 2.0;
    return high + reach >= loKHz && low - reach <= hiKHz;
}

std::vector<short> CSignalModel::Sweep(const SweepRequest& r) const {
    const std::vector<double> mean = SweepPowers(r);
    std::vector<short> words(mean.size());
    InputWords(mean.data(), mean.size(), r.attenuationDb, kNoSampleWord, words.data());
    return words;
}

std::vector<double> CSignalModel::SweepPowers(const SweepRequest& r) const {
    const int points = std::max(0, r.points);
    std::vector<double> mean(static_cast<std::size_t>(points));
    if (points == 0)
        return mean;
    const int captures = std::max(1, r.captures);
    const int catcher = std::max(1, r.catcher);
    const double subCaptures = static_cast<double>(captures) * catcher;
    const double t0 = r.timeS;
    const double t1 = r.timeS + points * subCaptures * r.pointSeconds;

    const double lo = r.startKHz;
    const double hi = r.startKHz + static_cast<double>(r.stepKHz) * (points - 1);
    const double noise = DbToMw(NoiseFloorDbm(r.rbwKHz));
    const double attenuation = DbToMw(-r.attenuationDb);

    // A signal that stays where it is passes the same share of its power to
    // every sub-capture of a point, and one without fading has the same power
    // all through the block: both are worked out once, as SignalPower would
    // (power x share), so the sums stay the same to the last bit. A swept tone
    // is worked out at every instant.
    struct Near {
        std::size_t signal = 0;
        bool fixed = false;   // stays where it is
        bool steady = false;  // no fading: the same power all block
        bool always = false;  // a carrier: on all the time
        double reach = 0.0;   // kHz either side of its centre
        double powerMw = 0.0; // its power when steady
        double passed = 0.0;  // at the current point: power x share when steady, else the share
        double added = 0.0;   // passed x attenuation when steady
        // A burst's last slot and whether it was on then.
        bool slotKnown = false;
        std::uint64_t slot = 0;
        bool on = false;
    };
    std::vector<Near> signals;
    for (std::size_t i = 0; i < m_scene.signals.size(); ++i) {
        if (!SignalNear(i, lo, hi, r.rbwKHz, t0, t1))
            continue;
        const SimSignal& s = m_scene.signals[i];
        Near n;
        n.signal = i;
        n.fixed = s.type != SignalType::Sweep;
        n.steady = s.fadeDb <= 0.0;
        n.always = s.type == SignalType::Carrier;
        n.reach = kFilterReach * r.rbwKHz + s.widthKHz / 2.0;
        if (n.steady)
            n.powerMw = PowerMw(i, t0, r.path);
        signals.push_back(n);
    }
    // Whether a signal that stays where it is is on at t (Now); a burst is on
    // or off for a whole slot, which spans many sub-captures.
    const auto on = [&](Near& n, double t) {
        if (n.always)
            return true;
        const SimSignal& s = m_scene.signals[n.signal];
        if (s.type != SignalType::Burst)
            return Now(n.signal, t).on;
        const auto slot = static_cast<std::uint64_t>(std::max(0.0, t * 1000.0 / s.burstMs));
        if (!n.slotKnown || slot != n.slot) {
            n.slotKnown = true;
            n.slot = slot;
            n.on = Now(n.signal, t).on;
        }
        return n.on;
    };

    // The spread of every sub-capture in turn, from the scene's table when
    // there is one (drawing a normal variate and its power for every
    // sub-capture was most of a block). The table's entries lie far apart, so
    // they are read a batch ahead: the memory then fetches many at once
    // instead of one after another.
    std::optional<std::mt19937_64> rng;
    std::normal_distribution<double> spread(0.0, std::max(1e-9, m_scene.noiseSpreadDb));
    std::optional<CNoiseTable> table;
    if (r.noise)
        table.emplace(r.noise, r.noiseSeed);
    else
        rng.emplace(r.noiseSeed);
    constexpr long long kBatch = 256;
    std::array<double, kBatch> batch{};
    long long unread = static_cast<long long>(points) * captures * catcher;
    std::size_t next = kBatch;
    const auto spreadFactor = [&] {
        if (next == kBatch) {
            const auto count = static_cast<std::size_t>(std::min(kBatch, unread));
            unread -= kBatch;
            for (std::size_t b = 0; b < count; ++b)
                batch[b] = table ? table->Next() : DbToMw(spread(*rng));
            next = 0;
        }
        return batch[next++];
    };

    // Per point, the signals that reach it, in the scene's order: the order
    // in which their powers are added to the noise.
    std::vector<Near*> reaching;
    reaching.reserve(signals.size());
    double sub = 0.0; // the sub-capture's number in the block
    for (int i = 0; i < points; ++i) {
        const double f = r.startKHz + static_cast<double>(r.stepKHz) * i;
        reaching.clear();
        for (Near& n : signals) {
            if (n.fixed) {
                const double d = f - m_scene.signals[n.signal].frequencyKHz;
                if (std::abs(d) > n.reach)
                    continue;
                const double share = Response(n.signal, d, r.rbwKHz);
                n.passed = n.steady ? n.powerMw * share : share;
                n.added = n.passed * attenuation;
            }
            reaching.push_back(&n);
        }
        double sum = 0.0;
        for (int k = 0; k < captures; ++k) {
            double peak = 0.0;
            for (int j = 0; j < catcher; ++j, sub += 1.0) {
                const double t = t0 + sub * r.pointSeconds;
                double p = noise * spreadFactor();
                for (Near* n : reaching) {
                    if (!n->fixed) {
                        p += SignalPower(n->signal, f, r.rbwKHz, t, r.path) * attenuation;
                    } else if (on(*n, t)) {
                        p += n->steady ? n->added
                                       : PowerMw(n->signal, t, r.path) * n->passed * attenuation;
                    }
                }
                peak = std::max(peak, p);
            }
            sum += peak;
        }
        mean[static_cast<std::size_t>(i)] = sum / captures;
    }
    return mean;
}

} // namespace torvelsim
