// CBlendingBackGroundContext: a background context that keeps a list of blend
// objects (translucent bands given by ratios of its rectangle), blends the
// overlapping ones with the window alpha factor and paints the result before
// anything else of the graph. Master objects belong to their owners; the pieces
// made by blending live for one draw only.
#pragma once

#include "draw/backgroundcontext.h"
#include "platform/gdiobjects.h"

#include <functional>
#include <vector>

class CBlendObject;

class CBlendingBackGroundContext : public CBackGroundContext {
public:
    // The alpha factor used (and written back) when the profile has none.
    static constexpr int kDefaultAlphaFactor = 128;

    CBlendingBackGroundContext();
    // Deletes the objects the list owns (those added as non-master objects).
    ~CBlendingBackGroundContext() override;

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // Appends blend to the list, sets the changed flag; returns the blend's ID number.
    DWORD AddBlend(CBlendObject* blend);
    // Clears every object's next link, deletes the non-master objects and
    // empties the list.
    void ClearBlendObjects();
    int GetBlendCount() const { return static_cast<int>(m_BlendList.size()); }

    // For the owner's use.
    CBitmap& GetWorkBitmap() { return m_WorkBitmap; }
    int GetChangedFlag() const { return m_ChangedFlag; }
    void SetChangedFlag(int flag) { m_ChangedFlag = flag; }

    // "AlphaFactor" of section "WINDOW"; 128 (written back) when missing.
    static int GetWindowAlphaFactor();

protected:
    // One piece of the blend chain to paint.
    struct BlendPiece {
        CRect rect;
        COLORREF color;
    };
    // Builds the chain of the visible objects of the list that include accepts
    // (all without include), each placed by its ratios in outer and blended
    // into the ones before it, and returns its pieces in painting order. The
    // pieces made by blending are gone afterwards.
    std::vector<BlendPiece>
    BlendPieces(const CRect& outer, const std::function<bool(const CBlendObject*)>& include = {});

private:
    // Fills the pieces (clipped to the rectangle) over what is there.
    void FillPieces(CDC* pDC, const std::vector<BlendPiece>& pieces);

    struct Entry {
        CBlendObject* blend;
        // A non-master object handed to the list belongs to it. Recorded when it
        // is added, so that an owner's master already destroyed is never touched
        // when the list goes.
        bool owned;
    };
    // A pointer list with a block size of 10 entries.
    static constexpr size_t kListBlock = 10;
    std::vector<Entry> m_BlendList;
    CBitmap m_WorkBitmap;
    int m_ChangedFlag = 0;
};
