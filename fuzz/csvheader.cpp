// The frame of a CSV data file, read as the main frame reads it to learn which
// window a file opens.
#include "fuzzinput.h"

#include "analysis/csvfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    int kind = 0, variant = 0;
    CString caption;
    CCsvFile::ReadHeader(path, &kind, &variant, &caption);
    return 0;
}
