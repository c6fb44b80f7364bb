#include "samplestream.h"

#include "device/TorvelAPI.h"

#include <SoapySDR/Constants.h>
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace torvelsoapy {
namespace {

// Every read waits at most this long, so a terminate is seen within 10 ms
// (a receiver paced in real time does make a read wait this long).
constexpr long kReadTimeoutUs = 2500;
// A receiver that delivers nothing for this long has stopped answering.
constexpr auto kSilence = std::chrono::seconds(1);
// The buffer sizes taken from a driver (one that names none gets the
// default); a read asks for one buffer.
constexpr std::size_t kDefaultMtu = 16384;
constexpr std::size_t kSmallestMtu = 1024;
constexpr std::size_t kLargestMtu = std::size_t{1} << 21;
// The most a receiver is taken to hold: a second of samples or this many
// buffers. A stream that gives more without waiting runs faster than real time.
constexpr std::size_t kMostBuffersHeld = 32;
// Reads waited for before the stream's clock is trusted: one that a busy
// machine woke late is outvoted by the other.
constexpr int kClockReads = 2;
// How fast the origin may move later, s/s: a receiver's crystal is off by
// some ppm.
constexpr double kCreep = 100e-6;
// The least time a stream is left unread to learn whether its driver keeps
// its samples when retuned, and the tries before it is taken not to.
constexpr double kProbeIdleS = 0.004;
constexpr int kProbes = 3;
// Returned inside this file by a read that met an overflow.
constexpr int kOverflowed = -2;

double Seconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

} // namespace

void CSampleStream::Attach(SoapySDR::Device* device, SoapySDR::Stream* stream, double rateHz,
                           const std::atomic<bool>* cancel) {
    m_device = device;
    m_stream = stream;
    m_rateHz = rateHz;
    m_cancel = cancel;
    std::size_t mtu = kDefaultMtu;
    try {
        if (const std::size_t given = device->getStreamMTU(stream); given > 0)
            mtu = std::clamp(given, kSmallestMtu, kLargestMtu);
    } catch (const std::exception&) {
    }
    m_mtu = mtu;
    m_buffer.assign(mtu, {});
    m_head = m_tail = 0;
    try {
        m_hardwareTime = device->hasHardwareTime();
    } catch (const std::exception&) {
        m_hardwareTime = false;
    }
    m_paced = true;
    m_queue = Queue::Unknown;
    m_probes = 0;
    m_overruns = 0;
    m_centerHz = std::nan("");
    NewEpoch();
}

void CSampleStream::Detach() {
    m_device = nullptr;
    m_stream = nullptr;
    m_head = m_tail = 0;
}

void CSampleStream::NewEpoch() {
    constexpr double kNone = std::numeric_limits<double>::infinity();
    m_index = 0;
    m_origin = kNone;
    m_bounded = 0.0;
    m_waited = 0;
    m_waitedSinceTune = kNone;
    m_dry = false;
}

int CSampleStream::ReadBuffer(long timeoutUs) {
    m_head = m_tail = 0;
    void* buffers[] = {m_buffer.data()};
    m_flags = 0;
    m_timeNs = 0;
    const int r = m_device->readStream(m_stream, buffers, m_mtu, m_flags, m_timeNs, timeoutUs);
    if (r > 0) {
        m_tail = std::min(static_cast<std::size_t>(r), m_mtu);
        m_index += static_cast<long long>(m_tail);
        // The last sample was made by now.
        const double now = Seconds(Clock::now());
        const double bound = now - static_cast<double>(m_index) / m_rateHz;
        if (std::isfinite(m_origin))
            m_origin += (now - m_bounded) * kCreep;
        m_origin = std::min(m_origin, bound);
        if (m_dry)
            m_waitedSinceTune = std::min(m_waitedSinceTune, bound);
        m_bounded = now;
        m_dry = false;
    } else if (r == SOAPY_SDR_OVERFLOW) {
        NewEpoch();
    } else {
        m_dry = r == SOAPY_SDR_TIMEOUT || r == 0;
        if (m_dry)
            m_dryAt = Seconds(Clock::now());
    }
    return r;
}

int CSampleStream::WaitForBuffer() {
    const Clock::time_point since = Clock::now();
    for (;;) {
        if (m_cancel && *m_cancel)
            return kCancelled;
        const int r = ReadBuffer(kReadTimeoutUs);
        if (r > 0)
            return 0;
        if (r == SOAPY_SDR_OVERFLOW)
            return kOverflowed;
        if (r != SOAPY_SDR_TIMEOUT && r != 0)
            return kTorvelErrorRemoved;
        if (Clock::now() - since >= kSilence)
            return kTorvelErrorTimeout;
    }
}

int CSampleStream::Read(std::complex<float>* out, int n) {
    for (;;) {
        const int e = ReadOnce(out, n);
        if (e != kOverflowed)
            return e;
        // Samples were lost: what was read is no longer contiguous.
        ++m_overruns;
    }
}

int CSampleStream::ReadOnce(std::complex<float>* out, int n) {
    int got = 0;
    while (got < n) {
        if (m_head < m_tail) {
            const std::size_t take = std::min(m_tail - m_head, static_cast<std::size_t>(n - got));
            std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_head), take, out + got);
            m_head += take;
            got += static_cast<int>(take);
            continue;
        }
        if (int e = WaitForBuffer())
            return e;
    }
    return 0;
}

