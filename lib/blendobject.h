// CBlendObject: a coloured rectangle of a graph background, given directly or
// as 16.16 ratios of an outer rectangle. Blend objects form a singly linked
// chain; adding an object to a chain creates, for every overlap, a clone
// rectangle coloured with the alpha blend of the two colours.
#pragma once

#include "platform/cstring.h"
#include "platform/geometry.h"
#include "platform/wintypes.h"

class CBlendObject {
public:
    static constexpr COLORREF kDefaultColor = RGB(255, 255, 255);
    // 1.0 in the 16.16 ratios.
    static constexpr int kRatioOne = 65536;

    CBlendObject();
    CBlendObject(COLORREF color, RECT rect);
    CBlendObject(COLORREF color, RECT rect, double left, double top, double right, double bottom);
    // Copies every field, the ID number and the next link included.
    CBlendObject(const CBlendObject& other);
    // Copies the placement and look (redraw flag, rectangle, colour, master
    // flag, ratios, boost); the ID number, update flag and next link stay.
    CBlendObject& operator=(const CBlendObject& other);
    virtual ~CBlendObject();

    virtual int WriteSettingFile(CString section);
    virtual int ReadSettingFile(CString section);

    void Copy(CBlendObject& other);
    void SetRatio(double left, double top, double right, double bottom);
    // Places the object inside outer by its ratios (all ratios 0: outer itself).
    void SetRect(RECT outer);
    CRect GetRect() const { return m_Rect; }
    void SetColor(COLORREF color);
    // The colour, brightened by 5/4 per component (modulo 256) when boosted.
    COLORREF GetColor() const;
    void SetRedrawFlag(char flag);
    char GetRedrawFlag() const { return m_RedrawFlag; }
    void SetBoostFlag(char flag);
    char GetBoostFlag() const { return m_BoostFlag; }
    void SetMasterFlag(unsigned char flag) { m_MasterFlag = flag; }
    unsigned char GetMasterFlag() const { return m_MasterFlag; }
    void SetUpdateFlag(char flag) { m_UpdateFlag = flag; }
    char GetUpdateFlag() const { return m_UpdateFlag; }
    DWORD GetIDNumber() const { return m_IDNumber; }
    int GetLeftRatio() const { return m_LeftRatio; }
    int GetRightRatio() const { return m_RightRatio; }
    int GetTopRatio() const { return m_TopRatio; }
    int GetBottomRatio() const { return m_BottomRatio; }

    CBlendObject* GetNext() const { return m_pNext; }
    void ClearNext() { m_pNext = nullptr; }
    // Appends blend at the end of the chain that starts here.
    void AddNext(CBlendObject* blend);
    // Number of clones (master flag 0) from this object to the end of the chain.
    unsigned GetCloneCount() const;
    // Called on the first object of a chain: clones every overlap of blend with
    // an object of the chain (coloured AlphaBlendFunction(blend, object, alpha))
    // onto blend's own chain, then links blend and its clones at the end. The
    // clones are heap objects; deleting them is the chain owner's task.
    void AddBlendObject(CBlendObject* blend, int alpha);

    // The next ID number the value constructors will hand out.
    static DWORD PeekNextIDNumber();

protected:
    DWORD m_IDNumber;
    char m_RedrawFlag = 1;
    char m_UpdateFlag = 1;
    CRect m_Rect;
    COLORREF m_Color = kDefaultColor;
    CBlendObject* m_pNext = nullptr;
    unsigned char m_MasterFlag = 1;
    int m_LeftRatio = 0;
    int m_RightRatio = 0;
    int m_TopRatio = 0;
    int m_BottomRatio = 0;
    char m_BoostFlag = 0;
};

extern "C" {
// Per component: (a * alpha + b * (256 - alpha)) / 256 taken to 8 bits;
// alpha 256 gives a, alpha 0 gives b.
COLORREF AlphaBlendFunction(COLORREF a, COLORREF b, int alpha);
} // extern "C"
