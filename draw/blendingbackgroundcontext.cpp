// The blending background: the blend chain is rebuilt and painted on every draw.
#include "draw/blendingbackgroundcontext.h"

#include "lib/blendobject.h"
#include "lib/drawobject.h"
#include "platform/dc.h"
#include "platform/profile.h"

#include <algorithm>
#include <climits>

namespace {
constexpr const char* kWindowSection = "WINDOW";
constexpr const char* kAlphaFactorKey = "AlphaFactor";
} // namespace

CBlendingBackGroundContext::CBlendingBackGroundContext() {
    m_BlendList.reserve(kListBlock);
}

CBlendingBackGroundContext::~CBlendingBackGroundContext() {
    for (Entry& e : m_BlendList) {
        if (e.owned) {
            delete e.blend;
        }
    }
}

WORD CBlendingBackGroundContext::GetTypeCode() {
    return DrawType::kBlendingBackGroundContext;
}

CString CBlendingBackGroundContext::GetClassName() {
    return "CBlendingBackGroundContext";
}

int CBlendingBackGroundContext::GetWindowAlphaFactor() {
    const int alpha = GetProfileInt(kWindowSection, kAlphaFactorKey, INT_MIN);
    if (alpha != INT_MIN) {
        return alpha;
    }
    WriteProfileInt(kWindowSection, kAlphaFactorKey, kDefaultAlphaFactor);
    return kDefaultAlphaFactor;
}

DWORD CBlendingBackGroundContext::AddBlend(CBlendObject* blend) {
    if (!blend) {
        return 0;
    }
    // An object already in the list would link the chain into a loop (and an
    // owned one would be deleted twice).
    for (const Entry& e : m_BlendList) {
        if (e.blend == blend) {
            return blend->GetIDNumber();
        }
    }
    if (m_BlendList.size() == m_BlendList.capacity()) {
        m_BlendList.reserve(m_BlendList.size() + kListBlock);
    }
    m_BlendList.push_back({blend, blend->GetMasterFlag() != 1});
    m_ChangedFlag = 1;
    return blend->GetIDNumber();
}

void CBlendingBackGroundContext::ClearBlendObjects() {
    for (Entry& e : m_BlendList) {
        e.blend->ClearNext();
        if (e.owned) {
            delete e.blend;
        }
    }
    m_BlendList.clear();
}

void CBlendingBackGroundContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (!pDC || m_BlendList.empty() || !m_pDrawObject || m_Rect.IsRectEmpty()) {
        CBackGroundContext::Draw(pDC, parent, reserved);
        if (pDC && !m_BlendList.empty()) {
            FillPieces(pDC, BlendPieces(m_Rect));
        }
        return;
    }
    std::vector<BlendPiece> pieces = BlendPieces(m_Rect);
    bool columns = true;
    for (BlendPiece& piece : pieces) {
        CRect r;
        if (!r.IntersectRect(piece.rect, m_Rect)) {
            r.SetRectEmpty();
        } else if (r.top != m_Rect.top || r.bottom != m_Rect.bottom) {
            columns = false;
        }
        piece.rect = r;
    }
    if (!columns) {
        CBackGroundContext::Draw(pDC, parent, reserved);
        FillPieces(pDC, pieces);
        return;
    }
    // Every piece spans the whole height (the bands of a frequency axis): each
    // run of columns takes the colour of the last piece over it, the
    // background where there is none, and is filled once.
    CDrawContext::Draw(pDC, parent, reserved);
    const COLORREF background = m_pDrawObject->GetBackGroundColor();
    std::vector<int> edges{m_Rect.left, m_Rect.right};
    for (const BlendPiece& piece : pieces) {
        if (!piece.rect.IsRectEmpty()) {
            edges.push_back(piece.rect.left);
            edges.push_back(piece.rect.right);
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    const COLORREF oldText = pDC->GetTextColor();
    int runLeft = m_Rect.left;
    COLORREF runColor = background;
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        const int x = edges[i];
        COLORREF color = background;
        for (const BlendPiece& piece : pieces) {
            if (!piece.rect.IsRectEmpty() && piece.rect.left <= x && x < piece.rect.right) {
                color = piece.color;
            }
        }
        if (color != runColor) {
            const CRect run(runLeft, m_Rect.top, x, m_Rect.bottom);
            pDC->FillSolidRect(&run, runColor);
            runLeft = x;
            runColor = color;
        }
    }
    const CRect last(runLeft, m_Rect.top, m_Rect.right, m_Rect.bottom);
    pDC->FillSolidRect(&last, runColor);
    // The background colour is left selected, as after filling the background first.
    pDC->SetBkColor(background);
    pDC->SetTextColor(oldText);
}

void CBlendingBackGroundContext::FillPieces(CDC* pDC, const std::vector<BlendPiece>& pieces) {
    const COLORREF oldBk = pDC->GetBkColor();
    const COLORREF oldText = pDC->GetTextColor();
    for (const BlendPiece& piece : pieces) {
        CRect r;
        if (r.IntersectRect(piece.rect, m_Rect)) {
            pDC->FillSolidRect(&r, piece.color);
        }
    }
    pDC->SetBkColor(oldBk);
    pDC->SetTextColor(oldText);
}

std::vector<CBlendingBackGroundContext::BlendPiece>
CBlendingBackGroundContext::BlendPieces(const CRect& outer,
                                        const std::function<bool(const CBlendObject*)>& include) {
    std::vector<BlendPiece> pieces;
    // Build the chain: the visible objects of the list, each blended into the
    // objects before it.
    CBlendObject* first = nullptr;
    int alpha = 0;
    for (Entry& e : m_BlendList) {
        e.blend->ClearNext();
    }
    for (Entry& e : m_BlendList) {
        CBlendObject* b = e.blend;
        if (!b->GetRedrawFlag() || (include && !include(b))) {
            continue;
        }
        b->SetRect(outer);
        if (!first) {
            first = b;
            alpha = GetWindowAlphaFactor();
        } else {
            first->AddBlendObject(b, alpha);
        }
    }
    // Walk the chain; the pieces made by blending are deleted as they are
    // passed. Objects of the list stay, non-master ones included: those belong
    // to the list until ClearBlendObjects or its destruction.
    auto inList = [this](const CBlendObject* b) {
        for (const Entry& e : m_BlendList) {
            if (e.blend == b) {
                return true;
            }
        }
        return false;
    };
    for (CBlendObject* b = first; b;) {
        if (b->GetRedrawFlag()) {
            pieces.push_back({b->GetRect(), b->GetColor()});
        }
        CBlendObject* next = b->GetNext();
        b->ClearNext();
        if (b->GetMasterFlag() != 1 && !inList(b)) {
            delete b;
        }
        b = next;
    }
    return pieces;
}
