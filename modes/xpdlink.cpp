#include "modes/xpdlink.h"

#include "modes/xpdframes.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The worker's niceness: below the GUI thread.
constexpr int kWorkerNice = 5;
const std::string kNoRequest = "0000";
// How often a closing write looks for its reply.
constexpr auto kReplyPoll = std::chrono::milliseconds(2);

std::string writeFrame(bool relay, int reg, unsigned value) {
    return relay ? XpdFrames::WriteRelayFrame(XpdFrames::kStation, reg, value)
                 : XpdFrames::WriteDataFrame(XpdFrames::kStation, reg, value);
}

const char* writeLetters(bool relay) {
    return relay ? XpdFrames::kWriteRelay : XpdFrames::kWriteData;
}
} // namespace

CXpdControllerLink::CXpdControllerLink() : m_clock([] { return std::time(nullptr); }) {}

CXpdControllerLink::~CXpdControllerLink() {
    Stop();
}

void CXpdControllerLink::SetPortNames(const std::string& primary, const std::string& secondary) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string names[kPorts] = {primary, secondary};
    for (int p = 0; p < kPorts; ++p) {
        if (m_names[p] != names[p]) {
            m_names[p] = names[p];
            m_moved[p] = true;
        }
    }
}

int CXpdControllerLink::ClampBaseWait(int ms) {
    return std::clamp(ms, 0, kMaxBaseWaitMs);
}

int CXpdControllerLink::ClampActiveTime(int seconds) {
    return std::clamp(seconds, 1, kMaxActiveTime);
}

void CXpdControllerLink::SetRunFlag(int flag) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_run.store(flag);
        m_served = m_served || flag != 0;
    }
    m_wake.notify_all();
}

void CXpdControllerLink::Start() {
    if (m_thread.joinable()) {
        return;
    }
    SetRunFlag(1);
    m_workerAlive.store(true);
    m_thread = std::thread([this] { WorkerMain(); });
}

unsigned CXpdControllerLink::Stop() {
    SetRunFlag(0);
    if (m_thread.joinable()) {
        while (m_workerAlive.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
        }
        m_thread.join();
    }
    unsigned unreached = 0;
    if (m_served) {
        m_served = false;
        // The controllers are left inactive, also one whose port the worker
        // had closed after a missed reply, and one left behind by a new name.
        const auto deadline = std::chrono::steady_clock::now() + m_closeBudget;
        OpenPorts(deadline);
        for (int p = 0; p < kPorts; ++p) {
            // A controller never reached was never driven: nothing of it is
            // left active.
            if (!LeaveInactive(p, deadline) && m_reached[p]) {
                unreached |= 1u << p;
            }
            m_reached[p] = false;
        }
    }
    for (CSerialPort& port : m_ports) {
        port.Close();
    }
    return unreached;
}

void CXpdControllerLink::OpenPorts(std::chrono::steady_clock::time_point deadline) {
    std::string names[kPorts];
    bool moved[kPorts];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int p = 0; p < kPorts; ++p) {
            names[p] = m_names[p];
            moved[p] = std::exchange(m_moved[p], false);
        }
    }
    for (int p = 0; p < kPorts; ++p) {
        if (moved[p]) {
            // The controller left behind is left inactive, also one whose
            // port a missed reply had closed: its relay must not stay on.
            if (!m_ports[p].IsOpen() && m_reached[p])
                m_ports[p].Open(m_openedNames[p]);
            if (m_ports[p].IsOpen())
                LeaveInactive(p, deadline);
            m_ports[p].Close();
            m_reached[p] = false;
        }
        if (!m_ports[p].IsOpen()) {
            m_ports[p].Open(names[p]);
            m_openedNames[p] = names[p];
        }
    }
}

bool CXpdControllerLink::LeaveInactive(int port, std::chrono::steady_clock::time_point deadline) {
    return CloseWrite(port, true, kRegRelay, kRelayIdle, deadline) &&
           CloseWrite(port, false, kRegMode, kModeIdle, deadline) &&
           CloseWrite(port, false, kRegStart, 0, deadline);
}

