// The channel list file, loaded as at start-up, then used as the windows use
// it: every slot by index and by title, the search by frequency in every
// category, each channel placed on a frequency axis, its detect-mode text and
// the line it would be written back as.
#include "fuzzinput.h"

#include "lib/channellist.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    if (!LoadChannelList(path))
        return 0;
    for (int i = 0; i < kChannelCount; ++i) {
        CChannelObject* channel = GetChannelObject(i);
        if (!channel)
            continue;
        GetChannelIndex(channel->GetTitle());
        GetCategoryChannelNum(channel->GetCategory());
        SerchChannelObject(channel->GetCenterFrequency(), channel->GetCategory(), 1);
        SerchChannelObject(channel->GetCenterFrequency(), -1, 0);
        channel->SetxAxisRatio(2400000, 2500000);
        channel->GetDetectModeText();
        channel->GetCategoryColor();
        channel->GetRawText();
    }
    return 0;
}