int CSampleStream::Drain(bool* dry) {
    const std::size_t most = std::max(static_cast<std::size_t>(m_rateHz), kMostBuffersHeld * m_mtu);
    std::size_t drained = 0;
    bool overflowed = false;
    *dry = false;
    while (drained <= most) {
        if (m_cancel && *m_cancel)
            return kCancelled;
        const int r = ReadBuffer(0);
        if (r > 0) {
            drained += static_cast<std::size_t>(r);
        } else if (r == SOAPY_SDR_TIMEOUT || r == 0) {
            *dry = true;
            break;
        } else if (r == SOAPY_SDR_OVERFLOW) {
            // Samples of the old tuning were lost: nothing a task needs, but
            // the clock starts anew.
            overflowed = true;
        } else {
            return kTorvelErrorRemoved;
        }
    }
    m_head = m_tail = 0;
    return overflowed ? kOverflowed : 0;
}

int CSampleStream::WaitAfterDrain() {
    bool dry = false;
    const int e = Drain(&dry);
    if (e && e != kOverflowed)
        return e;
    if (!dry) {
        m_paced = false;
        return 0;
    }
    // Nothing is queued: this read waits for its buffer.
    const int w = WaitForBuffer();
    return w ? w : e;
}

int CSampleStream::SkipTo(long long index) {
    for (;;) {
        // The buffer holds the stream's samples m_index - m_tail onwards.
        const long long first = m_index - static_cast<long long>(m_tail);
        if (index < m_index) {
            m_head = std::max(m_head, static_cast<std::size_t>(std::max(0LL, index - first)));
            return 0;
        }
        if (int e = WaitForBuffer())
            return e;
    }
}

int CSampleStream::SetClock() {
    for (;;) {
        int e = 0;
        if (m_waited < kClockReads) {
            e = WaitAfterDrain();
            if (e == 0 && m_paced)
                ++m_waited;
        } else if (m_queue == Queue::Unknown && !std::isnan(m_centerHz)) {
            e = Probe();
        } else {
            return 0;
        }
        if (!m_paced)
            return 0;
        if (e && e != kOverflowed)
            return e;
    }
}

