// A level-offset file, read into the offset table as a window loads it.
#include "fuzzinput.h"

#include "lib/dialogs/offsettable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    short table[OffsetTable::kEntries] = {};
    OffsetTable::LoadFile(path, table);
    return 0;
}
