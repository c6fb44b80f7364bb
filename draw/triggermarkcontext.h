// CTriggerMarkContext: the small trigger marker on a graph, a pentagon pointing
// down at the top of the context above the point of a data line where the
// trigger position lies. It is drawn, and can be hit, only while the position
// lies inside the data line's window.
#pragma once

#include "draw/drawcontext.h"

class CDataLineContext;

class CTriggerMarkContext : public CDrawContext {
public:
    // The pentagon: 3 pixels either side of the point, 10 pixels high with
    // its tip 5 pixels below the shoulders.
    static constexpr int kHalfWidth = 3;
    static constexpr int kShoulder = 5;
    static constexpr int kHeight = 10;
    // The area a hit counts with: small, so the mark wins over the graph.
    static constexpr int kHitArea = 60;

    CTriggerMarkContext();
    ~CTriggerMarkContext() override;

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // The pentagon's box, when the mark is shown.
    bool HitsSelf(int x, int y) override;
    int GetHitArea() override;

    void SetPosition(int position) { m_Position = position; }
    int GetPosition() const { return m_Position; }
    void SetDataLine(CDataLineContext* dataLine) { m_pDataLine = dataLine; }
    CDataLineContext* GetDataLine() const { return m_pDataLine; }

    // The x of the mark's tip, or false when the mark is not shown (no data
    // line, a hidden one, a position outside its window, nothing mapped).
    bool MarkX(int* x) const;

private:
    int m_Position = 0;
    CDataLineContext* m_pDataLine = nullptr;
};
