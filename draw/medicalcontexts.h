// The contexts of the medical window: a text button with an optional colour
// patch, the cursor that also names the channel under the pointer, the centre
// marker of the narrow graph, and the read-out panel of the selected channel.
#pragma once

#include "draw/backgroundcontext.h"
#include "draw/cursolcontext.h"
#include "draw/markercontext.h"
#include "draw/normaltextcontext.h"

class CChannelObject;
class CDataLineContext;

class CMedicalButtonContext : public CNormalTextContext {
public:
    CMedicalButtonContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The owners write these directly.
    COLORREF m_PatchColor = RGB(255, 255, 255);
    int m_PatchFlag = 0;
};

class CCMedicalCursolContext : public CCursolContext {
public:
    // The categories of the band groups and of their first letter group.
    static constexpr int kGroupCategory = 2;
    static constexpr int kFirstLetterCategory = 3;
    static constexpr int kLettersPerGroup = 4;

    CCMedicalCursolContext();

    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The medical panel's category offset, 0 to 3.
    int m_LetterIndex = 0;

protected:
    // "[title] " of the channel under x in the selected letter group of the
    // band group that holds x; empty when x lies in no group.
    CString ReadoutPrefix(int x) override;
};

class CMedicalMarkerContext : public CMarkerContext {
public:
    // A press this many pixels beside the centre line still hits it.
    static constexpr int kHitDistance = 4;
    static constexpr int kHitAreaFactor = 8;
    static constexpr int kTriangleHeight = 8;
    static constexpr int kTriangleHalfWidth = 4;

    CMedicalMarkerContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // Inside the rectangle (top and bottom excluded) within 4 pixels of the
    // centre line; the marker counts with its height x 8.
    bool HitsSelf(int x, int y) override;
    int GetHitArea() override;

    void SetReadoutVisible(int flag) { m_ReadoutLine.SetRedrawFlag(static_cast<BYTE>(flag)); }
};

class CMedicalTextContext : public CBackGroundContext {
public:
    static constexpr int kInset = 5;
    static constexpr int kLines = 8;
    // Library texts of the three labels.
    static constexpr int kStrFrequency = 56;
    static constexpr int kStrPeak = 57;
    static constexpr int kStrPower = 79;

    CMedicalTextContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The values of the three lines (empty when there is nothing to show);
    // value i belongs to label i.
    void MakeValues(CString values[3]) const;
    // The channel's peak (kHz) with its level and the band's power, in the
    // data line's unit; not valid without a channel or a measured peak.
    struct Measurement {
        bool valid = false;
        long long peak = 0;
        double peakLevel = 0;
        double power = 0;
    };
    Measurement Measure() const;
    // The top of line k inside area: k x (area height / 8), the step kept in
    // 16.16; never less than lineHeight pixels, so that lines of a font too
    // tall for an eighth of the area keep apart (the last ones may then be
    // cut at the bottom, never drawn over one another).
    static int LineTop(const RECT& area, int k, int lineHeight = 0);

    // The owners write these directly.
    CDataLineContext* m_pDataLine = nullptr;
    CChannelObject* m_pChannel = nullptr;
    int m_HalfBand = 0; // kHz
    COLORREF m_LabelColor = RGB(0, 0, 0);
    COLORREF m_ValueColor = RGB(0, 0, 0);
};
