// C3DGraphInterface: the view interface of a spectrogram window's top pane. It
// holds the 3D graph with its frame drawing object and the two highlights the
// owner keeps in it: the highlighted slice and the highlighted frequency. A
// highlight is shown while its value is 0 or more; the owner hides one by
// taking kHidden off it and shows it again by adding kHidden back, so the
// value survives. While the owner is stopped the mouse drags the slice or
// the frequency: the pane turns the drag into the owner's slice and chunk
// commands.
#pragma once

#include "analysis/viewinterface.h"
#include "draw/3dgraphcontext.h"
#include "lib/drawobject.h"
#include "platform/geometry.h"

// What the 3D graph asks of its owner.
class C3DGraphOwner {
public:
    // The mouse acts on the graph only while this is true.
    virtual bool Is3DGraphStopped() = 0;
    // Runs a slice (203) or chunk frequency (204) command with the value, as
    // the command list would, and shows the result.
    virtual void Run3DGraphCommand(int action, int value) = 0;

protected:
    ~C3DGraphOwner() = default;
};

class C3DGraphInterface : public CViewInterface {
public:
    static constexpr int kHidden = 100000000;
    static constexpr unsigned kFrameMask = 0x1F;
    // The graph keeps this distance from the pane's sides and from its top
    // and bottom.
    static constexpr int kSideMargin = 20;
    static constexpr int kTopMargin = 10;

    C3DGraphInterface();

    // "3DFrame" of section + "_3DFrame" in the profile, titled "3DFrame" when
    // the profile has no title.
    void Setup(const CString& profileSection);
    void WriteProfile();
    CDrawObject* GetDrawObject(int k) override;
    int WriteSetting(CString section) override;
    int ReadSetting(CString section) override;

    void Draw(CDC* pDC, const CRect& client) override;
    void OnLButtonDown(UINT flags, int x, int y) override;
    void OnLButtonUp(UINT flags, int x, int y) override;
    void OnMouseMove(UINT flags, int x, int y) override;

    void Set3DOwner(C3DGraphOwner* owner) { m_p3DOwner = owner; }
    C3DGraphContext& GetGraph() { return m_Graph; }
    CDrawObject& GetFrameObject() { return m_Frame; }
    void SetSliceCount(int count);
    int GetSliceCount() const { return m_SliceCount; }

    int GetHighlightedSlice() const { return m_HighlightSlice; }
    void SetHighlightedSlice(int value) { m_HighlightSlice = value; }
    int GetHighlightedFrequency() const { return m_HighlightFrequency; }
    void SetHighlightedFrequency(int value) { m_HighlightFrequency = value; }
    static bool IsShown(int value) { return value >= 0; }
    static int Shown(int value) { return value < 0 ? value + kHidden : value; }
    static int Hidden(int value) { return value < 0 ? value : value - kHidden; }
    bool IsSliceDrag() const { return m_SliceDrag; }
    bool IsFrequencyDrag() const { return m_FrequencyDrag; }

    // The frequency under pane point (x, y) on the newest slice; false when the
    // point is not over the frequency axis.
    bool FrequencyAt(int x, int y, int* kHz) const;
    // The rectangle the graph is drawn in for a pane's client rectangle.
    static CRect GraphRect(const CRect& client);
    // Lays the graph out for client (as a paint does).
    void Layout(const CRect& client);

private:
    // The graph's highlight fields: the stored values, hidden or not.
    void SyncGraph(bool forHitTest);

    CDrawObject m_Frame;
    C3DGraphContext m_Graph;
    C3DGraphOwner* m_p3DOwner = nullptr;
    int m_HighlightSlice = -kHidden;
    int m_HighlightFrequency = -kHidden;
    int m_SliceCount = C3DGraphContext::kDefaultSliceCount;
    bool m_SliceDrag = false;
    bool m_FrequencyDrag = false;
    CPoint m_LastMouse{0, 0};
};
