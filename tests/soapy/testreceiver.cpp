// A SoapySDR module for the tests ("driver=torveltest"): a receiver that
// streams the IQ of one tone in white noise in real time, as a real one does.
// Its arguments:
//   tone_hz, tone_dbfs   the tone (at the highest gain; default 100 MHz, -40)
//   noise_dbfs           noise power per sample at the highest gain (-80)
//   mtu                  samples per buffer (16384): a buffer is handed out
//                        once it is complete, a read returns at most the rest
//                        of one buffer, and getStreamMTU says its size
//   ring                 complete buffers the receiver holds for its reader
//                        (16); a buffer completed while it holds that many
//                        pushes out the oldest, and the next read reports the
//                        overflow
//   queue                complete buffers it keeps when it is retuned (4):
//                        the newest of those it holds (the rest of the one
//                        being read stays too); 0 = a retune drops everything
//                        made before it, as the receivers that clear their
//                        buffers do. Either drop is silent.
//   tune_delay           samples made at the old frequency after a retune (0)
//   low_hz, high_hz      its tuning range (1e6 to 3e9)
//   outside              "refuse" (a tuning outside the range throws, the
//                        default) or "clamp" (tuned to the nearest end)
//   timestamps           1 = reads carry the hardware time of their first
//                        sample, and the hardware time can be read (0)
//   overrun_every        of this many buffers one is lost, and the read that
//                        would have begun it reports an overflow (never)
//   pulse_hz, pulse_dbfs a pulsed carrier like the scene's remote key (none;
//                        -40 dBFS): pulse_ms (5) long every pulse_period_s
//                        (1) from pulse_first_s (0.5) of sample time on
//   inputs               2 = two antennas, "RF1" and "RF2"; on RF2 every
//                        signal is 25 dB weaker (1)
// Samples are made by the clock from the activation of the stream on: sample
// k at k / rate, and sample time is that count over the rate. The gain runs
// from 0 to 50 dB; the model's levels drop with it. Every retune is logged
// with the sample from which it holds, and the samples are computed when they
// are read, each with the tuning in force when it was made.
// The tests unplug and replug it with TorvelTestReceiverPlug, and make its stream stall
// (reads wait out their timeout and deliver nothing) or throw with TorvelTestReceiverFault
// (a second dlopen of this module reaches the instance SoapySDR loaded).
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <deque>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> g_plugged{true};
// 0: the stream delivers; 1: it stalls; 2: a read throws.
std::atomic<int> g_fault{0};
constexpr double kMaxGain = 50.0;
constexpr double kCrossPolarDb = 25.0;
using Clock = std::chrono::steady_clock;

double ArgOr(const SoapySDR::Kwargs& args, const char* key, double fallback) {
    auto it = args.find(key);
    return it == args.end() ? fallback : std::stod(it->second);
}

// Complex white noise of unit power: draws from a table of Gaussian samples
// at random places, far cheaper than a Gaussian per sample.
class NoiseSource {
public:
    NoiseSource() : m_table(kSize) {
        std::mt19937 random(12345);
        std::normal_distribution<float> normal(0.0f, static_cast<float>(1 / std::sqrt(2.0)));
        for (auto& v : m_table)
            v = {normal(random), normal(random)};
    }
    std::complex<float> Next() {
        // xorshift64*
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_table[(m_state * 0x2545F4914F6CDD1DULL) >> (64 - kBits)];
    }

private:
    static constexpr int kBits = 16;
    static constexpr std::size_t kSize = std::size_t{1} << kBits;
    std::vector<std::complex<float>> m_table;
    std::uint64_t m_state = 0x9E3779B97F4A7C15ULL;
};

