// CMarkerContext: a marker of a graph. It stands on a frequency (its lock
// frequency) of the data line it follows and shows the level there; in a delta
// mode it measures against a second frequency (the child lock frequency): the
// level difference, the power in the band between them, or a shaded band that
// the frame's blending background paints. Its readout line stacks in the
// graph's title line list. The owner moves it on mouse input, runs its peak
// searches and offers it the peak list after every sweep.
#pragma once

#include "draw/drawcontext.h"
#include "draw/drawtext.h"
#include "lib/blendobject.h"
#include "platform/gdiobjects.h"

class CDataLineContext;

class CMarkerContext : public CDrawContext {
public:
    // Delta modes.
    static constexpr BYTE kModeNormal = 0;
    static constexpr BYTE kModeDelta = 1;
    static constexpr BYTE kModeBandPower = 2;
    static constexpr BYTE kModeBand = 3;
    // Styles: 1 draws a vertical line with a pentagon foot, others a triangle
    // on the trace point.
    static constexpr BYTE kStyleLine = 1;
    static constexpr BYTE kStylePoint = 2;
    // A press this many pixels beside a marker's point still hits it.
    static constexpr int kHitDistance = 5;
    // The area a marker counts with in hit tests: its height times this.
    static constexpr int kHitAreaFactor = 10;
    // Marker symbols and arrows, in pixels.
    static constexpr int kSymbolHalfWidth = 4;
    static constexpr int kSymbolHeight = 8;
    static constexpr int kLineFootTop = 16; // line style: pentagon top above the bottom
    static constexpr int kLineFootSide = 12;
    static constexpr int kArrowHead = 8;
    static constexpr int kArrowWing = 4;
    static constexpr int kBandArrowLift = 12; // band arrow above the bottom edge
    static constexpr int kLabelInset = 2;     // labels keep this far inside the edges
    // Line-style arrows of markers 1..5 sit at number x 5041/65536 of the height.
    static constexpr int kArrowRowStep = 5041;
    // The program text shown instead of a value outside the trace.
    static constexpr int kStrNotFound = 2400;
    // The band's ratios at construction.
    static constexpr double kBandLeft = 0.5;
    static constexpr double kBandRight = 0.6;

    CMarkerContext();
    ~CMarkerContext() override;

    // ---- Overrides.
    // Also the readout line; the band shows in band mode only; hiding clears
    // the highlight.
    BYTE SetRedrawFlag(BYTE flag) override;
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    // Section + "MARKER_%d" (the marker number) with the keys of the marker,
    // then the band in that section + "_BAND". TRUE only when every write /
    // read succeeded.
    BOOL WriteSetting(CString section) override;
    BOOL ReadSetting(CString section) override;
    // A hit within 5 pixels of the main point's x (in the delta modes also of
    // the child point's x); the marker counts with its height x 10.
    bool HitsSelf(int x, int y) override;
    int GetHitArea() override;
    CString GetClassName() override;

    // ---- Operations. x values are in the data line's x unit; the selected
    // frequency is the lock frequency in select mode 0, else the child lock
    // frequency.
    // FALSE without a data line or when x lies outside the data line's window;
    // else the selected frequency becomes x snapped to the sample grid.
    BOOL SetFrequency(int x);
    // The selected frequency becomes the x of the drawn point nearest to pixel
    // column px.
    void SetFromPixel(int px);
    // The selected frequency becomes the data line's peak in xa..xb / the next
    // lower peak from it; returns it (0 without a data line).
    int PeakSearch(int xa, int xb);
    int NextPeak(int xa, int xb);
    // A point that follows peak n takes entry n of the list (the last entry
    // when the list is shorter).
    void ApplyPeakHold(const int* peaks, int count);
    // Entering a delta mode selects the child point, mode 0 the main point;
    // mode 3 shows the band, the others hide it and clear the highlight.
    void SetDeltaMode(int mode);
    void SetHighlight(int flag);
    // A negative child lock frequency becomes 0; in band mode the band spans
    // the two frequencies.
    void UpdateBand();
    // px within 5 pixels of the main point.
    BOOL IsNearPixel(int px) const;