int CSampleStream::Probe() {
    // The stream runs unread for a while, and the receiver is tuned where it
    // is: a driver that drops what it holds makes the samples read next
    // later than their count says by about that while.
    const double idle = std::max(3.0 * static_cast<double>(m_mtu) / m_rateHz, kProbeIdleS);
    const double until = Seconds(Clock::now()) + idle;
    while (Seconds(Clock::now()) < until) {
        if (m_cancel && *m_cancel)
            return kCancelled;
        std::this_thread::sleep_for(std::chrono::microseconds(kReadTimeoutUs));
    }
    const double origin = m_origin;
    if (int e = TuneNow(m_centerHz))
        return e;
    const int e = WaitAfterDrain();
    if (e == kOverflowed) {
        // A receiver whose queue overflows meanwhile gives no answer: after
        // a few tries it is taken to drop its samples.
        if (++m_probes >= kProbes)
            m_queue = Queue::Dropped;
        return e;
    }
    if (e)
        return e;
    const bool kept = m_waitedSinceTune - origin < idle / 2;
    m_queue = kept ? Queue::Kept : Queue::Dropped;
    // Even a driver that keeps most of what it holds may have dropped a
    // little: the clock is set up anew.
    NewEpoch();
    return 0;
}

int CSampleStream::Retune(double centerHz) {
    if (centerHz == m_centerHz)
        return 0;
    // What the receiver holds is read away first (it was made at the old
    // tuning): a driver that drops some of what it holds when retuned then
    // has nothing to drop but the buffer it fills.
    if (m_paced) {
        bool dry = false;
        const int e = Drain(&dry);
        if (e && e != kOverflowed)
            return e;
    }
    if (int e = TuneNow(centerHz))
        return e;
    // Buffers that came while the receiver was tuned may have pushed out
    // some it held: the clock is set up anew.
    if (m_paced && m_queue != Queue::Dropped && TunedLate())
        NewEpoch();
    return 0;
}

bool CSampleStream::TunedLate() const {
    return Seconds(Clock::now()) - m_dryAt > 0.5 * static_cast<double>(m_mtu) / m_rateHz;
}

int CSampleStream::TuneNow(double centerHz) {
    m_centerHz = std::nan("");
    try {
        m_device->setFrequency(SOAPY_SDR_RX, 0, centerHz);
    } catch (const std::exception&) {
        m_refusedHz = centerHz;
        return kTorvelErrorTaskFailed;
    }
    m_tuned = Seconds(Clock::now());
    m_settleFrom = m_index;
    m_waitedSinceTune = std::numeric_limits<double>::infinity();
    if (m_hardwareTime) {
        try {
            m_tunedNs = m_device->getHardwareTime();
        } catch (const std::exception&) {
            m_hardwareTime = false;
        }
    }
    m_centerHz = centerHz;
    return 0;
}

void CSampleStream::Untune() {
    m_centerHz = std::nan("");
}

int CSampleStream::Settle(double settleS) {
    const double settleSamples = settleS * m_rateHz;
    for (;;) {
        if (m_hardwareTime) {
            if (m_head >= m_tail) {
                const int e = WaitForBuffer();
                if (e == kOverflowed)
                    continue;
                if (e)
                    return e;
            }
            if (m_flags & SOAPY_SDR_HAS_TIME) {
                // Samples stamped before the retune plus the settling time are left out.
                const double early =
                    static_cast<double>(m_tunedNs - m_timeNs) * 1e-9 * m_rateHz + settleSamples;
                const auto skip = static_cast<std::size_t>(std::max(0.0, std::ceil(early)));
                if (skip < m_tail) {
                    m_head = std::max(m_head, skip);
                    return 0;
                }
                m_head = m_tail;
                continue;
            }
            // The driver has a clock but does not stamp its samples.
            m_hardwareTime = false;
        }
        int e = m_paced ? SetClock() : 0;
        if (e == 0 && m_paced && m_queue != Queue::Dropped) {
            e = SkipTo(
                static_cast<long long>(std::ceil((m_tuned - m_origin) * m_rateHz + settleSamples)));
        } else if (e == 0 && m_paced) {
            // A driver that drops what it holds when retuned leaves the
            // count unsure: what it holds now is old, and so may be the
            // buffer it fills; after that the settling time is counted.
            bool dry = false;
            e = Drain(&dry);
            if (e == 0)
                e = SkipTo(m_index + static_cast<long long>(m_mtu) +
                           static_cast<long long>(std::ceil(settleSamples)));
        } else if (e == 0) {
            // Faster than real time, the settling time is counted in samples
            // from the retune on.
            e = SkipTo(m_settleFrom + static_cast<long long>(std::ceil(settleSamples)));
        }
        if (e != kOverflowed)
            return e;
    }
}

