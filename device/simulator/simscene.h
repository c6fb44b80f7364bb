// The simulated world the analyser looks at: the noise floor, the signals with
// their behaviour over time, and the faults the device will show (unplugging,
// failing tasks, short data). Built-in default or read from a scene file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvelsim {

enum class SignalType {
    Carrier, // always on; may fade slowly
    Burst,   // on for a share of the time, in bursts (WLAN packets)
    Sweep,   // a tone running from its frequency to its stop frequency, again and again
    Pulse,   // on for a fixed time once every period (a remote key's burst)
};

// One signal. Frequencies are kHz; the level is the signal's total power in dBm
// at the analyser's input. A signal with a width spreads that power evenly over
// the band [frequency - width/2, frequency + width/2], so its displayed level
// depends on the resolution bandwidth; one without a width is a pure tone.
struct SimSignal {
    std::string name;
    SignalType type = SignalType::Carrier;
    double frequencyKHz = 0.0;
    double levelDbm = -60.0;
    double widthKHz = 0.0;
    // Burst: share of the time the signal is on (0..1) and the length of one
    // burst slot.
    double duty = 0.5;
    double burstMs = 1.0;
    // Sweep: end of the run and the time one run takes. Pulse: the time from
    // one pulse to the next.
    double stopFrequencyKHz = 0.0;
    double periodS = 10.0;
    // Pulse: how long each pulse lasts and when the first one begins
    // (measurement time, seconds since the scene was loaded).
    double pulseMs = 5.0;
    double firstPulseS = 0.5;
    // How much weaker (dB) the signal arrives on the second RF path: the
    // isolation between the two paths, negative when it is stronger there.
    double crossPolarDb = 25.0;
    // Slow level variation: +/- fadeDb over fadePeriodS.
    double fadeDb = 0.0;
    double fadePeriodS = 5.0;
};

// Faults, timed from the moment the scene was loaded (wall clock) and counted in
// tasks started since then (the first task is 1).
struct SimFaults {
    // Unplugged at this time; plugged back in replugAfterS later (never when
    // absent).
    std::optional<double> unplugAtS;
    std::optional<double> replugAfterS;
    // Unplugged again every unplugEveryS from the first unplug on (which is
    // at unplugAtS, or unplugEveryS after loading when that is absent); each
    // time plugged back in replugAfterS later.
    std::optional<double> unplugEveryS;
    // These tasks fail: WM_DEVICE_ERROR with the task-failed code, no data.
    std::vector<std::uint32_t> failTasks;
    // These tasks deliver fewer words: shortDataCount words, or half the block
    // when absent.
    std::vector<std::uint32_t> shortDataTasks;
    std::optional<int> shortDataCount;
};

class CSimScene {
public:
    // The built-in scene: broadcast carriers, a reference tone, telemetry
    // channels near 430 MHz, a remote key's pulse at 433.92 MHz, a digital TV
    // channel, a cellular downlink, three bursty WLAN channels in 2.4 GHz and a
    // tone sweeping 1.0-1.2 GHz.
    static CSimScene Default();

    // Fixes the noise and burst patterns; a random seed is taken when absent.
    std::optional<std::uint64_t> seed;
    // Noise density at the analyser's input with the attenuator at 0 dB
    // (dBm/Hz), that of a compact analyser; the displayed noise floor is this
    // plus the resolution filter's noise bandwidth plus the attenuation.
    double noiseDensityDbmHz = -140.0;
    // Standard deviation (dB) of the noise from capture to capture.
    double noiseSpreadDb = 1.5;
    std::vector<SimSignal> signals;
    SimFaults faults;
};

} // namespace torvelsim
