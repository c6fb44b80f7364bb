// A CSV data file opened as a window of one kind (TORVEL_FUZZ_WINDOW_KIND), as
// the main frame opens it: the frame names the kind, the window's core reads
// its profile and then the file's sections, and a window that accepted the
// file draws its picture. Files of other kinds stop after the frame.
#include "fuzzinput.h"
#include "windowinput.h"

#include "analysis/csvfile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartApplication();
    fuzzinput::StartLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    int kind = 0, variant = 0;
    CString caption;
    if (!CCsvFile::ReadHeader(path, &kind, &variant, &caption) || kind != TORVEL_FUZZ_WINDOW_KIND)
        return 0;
    std::unique_ptr<CAnalysisCore> core = fuzzinput::OpenCore(kind, caption, variant);
    if (!core)
        return 0;
    core->SetAnalyzeFlag(0);
    if (core->ReadCSVSections(path))
        fuzzinput::DrawPicture(*core);
    return 0;
}