bool CXpdControllerLink::CloseWrite(int port, bool relay, int reg, unsigned value,
                                    std::chrono::steady_clock::time_point deadline) {
    CSerialPort& p = m_ports[port];
    if (!p.IsOpen()) {
        return false;
    }
    // A late reply to an earlier write is not this write's.
    p.Purge();
    if (!p.Send(writeFrame(relay, reg, value))) {
        p.Close();
        return false;
    }
    // The reply is taken as soon as it is complete, waited for at most the
    // base wait held to m_closeReplyWaitMs (at least m_minReplyWaitMs), and
    // never past the deadline.
    const auto now = std::chrono::steady_clock::now();
    const auto until =
        std::min(deadline, now + std::chrono::milliseconds(std::max(
                                     std::min(BaseWait(), m_closeReplyWaitMs), m_minReplyWaitMs)));
    std::string reply;
    for (;;) {
        std::string part;
        if (p.Receive(&part) && reply.size() < CSerialPort::kMaxReceive) {
            reply += part;
        }
        if (reply.find('\r') != std::string::npos || std::chrono::steady_clock::now() >= until) {
            break;
        }
        std::this_thread::sleep_for(kReplyPoll);
    }
    if (!XpdFrames::ReplyMatches(reply.data(), reply.size(), writeLetters(relay))) {
        p.Close();
        return false;
    }
    return true;
}

void CXpdControllerLink::WorkerMain() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kWorkerNice);
    while (Running()) {
        RunRound();
    }
    m_workerAlive.store(false);
}

std::time_t CXpdControllerLink::Now() const {
    return m_clock();
}

bool CXpdControllerLink::Wait(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_until(lock, until, [this] { return !Running(); });
}

bool CXpdControllerLink::ReadBoth(int reg, std::string values[kPorts]) {
    const std::string frame = XpdFrames::ReadDataFrame(XpdFrames::kStation, reg);
    for (int p = 0; p < kPorts; ++p) {
        values[p] = kNoRequest;
        if (m_ports[p].IsOpen() && !m_ports[p].Send(frame)) {
            m_ports[p].Close();
        }
    }
    if (!Wait(kReadWaitMs)) {
        return false;
    }
    for (int p = 0; p < kPorts; ++p) {
        if (!m_ports[p].IsOpen()) {
            continue;
        }
        std::string reply;
        if (!m_ports[p].Receive(&reply) ||
            !XpdFrames::ParseReadReply(reply.data(), reply.size(), &values[p])) {
            m_ports[p].Close();
        } else {
            m_reached[p] = true;
        }
    }
    return Wait(kReadWaitMs);
}

bool CXpdControllerLink::WriteWithReply(int port, const std::string& frame, const char* letters) {
    CSerialPort& p = m_ports[port];
    if (!p.IsOpen()) {
        return false;
    }
    if (!p.Send(frame)) {
        p.Close();
        return false;
    }
    if (!Wait(BaseWait())) {
        return false;
    }
    std::string reply;
    if (!p.Receive(&reply) || !XpdFrames::ReplyMatches(reply.data(), reply.size(), letters)) {
        p.Close();
        return false;
    }
    m_reached[port] = true;
    return true;
}

bool CXpdControllerLink::WriteBoth(bool relay, int reg, unsigned value) {
    const std::string frame = writeFrame(relay, reg, value);
    for (int p = 0; p < kPorts; ++p) {
        if (!Running()) {
            return false;
        }
        WriteWithReply(p, frame, writeLetters(relay));
    }
    return Running();
}

unsigned CXpdControllerLink::RemainingPercent(int activeTime, long long elapsed) {
    activeTime = ClampActiveTime(activeTime);
    const unsigned t = static_cast<unsigned>(activeTime);
    const unsigned e = static_cast<unsigned>(elapsed < 0            ? 0
                                             : elapsed > activeTime ? activeTime
                                                                    : elapsed);
    return (t * 100 - e * 100) / t;
}

