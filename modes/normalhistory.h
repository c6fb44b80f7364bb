// CNormalHistory: what the normal window's sweep history pane is made of: its
// frame drawing object, the waterfall interface and the widgets, and the time
// of the last recorded sweep (the read-out counts sweeps in that period).
#pragma once

#include "lib/drawobject.h"
#include "modes/paneview.h"
#include "modes/waterfallinterface.h"
#include "platform/splitterwnd.h"

#include <QPointer>

#include <chrono>

struct CNormalHistory {
    static constexpr int kMinPaneHeight = 40;

    CNormalHistory();

    CDrawObject frame;
    CWaterfallInterface intf;
    QPointer<CSplitterWnd> splitter;
    QPointer<CPaneView> pane;
    // The pane's height: the profile's, then the one it was last given.
    int height = 0;
    std::chrono::steady_clock::time_point last;
    bool hasLast = false;
};
