// Scene file reading: sections [Scene], [Faults] and [Signal...], one
// key=value per line, ';' or '#' starting a comment.
#include "scenereader.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace torvelsim {

namespace {

constexpr std::string_view kSignalPrefix = "Signal";
constexpr double kMaxFrequencyKHz = 10e6;
constexpr double kMaxSeconds = 1e6;
// The shortest period of repeated unplugs.
constexpr double kMinUnplugPeriodS = 0.001;
constexpr std::uint32_t kMaxTaskNumber = 1000000000;
constexpr int kMaxShortDataCount = 100000;

std::string_view Trim(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// A whole finite number within [lo, hi], nothing else on the value.
bool ParseDouble(std::string_view text, double lo, double hi, double& out) {
    double v = 0.0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || !std::isfinite(v) || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseUnsigned(std::string_view text, std::uint64_t hi, std::uint64_t& out) {
    std::uint64_t v = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty() || v > hi)
        return false;
    out = v;
    return true;
}

// Comma-separated task numbers, 1 and up.
bool ParseTaskList(std::string_view text, std::vector<std::uint32_t>& out) {
    std::vector<std::uint32_t> list;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        std::uint64_t n = 0;
        if (!ParseUnsigned(item, kMaxTaskNumber, n) || n == 0)
            return false;
        if (list.size() == CSceneReader::kMaxListEntries)
            return false;
        list.push_back(static_cast<std::uint32_t>(n));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    out = std::move(list);
    return true;
}

enum class Section { None, Scene, Faults, Signal };

class Parser {
public:
    explicit Parser(CSimScene& scene) : m_scene(scene) {}

    // Empty result = the line was fine.
    std::string Line(std::string_view line) {
        line = Trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            return {};
        if (line.front() == '[')
            return StartSection(line);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return "expected key=value or [section]";
        const std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = line.substr(eq + 1);
        if (const std::size_t c = value.find_first_of(";#"); c != std::string_view::npos)
            value = value.substr(0, c);
        value = Trim(value);
        if (key.empty())
            return "empty key";
        if (value.empty())
            return "no value for " + std::string(key);
        switch (m_section) {
        case Section::None:
            return "key outside a section";
        case Section::Scene:
            return SceneKey(key, value);
        case Section::Faults:
            return FaultKey(key, value);
        case Section::Signal:
            return SignalKey(key, value);
        }
        return {};
    }

    // Checks the section that is open; called at each new section and at the end.
    std::string FinishSection() {
        if (m_section != Section::Signal)
            return {};
        const SimSignal& s = m_scene.signals.back();
        if (!m_hasFrequency)
            return "signal " + s.name + " has no Frequency";
        if (!m_hasLevel)
            return "signal " + s.name + " has no Level";
        if (s.type == SignalType::Sweep && !m_hasStop)
            return "sweep " + s.name + " has no StopFrequency";
        return {};
    }

    bool keepDefaultSignals = false;

private:
    std::string StartSection(std::string_view line) {
        if (std::string err = FinishSection(); !err.empty())
            return err;
        if (line.back() != ']')
            return "section name without ]";
        const std::string_view name = Trim(line.substr(1, line.size() - 2));
        if (name.empty())
            return "empty section name";
        if (!m_seen.insert(std::string(name)).second)
            return "section [" + std::string(name) + "] appears twice";
        if (name == "Scene") {
            m_section = Section::Scene;
        } else if (name == "Faults") {
            m_section = Section::Faults;
        } else if (name.substr(0, kSignalPrefix.size()) == kSignalPrefix) {
            if (m_signalCount == CSceneReader::kMaxSignals)
                return "more than 64 signals";
            ++m_signalCount;
            m_section = Section::Signal;
            SimSignal s;
            s.name = std::string(name);
            m_scene.signals.push_back(std::move(s));
            m_hasFrequency = m_hasLevel = m_hasStop = false;
        } else {
            return "unknown section [" + std::string(name) + "]";
        }
        return {};
    }

    static std::string Bad(std::string_view key) { return "bad value for " + std::string(key); }

    std::string SceneKey(std::string_view key, std::string_view value) {
        if (key == "Seed") {
            std::uint64_t seed = 0;
            if (!ParseUnsigned(value, UINT64_MAX, seed))
                return Bad(key);
            m_scene.seed = seed;
        } else if (key == "NoiseDensity") {
            if (!ParseDouble(value, -200.0, -50.0, m_scene.noiseDensityDbmHz))
                return Bad(key);
        } else if (key == "NoiseSpread") {
            if (!ParseDouble(value, 0.0, 10.0, m_scene.noiseSpreadDb))
                return Bad(key);
        } else if (key == "DefaultSignals") {
            if (value != "0" && value != "1")
                return Bad(key);
            keepDefaultSignals = value == "1";
        } else {
            return "unknown key " + std::string(key);
        }
        return {};
    }

    std::string FaultKey(std::string_view key, std::string_view value) {
        SimFaults& f = m_scene.faults;
        double seconds = 0.0;
        if (key == "UnplugAt") {
            if (!ParseDouble(value, 0.0, kMaxSeconds, seconds))
                return Bad(key);
            f.unplugAtS = seconds;
        } else if (key == "UnplugEvery") {
            if (!ParseDouble(value, kMinUnplugPeriodS, kMaxSeconds, seconds))
                return Bad(key);
            f.unplugEveryS = seconds;
        } else if (key == "ReplugAfter") {
            if (!ParseDouble(value, 0.0, kMaxSeconds, seconds))
                return Bad(key);
            f.replugAfterS = seconds;
        } else if (key == "FailTask") {
            if (!ParseTaskList(value, f.failTasks))
                return Bad(key);
        } else if (key == "ShortDataTask") {
            if (!ParseTaskList(value, f.shortDataTasks))
                return Bad(key);
        } else if (key == "ShortDataCount") {
            std::uint64_t n = 0;
            if (!ParseUnsigned(value, kMaxShortDataCount, n))
                return Bad(key);
            f.shortDataCount = static_cast<int>(n);
        } else {
            return "unknown key " + std::string(key);
        }
        return {};
    }

    std::string SignalKey(std::string_view key, std::string_view value) {
        SimSignal& s = m_scene.signals.back();
        bool ok = true;
        if (key == "Type") {
            if (value == "Carrier")
                s.type = SignalType::Carrier;
            else if (value == "Burst")
                s.type = SignalType::Burst;
            else if (value == "Sweep")
                s.type = SignalType::Sweep;
            else if (value == "Pulse")
                s.type = SignalType::Pulse;
            else
                ok = false;
        } else if (key == "Frequency") {
            ok = m_hasFrequency = ParseDouble(value, 0.0, kMaxFrequencyKHz, s.frequencyKHz);
        } else if (key == "Level") {
            ok = m_hasLevel = ParseDouble(value, -200.0, 30.0, s.levelDbm);
        } else if (key == "Width") {
            ok = ParseDouble(value, 0.0, 1e6, s.widthKHz);
        } else if (key == "Duty") {
            ok = ParseDouble(value, 0.0, 1.0, s.duty);
        } else if (key == "BurstLength") {
            ok = ParseDouble(value, 0.001, kMaxSeconds * 1000.0, s.burstMs);
        } else if (key == "StopFrequency") {
            ok = m_hasStop = ParseDouble(value, 0.0, kMaxFrequencyKHz, s.stopFrequencyKHz);
        } else if (key == "Period") {
            ok = ParseDouble(value, 0.001, kMaxSeconds, s.periodS);
        } else if (key == "PulseLength") {
            ok = ParseDouble(value, 0.001, kMaxSeconds * 1000.0, s.pulseMs);
        } else if (key == "FirstPulse") {
            ok = ParseDouble(value, 0.0, kMaxSeconds, s.firstPulseS);
        } else if (key == "CrossPolar") {
            ok = ParseDouble(value, -60.0, 200.0, s.crossPolarDb);
        } else if (key == "Fade") {
            ok = ParseDouble(value, 0.0, 60.0, s.fadeDb);
        } else if (key == "FadePeriod") {
            ok = ParseDouble(value, 0.001, kMaxSeconds, s.fadePeriodS);
        } else {
            return "unknown key " + std::string(key);
        }
        return ok ? std::string() : Bad(key);
    }

    CSimScene& m_scene;
    Section m_section = Section::None;
    std::set<std::string> m_seen;
    std::size_t m_signalCount = 0;
    bool m_hasFrequency = false;
    bool m_hasLevel = false;
    bool m_hasStop = false;
};

} // namespace

bool CSceneReader::Fail(std::size_t line, const std::string& message) {
    m_error = line ? "line " + std::to_string(line) + ": " + message : message;
    return false;
}

bool CSceneReader::ReadText(std::string_view text, CSimScene& scene) {
    m_error.clear();
    if (text.size() > kMaxFileBytes)
        return Fail(0, "larger than 64 KiB");
    if (text.find('\0') != std::string_view::npos)
        return Fail(0, "contains a NUL byte");

    // Built aside and handed over only when the whole file is good.
    CSimScene built;
    Parser parser(built);
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.size() > kMaxLineBytes)
            return Fail(lineNo, "line longer than 512 bytes");
        if (std::string err = parser.Line(line); !err.empty())
            return Fail(lineNo, err);
    }
    if (std::string err = parser.FinishSection(); !err.empty())
        return Fail(lineNo, err);
    const SimFaults& faults = built.faults;
    if (faults.replugAfterS && !faults.unplugAtS && !faults.unplugEveryS)
        return Fail(0, "ReplugAfter without UnplugAt or UnplugEvery");
    if (faults.unplugEveryS &&
        (!faults.replugAfterS || *faults.replugAfterS >= *faults.unplugEveryS))
        return Fail(0, "UnplugEvery needs a ReplugAfter shorter than its period");
    if (parser.keepDefaultSignals) {
        std::vector<SimSignal> all = CSimScene::Default().signals;
        all.insert(all.end(), built.signals.begin(), built.signals.end());
        built.signals = std::move(all);
    }
    scene = std::move(built);
    return true;
}

bool CSceneReader::ReadFile(const std::string& path, CSimScene& scene) {
    m_error.clear();
    // Non-blocking open so that a FIFO or device node cannot hang the caller;
    // only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(0, std::string("cannot open: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(0, "not a regular file");
    }
    std::string text;
    text.resize(kMaxFileBytes + 1);
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return Fail(0, std::string("cannot read: ") + std::strerror(errno));
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    return ReadText(text, scene);
}

} // namespace torvelsim
