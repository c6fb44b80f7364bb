// The receiver behind libTorvelSoapy.so: one SoapySDR device opened by
// InitTorvelDLL, and the library's task thread, which tunes, streams samples
// and turns them into level words. The GUI thread starts and stops tasks; the
// task thread owns the device while a task runs, the GUI thread otherwise.
// Shared flags are atomics; the delivered words are guarded by a mutex.
#pragma once

#include "platform/wintypes.h"

#include <atomic>
#include <complex>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace SoapySDR {
class Device;
class Stream;
} // namespace SoapySDR

namespace torvelsoapy {

// What the user chose: SoapySDR device arguments, and the keys this library
// takes out of them (rate=, settle=).
struct ReceiverConfig {
    std::string deviceArgs;
    double rateHz = 2.4e6;    // sample rate asked of the receiver
    double settleS = 0.005;   // samples discarded after every retune
    double levelOffsetDb = 0; // calibration: added to every dBFS level
};

// Parses "driver=rtlsdr,rate=2.4e6,settle=5" (settle in ms); false when a
// value of ours is not a positive number.
bool ParseReceiverArgs(const std::string& args, ReceiverConfig* config);

// dBFS plus the offset in level words of 1/163.84 dB, rounded, never the
// no-sample word and never beyond a short.
short LevelWord(double powerFullScale, double offsetDb);

class CSoapyAnalyser {
public:
    static CSoapyAnalyser& Instance();
    ~CSoapyAnalyser();

    void Configure(const ReceiverConfig& config) { m_config = config; }

    int Open(HWND hwnd, UINT messageBase);
    void Close();
    void Terminate();
    int LastError() const { return m_lastError; }

    // Facts of the opened receiver (those of none before the first opening).
    WORD SerialNumber() const { return m_serial; }
    int MinFrequencyKHz(int kind) const;
    int MaxFrequencyKHz(int kind) const;
    double ZeroReferenceLevel() const { return m_config.levelOffsetDb; }
    int MaxAttenuation() const { return m_maxAttenuation; }

    // A sweep block of `points` points `stepKHz` apart from startKHz (cut at
    // the highest frequency), each the power mean of `averages` spectra.
    int StartSweep(int kind, BYTE tag, int startKHz, int stepKHz, int points, int attenuation,
                   int averages);
    // Refuses a task the receiver cannot do: error 6, the link stays.
    int Refuse();

    int DataCount() const;
    int CopyData(short* buffer, int count) const;
    // Overruns of the receiver's stream since the link was opened.
    long Overruns() const { return m_overruns; }

private:
    struct Job {
        BYTE tag = 0;
        int startKHz = 0;
        int stepKHz = 0;
        int points = 0;
        int averages = 1;
        double gainDb = 0.0;
        double attenuationDb = 0.0;
    };
    CSoapyAnalyser() = default;
    void Run();
    // The sweep on the task thread; an error code, 0 when done.
    int Measure(const Job& job, std::vector<short>& words);
    // Reads n contiguous samples; an error code, 0 when read. An overrun
    // starts the samples over.
    int Read(std::complex<float>* out, int n);
    int Discard(int n);
    void Post(UINT offset, WPARAM wParam, LPARAM lParam) const;
    void StopThread();

    ReceiverConfig m_config;
    SoapySDR::Device* m_device = nullptr;
    SoapySDR::Stream* m_stream = nullptr;
    double m_rateHz = 0.0;
    double m_minGain = 0.0, m_maxGain = 0.0;
    int m_maxAttenuation = 0;
    int m_minKHz = 0, m_maxKHz = 0;
    WORD m_serial = 0;
    HWND m_hwnd = 0;
    UINT m_messageBase = 0;
    std::atomic<bool> m_open{false};
    std::atomic<int> m_lastError{1};
    std::atomic<long> m_overruns{0};

    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    std::atomic<bool> m_cancel{false};
    std::vector<short> m_data;
};

} // namespace torvelsoapy
