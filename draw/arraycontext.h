// CArrayContext: a background context that arranges its child contexts in a
// row (orientation 0) or a column (orientation 1), each sized by its weight,
// with a gap between and around them.
#pragma once

#include "draw/backgroundcontext.h"

class CArrayContext : public CBackGroundContext {
public:
    static constexpr BYTE kRow = 0;
    static constexpr BYTE kColumn = 1;

    CArrayContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // 0 side by side, 1 stacked, other values: no arrangement.
    void SetOrientation(BYTE orientation) { m_Orientation = orientation; }
    BYTE GetOrientation() const { return m_Orientation; }
    void SetGap(WORD gap) { m_Gap = gap; }
    WORD GetGap() const { return m_Gap; }

private:
    BYTE m_Orientation = 0;
    WORD m_Gap = 0;
};
