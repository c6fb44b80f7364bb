// The receiver behind libTorvelSoapy.so: one SoapySDR device opened by
// InitTorvelDLL, and the library's task thread, which tunes, streams samples
// and turns them into level words. The GUI thread starts and stops tasks and
// never waits for samples; the task thread owns the device while a task runs,
// the GUI thread otherwise. Shared flags are atomics; the delivered words and
// the ring of semi-real-time slices are guarded by a mutex.
#pragma once

#include "samplestream.h"
#include "sweepplan.h"

#include "platform/wintypes.h"

#include <atomic>
#include <chrono>
#include <complex>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
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
    double settleS = 0.005;   // the receiver's settling after a retune
    double levelOffsetDb = 0; // calibration: added to every dBFS level
};

// The no-sample word (0x8080): a point beyond what the receiver sees.
constexpr short kNoSampleWord = -32640;
// Level words per dB.
constexpr double kLevelWordsPerDb = 163.84;

// Parses "driver=rtlsdr,rate=2.4e6,settle=5" (settle in ms); false when a
// value of ours is not a positive number within what receivers have (a
// sample rate up to 1e9 per second, a settling time up to 10 s).
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
    // The last error in words, where the receiver has more to say than its
    // code ("this receiver covers 24-1766 MHz"); empty otherwise.
    std::string ErrorText() const;

    // Facts of the opened receiver (those of none before the first opening).
    WORD SerialNumber() const { return m_serial; }
    int MinFrequencyKHz(int kind) const;
    int MaxFrequencyKHz(int kind) const;
    double ZeroReferenceLevel() const { return m_config.levelOffsetDb; }
    int MaxAttenuation() const { return m_maxAttenuation; }

    // The points of a sweep block of at least minimumKHz sized to whole
    // tunings (0 while no receiver is open).
    int SweepBlockPoints(int stepKHz, int minimumKHz) const;
    // A sweep block of `points` points `stepKHz` apart from startKHz (cut at
    // the highest frequency), each the power mean of `averages` spectra.
    int StartSweep(BYTE tag, int startKHz, int stepKHz, int points, int attenuation, int averages);
    // The band analyses: 250 kHz bins of the block from baseKHz (see
    // torvelsoapy.cpp for the arguments).
    int StartZeroSpan(BYTE tag, int baseKHz, int attenuation, int triggerType, int triggerLevel,
                      int firstBin, int lastBin, int samples, int postTrigger);
    int StartRealTime(BYTE tag, int baseKHz, int attenuation, int triggerType, int senseValue,
                      int triggerPosition);
    int StartSemiRealTime(BYTE tag, int startKHz, int attenuation, int rejection);
    int SemiRealTimeResult(BYTE tag);
    // The input of the next task: 0 = first, 1 = second; refused with error
    // 6 by a receiver with one input.
    int SelectPath(int port, int enable, int path);
    // Refuses a task the receiver cannot do: error 6, the link stays.
    int Refuse(std::string why = {});
    // Refuses a frequency outside the receiver's range: error 8, the range
    // said in words.
    int RefuseRange();
    // Whether the receiver is open; if not, the error is "not open" unless
    // the link was lost, whose error stays the one a caller reads.
    bool CheckOpen();

    int DataCount() const;
    int CopyData(short* buffer, int count) const;
    // Overruns that cost samples of a task since the link was opened.
    long Overruns() const { return m_samples.Overruns(); }

private:
    enum class Kind { Sweep, ZeroSpan, RealTime, SemiRealTime };
    struct Job {
        Kind kind = Kind::Sweep;
        BYTE tag = 0;
        int startKHz = 0;
        int stepKHz = 0;
        int points = 0;
        int averages = 1;
        double gainDb = 0.0;
        double attenuationDb = 0.0;
        int path = 0;
        // Band analyses: trigger type and level, bins, samples or blocks.
        int triggerType = 0;
        int triggerLevel = 0;
        int firstBin = 0, lastBin = 0;
        int samples = 0, postTrigger = 0;
        int triggerPosition = 0;
        // The words of a block: those beyond the highest frequency (and
        // below the lowest) are the no-sample word.
        int blockWords = 0;
    };
    // A sample block of the stream; false ends the streaming.
    using BlockSink = std::function<bool(const std::complex<float>*)>;
    CSoapyAnalyser() = default;
    void Run();
    // Checks the link and queues a job; 1 = started.
    int Start(Job job, int attenuation);
    // The tasks on the task thread; an error code, 0 when done.
    // A sweep block; the receiver is left tuned to the first frequency of
    // the block from nextStartKHz (none beyond the range).
    int Measure(const Job& job, std::vector<short>& words, int nextStartKHz);
    int MeasureZeroSpan(const Job& job, std::vector<short>& words);
    int MeasureRealTime(const Job& job, std::vector<short>& words);
    int RunSemiRealTime(const Job& job);
    // Tunes and lets the receiver settle (see CSampleStream).
    int Tune(double centerHz);
    // The tuning nearest centerHz that the receiver has.
    double Tunable(double centerHz) const { return NearestTuning(centerHz, m_ranges); }
    // Streams contiguous blocks of `length` samples, one every `hop` samples,
    // to sink until it returns false; an overrun is counted and the blocks go
    // on after the gap.
    int Stream(int length, int hop, const BlockSink& sink);
    // Progress reports of a capture waiting for its trigger: at the start and
    // every half second of waiting.
    void ReportWaiting(BYTE tag, bool first);
    // Hands the slices of the ring over (mutex held).
    void HandOverSlices(BYTE tag);
    // Reads n contiguous samples; an error code, 0 when read. An overrun
    // starts the samples over.
    int Read(std::complex<float>* out, int n) { return m_samples.Read(out, n); }
    void Post(UINT offset, WPARAM wParam, LPARAM lParam) const;
    // Sets the last error and its words.
    void SetError(int code, std::string text = {});
    void StopThread();

    ReceiverConfig m_config;
    SoapySDR::Device* m_device = nullptr;
    SoapySDR::Stream* m_stream = nullptr;
    double m_rateHz = 0.0;
    double m_minGain = 0.0, m_maxGain = 0.0;
    int m_maxAttenuation = 0;
    int m_minKHz = 0, m_maxKHz = 0;
    double m_lowHz = 0.0, m_highHz = 0.0; // the receiver's tuning range
    std::vector<TuningRange> m_ranges;
    WORD m_serial = 0;
    HWND m_hwnd = 0;
    UINT m_messageBase = 0;
    std::atomic<bool> m_open{false};
    std::atomic<int> m_lastError{1};

    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    std::atomic<bool> m_cancel{false};
    CSampleStream m_samples;
    std::vector<short> m_data;
    std::string m_errorText;
    std::vector<std::string> m_antennas;
    std::atomic<int> m_path{0};
    // The gain and input the receiver is set to (task thread; NaN and -1
    // after an opening).
    double m_gainDb = 0.0;
    int m_pathInUse = -1;
    // Semi-real-time: finished slices not handed over yet (at most
    // kSliceRing; the oldest are dropped and counted), and whether the
    // program asked for the next batch.
    std::deque<std::vector<short>> m_slices;
    int m_droppedSlices = 0;
    bool m_sliceAsked = false;
    bool m_semiRunning = false;
    BYTE m_semiTag = 0;
    std::chrono::steady_clock::time_point m_lastWaitReport;
};

} // namespace torvelsoapy
