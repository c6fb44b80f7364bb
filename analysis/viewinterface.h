// CViewInterface: what stands between an analysis window's view and its tree of
// draw contexts. It owns the root (a double-buffer context), paints it, turns
// the view's mouse and keyboard input into hit tests on the tree, runs the drag
// gestures (free pointer, marker points, trigger line), chooses the mouse
// cursor's shape, tells its owner (the core) about the input, and keeps its
// small state in the window's setting data file.
#pragma once

#include "analysis/viewowner.h"
#include "analysis/viewwindow.h"
#include "draw/doublebuffercontext.h"
#include "platform/cstring.h"
#include "platform/geometry.h"
#include "platform/wintypes.h"

#include <functional>

class CDC;
class CDrawContext;
class CDrawObject;
class CViewInterface;

class CViewInterface {
public:
    // Drag kinds (bits 16-19 of the drag state); bits 0-15 hold the marker index.
    static constexpr int kDragNone = 0;
    static constexpr int kDragFreePointer = 1;
    static constexpr int kDragMarkerMain = 2;
    static constexpr int kDragMarkerChild = 3;
    static constexpr int kDragTrigger = 4;
    // Identify values of the contexts the gestures act on.
    static constexpr int kIdentifyMarker = 50;
    static constexpr int kIdentifyMarkerLast = 59;
    static constexpr int kIdentifyTrigger = 60;
    // Hit tests search the tree this deep.
    static constexpr char kHitDepth = 127;
    // Commands of the interfaces.
    static constexpr UINT kFirstCommand = 37000;
    static constexpr UINT kLastCommand = 37199;
    // IDs wrap to 0 after this.
    static constexpr WORD kIdWrap = 32768;

    using CursorShape = ViewCursorShape;

    CViewInterface();
    CViewInterface(const CViewInterface&) = delete;
    CViewInterface& operator=(const CViewInterface&) = delete;
    virtual ~CViewInterface();

    // ---- Events from the view.
    // Paint: the root takes the client rectangle when it changed, then renders.
    virtual void Draw(CDC* pDC, const CRect& client);
    // Runs at the start of every draw: the owner brings what the view shows
    // up to date (cheap when nothing changed).
    void SetBeforeDraw(std::function<void()> hook) { m_BeforeDraw = std::move(hook); }
    // Nothing is erased: the root paints every pixel. Returns TRUE.
    virtual BOOL OnEraseBkgnd();
    virtual void OnLButtonDblClk(UINT flags, int x, int y);
    // Hit test and drag start.
    virtual void OnLButtonDown(UINT flags, int x, int y);
    // Ends a running drag; otherwise a hit test and the owner is told.
    virtual void OnLButtonUp(UINT flags, int x, int y);
    // Inside the root: a drag step or the hover; outside: the drag ends.
    virtual void OnMouseMove(UINT flags, int x, int y);
    virtual void OnMouseWheel(UINT flags, short delta, int x, int y);
    virtual void OnKeyUp(UINT key, UINT repeat, UINT flags);
    virtual void OnCaptureChanged();
    // The pointer left the view: what follows it (a read-out, a hover mark)
    // goes. Nothing in the base.
    virtual void OnMouseLeave() {}
    virtual void OnRButtonDblClk(UINT flags, int x, int y);
    virtual void OnRButtonDown(UINT flags, int x, int y);
    virtual void OnRButtonUp(UINT flags, int x, int y);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnHScroll(UINT code, int position);
    virtual void OnVScroll(UINT code, int position);
    // Commands 37000-37199 and their menu states; TRUE when handled (none in the base).
    virtual BOOL OnCommand(UINT id);
    virtual BOOL OnUpdateCommand(UINT id, int* state);

    // ---- Other operations.
    // Invalidates the view; it repaints in the next turn of the event loop.
    virtual void Redraw();
    virtual void RedrawRect(const CRect& rect);
    // The view's client rectangle; empty without a view.
    virtual CRect GetClientRect();
    // The cursor, the markers and the trigger line share these readout flags.
    virtual void SetReadoutFlags(int flags);
    // Marker k (1..5) is shown and searches the graph's x range.
    virtual void MarkerPeakSearch(int k);
    virtual void MarkerNextPeak(int k);
    // Drawing object k (0..3), or null.
    virtual CDrawObject* GetDrawObject(int k);
    // "ViewIntfIdentifyValue", "ViewIntfModeFlag", "ViewIntfIniEntry" in the
    // section; 1 only when every item succeeded. Interfaces of the modes add
    // their drawing objects and contexts.
    virtual int WriteSetting(CString section);
    virtual int ReadSetting(CString section);

