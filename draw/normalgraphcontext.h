// CNormalGraphContext: the spectrum graph of every analysis window. It reserves
// margins for its axis and corner texts, lays its frame (graticule and title)
// into the remaining graph area, draws the data lines of its overlay chain over
// the grid and its children (cursor, markers, trigger lines) over the data lines.
#pragma once

#include "draw/backgroundcontext.h"
#include "draw/drawtext.h"
#include "draw/normalframecontext.h"

#include <array>
#include <cstdint>

class CNormalGraphContext : public CBackGroundContext {
public:
    // Margins around the graph area, in pixels.
    static constexpr int kAxisGap = 14;        // left: widest axis text plus this
    static constexpr int kTextGap = 8;         // top and bottom: text height plus this
    static constexpr int kEmptyTopMargin = 12; // top without corner texts 0 and 1
    static constexpr int kRightMargin = 20;
    static constexpr int kCornerCount = 4;
    // The least room between the two corner texts of a row.
    static constexpr int kCornerGap = 8;

    CNormalGraphContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    // Draw, the overlay chain, then the child chain, each with this graph as
    // parent; then the later siblings.
    void Render(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // The graph, its inner chain (texts and frame), its overlays and children.
    CString Dump(CString indent) override;

    // The text of corner 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right;
    // null for another index.
    virtual CString* GetCornerText(int index);
    // The title line of the frame.
    virtual CString* GetTitleText();

    // Orders the two ranges, writes the axis texts ("%g") and passes the window
    // to every data line of the overlay chain.
    void SetScale(double x1, double x2, double y1, double y2);
    // Appends a data line to the overlay chain.
    void AddOverlay(CDrawElement* element);
    CDrawElement* GetOverlay() const { return m_pOverlay; }

    double GetXMin() const { return m_XMin; }
    double GetXMax() const { return m_XMax; }
    double GetYMin() const { return m_YMin; }
    double GetYMax() const { return m_YMax; }
    // The area inside the margins of the last draw.
    const CRect& GetGraphArea() const { return m_GraphArea; }
    CNormalFrameContext& GetFrame() { return m_Frame; }
    CDrawText& GetCorner(int index) { return m_Corner[static_cast<size_t>(index & 3)]; }
    CDrawText& GetAxisText(int index) { return m_Axis[static_cast<size_t>(index & 1)]; }
    // Shown inside the graph area at its top-right corner; hidden at first.
    // A status too wide for the graph is broken at a blank onto a second
    // line (GetStatusMore) rather than cut short.
    CDrawText& GetStatusText() { return m_Status.first; }
    CDrawText& GetStatusMore() { return m_Status.more; }
    // An alarm about the graph itself (its data stopped): while it is set it
    // takes the status text's place, drawn over everything else in the
    // graph, in white on a red box. Empty: none.
    void SetAlarmText(const CString& text) { m_AlarmText = text; }
    const CString& GetAlarmText() const { return m_AlarmText; }
    CDrawText& GetAlarmLine(int k) { return k == 0 ? m_Alarm.first : m_Alarm.more; }
    // The box of the alarm at the last drawing; empty without one.
    const CRect& GetAlarmBox() const { return m_AlarmBox; }
    static constexpr COLORREF kAlarmBoxColor = RGB(192, 0, 0);
    static constexpr COLORREF kAlarmTextColor = RGB(255, 255, 255);
    static constexpr int kAlarmPadding = 2;

private:
    // Keeps the texts from overprinting one another at any size without
    // moving any of them: a text that would run into another is shortened or
    // left out for this drawing (top and bottom are the margins, lineHeight
    // the height of a line of text in the graph's font).
    void FitTexts(CDC* pDC, int top, int bottom, int lineHeight);

    // A text at the graph area's top-right corner, broken at a blank onto a
    // second line when it is too wide: the status, or the alarm in its place.
    struct CornerText {
        CDrawText first;
        CDrawText more;
        CString head; // the first line of a broken text; empty for one line
    };
    // Lays out c at its place within the graph area; the box it takes (empty
    // when it is left out).
    CRect FitCornerText(CDC* pDC, CornerText& c, int lineHeight);
    void RenderCornerText(CDC* pDC, CornerText& c);
    // The alarm's box and text over everything else.
    void DrawAlarm(CDC* pDC);

    CDrawElement* m_pOverlay = nullptr;
    CNormalFrameContext m_Frame;
    std::array<CDrawText, kCornerCount> m_Corner;
    std::array<CDrawText, 2> m_Axis;
    // The bits of the levels the axis texts were last written for.
    std::array<std::uint64_t, 2> m_AxisLevels{};
    bool m_AxisWritten = false;
    CornerText m_Status;
    CornerText m_Alarm;
    CString m_AlarmText;
    CRect m_AlarmBox;
    double m_XMin = 0.0;
    double m_XMax = 0.0;
    double m_YMin = 0.0;
    double m_YMax = 0.0;
    CRect m_GraphArea{0, 0, 0, 0};
};