// A carrier's phase, turned on by one sample at a time.
struct Carrier {
    std::complex<double> phasor{1.0, 0.0};
    void Step(double cyclesPerSample) {
        if (cyclesPerSample != m_cycles) {
            m_cycles = cyclesPerSample;
            m_turn = std::polar(1.0, 2 * std::numbers::pi * cyclesPerSample);
        }
        phasor *= m_turn;
    }
    void Renormalise() { phasor /= std::abs(phasor); }

private:
    double m_cycles = 0.0;
    std::complex<double> m_turn{1.0, 0.0};
};

class TestReceiver : public SoapySDR::Device {
public:
    explicit TestReceiver(const SoapySDR::Kwargs& args)
        : m_toneHz(ArgOr(args, "tone_hz", 100e6)), m_toneDbfs(ArgOr(args, "tone_dbfs", -40)),
          m_noiseDbfs(ArgOr(args, "noise_dbfs", -80)),
          m_mtu(std::max<long long>(16, static_cast<long long>(ArgOr(args, "mtu", 16384)))),
          m_ring(std::max<long long>(1, static_cast<long long>(ArgOr(args, "ring", 16)))),
          m_queue(std::max<long long>(0, static_cast<long long>(ArgOr(args, "queue", 4)))),
          m_tuneDelay(static_cast<long long>(ArgOr(args, "tune_delay", 0))),
          m_lowHz(ArgOr(args, "low_hz", 1e6)), m_highHz(ArgOr(args, "high_hz", 3e9)),
          m_clamp(args.count("outside") && args.at("outside") == "clamp"),
          m_timestamps(ArgOr(args, "timestamps", 0) != 0),
          m_overrunEvery(static_cast<long>(ArgOr(args, "overrun_every", 0))),
          m_pulseHz(ArgOr(args, "pulse_hz", 0)), m_pulseDbfs(ArgOr(args, "pulse_dbfs", -40)),
          m_pulseS(ArgOr(args, "pulse_ms", 5) / 1000),
          m_pulsePeriodS(ArgOr(args, "pulse_period_s", 1)),
          m_pulseFirstS(ArgOr(args, "pulse_first_s", 0.5)),
          m_inputs(static_cast<int>(ArgOr(args, "inputs", 1))) {
        m_tunings.push_back({0, m_center});
    }

    std::string getDriverKey() const override { return "torveltest"; }
    std::string getHardwareKey() const override { return "torveltest"; }
    size_t getNumChannels(const int) const override { return 1; }

    std::vector<std::string> getStreamFormats(const int, const size_t) const override {
        return {SOAPY_SDR_CF32};
    }
    std::string getNativeStreamFormat(const int, const size_t, double& fullScale) const override {
        fullScale = 1.0;
        return SOAPY_SDR_CF32;
    }
    SoapySDR::Stream* setupStream(const int direction, const std::string& format,
                                  const std::vector<size_t>&, const SoapySDR::Kwargs&) override {
        if (direction != SOAPY_SDR_RX || format != SOAPY_SDR_CF32)
            throw std::runtime_error("torveltest: RX CF32 only");
        return reinterpret_cast<SoapySDR::Stream*>(this);
    }
    void closeStream(SoapySDR::Stream*) override {}
    size_t getStreamMTU(SoapySDR::Stream*) const override { return static_cast<size_t>(m_mtu); }
    int activateStream(SoapySDR::Stream*, const int, const long long, const size_t) override {
        Restart();
        return 0;
    }
    int deactivateStream(SoapySDR::Stream*, const int, const long long) override { return 0; }

