// TorvelLib: the support library. This file holds the library's identity; the
// services live in one file pair per family.
#include "platform/wintypes.h"

extern "C" int TorvelLibVersion() { return 0x0200; }
