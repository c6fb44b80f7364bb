// CWaterfallInterface: the view interface of a colour waterfall pane. In a
// spectrogram window it is the other view of the top pane: it shares the 3D
// graph's frame drawing object and its two highlights (the highlighted slice
// as a row mark, the highlighted frequency as a column mark) and takes the
// same mouse handling: hovering a mark shows it, and while the owner is
// stopped a drag of the row picks the slice, a drag of the column the chunk
// frequency. In the normal window it shows the sweep history, with no marks.
// Everywhere the pointer has a read-out of frequency, time and level.
#pragma once

#include "analysis/viewinterface.h"
#include "draw/waterfallcontext.h"
#include "modes/3dgraphinterface.h"
#include "platform/geometry.h"

class CWaterfallInterface : public CViewInterface {
public:
    CWaterfallInterface();

    // The frame drawing object (background, pen and text of the marks); the
    // caller's.
    void SetFrameObject(CDrawObject* frame);
    // The 3D graph whose highlights the marks show, and the owner that runs
    // the slice and chunk commands; null for a pane without marks.
    void SetPeer(C3DGraphInterface* peer, C3DGraphOwner* owner) {
        m_pPeer = peer;
        m_p3DOwner = owner;
    }
    void Draw(CDC* pDC, const CRect& client) override;
    void OnLButtonDown(UINT flags, int x, int y) override;
    void OnLButtonUp(UINT flags, int x, int y) override;
    void OnMouseMove(UINT flags, int x, int y) override;
    // The read-out and a hover mark go with the pointer.
    void OnMouseLeave() override;

    CWaterfallContext& GetWaterfall() { return m_Fall; }
    bool IsSliceDrag() const { return m_SliceDrag; }
    bool IsFrequencyDrag() const { return m_FrequencyDrag; }
    // Lays the waterfall out for client (as a paint does).
    void Layout(const CRect& client);

private:
    // The marks take the peer's highlights (shown ones, or all for a hit test).
    void SyncMarks(bool forHitTest);

    CWaterfallContext m_Fall;
    C3DGraphInterface* m_pPeer = nullptr;
    C3DGraphOwner* m_p3DOwner = nullptr;
    bool m_SliceDrag = false;
    bool m_FrequencyDrag = false;
};
