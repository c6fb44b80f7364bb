// The unplug soak: the main frame with a normal window sweeping the
// simulator, whose scene unplugs the device again and again. After every
// replug the rotation must resume within 1.2 s (the re-open timer runs every
// second); over the cycles resident memory must grow by less than 1 MiB and
// no thread or file descriptor may be left behind. Prints its figures.
//
// TORVEL_SOAK_CYCLES sets the number of measured cycles (default 100); one
// cycle before them warms up caches and pools.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/profile.h"
#include "soakutil.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The scene's fault timeline: unplugged every period, back after the replug
// time; the window measures for the rest of each period.
constexpr double kPeriodS = 1.3;
constexpr double kReplugS = 0.3;
constexpr double kResumeLimitS = 1.2;
constexpr long kGrowthLimitBytes = 1L << 20;

// A normal window's core that notes when data arrive after a lost link.
class SoakCore : public CNormalAnalysis {
public:
    using CNormalAnalysis::CNormalAnalysis;
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override {
        if (!firstBlock)
            firstBlock = Clock::now();
        ++blocks;
        CNormalAnalysis::AnalysisFinished(wParam, lParam);
    }
    std::optional<Clock::time_point> firstBlock;
    long blocks = 0;
};

int Cycles() {
    const char* text = std::getenv("TORVEL_SOAK_CYCLES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 100;
}

} // namespace

TEST(UnplugSoak, TheRotationResumesAfterEveryReplugWithoutGrowingOrLeaking) {
    soak::Setting setting(11, kPeriodS, kReplugS);
    WriteProfileString("NormalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("NormalAnalysis_1", "StartFrequency", "90000");
    WriteProfileString("NormalAnalysis_1", "StopFrequency", "110000");
    WriteProfileString("NormalAnalysis_1", "RBWIndex", "1");

    std::vector<CString> messages;
    auto frame = std::make_unique<CMainFrame>([&](const CString& s) { messages.push_back(s); });
    frame->SetCoreFactory([](int kind, CCommandEntry* f, CCommandEntry* b,
                             CFrameLink* link) -> std::unique_ptr<CAnalysisCore> {
        if (kind != 1)
            return nullptr;
        return std::make_unique<SoakCore>(f, b, link);
    });
    // The scene is loaded as the frame opens the device: the fault timeline
    // starts no earlier than this.
    const Clock::time_point loaded = Clock::now();
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    CChildFrame* window = frame->OpenAnalysisWindow(1, "Normal", 1);
    ASSERT_TRUE(window);
    auto* core = dynamic_cast<SoakCore*>(window->GetCore());
    ASSERT_TRUE(core);
    ASSERT_TRUE(PumpUntil([&] { return core->blocks > 0; }));

    const auto period = std::chrono::duration<double>(kPeriodS);
    const auto replug = std::chrono::duration<double>(kReplugS);
    const int cycles = Cycles();
    long rssStart = 0, threadsStart = 0, fdsStart = 0;
    long threadsMax = 0, fdsMax = 0;
    double worst = 0.0, total = 0.0;
    int late = 0;
    int lastUnplug = 0;
    for (int cycle = 0; cycle <= cycles; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_TRUE(PumpUntil([&] { return frame->IsDeviceLost(); }, std::chrono::seconds(5)))
            << "the device was not lost";
        // Which unplug of the timeline this was.
        const double sinceLoad = std::chrono::duration<double>(Clock::now() - loaded).count();
        const int unplug = static_cast<int>(std::floor(sinceLoad / kPeriodS));
        ASSERT_EQ(unplug, lastUnplug + 1) << "an unplug passed unnoticed";
        lastUnplug = unplug;
        core->firstBlock.reset();
        ASSERT_TRUE(PumpUntil([&] { return !frame->IsDeviceLost() && core->firstBlock; },
                              std::chrono::seconds(5)))
            << "the rotation did not resume";
        // The replug as the timeline has it; since the timeline started no
        // earlier than `loaded`, this is never later than the real replug.
        const auto replugAt =
            loaded + std::chrono::duration_cast<Clock::duration>(period * unplug + replug);
        const double resume = std::chrono::duration<double>(*core->firstBlock - replugAt).count();
        const long threads = soak::CountEntries("/proc/self/task");
        const long fds = soak::CountEntries("/proc/self/fd");
        if (cycle == 0) {
            // The warm-up cycle sets the baseline.
            rssStart = soak::ResidentBytes();
            threadsStart = threads;
            fdsStart = fds;
            continue;
        }
        worst = std::max(worst, resume);
        total += resume;
        late += resume > kResumeLimitS ? 1 : 0;
        threadsMax = std::max(threadsMax, threads);
        fdsMax = std::max(fdsMax, fds);
    }
    const long rssEnd = soak::ResidentBytes();
    const long threadsEnd = soak::CountEntries("/proc/self/task");
    const long fdsEnd = soak::CountEntries("/proc/self/fd");

    std::printf("unplug soak: %d cycles of %.1f s (replug after %.1f s)\n", cycles, kPeriodS,
                kReplugS);
    std::printf("  rotation resumed after the replug: mean %.3f s, worst %.3f s (limit %.1f s), "
                "%d late\n",
                total / cycles, worst, kResumeLimitS, late);
    std::printf("  resident memory: %.2f MiB -> %.2f MiB, growth %+ld KiB (limit 1024 KiB)\n",
                rssStart / 1048576.0, rssEnd / 1048576.0, (rssEnd - rssStart) / 1024);
    std::printf("  threads: %ld at the start, %ld at the end, at most %ld\n", threadsStart,
                threadsEnd, threadsMax);
    std::printf("  file descriptors: %ld at the start, %ld at the end, at most %ld\n", fdsStart,
                fdsEnd, fdsMax);
    std::fflush(stdout);

    EXPECT_EQ(late, 0);
    EXPECT_LT(rssEnd - rssStart, kGrowthLimitBytes);
    EXPECT_LE(threadsEnd, threadsStart);
    EXPECT_LE(fdsEnd, fdsStart);

    window->close();
    frame.reset();
}
