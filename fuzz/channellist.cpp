// The channel list file, loaded as at start-up, then used as the windows use
// it: every slot placed on a frequency axis with its detect-mode text and the
// line it would be written back as, and the first channels looked up by title,
// by category and by frequency.
#include "fuzzinput.h"

#include "lib/channellist.h"
#include "lib/stringtable.h"

#include <string>

namespace {

// Channels looked up: each lookup scans the whole list.
constexpr int kLookups = 16;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string table = std::string(TORVEL_SOURCE_RESOURCES) + "/Torvel.txt";
    InitializeTorvelLibDLL(table.c_str(), 2500);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    if (!LoadChannelList(path))
        return 0;
    int looked = 0;
    for (int i = 0; i < kChannelCount; ++i) {
        CChannelObject* channel = GetChannelObject(i);
        if (!channel)
            continue;
        if (looked++ < kLookups) {
            GetChannelIndex(channel->GetTitle());
            GetCategoryChannelNum(channel->GetCategory());
            SerchChannelObject(channel->GetCenterFrequency(), channel->GetCategory(), 1);
            SerchChannelObject(channel->GetCenterFrequency(), -1, 0);
        }
        channel->SetxAxisRatio(2400000, 2500000);
        channel->GetDetectModeText();
        channel->GetCategoryColor();
        channel->GetRawText();
    }
    return 0;
}
