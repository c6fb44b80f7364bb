// The command list: a string table file loaded as at start-up, then the menus
// and button lists built from its lines 100 onward, and the lookups the main
// frame makes by command id and by action.
#include "fuzzinput.h"

#include "app/commandlist.h"
#include "lib/stringtable.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzinput::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::Write(data, size);
    if (!InitializeTorvelLibDLL(path, 2500))
        return 0;
    CCommandList list;
    if (!list.Build())
        return 0;
    for (int i = 0; i < list.EntryCount(); ++i) {
        const CCommandEntry* e = list.Entry(i);
        list.EntryById(e->commandId);
        list.EntryByAction(e->action, e->p1(), e->p2());
        list.MenuOf(e->listName);
    }
    list.EntryById(kLastCommandId);
    return 0;
}
