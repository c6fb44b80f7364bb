// The setting data file, opened as a workspace file is: the file is loaded
// into the setting store, its core section names the window, and a window of
// that kind restores itself from the store and draws its picture.
#include "fuzzinput.h"
#include "windowinput.h"

#include "lib/settingfile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartApplication();
    fuzzinput::StartLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    ReleaseSettingFileObject();
    if (!LoadSettingFile(path))
        return 0;
    int kind = 0, variant = 0;
    CString title;
    if (GetSettingFileINT(kCoreSettingSection, "AnalysisType", &kind) &&
        GetSettingFileINT(kCoreSettingSection, "TitleIndex", &variant) &&
        GetSettingFileSTRING(kCoreSettingSection, "Title", title)) {
        if (std::unique_ptr<CAnalysisCore> core = fuzzinput::OpenCore(kind, title, variant)) {
            core->LoadSettings();
            core->Reconfigure(TRUE);
            fuzzinput::DrawPicture(*core);
        }
    }
    ReleaseSettingFileObject();
    return 0;
}
