// Blend objects: ratio placement, boost, chain building with blended clones,
// setting-file keys, and the alpha blend of two colours.
#include "lib/blendobject.h"

#include "lib/settingfile.h"

#include <atomic>
#include <cmath>
#include <cstdint>

namespace {

// The library-wide ID counter; the value constructors take one number each.
std::atomic<DWORD> g_nextIDNumber{0};

// value × 65536 truncated toward zero, kept inside the int range (a NaN is 0).
int ToRatio(double value) {
    double scaled = std::trunc(value * CBlendObject::kRatioOne);
    if (!(scaled == scaled))
        return 0;
    if (scaled >= 2147483647.0)
        return 2147483647;
    if (scaled <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(scaled);
}

// outer.start + (ratio × extent) >> 16, the product kept in 64 bits.
LONG Place(LONG start, int ratio, std::int64_t extent) {
    return static_cast<LONG>(start + ((static_cast<std::int64_t>(ratio) * extent) >> 16));
}

int Boost(int c) {
    return ((c * 5) / 4) % 256;
}

int BlendComponent(int a, int b, int alpha) {
    std::int64_t v = (static_cast<std::int64_t>(a) * alpha +
                      static_cast<std::int64_t>(b) * (256 - static_cast<std::int64_t>(alpha))) /
                     256;
    return static_cast<int>(v & 0xFF);
}

} // namespace

CBlendObject::CBlendObject() : m_IDNumber(g_nextIDNumber++) {}

CBlendObject::CBlendObject(COLORREF color, RECT rect)
    : m_IDNumber(g_nextIDNumber++), m_Rect(rect), m_Color(color) {}

CBlendObject::CBlendObject(COLORREF color, RECT rect, double left, double top, double right,
                           double bottom)
    : m_IDNumber(g_nextIDNumber++), m_Color(color) {
    SetRatio(left, top, right, bottom);
    SetRect(rect);
}

CBlendObject::CBlendObject(const CBlendObject& other) = default;

CBlendObject& CBlendObject::operator=(const CBlendObject& other) {
    if (this != &other)
        Copy(const_cast<CBlendObject&>(other));
    return *this;
}

CBlendObject::~CBlendObject() = default;

void CBlendObject::Copy(CBlendObject& other) {
    m_RedrawFlag = other.m_RedrawFlag;
    m_Rect = other.m_Rect;
    m_Color = other.m_Color;
    m_MasterFlag = other.m_MasterFlag;
    m_LeftRatio = other.m_LeftRatio;
    m_RightRatio = other.m_RightRatio;
    m_TopRatio = other.m_TopRatio;
    m_BottomRatio = other.m_BottomRatio;
    m_BoostFlag = other.m_BoostFlag;
}

void CBlendObject::SetRatio(double left, double top, double right, double bottom) {
    m_LeftRatio = ToRatio(left);
    m_TopRatio = ToRatio(top);
    m_RightRatio = ToRatio(right);
    m_BottomRatio = ToRatio(bottom);
    m_UpdateFlag = 1;
}

void CBlendObject::SetRect(RECT outer) {
    if (m_LeftRatio == 0 && m_RightRatio == 0 && m_TopRatio == 0 && m_BottomRatio == 0) {
        m_Rect = outer;
    } else {
        // The outer rectangle's extent counts both edges.
        std::int64_t w = static_cast<std::int64_t>(outer.right) - outer.left + 1;
        std::int64_t h = static_cast<std::int64_t>(outer.bottom) - outer.top + 1;
        m_Rect.left = Place(outer.left, m_LeftRatio, w);
        m_Rect.right = Place(outer.left, m_RightRatio, w);
        m_Rect.top = Place(outer.top, m_TopRatio, h);
        m_Rect.bottom = Place(outer.top, m_BottomRatio, h);
    }
    m_UpdateFlag = 0;
}

void CBlendObject::SetColor(COLORREF color) {
    m_Color = color;
    m_UpdateFlag = 1;
}

COLORREF CBlendObject::GetColor() const {
    if (!m_BoostFlag)
        return m_Color;
    return RGB(Boost(GetRValue(m_Color)), Boost(GetGValue(m_Color)), Boost(GetBValue(m_Color)));
}

void CBlendObject::SetRedrawFlag(char flag) {
    m_RedrawFlag = flag;
    m_UpdateFlag = 1;
}

void CBlendObject::SetBoostFlag(char flag) {
    m_BoostFlag = flag;
    m_UpdateFlag = 1;
}

void CBlendObject::AddNext(CBlendObject* blend) {
    if (!blend)
        return;
    CBlendObject* last = this;
    while (last->m_pNext) {
        // Linking an object that is already in the chain would make it endless.
        if (last == blend)
            return;
        last = last->m_pNext;
    }
    if (last != blend)
        last->m_pNext = blend;
}

unsigned CBlendObject::GetCloneCount() const {
    unsigned count = 0;
    for (const CBlendObject* o = this; o; o = o->m_pNext)
        if (o->m_MasterFlag == 0)
            ++count;
    return count;
}

void CBlendObject::AddBlendObject(CBlendObject* blend, int alpha) {
    if (!blend)
        return;
    // An object that is already part of this chain is not added again: the
    // chain would loop back on itself.
    for (const CBlendObject* o = this; o; o = o->m_pNext)
        if (o == blend)
            return;
    for (CBlendObject* o = this; o;) {
        CRect overlap;
        if (overlap.IntersectRect(blend->m_Rect, o->m_Rect)) {
            auto* clone = new CBlendObject();
            clone->m_Color = AlphaBlendFunction(blend->GetColor(), o->GetColor(), alpha);
            clone->m_Rect = overlap;
            clone->m_MasterFlag = 0;
            blend->AddNext(clone);
        }
        CBlendObject* next = o->m_pNext;
        o->m_UpdateFlag = 1;
        if (!next) {
            o->m_pNext = blend;
            return;
        }
        o = next;
    }
}

DWORD CBlendObject::PeekNextIDNumber() {
    return g_nextIDNumber.load();
}

int CBlendObject::WriteSettingFile(CString section) {
    int ok = 1;
    ok &= WriteSettingFileINT(section, "RedrawFlag", m_RedrawFlag);
    ok &= WriteSettingFileRGB(section, "Color", m_Color);
    ok &= WriteSettingFileINT(section, "MasterFlag", m_MasterFlag);
    ok &= WriteSettingFileINT(section, "LeftRatio", m_LeftRatio);
    ok &= WriteSettingFileINT(section, "RightRatio", m_RightRatio);
    ok &= WriteSettingFileINT(section, "TopRatio", m_TopRatio);
    ok &= WriteSettingFileINT(section, "BottomRatio", m_BottomRatio);
    ok &= WriteSettingFileINT(section, "BoostFlag", m_BoostFlag);
    return ok ? 1 : 0;
}

int CBlendObject::ReadSettingFile(CString section) {
    int ok = 1;
    // A flag whose key is missing keeps its value.
    int value = m_RedrawFlag;
    ok &= GetSettingFileINT(section, "RedrawFlag", &value) ? 1 : 0;
    m_RedrawFlag = static_cast<char>(value);
    ok &= GetSettingFileRGB(section, "Color", &m_Color) ? 1 : 0;
    value = m_MasterFlag;
    ok &= GetSettingFileINT(section, "MasterFlag", &value) ? 1 : 0;
    m_MasterFlag = static_cast<unsigned char>(value);
    ok &= GetSettingFileINT(section, "LeftRatio", &m_LeftRatio) ? 1 : 0;
    ok &= GetSettingFileINT(section, "RightRatio", &m_RightRatio) ? 1 : 0;
    ok &= GetSettingFileINT(section, "TopRatio", &m_TopRatio) ? 1 : 0;
    ok &= GetSettingFileINT(section, "BottomRatio", &m_BottomRatio) ? 1 : 0;
    value = m_BoostFlag;
    ok &= GetSettingFileINT(section, "BoostFlag", &value) ? 1 : 0;
    // The boost is the pointer's highlight of the moment (a band under the
    // mouse). A file saved while a band was highlighted must not bring it back
    // brightened for good, so the key is read but the highlight starts cleared.
    m_BoostFlag = 0;
    // New ratios or colour: the owner lays the object out again.
    m_UpdateFlag = 1;
    return ok;
}

COLORREF AlphaBlendFunction(COLORREF a, COLORREF b, int alpha) {
    return RGB(BlendComponent(GetRValue(a), GetRValue(b), alpha),
               BlendComponent(GetGValue(a), GetGValue(b), alpha),
               BlendComponent(GetBValue(a), GetBValue(b), alpha));
}