    int readStream(SoapySDR::Stream*, void* const* buffs, const size_t numElems, int& flags,
                   long long& timeNs, const long timeoutUs) override {
        flags = 0;
        timeNs = 0;
        if (!g_plugged)
            return SOAPY_SDR_STREAM_ERROR;
        if (g_fault == 2)
            throw std::runtime_error("torveltest: the driver failed");
        if (g_fault == 1) {
            std::this_thread::sleep_for(std::chrono::microseconds(timeoutUs));
            return SOAPY_SDR_TIMEOUT;
        }
        const long long made = Made(Clock::now());
        const long long current = m_next / m_mtu;
        const bool started = m_next % m_mtu != 0;
        // Complete buffers not begun; beyond the ring the oldest are lost.
        const long long held = made / m_mtu - current - (started ? 1 : 0);
        if (held > m_ring) {
            m_next = (made / m_mtu - m_ring) * m_mtu;
            return SOAPY_SDR_OVERFLOW;
        }
        // The buffer holding the next sample is handed out once complete.
        const long long end = (current + 1) * m_mtu;
        if (made < end) {
            const Clock::time_point ready = TimeOf(end);
            const Clock::time_point limit = Clock::now() + std::chrono::microseconds(timeoutUs);
            if (ready > limit) {
                std::this_thread::sleep_until(limit);
                return SOAPY_SDR_TIMEOUT;
            }
            std::this_thread::sleep_until(ready);
        }
        if (m_overrunEvery > 0 && !started && ++m_buffers % m_overrunEvery == 0) {
            m_next = end;
            return SOAPY_SDR_OVERFLOW;
        }
        const long long n = std::min<long long>(static_cast<long long>(numElems), end - m_next);
        if (m_timestamps) {
            flags |= SOAPY_SDR_HAS_TIME;
            timeNs = NanosecondsOf(m_next);
        }
        Make(static_cast<std::complex<float>*>(buffs[0]), n);
        return static_cast<int>(n);
    }

    bool hasHardwareTime(const std::string&) const override { return m_timestamps; }
    long long getHardwareTime(const std::string&) const override {
        return m_timestamps ? NanosecondsOf(Made(Clock::now())) : 0;
    }

    std::vector<std::string> listAntennas(const int, const size_t) const override {
        if (m_inputs > 1)
            return {"RF1", "RF2"};
        return {"RF1"};
    }
    void setAntenna(const int, const size_t, const std::string& name) override { m_antenna = name; }
    std::string getAntenna(const int, const size_t) const override { return m_antenna; }

    std::vector<std::string> listGains(const int, const size_t) const override { return {"LNA"}; }
    SoapySDR::Range getGainRange(const int, const size_t) const override {
        return SoapySDR::Range(0, kMaxGain);
    }
    void setGain(const int, const size_t, const double value) override { m_gain = value; }
    double getGain(const int, const size_t) const override { return m_gain; }

    void setFrequency(const int, const size_t, double frequency, const SoapySDR::Kwargs&) override {
        if (frequency < m_lowHz || frequency > m_highHz) {
            if (!m_clamp)
                throw std::runtime_error("torveltest: tuning outside the range");
            frequency = std::clamp(frequency, m_lowHz, m_highHz);
        }
        const long long made = Made(Clock::now());
        if (m_queue == 0)
            m_next = std::max(m_next, made);
        else
            m_next = std::max(m_next, (made / m_mtu - m_queue) * m_mtu);
        m_center = frequency;
        m_tunings.push_back({made + m_tuneDelay, frequency});
    }
    double getFrequency(const int, const size_t) const override { return m_center; }
    SoapySDR::RangeList getFrequencyRange(const int, const size_t) const override {
        return {SoapySDR::Range(m_lowHz, m_highHz)};
    }

    void setSampleRate(const int, const size_t, const double rate) override {
        m_rate = rate;
        Restart();
    }
    double getSampleRate(const int, const size_t) const override { return m_rate; }
    SoapySDR::RangeList getSampleRateRange(const int, const size_t) const override {
        return {SoapySDR::Range(0.25e6, 20e6)};
    }

private:
    struct Tuning {
        long long from; // the first sample made at this frequency
        double centerHz;
    };

