// CNormalTextContext: a background with one text placed at its centre, keeping
// the text's own anchor (anchor 4 centres it both ways).
#pragma once

#include "draw/backgroundcontext.h"
#include "draw/drawtext.h"

class CNormalTextContext : public CBackGroundContext {
public:
    CNormalTextContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    CDrawText& GetText() { return m_Text; }

private:
    CDrawText m_Text;
};
