// CDrawContext: the rectangular container every context class derives from.
// It holds a rectangle (laid out from 16.16 ratios of its parent's rectangle),
// a draw object whose attributes are selected before drawing, and the head of
// its child chain. Rendering draws the context, then its children inside it,
// then its later siblings; a hidden context hides its whole subtree.
#pragma once

#include "draw/drawelement.h"
#include "platform/geometry.h"

class CDrawObject;

class CDrawContext : public CDrawElement {
public:
    // 1.0 in the 16.16 layout ratios.
    static constexpr int kRatioOne = 0x10000;
    // The largest weight (1.0) of an array context's child.
    static constexpr BYTE kFullWeight = 128;

    CDrawContext();
    ~CDrawContext() override;

    // ---- Overrides of CDrawElement.
    // Selects the draw object (it stays selected for what is drawn after it)
    // and lays out the direct child contexts whose auto-layout flag is set.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    // Draw and the child chain (with this context as parent) when the redraw
    // flag is set; in every case the later siblings with the same parent.
    void Render(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    // Contexts that are hit-testable, visible and contain the point (edges
    // included) compete by area; children are searched down to depth.
    CDrawContext* HitTest(int x, int y, int bestArea, char depth) override;
    // Whether (x, y) hits this context itself (its rectangle here); the search
    // of children and siblings in HitTest is the same for every context.
    virtual bool HitsSelf(int x, int y);
    void UnlinkAll() override;
    // Removes the element from the child chain (the child head is replaced when
    // it was the head), then from this chain.
    CDrawElement* Remove(WORD id, CDrawElement* prev) override;
    CString GetClassName() override;
    // The tree below this context follows it, each level indented by " -- ".
    CString Dump(CString indent) override;

    // ---- Virtual operations of contexts.
    virtual CDrawObject* SetDrawObject(CDrawObject* drawObject);
    // e becomes the child, or is appended to the child chain; a context is never
    // its own child.
    virtual void AddChild(CDrawElement* e);
    virtual CDrawElement* GetChild();
    // The first element of the child chain whose type code is above 1000.
    virtual CDrawElement* GetFirstChildContext();
    // This context, the contexts below it down to depth, and the contexts of the
    // rest of its chain.
    virtual int CountTree(char depth);
    // The area this context counts with in HitTest: width x height. Contexts
    // that are thin targets (marker lines, trigger lines) count less.
    virtual int GetHitArea();

    // ---- Layout and plain accessors.
    // Sets the rectangle from the parent's rectangle and the 16.16 ratios.
    void Layout(RECT parent);
    // The weight becomes a x 128 (truncated) for a <= 1.0, else 128.
    void SetWeight(double a);
    BYTE GetWeight() const { return m_Weight; }
    void SetRatio(int left, int top, int right, int bottom);
    int GetLeftRatio() const { return m_LeftRatio; }
    int GetTopRatio() const { return m_TopRatio; }
    int GetRightRatio() const { return m_RightRatio; }
    int GetBottomRatio() const { return m_BottomRatio; }
    const CRect& GetRect() const { return m_Rect; }
    void SetRect(const RECT& rect) { m_Rect = rect; }
    CDrawObject* GetDrawObject() const { return m_pDrawObject; }
    BYTE GetHitTestFlag() const { return m_HitTestFlag; }
    void SetHitTestFlag(BYTE flag) { m_HitTestFlag = flag; }
    BYTE GetAutoLayoutFlag() const { return m_AutoLayoutFlag; }
    void SetAutoLayoutFlag(BYTE flag) { m_AutoLayoutFlag = flag; }

protected:
    // Lays out the direct child contexts of the chain head with the auto-layout
    // flag set into area.
    static void LayoutChain(CDrawElement* head, const RECT& area);

    CRect m_Rect{0, 0, 0, 0};
    int m_LeftRatio = 0;
    int m_TopRatio = 0;
    int m_RightRatio = kRatioOne;
    int m_BottomRatio = kRatioOne;
    CDrawObject* m_pDrawObject = nullptr;
    CDrawElement* m_pChild = nullptr;
    BYTE m_Weight = kFullWeight;
    BYTE m_HitTestFlag = 0;
    BYTE m_AutoLayoutFlag = 1;
};
