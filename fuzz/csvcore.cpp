// A CSV data file read below the window: the bytes go through the frame
// reader and the sections reader of one kind's core (TORVEL_FUZZ_WINDOW_KIND)
// into the core's stored state; nothing is drawn and no widget is made.
//
// Making a core (its draw objects, fonts and trace stores) costs far more than
// reading a file, so one core serves the whole process: it is opened once with
// its profile read, its settings are kept in the setting store, and before
// every input the core is brought back to them. An input therefore
// starts from the same parameters whatever was read before it, and a finding
// replays alone. The input reaches the readers through a file in memory, opened
// by its path as the program opens a file.
#include "fuzzinput.h"
#include "windowinput.h"

#include "analysis/csvfile.h"
#include "lib/settingfile.h"

namespace {

CAnalysisCore* Core() {
    static CAnalysisCore* core = [] {
        // Kept to the end of the process, like the application.
        std::unique_ptr<CAnalysisCore> made =
            fuzzinput::OpenCore(TORVEL_FUZZ_WINDOW_KIND, CString("fuzz"), 0);
        if (!made)
            std::abort();
        made->SetAnalyzeFlag(0);
        if (!made->SaveSettings())
            std::abort();
        return made.release();
    }();
    return core;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartApplication();
    fuzzinput::StartLibrary();
    Core();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::WriteInMemory(data, size);
    int kind = 0, variant = 0;
    CString caption;
    if (!CCsvFile::ReadHeader(path, &kind, &variant, &caption) || kind != TORVEL_FUZZ_WINDOW_KIND)
        return 0;
    CAnalysisCore& core = *Core();
    // The parameters as opened; the reader builds its grids from them and the
    // file's values.
    core.LoadSettings();
    core.ReadCSVSections(path);
    return 0;
}
