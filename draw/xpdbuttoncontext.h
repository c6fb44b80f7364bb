// CXPDButtonContext: the value panel of the XPD window, an etched box with a
// title and rows of label and value. The window writes the value words.
#pragma once

#include "draw/backgroundcontext.h"

class CXPDButtonContext : public CBackGroundContext {
public:
    static constexpr int kValueCount = 9;
    static constexpr int kInset = 10;
    static constexpr int kRows = 6;
    // Library texts: the title, and per row its label, its value format, the
    // value word it shows and the scale of that word (0: the word is shown as
    // an integer; otherwise word x scale as a double).
    static constexpr int kStrTitle = 80;
    // Program text shown for a value that is no reading.
    static constexpr int kStrNoData = 90;
    struct Row {
        int label;
        int format;
        int value;
        double scale;
    };
    static const Row kRowTable[kRows];

    CXPDButtonContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The value of row k, formatted with its format text (a format that does
    // not take the row's one number falls back to "%d" or "%.2f").
    CString RowValue(int k) const;

    // The XPD window writes these directly. With m_NoReading the rows of the
    // XPD, the two levels and the peak frequency say there is no reading.
    int m_Values[kValueCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    bool m_NoReading = false;
    // A text shown in row k instead of its number ("no signal"); empty: the number.
    CString m_RowTexts[kRows];
};