    void Restart() {
        m_start = Clock::now();
        m_next = 0;
        m_tunings.assign(1, {0, m_center});
    }
    // Samples made by a time.
    long long Made(Clock::time_point t) const {
        return static_cast<long long>(std::chrono::duration<double>(t - m_start).count() * m_rate);
    }
    Clock::time_point TimeOf(long long sample) const {
        return m_start + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(sample / m_rate));
    }
    long long NanosecondsOf(long long sample) const {
        return static_cast<long long>(std::llround(sample * 1e9 / m_rate));
    }
    double CenterOf(long long sample) {
        // Samples are made in order: tunings before the one in force are done with.
        while (m_tunings.size() > 1 && m_tunings[1].from <= sample)
            m_tunings.pop_front();
        return m_tunings.front().centerHz;
    }

    void Make(std::complex<float>* out, long long n) {
        const double gainDb = m_gain - kMaxGain;
        const double pathDb = m_antenna == "RF2" ? -kCrossPolarDb : 0.0;
        const double amplitude = std::pow(10.0, (m_toneDbfs + gainDb + pathDb) / 20);
        const double pulseAmplitude = std::pow(10.0, (m_pulseDbfs + gainDb + pathDb) / 20);
        const float sigma = static_cast<float>(std::pow(10.0, (m_noiseDbfs + gainDb) / 20));
        for (long long i = 0; i < n; ++i, ++m_next) {
            const double center = CenterOf(m_next);
            // The receiver's filter passes only what lies within the rate.
            const double offset = m_toneHz - center;
            m_tone.Step(offset / m_rate);
            std::complex<double> v =
                std::abs(offset) < m_rate / 2 ? amplitude * m_tone.phasor : std::complex<double>();
            if (m_pulseHz > 0) {
                const double pulseOffset = m_pulseHz - center;
                m_pulse.Step(pulseOffset / m_rate);
                const double t = static_cast<double>(m_next) / m_rate - m_pulseFirstS;
                if (std::abs(pulseOffset) < m_rate / 2 && t >= 0 &&
                    std::fmod(t, m_pulsePeriodS) < m_pulseS)
                    v += pulseAmplitude * m_pulse.phasor;
            }
            out[i] = std::complex<float>(v) + sigma * m_noise.Next();
        }
        m_tone.Renormalise();
        m_pulse.Renormalise();
    }

    double m_toneHz, m_toneDbfs, m_noiseDbfs;
    long long m_mtu, m_ring, m_queue;
    long long m_tuneDelay;
    double m_lowHz, m_highHz;
    bool m_clamp, m_timestamps;
    long m_overrunEvery;
    double m_pulseHz, m_pulseDbfs, m_pulseS, m_pulsePeriodS, m_pulseFirstS;
    int m_inputs;
    std::string m_antenna = "RF1";
    Clock::time_point m_start = Clock::now();
    long long m_next = 0; // the next sample handed out
    long m_buffers = 0;   // buffers begun
    double m_center = 100e6;
    std::deque<Tuning> m_tunings;
    double m_rate = 2.4e6;
    double m_gain = kMaxGain;
    Carrier m_tone, m_pulse;
    NoiseSource m_noise;
};

SoapySDR::KwargsList FindTestReceiver(const SoapySDR::Kwargs& args) {
    auto it = args.find("driver");
    if (!g_plugged || it == args.end() || it->second != "torveltest")
        return {};
    SoapySDR::Kwargs found = args;
    found["label"] = "Torvel test receiver";
    return {found};
}

SoapySDR::Device* MakeTestReceiver(const SoapySDR::Kwargs& args) {
    if (!g_plugged)
        throw std::runtime_error("torveltest: unplugged");
    return new TestReceiver(args);
}

SoapySDR::Registry registerTestReceiver("torveltest", &FindTestReceiver, &MakeTestReceiver,
                                        SOAPY_SDR_ABI_VERSION);

} // namespace

extern "C" void TorvelTestReceiverFault(int fault) {
    g_fault = fault;
}

extern "C" void TorvelTestReceiverPlug(int plugged) {
    g_plugged = plugged != 0;
}
