// The analysis option dialog: the catcher rate and the rejection rate of an
// analysis on two trackbars.
#pragma once

#include "platform/geometry.h"

#include <QDialog>

class QLabel;
class QSlider;

// Control ids of the dialog.
namespace AnalysisOptionIds {
constexpr int kFirstTrackbar = 2015;
constexpr int kSecondTrackbar = 2016;
constexpr int kFirstValue = 2017;
constexpr int kFirstLabel = 2018;
constexpr int kSecondValue = 2019;
constexpr int kSecondLabel = 2020;
constexpr int kFirstGroup = 2021;
constexpr int kSecondGroup = 2022;
} // namespace AnalysisOptionIds

class CAnalysisOptionDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 20;

    // A negative rate disables its trackbar and is returned unchanged.
    CAnalysisOptionDlg(CPoint rates, QWidget* parent = nullptr);
    CPoint GetRates() const { return m_Rates; }

private:
    void AddRate(int group, int label, int slider, int value, int groupText, int labelText,
                 LONG* rate);

    CPoint m_Rates;
};

// x = first rate, y = second rate; the new rates on OK, the given ones on Cancel.
CPoint DoModalAnalysisOptionDlg(CPoint rates);
