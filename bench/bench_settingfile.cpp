// Loading and reading a large setting data file, and saving one: a workspace of
// 20 000 entries, as 200 sections of 100 keys and as one section of 20 000.
#include "lib/settingfile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kEntries = 20000;

struct Workspace {
    std::string dir;
    std::string path;
    std::vector<std::string> sections;
    std::vector<std::string> keys;
    int perSection = 0;
};

// Fills the store with sections x perSection entries of mixed types and saves it.
Workspace makeWorkspace(int sectionCount) {
    Workspace w;
    char tmpl[] = "/tmp/torvel-bench-XXXXXX";
    w.dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    w.path = w.dir + "/work.spe";
    w.perSection = kEntries / sectionCount;
    for (int s = 0; s < sectionCount; ++s)
        w.sections.push_back("TRACE_CONTEXT_" + std::to_string(s));
    for (int k = 0; k < w.perSection; ++k)
        w.keys.push_back("ParameterValue" + std::to_string(k));
    ReleaseSettingFileObject();
    RECT r{10, 20, 630, 470};
    for (const std::string& s : w.sections) {
        for (int k = 0; k < w.perSection; ++k) {
            if (k % 2 == 0)
                WriteSettingFileINT(s.c_str(), w.keys[k].c_str(), k * 1000 - 7);
            else
                WriteSettingFileRECT(s.c_str(), w.keys[k].c_str(), &r);
        }
    }
    WriteSettingFileObject(w.path.c_str());
    ReleaseSettingFileObject();
    return w;
}

void removeWorkspace(const Workspace& w) {
    unlink(w.path.c_str());
    rmdir(w.dir.c_str());
}

void loadAndRead(benchmark::State& state, int sectionCount) {
    Workspace w = makeWorkspace(sectionCount);
    for (auto _ : state) {
        ReleaseSettingFileObject();
        if (LoadSettingFile(w.path.c_str()) != 1)
            state.SkipWithError("load failed");
        long sum = 0;
        for (const std::string& s : w.sections) {
            for (int k = 0; k < w.perSection; ++k) {
                if (k % 2 == 0) {
                    int v = 0;
                    GetSettingFileINT(s.c_str(), w.keys[k].c_str(), &v);
                    sum += v;
                } else {
                    RECT r;
                    GetSettingFileRECT(s.c_str(), w.keys[k].c_str(), &r);
                    sum += r.right;
                }
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    ReleaseSettingFileObject();
    state.SetItemsProcessed(state.iterations() * kEntries);
    removeWorkspace(w);
}

void BM_LoadAndRead_200x100(benchmark::State& state) {
    loadAndRead(state, 200);
}
void BM_LoadAndRead_1x20000(benchmark::State& state) {
    loadAndRead(state, 1);
}

void BM_WriteAndSave_200x100(benchmark::State& state) {
    Workspace w = makeWorkspace(200);
    for (auto _ : state) {
        ReleaseSettingFileObject();
        for (const std::string& s : w.sections)
            for (int k = 0; k < w.perSection; ++k)
                WriteSettingFileINT(s.c_str(), w.keys[k].c_str(), k);
        if (WriteSettingFileObject(w.path.c_str()) != 1)
            state.SkipWithError("save failed");
    }
    ReleaseSettingFileObject();
    state.SetItemsProcessed(state.iterations() * kEntries);
    removeWorkspace(w);
}

} // namespace

BENCHMARK(BM_LoadAndRead_200x100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndRead_1x20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteAndSave_200x100)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
