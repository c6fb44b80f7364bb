// CLoggingTriggerContext: the horizontal level line of a graph that the user
// drags to set the logging trigger; CAlarmTriggerContext: the alarm line of the
// medical window, labelled on the side it watches. Both keep their height as a
// 12.20 ratio of the graph, turn it into a level of the data line they follow,
// show that level in a readout line of the graph's title list, and persist
// themselves in the setting data file.
#pragma once

#include "draw/drawcontext.h"
#include "draw/drawtext.h"

class CDataLineContext;

class CLoggingTriggerContext : public CDrawContext {
public:
    // 1.0 in the 12.20 position ratio.
    static constexpr int kRatioOne = 1 << 20;
    static constexpr int kRatioShift = 20;
    // A press this many pixels above or below the line still hits it.
    static constexpr int kHitDistance = 5;
    static constexpr int kHitAreaFactor = 10;
    // Direction: 0 triggers when the level is exceeded, 1 when it falls below.
    static constexpr BYTE kDirectionUp = 0;
    static constexpr BYTE kDirectionDown = 1;
    // Readout formats (one double, the level in dB): unit dBm, other units.
    static constexpr int kStrFormatDbm = 2401;
    static constexpr int kStrFormatDbuv = 2402;

    CLoggingTriggerContext();
    ~CLoggingTriggerContext() override;

    // Also the readout line.
    BYTE SetRedrawFlag(BYTE flag) override;
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    // Section + "LOGTRIGGER": "RedrawFlag", "IdentifyValue", "PositionRatio",
    // "DirectionFlag"; TRUE only when every item succeeded.
    BOOL WriteSetting(CString section) override;
    BOOL ReadSetting(CString section) override;
    // A hit within 5 pixels of the line; it counts with its width x 10.
    bool HitsSelf(int x, int y) override;
    int GetHitArea() override;
    CString GetClassName() override;

    // With a data line the line moves to pixel row y (kept inside the context)
    // and 1 is returned; without one nothing happens and 0 is returned.
    int SetFromPixel(int y);
    // The level of the line: y max at the top of the graph, y min at the
    // bottom; 0.0 without a data line.
    double GetLevel() const;

    void SetPositionRatio(int ratio) { m_PositionRatio = ratio; }
    int GetPositionRatio() const { return m_PositionRatio; }
    int GetLineY() const { return m_LineY; }
    double GetDrawnLevel() const { return m_Level; }
    void SetDataLine(CDataLineContext* dataLine) { m_pDataLine = dataLine; }
    CDataLineContext* GetDataLine() const { return m_pDataLine; }
    void SetDirectionFlag(int flag) { m_DirectionFlag = static_cast<BYTE>(flag); }
    int GetDirectionFlag() const { return m_DirectionFlag; }
    CDrawMultiLineText& GetReadoutLine() { return m_ReadoutLine; }

protected:
    // Steps shared with the alarm line: the line row, the line itself.
    // False when nothing more is to be drawn.
    bool DrawLine(CDC* pDC, CDrawContext* parent, void* reserved);
    // The readout line at the left edge with the level in the format of the
    // data line's unit.
    void PlaceReadout(const char* formatDbm, const char* formatDbuv, const char* fallbackDbm,
                      const char* fallbackDbuv);
    BOOL WriteKeys(const CString& name);
    BOOL ReadKeys(const CString& name);

    int m_PositionRatio = 0;
    double m_Level = 0.0;
    int m_LineY = 0;
    CDrawMultiLineText m_ReadoutLine;
    CDataLineContext* m_pDataLine = nullptr;
    BYTE m_DirectionFlag = kDirectionUp;
};

class CAlarmTriggerContext : public CLoggingTriggerContext {
public:
    // Program texts of the labels above and below the line.
    static constexpr int kStrLabelAbove = 2403;
    static constexpr int kStrLabelBelow = 2404;
    // Library texts of the readout formats (one double, the level in dB).
    static constexpr int kLibFormatDbm = 63;
    static constexpr int kLibFormatDbuv = 64;

    CAlarmTriggerContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    // The keys of the trigger line in section + "ALMTRIGGER".
    BOOL WriteSetting(CString section) override;
    BOOL ReadSetting(CString section) override;
    CString GetClassName() override;

    void SetLabels(const CString& above, const CString& below) {
        m_LabelAbove = above;
        m_LabelBelow = below;
    }
    const CString& GetLabelAbove() const { return m_LabelAbove; }
    const CString& GetLabelBelow() const { return m_LabelBelow; }

private:
    CString m_LabelAbove;
    CString m_LabelBelow;
};