unsigned CXpdControllerLink::XpdWhole(double xpd) {
    return static_cast<unsigned>(static_cast<long long>(xpd) % 100);
}

unsigned CXpdControllerLink::XpdHundredths(double xpd) {
    return static_cast<unsigned>(static_cast<long long>(xpd * 100) % 100);
}

// The peak frequency value is a whole number of kHz times 0.001: the kHz are
// taken back exactly and split in integers (430.125 gives 430 and 125, and
// 512.3, held as 512.29999..., still 512 and 300).
unsigned CXpdControllerLink::PeakWhole(double peak) {
    return static_cast<unsigned>(std::llround(peak * 1000) / 1000);
}

unsigned CXpdControllerLink::PeakThousandths(double peak) {
    return static_cast<unsigned>(std::llround(peak * 1000) % 1000);
}

void CXpdControllerLink::RunRound() {
    // 1. A port whose name changed is moved, the controller left behind
    // inactive; ports that are closed are opened again.
    OpenPorts(std::chrono::steady_clock::now() + m_moveBudget);
    if (!Running()) {
        return;
    }
    // 2. and 3. A start request on either controller starts an active period.
    std::string values[kPorts];
    if (!ReadBoth(kRegStart, values)) {
        return;
    }
    if (values[kPrimary] != kNoRequest || values[kSecondary] != kNoRequest) {
        m_activeFlag.store(1);
        m_periodStart = Now();
        if (!WriteBoth(false, kRegStart, 0)) {
            return;
        }
    }
    // 4. So does a rising detect flag.
    const int detect = m_detectFlag.load();
    if (detect && !m_lastDetect) {
        m_activeFlag.store(1);
        m_periodStart = Now();
    }
    m_lastDetect = detect;
    // 5. The period ends when more than the active time has passed.
    const int activeTime = ClampActiveTime(m_activeTime.load());
    long long elapsed = static_cast<long long>(Now() - m_periodStart);
    if (elapsed > activeTime) {
        m_activeFlag.store(0);
    }
    if (m_activeFlag.load()) {
        // 6. Active: outputs, remaining time, and a restart request.
        const unsigned remaining = RemainingPercent(activeTime, elapsed);
        m_remainingPercent.store(static_cast<int>(remaining));
        const bool alarm = m_alarmFlag.load() || m_technicalAlarm.load();
        if (!WriteBoth(true, kRegRelay, alarm ? kRelayAlarm : kRelayActive) ||
            !WriteBoth(false, kRegMode, kModeActive) ||
            !WriteBoth(false, kRegRemaining, remaining) || !Wait(kReadWaitMs) ||
            !ReadBoth(kRegRestart, values)) {
            return;
        }
        if (values[kPrimary] != kNoRequest || values[kSecondary] != kNoRequest) {
            m_periodStart = Now();
            if (!WriteBoth(false, kRegRestart, 0)) {
                return;
            }
        }
    } else {
        // 7. Inactive.
        m_remainingPercent.store(0);
        const unsigned relay = m_technicalAlarm.load() ? kRelayAlarm : kRelayIdle;
        if (!WriteBoth(false, kRegMode, kModeIdle) || !WriteBoth(true, kRegRelay, relay)) {
            return;
        }
    }
    // 8. The XPD value and the peak frequency, once there is a reading.
    if (!m_valuesValid.load())
        return;
    const double xpd = m_xpdValue.load();
    const double peak = m_peakValue.load();
    if (!WriteBoth(false, kRegXpdWhole, XpdWhole(xpd)) ||
        !WriteBoth(false, kRegXpdHundredths, XpdHundredths(xpd)) ||
        !WriteBoth(false, kRegPeakThousandths, PeakThousandths(peak))) {
        return;
    }
    WriteBoth(false, kRegPeakWhole, PeakWhole(peak));
}
