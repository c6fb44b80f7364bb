// CDrawElement: the abstract element of a window's drawing tree. Elements are
// linked in sibling chains (one next pointer each) and, for contexts, in child
// chains; the links never own. Every element carries a 16-bit ID from one
// process-wide counter, a redraw flag (non-zero: drawn and, for contexts,
// hittable) and an identify value the owner uses to tell what it is for.
#pragma once

#include "platform/cstring.h"
#include "platform/wintypes.h"

class CDC;
class CDrawContext;

// Type codes answered by GetTypeCode. An element is a context from
// kTypeDrawContext up.
namespace DrawType {
constexpr WORD kDrawElement = 0;
constexpr WORD kDrawFrame = 1;
constexpr WORD kDrawText = 2;
constexpr WORD kDrawMultiLineText = 4;
constexpr WORD kDrawContext = 1000;
constexpr WORD kBackGroundContext = 1001;
constexpr WORD kNormalFrameContext = 1002;
constexpr WORD kNormalGraphContext = 1003;
constexpr WORD kArrayContext = 1005;
constexpr WORD kNormalTextContext = 1007;
constexpr WORD kAroundContext = 1008;
constexpr WORD kDoubleBufferContext = 1009;
constexpr WORD kDataLineContext = 1010;
constexpr WORD kCursolContext = 1011;
constexpr WORD kBlendingBackGroundContext = 1012;
constexpr WORD kMarkerContext = 1013;
constexpr WORD kLoggingTriggerContext = 1014;
constexpr WORD kChannelButtonContext = 1015;
constexpr WORD k3DGraphContext = 1016;
constexpr WORD kTriggerMarkContext = 1017;
constexpr WORD kMedicalButtonContext = 1018;
constexpr WORD kMedicalCursolContext = 1019;
constexpr WORD kMedicalMarkerContext = 1020;
constexpr WORD kMedicalTextContext = 1021;
constexpr WORD kAlarmTriggerContext = 1022;
constexpr WORD kXPDButtonContext = 1023;
constexpr WORD kTextLogContext = 1024;
} // namespace DrawType

// The layout pass and CollectContexts never handle more contexts than this.
constexpr int kMaxCollectedContexts = 128;

class CDrawElement {
public:
    CDrawElement();
    CDrawElement(const CDrawElement&) = delete;
    CDrawElement& operator=(const CDrawElement&) = delete;

    // ---- Virtual operations, in slot order.
    virtual ~CDrawElement();
    virtual BYTE SetRedrawFlag(BYTE flag);
    virtual BYTE GetRedrawFlag();
    // Links e at the end of the chain that starts here, unless an element with
    // e's ID is already on it.
    virtual void Append(CDrawElement* e);
    virtual void Draw(CDC* pDC, CDrawContext* parent, void* reserved);
    // Draws this element when its redraw flag is set, then renders the rest of
    // the chain with the same parent.
    virtual void Render(CDC* pDC, CDrawContext* parent, void* reserved);
    virtual WORD GetTypeCode();
    // "RedrawFlag" and "IdentifyValue" in the setting data file section; TRUE
    // only when both keys were written / read.
    virtual BOOL WriteSetting(CString section);
    virtual BOOL ReadSetting(CString section);
    // Elements of the chain from here (the argument is passed on, unused).
    virtual int CountChain(int unused);
    // Elements of the chain from here whose type code is above 1000.
    virtual int CountContexts(int unused);
    // Stores the contexts of the chain from here into out in chain order; with
    // depth > 0 each context's child chain follows it (depth - 1). At most max
    // and never more than kMaxCollectedContexts entries. Returns the number stored.
    virtual int CollectContexts(CDrawContext** out, int max, char depth);
    // The smallest hit-testable context of the chain from here (children down
    // to depth) that contains (x, y) and is smaller than bestArea, or null.
    virtual CDrawContext* HitTest(int x, int y, int bestArea, char depth);
    // Cuts every link of the chain from here; nothing is deleted.
    virtual void UnlinkAll();
    // Removes the element with that ID from the chain that prev precedes (prev
    // null: this element heads the chain). Returns the new head when called on
    // a head, else the removed element or null.
    virtual CDrawElement* Remove(WORD id, CDrawElement* prev);
    virtual CString GetClassName() = 0;
    // One line per element: indent, class name, newline; then the rest of the chain.
    virtual CString Dump(CString indent);

    // ---- Plain accessors.
    WORD GetID() const { return m_ID; }
    CDrawElement* GetNext() const { return m_pNext; }
    int GetIdentifyValue() const { return m_IdentifyValue; }
    void SetIdentifyValue(int value) { m_IdentifyValue = value; }
    // True when the element is a context (type code from 1000 up).
    bool IsContext() { return GetTypeCode() >= DrawType::kDrawContext; }
    // The element as a context, or null when it is not one.
    static CDrawContext* AsContext(CDrawElement* e);

    // The process-wide ID counter (the next ID handed out); for tests.
    static WORD PeekNextID();

protected:
    WORD m_ID;
    CDrawElement* m_pNext = nullptr;
    BYTE m_RedrawFlag = 1;
    int m_IdentifyValue;
};
