// CDrawText: one string at an anchor point, drawn in the DC's current font with
// optional own colour, inverse colours, greyed (embossed) look and transparent
// background; its owner can give it a width it must keep within, and a text
// that is wider is shortened for drawing. CDrawMultiLineText: a text that
// places the next line of a line list 2 pixels below itself, so that hidden
// lines take no room; a list can be kept inside a rectangle and clear of one
// other text.
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
    // A shortened text ends in these dots.
    static constexpr const char* kShortMark = "..";
    // No width limit.
    static constexpr int kAnyWidth = -1;

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
    // The box the text took at its last drawing; empty before the first and
    // when the text was left out.
    CRect GetLastExtent() const;

    // The longest head of text whose width in the DC's current font, with
    // ".." behind it, is at most maxWidth pixels (blanks before the dots
    // dropped); the whole text when it fits; empty when not even one
    // character and the dots fit. shownSize, when given, receives the size
    // of the result (width 0 for an empty one).
    static CString FitText(CDC* pDC, const CString& text, int maxWidth, SIZE* shownSize = nullptr);
    // The width the drawn text keeps within: a longer text is drawn shortened
    // by FitText, or not at all. kAnyWidth (the default) draws it whole. The
    // text itself stays as the owner set it.
    void SetMaxWidth(int width) { m_MaxWidth = width; }
    int GetMaxWidth() const { return m_MaxWidth; }
    // An end the text keeps whole when it is shortened ("  levels
    // uncalibrated" behind a scale): the part before it gives way first, and
    // the end alone is shown when nothing of that part fits. Only a text that
    // ends in it is treated so.
    void SetKeptEnd(const CString& end) { m_KeptEnd = end; }
    // What of the text fits into maxWidth by the rules of this text (FitText,
    // or its kept end whole), with its size.
    CString Fit(CDC* pDC, int maxWidth, SIZE* shownSize = nullptr) const;
    // What the last drawing showed: the text, shortened, or empty.
    const CString& GetShownText() const { return m_Shown; }

protected:
    // Draws the text, fitted into the width limit, at its point by its
    // alignment; returns the height of a line of the text. whole: the size of
    // the whole text when the caller has measured it already.
    int DrawString(CDC* pDC, CDrawContext* parent, const SIZE* whole = nullptr);

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
    int m_MaxWidth = kAnyWidth;
    CString m_Shown;
    CString m_KeptEnd;
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

    // This line and the lines after it stay inside bounds and clear of
    // keepOut (the box of another text; empty for none): a line that would
    // reach below bounds is left out, a line too wide is shortened to end at
    // the right edge of bounds or, in the rows keepOut takes, kKeepOutGap
    // pixels before it. Until this is called the lines are drawn as they are.
    void SetLineBounds(const CRect& bounds, const CRect& keepOut);
    static constexpr int kKeepOutGap = 4;
    // The box this line takes at its next drawing, from its place, its bounds
    // and the size of its whole text at the last drawing (a line of a marker
    // drawn later in the same picture has not been measured yet); empty for a
    // line left out.
    CRect GetExpectedExtent() const;
    // The box the lines keep clear of (empty for none).
    const CRect& GetKeepOut() const { return m_KeepOut; }
    // The box this line takes when drawn now at its place, measured in the
    // DC's current font (empty for a line left out). Only a line whose text
    // is set before the picture is drawn (the title) is measured so: a
    // marker's line takes its text when it is drawn.
    CRect MeasureBox(CDC* pDC) const;

private:
    // The width limit of this drawing from the bounds, the keep-out box and
    // the line's place (lines placed left-top only); true when the line is
    // bounded so, its whole size measured into m_WholeSize.
    bool FitIntoBounds(CDC* pDC);
    // The width limit for a line of that height at the line's place, or at
    // (x, y).
    int WidthLimit(int height) const { return WidthLimitAt(m_X, m_Y, height); }
    int WidthLimitAt(int x, int y, int height) const;

    CDrawMultiLineText* m_pNextLine = nullptr;
    bool m_Bounded = false;
    CRect m_Bounds;
    CRect m_KeepOut;
    SIZE m_WholeSize{0, 0};
};
