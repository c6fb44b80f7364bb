// CNormalFrameContext: the frame of every spectrum graph. On its blending
// background it draws the graticule and the title line ("[Torvel]"), below
// which the marker and trigger read-out lines stack.
#pragma once

#include "draw/blendingbackgroundcontext.h"
#include "draw/drawframe.h"
#include "draw/drawtext.h"

class CNormalFrameContext : public CBlendingBackGroundContext {
public:
    CNormalFrameContext();

    // The blending background, then the title is placed at the top-left corner;
    // grid and title are drawn afterwards through the child chain.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    CDrawFrame& GetFrame() { return m_Frame; }
    CDrawMultiLineText& GetTitle() { return m_Title; }

private:
    CDrawFrame m_Frame;
    CDrawMultiLineText m_Title;
};
