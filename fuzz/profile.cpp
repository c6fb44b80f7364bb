// The profile TORVEL.INI, read as the program reads it: pointed at the file,
// the shell's keys, the channel category colours, then a window of each kind
// that reads its section and drawing attributes and draws its picture. A file
// that cannot be read is moved aside by the profile; the copy is removed so
// that every input starts alike.
#include "fuzzinput.h"
#include "windowinput.h"

#include "lib/channellist.h"
#include "lib/profilevalues.h"
#include "platform/profile.h"

#include <filesystem>

namespace {

// Window kinds whose cores read the profile.
constexpr int kKinds[] = {1, 2};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartApplication();
    fuzzinput::StartLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzinput::WriteAs("TORVEL.INI", data, size);
    SetProfileFile(path.c_str());
    GetProfileString("MAIN_FRAME", "TableFile", "Torvel.txt");
    GetProfileString("MAIN_FRAME", "ChannelFile", "TorvelList.txt");
    GetProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", 0);
    GetProfileInt("WINDOW", "StartMode", 1);
    GetProfileInt("WINDOW", "MAXIMIZE", 0);
    GetProfileInt("WINDOW", "AlphaFactor", 128);
    RECT r{};
    GetProfileRECT("WINDOW", "RECT", &r);
    LoadChannelCategoryColors();
    for (int kind : kKinds)
        if (std::unique_ptr<CAnalysisCore> core = fuzzinput::OpenCore(kind, "Window", 1)) {
            core->Reconfigure(TRUE);
            fuzzinput::DrawPicture(*core);
        }
    // Back to a profile that is never written (what was changed is written
    // to the input file first).
    SetProfileFile("");
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(fuzzinput::Folder(), ignored))
        if (entry.path().filename().string().starts_with("TORVEL.INI."))
            std::filesystem::remove(entry.path(), ignored);
    return 0;
}
