// CXPDButtonContext: the value panel of the XPD window, an etched box with a
// title and rows of label and value. The window writes the value words.
#pragma once

#include "draw/backgroundcontext.h"

class CXPDButtonContext : public CBackGroundContext {
public:
    static constexpr int kValueCount = 9;
    static constexpr int kInset = 10;
    static constexpr int kRows = 5;
    // Library texts: the title, and per row its label, its value format and
    // the value word it shows.
    static constexpr int kStrTitle = 68;
    struct Row {
        int label;
        int format;
        int value;
    };
    static const Row kRowTable[kRows];

    CXPDButtonContext();

    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // The value of row k, formatted with its format text (a format whose
    // conversions are not one integer falls back to "%d").
    CString RowValue(int k) const;

    // The XPD window writes these directly.
    int m_Values[kValueCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
};
