// The element root: ID numbering, chain walks, persistence of the two common keys.
#include "draw/drawelement.h"

#include "draw/drawcontext.h"
#include "lib/settingfile.h"

#include <algorithm>

namespace {
// The process-wide 16-bit ID counter: IDs follow construction order.
WORD g_nextID = 0;
} // namespace

CDrawElement::CDrawElement() : m_ID(g_nextID++), m_IdentifyValue(m_ID) {}

CDrawElement::~CDrawElement() = default;

WORD CDrawElement::PeekNextID() {
    return g_nextID;
}

CDrawContext* CDrawElement::AsContext(CDrawElement* e) {
    return e && e->IsContext() ? static_cast<CDrawContext*>(e) : nullptr;
}

BYTE CDrawElement::SetRedrawFlag(BYTE flag) {
    m_RedrawFlag = flag;
    return flag;
}

BYTE CDrawElement::GetRedrawFlag() {
    return m_RedrawFlag;
}

void CDrawElement::Append(CDrawElement* e) {
    if (!e) {
        return;
    }
    CDrawElement* last = this;
    for (CDrawElement* p = this; p; p = p->m_pNext) {
        if (p->m_ID == e->m_ID) {
            return;
        }
        last = p;
    }
    last->m_pNext = e;
}

void CDrawElement::Draw(CDC*, CDrawContext*, void*) {}

void CDrawElement::Render(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (m_RedrawFlag) {
        Draw(pDC, parent, reserved);
    }
    if (m_pNext) {
        m_pNext->Render(pDC, parent, reserved);
    }
}

WORD CDrawElement::GetTypeCode() {
    return DrawType::kDrawElement;
}

BOOL CDrawElement::WriteSetting(CString section) {
    const int a = WriteSettingFileINT(section, "RedrawFlag", m_RedrawFlag);
    const int b = WriteSettingFileINT(section, "IdentifyValue", m_IdentifyValue);
    return a == 1 && b == 1;
}

BOOL CDrawElement::ReadSetting(CString section) {
    // A missing key leaves the number as it was, so the field keeps its value.
    int redraw = m_RedrawFlag;
    int identify = m_IdentifyValue;
    const int a = GetSettingFileINT(section, "RedrawFlag", &redraw);
    const int b = GetSettingFileINT(section, "IdentifyValue", &identify);
    m_RedrawFlag = static_cast<BYTE>(redraw & 0xFF);
    // The identify value keeps its low 8 bits, sign-extended: 300 reads as 44, 255 as -1.
    m_IdentifyValue = static_cast<signed char>(identify & 0xFF);
    return a == 1 && b == 1;
}

int CDrawElement::CountChain(int unused) {
    int n = 0;
    for (CDrawElement* p = this; p; p = p->m_pNext) {
        ++n;
    }
    (void)unused;
    return n;
}

int CDrawElement::CountContexts(int) {
    int n = 0;
    for (CDrawElement* p = this; p; p = p->m_pNext) {
        if (p->GetTypeCode() > DrawType::kDrawContext) {
            ++n;
        }
    }
    return n;
}

int CDrawElement::CollectContexts(CDrawContext** out, int max, char depth) {
    if (!out) {
        return 0;
    }
    max = std::min(max, kMaxCollectedContexts);
    int n = 0;
    for (CDrawElement* p = this; p && n < max; p = p->m_pNext) {
        CDrawContext* c = AsContext(p);
        if (!c) {
            continue;
        }
        out[n++] = c;
        if (depth > 0 && n < max && c->GetChild()) {
            n += c->GetChild()->CollectContexts(out + n, max - n, static_cast<char>(depth - 1));
        }
    }
    return n;
}

CDrawContext* CDrawElement::HitTest(int x, int y, int bestArea, char depth) {
    return m_pNext ? m_pNext->HitTest(x, y, bestArea, depth) : nullptr;
}

void CDrawElement::UnlinkAll() {
    if (m_pNext) {
        m_pNext->UnlinkAll();
    }
    m_pNext = nullptr;
}

CDrawElement* CDrawElement::Remove(WORD id, CDrawElement* prev) {
    if (!prev) {
        if (m_ID == id) {
            CDrawElement* head = m_pNext;
            m_pNext = nullptr;
            return head;
        }
        if (m_pNext) {
            m_pNext->Remove(id, this);
        }
        return this;
    }
    if (m_ID == id) {
        prev->m_pNext = m_pNext;
        m_pNext = nullptr;
        return this;
    }
    return m_pNext ? m_pNext->Remove(id, this) : nullptr;
}

CString CDrawElement::Dump(CString indent) {
    CString s = indent + GetClassName() + "\n";
    if (m_pNext) {
        s += m_pNext->Dump(indent);
    }
    return s;
}