int CSampleStream::Capture(double settleS, std::complex<float>* out, int n, double nextHz) {
    const double here = m_centerHz;
    for (;;) {
        const int clock = m_paced && !m_hardwareTime ? SetClock() : 0;
        if (clock == kOverflowed)
            continue;
        if (clock)
            return clock;
        if (std::isnan(nextHz) || !m_paced || m_hardwareTime || std::isnan(here) ||
            m_queue != Queue::Kept) {
            if (int e = Settle(settleS))
                return e;
            if (int e = Read(out, n))
                return e;
            return std::isnan(nextHz) ? 0 : Retune(nextHz);
        }
        const int e = CaptureAndMoveOn(settleS, out, n, nextHz);
        if (e != kOverflowed)
            return e;
        // Samples were lost: this tuning is captured again.
        if (int r = Retune(here))
            return r;
    }
}

int CSampleStream::CaptureAndMoveOn(double settleS, std::complex<float>* out, int n,
                                    double nextHz) {
    const auto first = static_cast<long long>(std::ceil((m_tuned - m_origin + settleS) * m_rateHz));
    bool moved = false;
    int got = 0;
    // The first sample taken: the first settled one, or a later one where
    // those were read already.
    long long start = first;
    // Whether a read of this capture found nothing since the last that
    // gave samples: the receiver holds nothing delivered.
    bool dry = false;
    Clock::time_point heard = Clock::now();
    for (;;) {
        // What the buffer holds of the samples wanted, in order.
        const long long held = m_index - static_cast<long long>(m_tail);
        if (got == 0)
            start = std::max(first, held + static_cast<long long>(m_head));
        if (held + static_cast<long long>(m_head) < start)
            m_head = std::min(m_tail, static_cast<std::size_t>(start - held));
        if (got < n && m_head < m_tail) {
            const std::size_t take = std::min(m_tail - m_head, static_cast<std::size_t>(n - got));
            std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_head), take, out + got);
            m_head += take;
            got += static_cast<int>(take);
        }
        // The last sample wanted is made by this time (the origin is a bound
        // from above). Once it is, and nothing delivered is left unread, the
        // receiver moves on: it holds only the buffer it fills, and keeps it.
        const double madeBy = m_origin + static_cast<double>(start + n) / m_rateHz;
        const double now = Seconds(Clock::now());
        if (got == n)
            return moved ? 0 : Retune(nextHz);
        if (!moved && now >= madeBy && dry) {
            if (int e = TuneNow(nextHz))
                return e;
            moved = true;
            // Buffers that came while the receiver was tuned may have pushed
            // out some it held: this tuning is captured again.
            if (TunedLate())
                return kOverflowed;
        }
        if (m_cancel && *m_cancel)
            return kCancelled;
        const long timeoutUs =
            moved || !std::isfinite(madeBy)
                ? kReadTimeoutUs
                : std::clamp(static_cast<long>((madeBy - now) * 1e6), 0L, kReadTimeoutUs);
        const int r = ReadBuffer(timeoutUs);
        dry = m_dry;
        if (r > 0) {
            heard = Clock::now();
        } else if (r == SOAPY_SDR_OVERFLOW) {
            // A capture that had begun lost samples.
            if (got > 0)
                ++m_overruns;
            return kOverflowed;
        } else if (r != SOAPY_SDR_TIMEOUT && r != 0) {
            return kTorvelErrorRemoved;
        } else if (Clock::now() - heard >= kSilence) {
            return kTorvelErrorTimeout;
        }
    }
}

} // namespace torvelsoapy
