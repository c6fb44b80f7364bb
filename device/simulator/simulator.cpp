// The analyser simulator (placeholder until the device interface lands).
extern "C" int TorvelSimulatorPresent() { return 1; }
