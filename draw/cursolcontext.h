// CCursolContext: the cursor of a graph. It follows the mouse pointer and shows
// the frequency and level of the data line at the pointer's column, next to
// the pointer, with a vertical line from the pointer towards the trace point.
#pragma once

#include "draw/drawcontext.h"

class CDataLineContext;
class CDrawMultiLineText;

class CCursolContext : public CDrawContext {
public:
    static constexpr int kFormatSize = 32;
    // The vertical line stops this many pixels short of the trace point.
    static constexpr int kLineGap = 2;
    // Moved below a readout line, the text starts this many pixels under it.
    static constexpr int kReadoutGap = 2;

    CCursolContext();

    // The readout at the pointer when a visible data line is attached and the
    // pointer lies inside the rectangle (edges included).
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The pointer in the pixels of the rectangle last drawn. The cursor keeps
    // the data line's x under it: drawn into a rectangle of another size (a
    // saved image) it stands at the same frequency and reads the same.
    void SetPointer(int x, int y);
    int GetPointerX() const { return m_PointerX; }
    int GetPointerY() const { return m_PointerY; }
    void SetReadoutFlags(int flags) { m_ReadoutFlags = flags; }
    int GetReadoutFlags() const { return m_ReadoutFlags; }
    void SetDataLine(CDataLineContext* dataLine) { m_pDataLine = dataLine; }
    CDataLineContext* GetDataLine() const { return m_pDataLine; }
    // The line list of the graph's readouts (title and marker lines): the
    // cursor's text keeps clear of the lines shown, moving below them.
    void SetReadoutLines(CDrawMultiLineText* first) { m_pReadoutLines = first; }
    // Where the text went at the last draw; empty when nothing was shown.
    const CRect& GetTextRect() const { return m_TextRect; }
    const char* GetFormat() const { return m_Format; }
    // The text of the last draw; empty when nothing was shown.
    const CString& GetText() const { return m_Text; }

protected:
    // Put before the readout text at data line x; empty here.
    virtual CString ReadoutPrefix(int x);

private:
    char m_Format[kFormatSize];
    int m_PointerX = 0;
    int m_PointerY = 0;
    int m_ReadoutFlags = 0;
    CDataLineContext* m_pDataLine = nullptr;
    CDrawMultiLineText* m_pReadoutLines = nullptr;
    CRect m_PointerRect; // the rectangle the pointer's pixels belong to
    int m_PointerDataX = 0;
    bool m_HasPointerDataX = false;
    CString m_Text;
    CRect m_TextRect;
};
