// The rectangular context: layout from 16.16 ratios, rendering of the subtree,
// hit testing by smallest area, removal and the tree dump.
#include "draw/drawcontext.h"

#include "lib/drawobject.h"
#include "platform/dc.h"

#include <limits>

CDrawContext::CDrawContext() = default;
CDrawContext::~CDrawContext() = default;

void CDrawContext::LayoutChain(CDrawElement* head, const RECT& area) {
    if (!head) {
        return;
    }
    CDrawContext* contexts[kMaxCollectedContexts];
    const int n = head->CollectContexts(contexts, kMaxCollectedContexts, 0);
    for (int i = 0; i < n; ++i) {
        if (contexts[i]->m_AutoLayoutFlag) {
            contexts[i]->Layout(area);
        }
    }
}

void CDrawContext::Draw(CDC* pDC, CDrawContext*, void*) {
    if (m_pDrawObject) {
        m_pDrawObject->SelectDrawObject(pDC, nullptr);
    }
    LayoutChain(m_pChild, m_Rect);
}

void CDrawContext::Render(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (m_RedrawFlag) {
        Draw(pDC, parent, reserved);
        if (m_pChild) {
            m_pChild->Render(pDC, this, reserved);
        }
    }
    if (m_pNext) {
        m_pNext->Render(pDC, parent, reserved);
    }
}

WORD CDrawContext::GetTypeCode() {
    return DrawType::kDrawContext;
}

int CDrawContext::GetHitArea() {
    const long long area = static_cast<long long>(m_Rect.bottom - m_Rect.top) *
                           static_cast<long long>(m_Rect.right - m_Rect.left);
    return area > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                  : static_cast<int>(area);
}

bool CDrawContext::HitsSelf(int x, int y) {
    return m_Rect.left <= x && x <= m_Rect.right && m_Rect.top <= y && y <= m_Rect.bottom;
}

CDrawContext* CDrawContext::HitTest(int x, int y, int bestArea, char depth) {
    CDrawContext* result = nullptr;
    if (m_HitTestFlag && m_RedrawFlag && HitsSelf(x, y)) {
        const int area = GetHitArea();
        if (area < bestArea) {
            result = this;
            bestArea = area;
        }
    }
    // A hidden context hides its subtree from hits as it does from drawing.
    if (m_pChild && depth > 0 && m_RedrawFlag) {
        if (CDrawContext* r = m_pChild->HitTest(x, y, bestArea, static_cast<char>(depth - 1))) {
            result = r;
            bestArea = r->GetHitArea();
        }
    }
    if (m_pNext) {
        if (CDrawContext* r = m_pNext->HitTest(x, y, bestArea, depth)) {
            return r;
        }
    }
    return result;
}

void CDrawContext::UnlinkAll() {
    if (m_pChild) {
        m_pChild->UnlinkAll();
    }
    m_pChild = nullptr;
    CDrawElement::UnlinkAll();
}

CDrawElement* CDrawContext::Remove(WORD id, CDrawElement* prev) {
    if (m_pChild) {
        m_pChild = m_pChild->Remove(id, nullptr);
    }
    return CDrawElement::Remove(id, prev);
}

CString CDrawContext::GetClassName() {
    return "CDrawContext";
}

CString CDrawContext::Dump(CString indent) {
    CString s = indent + GetClassName() + "\n";
    if (m_pChild) {
        s += m_pChild->Dump(indent + " -- ");
    }
    if (m_pNext) {
        s += m_pNext->Dump(indent);
    }
    return s;
}

CDrawObject* CDrawContext::SetDrawObject(CDrawObject* drawObject) {
    m_pDrawObject = drawObject;
    return drawObject;
}

void CDrawContext::AddChild(CDrawElement* e) {
    if (!e || e->GetID() == m_ID) {
        return;
    }
    if (!m_pChild) {
        m_pChild = e;
    } else {
        m_pChild->Append(e);
    }
}

CDrawElement* CDrawContext::GetChild() {
    return m_pChild;
}

CDrawElement* CDrawContext::GetFirstChildContext() {
    for (CDrawElement* p = m_pChild; p; p = p->GetNext()) {
        if (p->GetTypeCode() > DrawType::kDrawContext) {
            return p;
        }
    }
    return nullptr;
}

int CDrawContext::CountTree(char depth) {
    int n = 1;
    if (depth >= 1) {
        for (CDrawElement* p = m_pChild; p; p = p->GetNext()) {
            if (CDrawContext* c = AsContext(p)) {
                n += c->CountTree(static_cast<char>(depth - 1));
                break; // the child context counts the rest of its chain itself
            }
        }
    }
    for (CDrawElement* p = m_pNext; p; p = p->GetNext()) {
        if (CDrawContext* c = AsContext(p)) {
            n += c->CountTree(depth);
            break;
        }
    }
    return n;
}

void CDrawContext::Layout(RECT parent) {
    // 16.16 ratios; products in 64 bits so that no size overflows (the results
    // are those of 32-bit products wherever those do not overflow).
    const long long l = parent.left, t = parent.top;
    const long long w = static_cast<long long>(parent.right) - parent.left;
    const long long h = static_cast<long long>(parent.bottom) - parent.top;
    m_Rect.left = m_LeftRatio == 0 ? parent.left : static_cast<LONG>(l + ((w * m_LeftRatio) >> 16));
    m_Rect.right = m_RightRatio == kRatioOne ? parent.right
                                             : static_cast<LONG>(l + ((w * m_RightRatio) >> 16));
    m_Rect.top = m_TopRatio == 0 ? parent.top : static_cast<LONG>(t + ((h * m_TopRatio) >> 16));
    m_Rect.bottom = m_BottomRatio == kRatioOne ? parent.bottom
                                               : static_cast<LONG>(t + ((h * m_BottomRatio) >> 16));
}

void CDrawContext::SetWeight(double a) {
    if (a > 1.0) {
        m_Weight = kFullWeight;
    } else {
        m_Weight = a > 0.0 ? static_cast<BYTE>(static_cast<int>(a * kFullWeight)) : 0;
    }
}

void CDrawContext::SetRatio(int left, int top, int right, int bottom) {
    m_LeftRatio = left;
    m_TopRatio = top;
    m_RightRatio = right;
    m_BottomRatio = bottom;
}
