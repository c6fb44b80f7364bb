// CAroundContext: a border around a panel: a plain outline in the current pen or
// a raised, sunken, bump or etched 3D edge, with an optional focus rectangle and
// caption.
#pragma once

#include "draw/drawcontext.h"

class CAroundContext : public CDrawContext {
public:
    static constexpr int kStyleOutline = 0;
    static constexpr int kStyleRaised = 1;
    static constexpr int kStyleSunken = 2;
    static constexpr int kStyleBump = 3;
    static constexpr int kStyleEtched = 4;
    // The focus rectangle lies this far inside the border.
    static constexpr int kFocusInset = 4;

    CAroundContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    void SetStyle(int style) { m_Style = style; }
    int GetStyle() const { return m_Style; }
    void SetCaption(const CString& caption) { m_Caption = caption; }
    const CString& GetCaption() const { return m_Caption; }
    void SetFocusFlag(BYTE flag) { m_FocusFlag = flag; }
    BYTE GetFocusFlag() const { return m_FocusFlag; }

private:
    int m_Style = kStyleRaised;
    CString m_Caption;
    BYTE m_FocusFlag = 0;
};
