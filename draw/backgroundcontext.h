// CBackGroundContext: a context that fills its rectangle with the background
// colour of its draw object before its children are drawn.
#pragma once

#include "draw/drawcontext.h"

class CBackGroundContext : public CDrawContext {
public:
    CBackGroundContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
};
