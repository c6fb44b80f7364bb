// CDrawText: one string at an anchor point, drawn in the DC's current font with
// optional own colour, inverse colours, greyed (embossed) look and transparent
// background. CDrawMultiLineText: a text that places the next line of a line
// list 2 pixels below itself, so that hidden lines take no room.
#pragma once

#include "draw/drawelement.h"
#include "platform/geometry.h"

class CDrawText : public CDrawElement {
public:
    // Anchor codes of SetAnchor / SetPosition.
    static constexpr BYTE kAnchorLeftTop = 0;
    static constexpr BYTE kAnchorLeftBottom = 1;
    static constexpr BYTE kAnchorRightTop = 2;
    static constexpr BYTE kAnchorRightBottom = 3;
    static constexpr BYTE kAnchorCentre = 4;
    static constexpr BYTE kAnchorCentreTop = 5;
    static constexpr BYTE kAnchorCentreBottom = 6;
    static constexpr BYTE kAnchorLeftBaseline = 7;
    static constexpr BYTE kAnchorRightBaseline = 8;
    // The alignment of anchor 4 (TA_CENTER | TA_BASELINE): centred both ways.
    static constexpr UINT kAlignCentred = 30;

    CDrawText();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // Stores the point and sets the anchor.
    virtual void SetPosition(int x, int y, BYTE anchor);

    // Codes above 8 leave the alignment unchanged.
    void SetAnchor(BYTE anchor);
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetText(const CString& text) { m_Text = text; }
    const CString& GetText() const { return m_Text; }
    CString* GetTextPtr() { return &m_Text; }
    int GetX() const { return m_X; }
    int GetY() const { return m_Y; }
    UINT GetAlignment() const { return m_Alignment; }
    void SetGreyed(BYTE flag) { m_GreyedFlag = flag; }
    // A colour of the text's own; flag 0 uses the DC's text colour.
    void SetOwnColor(BYTE flag, COLORREF color) {
        m_OwnColorFlag = flag;
        m_TextColor = color;
    }
    void SetInverse(BYTE flag) { m_InverseFlag = flag; }
    void SetTransparent(BYTE flag) { m_TransparentFlag = flag; }
    // The box the text took at its last drawing; empty before the first.
    CRect GetLastExtent() const;

protected:
    // Draws the text at its point by its alignment; returns its height.
    int DrawString(CDC* pDC, CDrawContext* parent);

    int m_X = 0;
    int m_Y = 0;
    UINT m_Alignment = 0;
    BYTE m_GreyedFlag = 0;
    BYTE m_OwnColorFlag = 0;
    COLORREF m_TextColor = 0;
    BYTE m_InverseFlag = 0;
    BYTE m_TransparentFlag = 1;
    CString m_Text;
    SIZE m_LastSize{0, 0};
};

class CDrawMultiLineText : public CDrawText {
public:
    CDrawMultiLineText();

    // Draws the line, then places the next line 2 pixels below it.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // Appends line at the end of the line list that starts here.
    virtual void AppendLine(CDrawMultiLineText* line);

    // A visible line takes y = v; a hidden line keeps v and passes it on to the
    // following lines, so the first visible line after it gets v.
    void SetLineTop(int v);
    CDrawMultiLineText* GetNextLine() const { return m_pNextLine; }

private:
    CDrawMultiLineText* m_pNextLine = nullptr;
};
