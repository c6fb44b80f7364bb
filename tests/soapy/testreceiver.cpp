// A SoapySDR module for the tests ("driver=torveltest"): a receiver whose IQ
// is a model of one tone in white noise, at the sample rate asked for. Its
// arguments:
//   tone_hz, tone_dbfs   the tone (at the highest gain; default 100 MHz, -40)
//   noise_dbfs           noise power per sample at the highest gain (-80)
//   tune_delay           samples still at the old frequency after a retune (0)
//   overrun_every        every this many reads one reports an overrun (never)
//   pulse_hz, pulse_dbfs a pulsed carrier like the scene's remote key (none;
//                        -40 dBFS): pulse_ms (5) long every pulse_period_s
//                        (1) from pulse_first_s (0.5) of sample time on
//   inputs               2 = two antennas, "RF1" and "RF2"; on RF2 every
//                        signal is 25 dB weaker (1)
// Sample time is the count of samples delivered over the rate: the receiver
// produces as fast as it is read. The gain runs from 0 to 50 dB; the model's levels drop with it.
// The tests unplug and replug it with TorvelTestReceiverPlug (a second dlopen of this module
// reaches the instance SoapySDR loaded).
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>

namespace {

std::atomic<bool> g_plugged{true};
constexpr double kMaxGain = 50.0;
constexpr size_t kMtu = 16384;
constexpr double kCrossPolarDb = 25.0;

double ArgOr(const SoapySDR::Kwargs& args, const char* key, double fallback) {
    auto it = args.find(key);
    return it == args.end() ? fallback : std::stod(it->second);
}

class TestReceiver : public SoapySDR::Device {
public:
    explicit TestReceiver(const SoapySDR::Kwargs& args)
        : m_toneHz(ArgOr(args, "tone_hz", 100e6)), m_toneDbfs(ArgOr(args, "tone_dbfs", -40)),
          m_noiseDbfs(ArgOr(args, "noise_dbfs", -80)),
          m_tuneDelay(static_cast<long>(ArgOr(args, "tune_delay", 0))),
          m_overrunEvery(static_cast<long>(ArgOr(args, "overrun_every", 0))),
          m_pulseHz(ArgOr(args, "pulse_hz", 0)), m_pulseDbfs(ArgOr(args, "pulse_dbfs", -40)),
          m_pulseS(ArgOr(args, "pulse_ms", 5) / 1000),
          m_pulsePeriodS(ArgOr(args, "pulse_period_s", 1)),
          m_pulseFirstS(ArgOr(args, "pulse_first_s", 0.5)),
          m_inputs(static_cast<int>(ArgOr(args, "inputs", 1))) {}

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
    size_t getStreamMTU(SoapySDR::Stream*) const override { return kMtu; }
    int activateStream(SoapySDR::Stream*, const int, const long long, const size_t) override {
        return 0;
    }
    int deactivateStream(SoapySDR::Stream*, const int, const long long) override { return 0; }

    int readStream(SoapySDR::Stream*, void* const* buffs, const size_t numElems, int& flags,
                   long long& timeNs, const long) override {
        flags = 0;
        timeNs = 0;
        if (!g_plugged)
            return SOAPY_SDR_STREAM_ERROR;
        if (m_overrunEvery > 0 && ++m_reads % m_overrunEvery == 0)
            return SOAPY_SDR_OVERFLOW;
        const size_t n = std::min(numElems, kMtu);
        auto* out = static_cast<std::complex<float>*>(buffs[0]);
        const double gainDb = m_gain - kMaxGain;
        const double pathDb = m_antenna == "RF2" ? -kCrossPolarDb : 0.0;
        const double amplitude = std::pow(10.0, (m_toneDbfs + gainDb + pathDb) / 20);
        const double pulseAmplitude = std::pow(10.0, (m_pulseDbfs + gainDb + pathDb) / 20);
        const double sigma = std::pow(10.0, (m_noiseDbfs + gainDb) / 20) / std::sqrt(2.0);
        std::normal_distribution<double> noise(0.0, sigma);
        for (size_t i = 0; i < n; ++i) {
            const double center = m_delayLeft > 0 ? m_oldCenter : m_center;
            if (m_delayLeft > 0)
                --m_delayLeft;
            // The receiver's filter passes only what lies within the rate.
            const double offset = m_toneHz - center;
            const double a = std::abs(offset) < m_rate / 2 ? amplitude : 0.0;
            m_phase += 2 * std::numbers::pi * offset / m_rate;
            m_phase = std::remainder(m_phase, 2 * std::numbers::pi);
            std::complex<double> v = std::polar(a, m_phase);
            if (m_pulseHz > 0) {
                const double pulseOffset = m_pulseHz - center;
                m_pulsePhase += 2 * std::numbers::pi * pulseOffset / m_rate;
                m_pulsePhase = std::remainder(m_pulsePhase, 2 * std::numbers::pi);
                const double t = static_cast<double>(m_samples) / m_rate - m_pulseFirstS;
                if (std::abs(pulseOffset) < m_rate / 2 && t >= 0 &&
                    std::fmod(t, m_pulsePeriodS) < m_pulseS)
                    v += std::polar(pulseAmplitude, m_pulsePhase);
            }
            ++m_samples;
            out[i] = std::complex<float>(static_cast<float>(v.real() + noise(m_random)),
                                         static_cast<float>(v.imag() + noise(m_random)));
        }
        return static_cast<int>(n);
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

    void setFrequency(const int, const size_t, const double frequency,
                      const SoapySDR::Kwargs&) override {
        m_oldCenter = m_center;
        m_center = frequency;
        m_delayLeft = m_tuneDelay;
    }
    double getFrequency(const int, const size_t) const override { return m_center; }
    SoapySDR::RangeList getFrequencyRange(const int, const size_t) const override {
        return {SoapySDR::Range(1e6, 3e9)};
    }

    void setSampleRate(const int, const size_t, const double rate) override { m_rate = rate; }
    double getSampleRate(const int, const size_t) const override { return m_rate; }
    SoapySDR::RangeList getSampleRateRange(const int, const size_t) const override {
        return {SoapySDR::Range(0.25e6, 20e6)};
    }

private:
    double m_toneHz, m_toneDbfs, m_noiseDbfs;
    long m_tuneDelay, m_overrunEvery;
    double m_pulseHz, m_pulseDbfs, m_pulseS, m_pulsePeriodS, m_pulseFirstS;
    int m_inputs;
    std::string m_antenna = "RF1";
    long long m_samples = 0;
    double m_pulsePhase = 0.0;
    long m_reads = 0;
    long m_delayLeft = 0;
    double m_center = 100e6, m_oldCenter = 100e6;
    double m_rate = 2.4e6;
    double m_gain = kMaxGain;
    double m_phase = 0.0;
    std::mt19937 m_random{12345};
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

extern "C" void TorvelTestReceiverPlug(int plugged) {
    g_plugged = plugged != 0;
}
