// The samples of a receiver's stream as the task thread reads them: retuned,
// with every sample that was made before the new tuning had settled left out,
// and read in the driver's own buffers (its MTU at a time).
//
// A receiver keeps streaming while it is retuned, and many drivers keep the
// buffers they have queued: the samples read next were made at the old
// frequency. So after a retune every sample made before the retune plus the
// settling time is left out, found
// - by the hardware time of each read, where the driver stamps its samples;
// - otherwise by the stream's own clock: sample k of a stream was made at
//   origin + k / rate, and a read that returns at time t with sample k as its
//   last shows that origin <= t - k / rate. The least such bound is the
//   origin, within the driver's latency (a read that had to wait for its
//   buffer gives it); it is let creep by 100 ppm a second, so that a slow
//   crystal is followed. The clock is set up by reading away what is queued
//   and then two buffers that had to be waited for; an overflow loses an
//   unknown count of samples and sets it up anew.
// Some drivers drop what they hold when they are retuned, without a word, so
// that the count no longer tells the time. Everything delivered is read
// before a retune, so only the buffer being filled is held then; a retune
// that came late after that (more buffers may have come meanwhile) sets the
// clock up anew. Once per link the stream is left unread for a while and
// retuned where it is: a driver whose samples then come later than their
// count says drops what it holds, and its samples are settled by count, the
// buffer it was filling left out as well.
// A stream that never runs dry delivers faster than real time (a recording):
// it settles by count.
// Where the driver keeps its samples and the clock is known, a sweep's next
// tuning is made as soon as the last sample of this one has been made, before
// it is delivered: each tuning costs its settling and dwell, not a buffer.
// The GUI thread never calls into this class.
#pragma once

#include <atomic>
#include <chrono>
#include <complex>
#include <cstddef>
#include <vector>

namespace SoapySDR {
class Device;
class Stream;
} // namespace SoapySDR

namespace torvelsoapy {

// Returned by a read that a terminate cut short.
constexpr int kCancelled = -1;

class CSampleStream {
public:
    // An opened, active stream of CF32 samples at rateHz.
    void Attach(SoapySDR::Device* device, SoapySDR::Stream* stream, double rateHz,
                const std::atomic<bool>* cancel);
    void Detach();

    // Tunes to centerHz, unless the receiver is tuned there already (a
    // sweep tunes to the next block's first frequency before it hands its
    // block over); 0, or kTorvelErrorTaskFailed for a tuning the driver
    // refuses (it throws): the link stays.
    int Retune(double centerHz);
    // Forgets the tuning: the next retune tunes and settles anew (the gain
    // or the input changed).
    void Untune();
    // Leaves out every sample made before the last retune plus settleS; an
    // error code, 0 when the next sample read is the first settled one. A
    // failed stream is kTorvelErrorRemoved, a silent one kTorvelErrorTimeout.
    int Settle(double settleS);
    int Tune(double centerHz, double settleS) {
        const int e = Retune(centerHz);
        return e ? e : Settle(settleS);
    }
    // Reads n contiguous samples; an error code, 0 when read. An overrun
    // starts the samples over and is counted.
    int Read(std::complex<float>* out, int n);
    // Settles and reads n contiguous samples of this tuning, then tunes to
    // nextHz (NaN: stays), as soon as the last of them is made where the
    // driver keeps its samples, so that the next tuning settles while they
    // are delivered and worked on. An error code, 0 when read.
    int Capture(double settleS, std::complex<float>* out, int n, double nextHz);

    // Overruns that cost samples of a task since Attach: those met while
    // samples are read away after a retune (the receiver's queue overflowed
    // while it waited between tasks) are not.
    long Overruns() const { return m_overruns; }
    // The frequency of the last tuning the driver refused.
    double RefusedHz() const { return m_refusedHz; }
    std::size_t Mtu() const { return m_mtu; }

private:
    using Clock = std::chrono::steady_clock;
    // One read of the driver into the buffer; the count, or a SoapySDR code.
    int ReadBuffer(long timeoutUs);
    // Reads until the driver gives samples, waiting at most a second in all:
    // 0, kOverflowed, or an error code.
    int WaitForBuffer();
    // Read without starting over: kOverflowed when samples were lost.
    int ReadOnce(std::complex<float>* out, int n);
    // Reads away what the receiver holds; *dry false when it never runs dry.
    int Drain(bool* dry);
    // Reads away what is queued and waits for a buffer; 0, kOverflowed or
    // an error code.
    int WaitAfterDrain();
    // Leaves out the samples before the stream's sample `index`.
    int SkipTo(long long index);
    // Sets up the stream's clock, learns once whether the driver keeps its
    // samples when retuned, and for one that drops them bounds the clock
    // anew after a retune; 0, kOverflowed or an error code.
    int SetClock();
    int Probe();
    // Tunes without reading away what the receiver holds.
    int TuneNow(double centerHz);
    // Whether half a buffer's time or more passed since a read last found
    // nothing: buffers may have come meanwhile and pushed out some the
    // receiver held when it was tuned.
    bool TunedLate() const;
    // Capture with the stream's clock known and a driver that keeps its
    // samples: reads on while they are made and tunes to nextHz once the
    // last is made and everything delivered is read; kOverflowed when
    // samples were lost (the receiver may have moved on).
    int CaptureAndMoveOn(double settleS, std::complex<float>* out, int n, double nextHz);
    void NewEpoch();

    SoapySDR::Device* m_device = nullptr;
    SoapySDR::Stream* m_stream = nullptr;
    double m_rateHz = 0.0;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_hardwareTime = false;
    bool m_paced = true;
    // Whether the driver keeps the samples it has not delivered when it is
    // retuned.
    enum class Queue { Unknown, Kept, Dropped };
    Queue m_queue = Queue::Unknown;
    int m_probes = 0;
    std::size_t m_mtu = 0;
    std::vector<std::complex<float>> m_buffer;
    std::size_t m_head = 0, m_tail = 0; // the samples of m_buffer not read yet
    // The last read's flags and time stamp, and whether it found nothing.
    int m_flags = 0;
    long long m_timeNs = 0;
    bool m_dry = false;
    double m_dryAt = 0.0;
    // The stream's clock: samples delivered since the epoch began, the
    // origin (seconds on the steady clock) and when it was last bounded, and
    // the reads that were waited for.
    long long m_index = 0;
    double m_origin = 0.0;
    double m_bounded = 0.0;
    int m_waited = 0;
    // The least bound of the reads since the last retune that had waited.
    double m_waitedSinceTune = 0.0;
    // The last tuning (NaN: none or forgotten), when it was made (steady
    // clock and hardware time), and for a stream faster than real time the
    // first sample read after it.
    double m_centerHz = 0.0;
    double m_tuned = 0.0;
    long long m_tunedNs = 0;
    long long m_settleFrom = 0;
    double m_refusedHz = 0.0;
    std::atomic<long> m_overruns{0};
};

} // namespace torvelsoapy
