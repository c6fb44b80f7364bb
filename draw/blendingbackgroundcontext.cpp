// The blending background: the blend chain is rebuilt and painted on every draw.
#include "draw/blendingbackgroundcontext.h"

#include "lib/blendobject.h"
#include "platform/dc.h"
#include "platform/profile.h"

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
    CBackGroundContext::Draw(pDC, parent, reserved);
    if (!pDC || m_BlendList.empty()) {
        return;
    }
    const COLORREF oldBk = pDC->GetBkColor();
    const COLORREF oldText = pDC->GetTextColor();
    for (const BlendPiece& piece : BlendPieces(m_Rect)) {
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
