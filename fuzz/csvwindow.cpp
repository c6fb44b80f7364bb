// The open–save round trip of a CSV data file through a whole window of the
// kind the file names: the main frame's open (the frame read, the core of that
// kind made with its profile, the sections read), the window's picture drawn,
// and the data saved again. What the window saves must open again as the same
// kind and title and read back whole: a file the program writes and cannot
// read is lost data.
#include "fuzzinput.h"
#include "windowinput.h"

#include "analysis/csvfile.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartApplication();
    fuzzinput::StartLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    int kind = 0, variant = 0;
    CString caption;
    if (!CCsvFile::ReadHeader(path, &kind, &variant, &caption))
        return 0;
    std::unique_ptr<CAnalysisCore> core = fuzzinput::OpenCore(kind, caption, variant);
    if (!core)
        return 0;
    core->SetAnalyzeFlag(0);
    if (!core->ReadCSVSections(path))
        return 0;
    fuzzinput::DrawPicture(*core);
    static const std::string saved = fuzzinput::PathOf("saved.csv");
    if (!core->WriteCSVFile(saved.c_str()))
        return 0;
    int savedKind = 0, savedVariant = 0;
    CString savedCaption;
    if (!CCsvFile::ReadHeader(saved.c_str(), &savedKind, &savedVariant, &savedCaption) ||
        savedKind != kind || savedVariant != variant || savedCaption != core->GetTitle()) {
        std::fprintf(stderr, "the saved file does not open as a window of kind %d\n", kind);
        std::abort();
    }
    if (!core->ReadCSVSections(saved.c_str())) {
        std::fprintf(stderr, "the saved file of kind %d does not read back\n", kind);
        std::abort();
    }
    return 0;
}
