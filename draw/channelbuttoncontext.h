// CChannelButtonContext: a button showing one channel of the channel list with
// a live measurement of the data line over the channel's band. The whole
// button takes the channel's category colour, a patch at its left the
// channel's own colour; the upper line names the channel, the lower line shows
// the channel's detect mode and what it measures.
#pragma once

#include "draw/backgroundcontext.h"

class CChannelObject;
class CDataLineContext;

class CChannelButtonContext : public CBackGroundContext {
public:
    // The patch runs from 5 pixels inside the top-left corner to this fraction
    // (16.16) of the width less 10, 5 pixels above the bottom.
    static constexpr int kPatchInset = 5;
    static constexpr int kPatchWidthRatio = 11000;
    // Texts start this far right of the patch.
    static constexpr int kTextGap = 5;
    // Detect modes.
    static constexpr int kDetectBandPower = 0;
    static constexpr int kDetectPeakLevel = 1;
    static constexpr int kDetectPeakOffset = 2;
    // The program text shown when the band leaves the data line's samples.
    static constexpr int kStrOutOfRange = 2400;
    static constexpr int kStrNoData = 90;

    CChannelButtonContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The colour patch of a button with rectangle r (also used by the medical
    // buttons).
    static CRect PatchRect(const RECT& r);
    // The measured value of the second line (after the detect mode text and
    // ":"); empty without a channel.
    CString MeasureText() const;

    // The owners write these directly.
    CDataLineContext* m_pDataLine = nullptr;
    CChannelObject* m_pChannel = nullptr;
};
