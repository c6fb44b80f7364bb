// CDrawFrame: the graticule of a graph, drawn with the pen already selected over
// the rectangle of the context it is drawn in: the outline, the division lines
// placed in 12.20 fixed point, and the reference mark at the left edge. The
// division lines stay out of the boxes of the texts drawn on the graph.
#pragma once

#include "draw/drawelement.h"
#include "platform/geometry.h"

#include <vector>

class CDrawFrame : public CDrawElement {
public:
    // Reference lines from -32767 to -1 place the mark freely: |value| / 32768
    // of the height above the bottom edge.
    static constexpr int kFreeReferenceLimit = -32767;

    CDrawFrame();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    void SetDivision(int x, int y);
    // Grid lines counted from the bottom (0 bottom edge, y divisions top edge),
    // or a free position from -32767 to -1.
    void SetReferenceLine(int line) { m_ReferenceLine = line; }
    int GetXDivision() const { return m_XDivision; }
    int GetYDivision() const { return m_YDivision; }
    int GetReferenceLine() const { return m_ReferenceLine; }
    // The boxes of the texts drawn over the grid at the next drawing: the
    // division lines leave them and a pixel around them out, so that no line
    // runs through a text (the outline and the reference mark stay whole).
    void SetClearBoxes(std::vector<CRect> boxes) { m_ClearBoxes = std::move(boxes); }
    const std::vector<CRect>& GetClearBoxes() const { return m_ClearBoxes; }
    // The parent rectangle of the last draw.
    const CRect& GetLastRect() const { return m_LastRect; }

private:
    int m_XDivision = 10;
    int m_YDivision = 10;
    int m_ReferenceLine = -1;
    CRect m_LastRect{0, 0, 0, 0};
    std::vector<CRect> m_ClearBoxes;
};
