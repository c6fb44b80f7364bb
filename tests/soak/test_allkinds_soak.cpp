// The seven-window soak: one window of every kind, all analysing at once in
// one main frame on the simulator, whose scene unplugs the device again and
// again. After every replug every window must receive data again before the
// next unplug; in every whole minute of the run every window must receive
// data (none starves while the others take turns); resident memory, threads
// and file descriptors must stay flat. Prints its figures: the counts of data
// each window received per minute, the resumption times, memory and
// descriptors at the start and end.
//
// TORVEL_SOAK_SECONDS sets the length of the run (default 600).
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/realtimeanalysis.h"
#include "modes/semirealanalysis.h"
#include "modes/wlananalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/profile.h"
#include "soakutil.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The fault timeline: unplugged every period for the replug time.
constexpr double kPeriodS = 15.0;
constexpr double kReplugS = 1.0;
// Growth of resident memory over the run that still counts as flat.
constexpr long kGrowthLimitBytes = 4L << 20;
constexpr int kKinds = 7;
constexpr int kSemiReal = 3; // index of the semi-real-time window
constexpr const char* kNames[kKinds] = {"Normal",   "WLAN",    "ZeroSpan", "SemiReal",
                                        "RealTime", "Medical", "XPD"};

// The data one window received: in all, per minute of the run, and when last.
struct Intake {
    Clock::time_point start;
    long total = 0;
    std::vector<long> perMinute;
    Clock::time_point last;
    // The first data since the last unplug.
    std::optional<Clock::time_point> firstSinceUnplug;
    void Note() {
        last = Clock::now();
        if (!firstSinceUnplug)
            firstSinceUnplug = last;
        ++total;
        const auto minute = static_cast<size_t>(
            std::chrono::duration_cast<std::chrono::minutes>(last - start).count());
        if (perMinute.size() <= minute)
            perMinute.resize(minute + 1, 0);
        ++perMinute[minute];
    }
};

// A core of any kind that notes every block and every piece of data it is handed.
template <class Core> class Counted : public Core {
public:
    Counted(CCommandEntry* f, CCommandEntry* b, CFrameLink* link, Intake* intake)
        : Core(f, b, link), m_intake(intake) {}
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override {
        m_intake->Note();
        Core::AnalysisFinished(wParam, lParam);
    }
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override {
        m_intake->Note();
        Core::AnalysisProgress(wParam, lParam);
    }

private:
    Intake* m_intake;
};

std::unique_ptr<CAnalysisCore> MakeCounted(int kind, CCommandEntry* f, CCommandEntry* b,
                                           CFrameLink* link, Intake* intake) {
    switch (kind) {
    case 1:
        return std::make_unique<Counted<CNormalAnalysis>>(f, b, link, intake);
    case 2:
        return std::make_unique<Counted<CWlanAnalysis>>(f, b, link, intake);
    case 3:
        return std::make_unique<Counted<CZeroSpanAnalysis>>(f, b, link, intake);
    case 4:
        return std::make_unique<Counted<CSemiRealAnalysis>>(f, b, link, intake);
    case 5:
        return std::make_unique<Counted<CRealTimeAnalysis>>(f, b, link, intake);
    case 6:
        return std::make_unique<Counted<CMedicalAnalysis>>(f, b, link, intake);
    case 7:
        return std::make_unique<Counted<CXpdAnalysis>>(f, b, link, intake);
    default:
        return nullptr;
    }
}

// "Normal 12, WLAN 0, ...": what each window received so far.
std::string Totals(const std::array<Intake, kKinds>& intake) {
    std::string text;
    for (int k = 0; k < kKinds; ++k)
        text += std::string(k ? ", " : "") + kNames[k] + " " +
                std::to_string(intake[static_cast<size_t>(k)].total);
    return text;
}

int Seconds() {
    const char* text = std::getenv("TORVEL_SOAK_SECONDS");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 600;
}

