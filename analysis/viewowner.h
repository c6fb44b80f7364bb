// CViewOwner: the input slots through which a view interface tells its owner
// (the analysis core) about the window's mouse and keyboard input. Every slot
// does nothing unless a mode overrides it.
#pragma once

#include "platform/wintypes.h"

class CViewInterface;

// Key and button state of the input notifications (the Windows MK_ values).
namespace ViewKeys {
constexpr UINT kLButton = 0x0001;
constexpr UINT kRButton = 0x0002;
constexpr UINT kShift = 0x0004;
constexpr UINT kControl = 0x0008;
constexpr UINT kMButton = 0x0010;
} // namespace ViewKeys

class CViewOwner {
public:
    virtual ~CViewOwner();
    // Each receives the message's flags, a point (or the message's two values)
    // and the interface it came from.
    virtual void OnViewLButtonDblClk(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewLButtonUp(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewMouseMove(UINT flags, int x, int y, CViewInterface* intf);
    // flags: key state in the low word, wheel delta (signed) in the high word.
    virtual void OnViewMouseWheel(UINT flags, int x, int y, CViewInterface* intf);
    // flags: the key code; x: the repeat count; y: the key flags.
    virtual void OnViewKeyUp(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewCaptureChanged(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewRButtonDblClk(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewRButtonDown(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewRButtonUp(UINT flags, int x, int y, CViewInterface* intf);
    // flags: the size type; x, y: the new client width and height.
    virtual void OnViewSize(UINT flags, int x, int y, CViewInterface* intf);
    // flags: the scroll code; x: the position.
    virtual void OnViewHScroll(UINT flags, int x, int y, CViewInterface* intf);
    virtual void OnViewVScroll(UINT flags, int x, int y, CViewInterface* intf);
};
