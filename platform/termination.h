// SIGINT and SIGTERM close the program in order: the signal is turned into a
// call on the GUI thread (through a self-pipe), where the program closes its
// main window exactly as the user would.
#pragma once

#include <functional>

// Installs the handlers; onTerminate runs on the GUI thread, once per signal.
// Needs a QCoreApplication.
void InstallTerminationHandler(std::function<void()> onTerminate);