// Every window but the semi-real-time one analyses from its opening (the
// real-time one in free-running captures); the zero-span capture is short and
// the XPD window's controllers name ports that do not exist (it measures
// without them). The semi-real-time window's task streams slices until it is
// stopped and holds the device so long: it is switched on for a turn in every
// cycle, as a person would, and off again.
void WriteProfile() {
    const char* sections[kKinds] = {
        "NormalAnalysis_1",   "WLANAnalysis_1",    "ZeroSpanAnalysis_1", "SemiRealAnalysis_1",
        "RealTimeAnalysis_1", "MedicalAnalysis_1", "XPDAnalysis_1"};
    for (const char* section : sections)
        WriteProfileString(section, "AnalyzeFlag", "1");
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "0");
    WriteProfileString("ZeroSpanAnalysis_1", "TimeSpan", "100");
    WriteProfileString("RealTimeAnalysis_1", "TrigMode", "1");
    WriteProfileString("XPDAnalysis_1", "PriPortName", "/nonexistent/torvel-soak-1");
    WriteProfileString("XPDAnalysis_1", "SecPortName", "/nonexistent/torvel-soak-2");
}

} // namespace

TEST(AllKindsSoak, EveryWindowResumesAfterEveryReplugAndNoneStarves) {
    soak::Setting setting(13, kPeriodS, kReplugS);
    ASSERT_EQ(LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"), 1);
    WriteProfile();

    std::array<Intake, kKinds> intake;
    std::vector<CString> messages;
    auto frame = std::make_unique<CMainFrame>([&](const CString& s) { messages.push_back(s); });
    frame->SetCoreFactory([&](int kind, CCommandEntry* f, CCommandEntry* b, CFrameLink* link) {
        return kind >= 1 && kind <= kKinds
                   ? MakeCounted(kind, f, b, link, &intake[static_cast<size_t>(kind - 1)])
                   : nullptr;
    });
    // The scene is loaded as the frame opens the device: the fault timeline
    // starts no earlier than this.
    const Clock::time_point loaded = Clock::now();
    for (Intake& in : intake)
        in.start = loaded;
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    std::vector<CChildFrame*> windows;
    for (int kind = 1; kind <= kKinds; ++kind) {
        CChildFrame* window = frame->OpenAnalysisWindow(kind, kNames[kind - 1], 1);
        ASSERT_TRUE(window) << kNames[kind - 1];
        windows.push_back(window);
    }
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (int k = 0; k < kKinds; ++k)
                if (k != kSemiReal && intake[static_cast<size_t>(k)].total == 0)
                    return false;
            return true;
        },
        std::chrono::seconds(30)))
        << "not every window received data: " << Totals(intake);

    const auto period = std::chrono::duration<double>(kPeriodS);
    const auto replug = std::chrono::duration<double>(kReplugS);
    const int seconds = Seconds();
    // Resuming must come before the next unplug, with a margin for noticing it.
    const auto resumeBound =
        std::chrono::milliseconds(static_cast<int>((kPeriodS - kReplugS - 1.0) * 1000));
    std::array<double, kKinds> worst{};
    long rssStart = 0, threadsStart = 0, fdsStart = 0, threadsMax = 0, fdsMax = 0;
    int cycles = 0, lastUnplug = 0;
    for (;;) {
        SCOPED_TRACE(cycles);
        ASSERT_TRUE(PumpUntil([&] { return frame->IsDeviceLost(); },
                              std::chrono::duration_cast<std::chrono::milliseconds>(period) +
                                  std::chrono::seconds(5)))
            << "the device was not lost";
        const double sinceLoad = std::chrono::duration<double>(Clock::now() - loaded).count();
        const int unplug = static_cast<int>(std::floor(sinceLoad / kPeriodS));
        ASSERT_EQ(unplug, lastUnplug + 1) << "an unplug passed unnoticed";
        lastUnplug = unplug;
        for (Intake& in : intake)
            in.firstSinceUnplug.reset();
        // The replug as the timeline has it; since the timeline started no
        // earlier than `loaded`, this is never later than the real replug.
        const auto replugAt =
            loaded + std::chrono::duration_cast<Clock::duration>(period * unplug + replug);
        const auto nextUnplug =
            loaded + std::chrono::duration_cast<Clock::duration>(period * (unplug + 1));
        const auto untilNextUnplug = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                nextUnplug - std::chrono::seconds(1) - Clock::now());
        };
        // Whether every window but the semi-real-time one received data after t.
        const auto othersAfter = [&](Clock::time_point t) {
            for (int k = 0; k < kKinds; ++k)
                if (k != kSemiReal && !(intake[static_cast<size_t>(k)].last > t))
                    return false;
            return true;
        };
        bool resumed = PumpUntil([&] { return !frame->IsDeviceLost() && othersAfter(replugAt); },
                                 untilNextUnplug());
        // The semi-real-time window's turn: on until its slices arrive, then off;
        // the others must take their turns again afterwards.
        CAnalysisCore* semiReal = windows[kSemiReal]->GetCore();
        if (resumed) {
            semiReal->ExecuteCommand(16, 0, 0, 0, 0, 0);
            resumed =
                PumpUntil([&] { return intake[kSemiReal].last > replugAt; }, untilNextUnplug());
            semiReal->ExecuteCommand(16, 0, 0, 0, 0, 0);
            const Clock::time_point off = Clock::now();
            resumed = resumed && PumpUntil([&] { return othersAfter(off); }, untilNextUnplug());
        }
        for (int k = 0; k < kKinds; ++k) {
            const Intake& in = intake[static_cast<size_t>(k)];
            EXPECT_GT(in.last, replugAt) << kNames[k] << " did not resume after unplug " << unplug;
            if (in.firstSinceUnplug)
                worst[static_cast<size_t>(k)] = std::max(
                    worst[static_cast<size_t>(k)],
                    std::chrono::duration<double>(*in.firstSinceUnplug - replugAt).count());
        }
        ASSERT_TRUE(resumed) << Totals(intake);
        ++cycles;
        const long threads = soak::CountEntries("/proc/self/task");
        const long fds = soak::CountEntries("/proc/self/fd");
        if (cycles == 1) {
            // The first cycle warms caches and pools and sets the baseline.
            rssStart = soak::ResidentBytes();
            threadsStart = threads;
            fdsStart = fds;
        }
        threadsMax = std::max(threadsMax, threads);
        fdsMax = std::max(fdsMax, fds);
        // The run lasts at least the time asked for: whole minutes all through.
        if (std::chrono::duration<double>(Clock::now() - loaded).count() >= seconds)
            break;
    }
    const double ran = std::chrono::duration<double>(Clock::now() - loaded).count();
    const long rssEnd = soak::ResidentBytes();
    const long threadsEnd = soak::CountEntries("/proc/self/task");
    const long fdsEnd = soak::CountEntries("/proc/self/fd");

    std::printf("seven-window soak: %.0f s, %d unplug cycles of %.0f s (replug after %.0f s)\n",
                ran, cycles, kPeriodS, kReplugS);
    const size_t minutes = static_cast<size_t>(ran / 60.0);
    std::printf("  data received per window per minute (%zu whole minutes):\n", minutes);
    for (int k = 0; k < kKinds; ++k) {
        const Intake& in = intake[static_cast<size_t>(k)];
        std::printf("  %-9s", kNames[k]);
        for (size_t m = 0; m < minutes; ++m)
            std::printf(" %5ld", m < in.perMinute.size() ? in.perMinute[m] : 0L);
        std::printf("   worst first data after a replug %.2f s\n", worst[static_cast<size_t>(k)]);
    }
    std::printf("  resident memory: %.2f MiB -> %.2f MiB, growth %+ld KiB (limit %ld KiB)\n",
                rssStart / 1048576.0, rssEnd / 1048576.0, (rssEnd - rssStart) / 1024,
                kGrowthLimitBytes / 1024);
    std::printf("  threads: %ld at the start, %ld at the end, at most %ld\n", threadsStart,
                threadsEnd, threadsMax);
    std::printf("  file descriptors: %ld at the start, %ld at the end, at most %ld\n", fdsStart,
                fdsEnd, fdsMax);
    std::fflush(stdout);

    for (int k = 0; k < kKinds; ++k) {
        const Intake& in = intake[static_cast<size_t>(k)];
        for (size_t m = 0; m < minutes; ++m)
            EXPECT_GT(m < in.perMinute.size() ? in.perMinute[m] : 0L, 0)
                << kNames[k] << " starved in minute " << m + 1;
    }
    EXPECT_LT(rssEnd - rssStart, kGrowthLimitBytes);
    EXPECT_LE(threadsEnd, threadsStart);
    EXPECT_LE(fdsEnd, fdsStart);

    for (CChildFrame* window : windows)
        window->close();
    frame.reset();
}
