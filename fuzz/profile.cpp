// The profile TORVEL.INI, read as the program reads it: pointed at the file,
// the shell's keys, the channel category colours, then a window of each kind
// that reads its section and drawing attributes and draws its picture.
//
// The profile is held in memory from the moment it is pointed at the file, so
// the file's folder is removed right after: what the program writes back (the
// defaults it fills in, the windows' attributes as they close) then fails to
// reach the disk at once, instead of costing a synchronised file write per
// input. A file the profile could not read is moved aside inside that folder
// and goes with it, so every input starts alike.
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
    const std::string folder = fuzzinput::PathOf("profile");
    std::error_code ignored;
    std::filesystem::create_directory(folder, ignored);
    const std::string path = folder + "/TORVEL.INI";
    fuzzinput::WriteAs("profile/TORVEL.INI", data, size);
    SetProfileFile(path.c_str());
    std::filesystem::remove_all(folder, ignored);

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
    // Back to a profile without a file; the changes made meanwhile are dropped.
    SetProfileFile("");
    return 0;
}
