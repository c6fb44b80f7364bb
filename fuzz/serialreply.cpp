// A serial controller's reply, as the XPD window's link takes it from a port:
// at most one receive's worth of bytes, checked against each command's
// letters and read as a data reply.
#include "modes/xpdframes.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data),
                            std::min(size, XpdFrames::kMaxReply));
    for (const char* letters :
         {XpdFrames::kReadData, XpdFrames::kWriteData, XpdFrames::kWriteRelay})
        XpdFrames::ReplyMatches(reply.data(), reply.size(), letters);
    std::string value = "unchanged";
    XpdFrames::ParseReadReply(reply.data(), reply.size(), &value);
    return 0;
}