    // ---- Plain accessors.
    void SetMarkerNumber(int number) { m_MarkerNumber = static_cast<signed char>(number); }
    int GetMarkerNumber() const { return m_MarkerNumber; }
    void SetDataLine(CDataLineContext* dataLine) { m_pDataLine = dataLine; }
    CDataLineContext* GetDataLine() const { return m_pDataLine; }
    // The line list of the graph's title and readouts, and the graph's status
    // text (its two lines): a label that would overprint one of them is left out.
    void SetReadoutLines(CDrawMultiLineText* first, CDrawText* status = nullptr,
                         CDrawText* statusMore = nullptr) {
        m_pReadoutLines = first;
        m_pStatusText = status;
        m_pStatusMore = statusMore;
    }
    // The box of the label of the last draw; empty when none was drawn.
    const CRect& GetLabelRect() const { return m_LabelRect; }
    int GetLockFrequency() const { return m_LockFrequency; }
    int GetChildLockFrequency() const { return m_ChildLockFrequency; }
    // The frequency moves act on (select mode 0: lock, else child lock).
    int GetSelectedFrequency() const {
        return m_SelectMode == 0 ? m_LockFrequency : m_ChildLockFrequency;
    }
    // Places the lock / child lock frequency directly (no check, no snap).
    void SetLockFrequency(int x) { m_LockFrequency = x; }
    void SetChildLockFrequency(int x) { m_ChildLockFrequency = x; }
    const POINT& GetMainPoint() const { return m_MainPoint; }
    const POINT& GetChildPoint() const { return m_ChildPoint; }
    double GetMeasuredValue() const { return m_MeasuredValue; }
    int GetPeakHold() const { return m_PeakHold; }
    void SetPeakHold(int n) { m_PeakHold = static_cast<signed char>(n); }
    int GetChildPeakHold() const { return m_ChildPeakHold; }
    void SetChildPeakHold(int n) { m_ChildPeakHold = static_cast<signed char>(n); }
    // The peak hold of the selected point.
    int GetSelectedPeakHold() const { return m_SelectMode == 0 ? m_PeakHold : m_ChildPeakHold; }
    void SetSelectedPeakHold(int n) {
        if (m_SelectMode == 0)
            SetPeakHold(n);
        else
            SetChildPeakHold(n);
    }
    int GetDeltaMode() const { return m_DeltaMode; }
    int GetCurrentFlag() const { return m_CurrentFlag; }
    void SetCurrentFlag(int flag) { m_CurrentFlag = static_cast<BYTE>(flag); }
    int GetStyle() const { return m_Style; }
    void SetStyle(int style) { m_Style = static_cast<BYTE>(style); }
    int GetSelectMode() const { return m_SelectMode; }
    void SetSelectMode(int mode) { m_SelectMode = static_cast<BYTE>(mode); }
    int GetHighlight() const { return m_HighlightFlag; }
    int GetReadoutFlags() const { return m_ReadoutFlags; }
    void SetReadoutFlags(int flags) { m_ReadoutFlags = flags; }
    int GetControlFlag() const { return m_ControlFlag; }
    void SetControlFlag(int flag) { m_ControlFlag = static_cast<BYTE>(flag); }
    CDrawMultiLineText& GetReadoutLine() { return m_ReadoutLine; }
    CBlendObject& GetBand() { return m_Band; }

protected:
    // The selected point's frequency becomes x.
    void SetSelected(int x);
    // The labels: "%d" and "M%d:", or "C" and "CTRL:" for the control marker.
    CString ShortLabel() const;
    CString LongLabel() const;
    // The drawn point of the data line that stands for x.
    POINT PointOf(int x) const;
    void DrawBand(CDC* pDC);
    void DrawNormal(CDC* pDC);
    void DrawDelta(CDC* pDC);
    // Symbols; label empty: none.
    void DrawMainSymbol(CDC* pDC, POINT p, bool lineStyle, const CString& label);
    void DrawChildSymbol(CDC* pDC, POINT p, bool lineStyle);
    // A horizontal arrow with heads at both ends pointing outwards and the
    // label centred above its middle.
    void DrawDoubleArrow(CDC* pDC, int x1, int x2, int y, const CString& label);
    // A symbol's polygon, cut at the left and right edges of the marker.
    void DrawSymbol(CDC* pDC, POINT* points, int count);
    // A label at (x, y), moved inside the marker's left and right edges.
    void DrawLabel(CDC* pDC, int x, int y, const CString& label);

    signed char m_MarkerNumber = 0;
    POINT m_MainPoint{0, 0};
    POINT m_ChildPoint{0, 0};
    int m_LockFrequency = -1;
    CFont m_MarkerFont;
    double m_MeasuredValue = 0.0;
    signed char m_PeakHold = 0;
    BYTE m_DeltaMode = kModeNormal;
    BYTE m_CurrentFlag = 0;
    BYTE m_Style = kStyleLine;
    BYTE m_SelectMode = 0;
    signed char m_ChildPeakHold = 0;
    int m_ChildLockFrequency = -1;
    int m_HighlightFlag = 0;
    int m_ReadoutFlags = 0;
    BYTE m_ControlFlag = 0;
    CDrawMultiLineText m_ReadoutLine;
    CDataLineContext* m_pDataLine = nullptr;
    CBlendObject m_Band;
    CDrawMultiLineText* m_pReadoutLines = nullptr;
    CDrawText* m_pStatusText = nullptr;
    CDrawText* m_pStatusMore = nullptr;
    CRect m_LabelRect;
};
