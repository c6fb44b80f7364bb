#include "modes/xpdlink.h"

#include "modes/xpdframes.h"

#include <chrono>
#include <cmath>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The worker's niceness: below the GUI thread.
constexpr int kWorkerNice = 5;
const std::string kNoRequest = "0000";
} // namespace

CXpdControllerLink::CXpdControllerLink() : m_clock([] { return std::time(nullptr); }) {}

CXpdControllerLink::~CXpdControllerLink() {
    Stop();
}

void CXpdControllerLink::SetPortNames(const std::string& primary, const std::string& secondary) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_names[kPrimary] = primary;
    m_names[kSecondary] = secondary;
}

void CXpdControllerLink::SetRunFlag(int flag) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_run.store(flag);
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

void CXpdControllerLink::Stop() {
    SetRunFlag(0);
    if (m_thread.joinable()) {
        while (m_workerAlive.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
        }
        m_thread.join();
    }
    // The controllers are left inactive. A reply to a write the worker left
    // behind would be taken for the reply to the first of these.
    for (CSerialPort& port : m_ports) {
        port.Purge();
    }
    WriteBoth(true, kRegRelay, kRelayIdle, false);
    WriteBoth(false, kRegMode, kModeIdle, false);
    WriteBoth(false, kRegStart, 0, false);
    for (CSerialPort& port : m_ports) {
        port.Close();
    }
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

bool CXpdControllerLink::Wait(int ms, bool interruptible) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!interruptible) {
        std::this_thread::sleep_until(until);
        return true;
    }
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
        }
    }
    return Wait(kReadWaitMs);
}

bool CXpdControllerLink::WriteWithReply(int port, const std::string& frame, const char* letters,
                                        bool interruptible) {
    CSerialPort& p = m_ports[port];
    if (!p.IsOpen()) {
        return false;
    }
    if (!p.Send(frame)) {
        p.Close();
        return false;
    }
    if (!Wait(m_baseWait.load(), interruptible)) {
        return false;
    }
    std::string reply;
    if (!p.Receive(&reply) || !XpdFrames::ReplyMatches(reply.data(), reply.size(), letters)) {
        p.Close();
        return false;
    }
    return true;
}

bool CXpdControllerLink::WriteBoth(bool relay, int reg, unsigned value, bool interruptible) {
    const std::string frame = relay ? XpdFrames::WriteRelayFrame(XpdFrames::kStation, reg, value)
                                    : XpdFrames::WriteDataFrame(XpdFrames::kStation, reg, value);
    const char* letters = relay ? XpdFrames::kWriteRelay : XpdFrames::kWriteData;
    for (int p = 0; p < kPorts; ++p) {
        if (interruptible && !Running()) {
            return false;
        }
        WriteWithReply(p, frame, letters, interruptible);
    }
    return !interruptible || Running();
}

unsigned CXpdControllerLink::RemainingPercent(int activeTime, long long elapsed) {
    const unsigned t = static_cast<unsigned>(activeTime < 1 ? 1 : activeTime);
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
    // 1. Ports that are closed are opened again.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int p = 0; p < kPorts; ++p) {
            if (!m_ports[p].IsOpen()) {
                m_ports[p].Open(m_names[p]);
            }
        }
    }
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
    int activeTime = m_activeTime.load();
    if (activeTime < 1) {
        activeTime = 1;
    }
    long long elapsed = static_cast<long long>(Now() - m_periodStart);
    if (elapsed > activeTime) {
        m_activeFlag.store(0);
    }
    if (m_activeFlag.load()) {
        // 6. Active: outputs, remaining time, and a restart request.
        const unsigned remaining = RemainingPercent(activeTime, elapsed);
        m_remainingPercent.store(static_cast<int>(remaining));
        if (!WriteBoth(true, kRegRelay, m_alarmFlag.load() ? kRelayAlarm : kRelayActive) ||
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
        if (!WriteBoth(false, kRegMode, kModeIdle) || !WriteBoth(true, kRegRelay, kRelayIdle)) {
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
