#include "ptycontroller.h"

#include "testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// No frame holds it: the text of a frame is "?", digits and capitals.
const char kMark[] = "#mark#";

std::string key(char kind, int reg) {
    return std::string(1, kind) + std::to_string(reg);
}

std::string seal(const std::string& text) {
    unsigned sum = 0;
    for (char c : text)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "%02X\r", sum);
    return text + tail;
}
} // namespace

PtyController::PtyController(Mode mode) : m_mode(mode) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return;
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return;
    m_path = name;
    // A reply the program does not read is dropped once the terminal's
    // queue is full, as on a line: the controller never waits for the
    // program (a destroyed controller would wait for its thread for ever).
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Raw both ways, so nothing is echoed or translated on the controller's side.
    termios tio{};
    if (tcgetattr(m_master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_master, TCSANOW, &tio);
    }
    m_slaveKeep = open(name, O_RDWR | O_NOCTTY);
    if (m_slaveKeep >= 0 && tcgetattr(m_slaveKeep, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slaveKeep, TCSANOW, &tio);
    }
    m_thread = std::thread([this] { Serve(); });
}

PtyController::~PtyController() {
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    if (m_master >= 0)
        close(m_master);
    if (m_slaveKeep >= 0)
        close(m_slaveKeep);
}

void PtyController::Disappear() {
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    if (m_master >= 0)
        close(m_master);
    m_master = -1;
    // The slave side stays open: its path is gone, but the terminal's number
    // is not handed to a test running beside this one, whose controller the
    // program would otherwise find under the old name.
}

void PtyController::Sync() {
    if (m_master < 0 || m_slaveKeep < 0)
        return;
    ++m_marksSent;
    const std::string line = std::string(kMark) + "\r";
    (void)!write(m_slaveKeep, line.data(), line.size());
}

void PtyController::TakeAll() {
    Sync();
    EXPECT_TRUE(PumpUntil([this] { return Synced(); }, std::chrono::minutes(1)))
        << "the frames written to " << m_path << " were not all taken";
}

void PtyController::SetRegister(char kind, int reg, unsigned value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_registers[key(kind, reg)] = value;
}

unsigned PtyController::Register(char kind, int reg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_registers.find(key(kind, reg));
    return it == m_registers.end() ? 0xFFFFFFFFu : it->second;
}

std::vector<std::string> PtyController::Frames() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

int PtyController::Count(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const std::string& f : m_frames)
        n += f.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return n;
}

void PtyController::Serve() {
    std::string pending;
    while (!m_stop.load()) {
        pollfd p{m_master, POLLIN, 0};
        // The poll wakes up now and then only to see whether the test ended.
        if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
            continue;
        char buffer[256];
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t cr; (cr = pending.find('\r')) != std::string::npos;) {
            const std::string line = pending.substr(0, cr);
            pending.erase(0, cr + 1);
            const size_t mark = line.find(kMark);
            if (mark == std::string::npos) {
                Handle(line);
                continue;
            }
            // Bytes before the mark are a frame cut short.
            if (mark > 0)
                Handle(line.substr(0, mark));
            ++m_marksTaken;
        }
    }
}

void PtyController::Reply(const std::string& text) {
    std::string bytes;
    switch (m_mode.load()) {
    case Mode::Silent:
        return;
    case Mode::Garbage:
        bytes = "\x01\xff#garbage\r";
        break;
    case Mode::Partial:
        bytes = seal(text).substr(0, 4);
        break;
    case Mode::Overlong:
        bytes = seal(text) + std::string(600, 'X');
        break;
    case Mode::Answer:
        bytes = seal(text);
        break;
    }
    (void)!write(m_master, bytes.data(), bytes.size());
}

void PtyController::Handle(const std::string& frame) {
    // "?SSLLLRRRRCCCC[VVVV]XX": station, letters, register, count, value, checksum.
    if (frame.size() < 16) {
        ++m_bad;
        return;
    }
    const std::string body = frame.substr(0, frame.size() - 2);
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    if (std::strtoul(frame.substr(frame.size() - 2).c_str(), nullptr, 16) != sum) {
        ++m_bad;
        return;
    }
    const std::string letters = body.substr(3, 3);
    const int reg = std::atoi(body.substr(6, 4).c_str());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames.push_back(body);
    }
    if (letters == "WDR") {
        char value[8];
        const unsigned word = Register('D', reg);
        std::snprintf(value, sizeof value, "%04X", word == 0xFFFFFFFFu ? 0u : word & 0xFFFF);
        Reply("!01WDR" + std::string(value));
    } else if ((letters == "WDW" || letters == "WRW") && body.size() >= 18) {
        SetRegister(letters == "WDW" ? 'D' : 'R', reg,
                    static_cast<unsigned>(std::strtoul(body.substr(14, 4).c_str(), nullptr, 16)));
        Reply("!01" + letters);
    }
}