    // ---- Plain accessors.
    WORD GetID() const { return m_ID; }
    int GetIdentifyValue() const { return m_IdentifyValue; }
    void SetIdentifyValue(int value) { m_IdentifyValue = value; }
    // The view that shows this interface (it routes its input here); null detaches.
    // A view shows one interface: one that showed through it before lets go.
    void SetViewWindow(CViewWindow* view);
    CViewWindow* GetViewWindow() const;
    void SetOwner(CViewOwner* owner) { m_pOwner = owner; }
    CViewOwner* GetOwner() const { return m_pOwner; }
    CDoubleBufferContext& GetRoot() { return m_Root; }
    CDrawContext* GetHovered() const { return m_pHovered; }
    DWORD GetDragState() const { return m_DragState; }
    int GetDragKind() const { return static_cast<int>((m_DragState >> 16) & 0xF); }
    int GetDragIndex() const { return static_cast<int>(m_DragState & 0xFFFF); }
    const CString& GetProfileSection() const { return m_ProfileSection; }
    void SetProfileSection(const CString& section) { m_ProfileSection = section; }
    CursorShape GetCursorShape() const { return m_CursorShape; }
    // Where the free pointer was last put by a press or a free drag.
    CPoint GetFreePointer() const { return m_FreePointer; }
    // Number of redraws asked for; for tests.
    unsigned long GetRedrawCount() const { return m_RedrawCount; }

    // The root's hit test at (x, y) with its area as the best area and depth 127;
    // the result is remembered as the hovered context.
    CDrawContext* HitTestAt(int x, int y);

    // The process-wide ID counter (the next ID handed out); for tests.
    static WORD PeekNextID();

protected:
    // ---- Gesture hooks: the mode's interface knows its cursor, markers and
    // trigger line. The base has none of them.
    // The free pointer moves to (x, y): the base remembers it; the cursor follows.
    virtual void MoveFreePointer(int x, int y);
    // The index 0..4 of the marker context, or -1.
    virtual int GetMarkerIndex(CDrawContext* marker);
    // True when x lies on the marker's main point.
    virtual BOOL IsOnMarkerMainPoint(int index, int x);
    virtual void SetMarkerSelectMode(int index, int mode);
    // The marker's selected point (select mode 0 main, 1 child) moves to pixel x
    // and the marker is shown.
    virtual void MoveMarker(int index, int selectMode, int x);
    // The trigger line moves to pixel row y.
    virtual void MoveTrigger(int y);
    // The pointer rests over a marker: a band marker that is not highlighted
    // gets highlighted. TRUE when that changed the picture.
    virtual BOOL HoverMarker(CDrawContext* marker);
    // The pointer rests over anything else (null: nothing): highlights follow
    // it. TRUE when that changed the picture.
    virtual BOOL Highlight(CDrawContext* hovered);

    void SetCursorShape(CursorShape shape);
    void SetDragState(int kind, int index) {
        m_DragState = (static_cast<DWORD>(kind & 0xF) << 16) | static_cast<DWORD>(index & 0xFFFF);
    }
    // The window rectangle of the root, in view coordinates.
    CRect GetRootRect() const { return m_Root.GetWindowRect(); }
    static bool IsMarkerValue(int identify) {
        return identify >= kIdentifyMarker && identify <= kIdentifyMarkerLast;
    }

    WORD m_ID;
    int m_IdentifyValue = 0;
    CViewWindow* m_pView = nullptr;
    CViewOwner* m_pOwner = nullptr;
    CDoubleBufferContext m_Root;
    CDrawContext* m_pHovered = nullptr;
    DWORD m_DragState = 0;
    CString m_ProfileSection;
    CursorShape m_CursorShape = CursorShape::Arrow;
    CPoint m_FreePointer{0, 0};
    unsigned long m_RedrawCount = 0;
    std::function<void()> m_BeforeDraw;
};
