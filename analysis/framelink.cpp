// CFrameLink: what a shell that keeps no device state of its own does.
#include "analysis/framelink.h"

#include "device/TorvelAPI.h"

BOOL CFrameLink::SelectInputPath(int path) {
    // The power-supply control output drives the switch between the inputs.
    return PowerSupplyControl(0, 1, path, 0) == 1 ? TRUE : FALSE;
}
