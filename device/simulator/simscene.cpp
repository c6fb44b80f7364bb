// The built-in scene: something worth looking at for every analysis kind.
#include "simscene.h"

namespace torvelsim {

namespace {

SimSignal Carrier(const char* name, double kHz, double dbm, double widthKHz = 0.0,
                  double fadeDb = 0.0, double fadePeriodS = 5.0) {
    SimSignal s;
    s.name = name;
    s.type = SignalType::Carrier;
    s.frequencyKHz = kHz;
    s.levelDbm = dbm;
    s.widthKHz = widthKHz;
    s.fadeDb = fadeDb;
    s.fadePeriodS = fadePeriodS;
    return s;
}

SimSignal Burst(const char* name, double kHz, double dbm, double widthKHz, double duty,
                double burstMs) {
    SimSignal s;
    s.name = name;
    s.type = SignalType::Burst;
    s.frequencyKHz = kHz;
    s.levelDbm = dbm;
    s.widthKHz = widthKHz;
    s.duty = duty;
    s.burstMs = burstMs;
    return s;
}

SimSignal Pulse(const char* name, double kHz, double dbm, double widthKHz, double pulseMs,
                double periodS) {
    SimSignal s;
    s.name = name;
    s.type = SignalType::Pulse;
    s.frequencyKHz = kHz;
    s.levelDbm = dbm;
    s.widthKHz = widthKHz;
    s.pulseMs = pulseMs;
    s.periodS = periodS;
    return s;
}

} // namespace

CSimScene CSimScene::Default() {
    CSimScene scene;
    scene.signals = {
        Carrier("Reference 10 MHz", 10000, -50.0),
        // FM broadcast (76-95 MHz band)
        Carrier("FM 80.0", 80000, -42.0, 150.0, 1.0, 7.0),
        Carrier("FM 82.5", 82500, -50.0, 150.0, 1.5, 9.0),
        Carrier("FM 90.5", 90500, -56.0, 150.0, 2.0, 11.0),
        // Medical telemetry: narrow, steady, a little fading; on channels of the
        // 429, 441, 444 and 449 MHz groups, and two in the medical window's
        // opening band 430-432 MHz
        Carrier("Telemetry 429.250", 429250, -64.0, 8.0, 3.0, 4.0),
        Carrier("Telemetry 429.500", 429500, -71.0, 8.0, 4.0, 6.0),
        Carrier("Telemetry 430.500", 430500, -70.0, 8.0, 4.0, 6.0),
        Carrier("Telemetry 431.125", 431125, -58.0, 8.0, 2.0, 5.0),
        Carrier("Telemetry 441.125", 441125, -66.0, 8.0, 3.0, 7.0),
        Carrier("Telemetry 444.750", 444750, -75.0, 8.0, 5.0, 3.0),
        Carrier("Telemetry 449.000", 449000, -72.0, 8.0, 3.0, 8.0),
        // A remote key fob (433.92 MHz ISM): a 5 ms burst once a second, for
        // the triggered captures of zero span and real time
        Pulse("Key fob 433.92", 433920, -30.0, 20.0, 5.0, 1.0),
        // Digital TV (5.6 MHz OFDM) and a cellular downlink
        Carrier("DTV 521 MHz", 521143, -40.0, 5600.0),
        Carrier("Downlink 2140 MHz", 2140000, -48.0, 9000.0, 1.0, 13.0),
        // WLAN channels 1, 6 and 11: bursts of packets
        Burst("WLAN 1", 2412000, -30.0, 16600.0, 0.30, 0.5),
        Burst("WLAN 6", 2437000, -38.0, 16600.0, 0.15, 1.5),
        Burst("WLAN 11", 2462000, -46.0, 16600.0, 0.50, 2.0),
    };
    SimSignal sweep;
    sweep.name = "Swept tone";
    sweep.type = SignalType::Sweep;
    sweep.frequencyKHz = 1000000;
    sweep.stopFrequencyKHz = 1200000;
    sweep.periodS = 20.0;
    sweep.levelDbm = -45.0;
    scene.signals.push_back(sweep);
    return scene;
}

} // namespace torvelsim
