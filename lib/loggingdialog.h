// The logging dialog (dialog 2003): edits a CLoggingParam — outputs, interval
// from the profile's list of intervals, start and stop pickers, target folder —
// and shows an estimate of the data produced per recording and per day.
// Controls carry their dialog ids as object names ("1073" is the CSV box).
#pragma once

#include "lib/loggingparam.h"
#include "platform/cstring.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

// One entry of the interval list: its length and its combo-box label.
struct LoggingInterval {
    std::int64_t seconds = 0;
    CString label;
};

// Most items the interval table holds; further items are ignored.
constexpr int kMaxLoggingIntervals = 64;

// Parses a list such as "10s,1m,5m,1h,1d" (units w, d, h, m, s). Items with
// another unit letter, no number, a number below 1 or a length over 50 years
// are skipped.
std::vector<LoggingInterval> ParseLoggingIntervals(const char* list);
// The item whose interval is nearest to interval (the first of two equally
// near ones); -1 for an empty table.
int SelectLoggingInterval(const std::vector<LoggingInterval>& table, std::int64_t interval);
// The estimate text for bytesPerRecording (sum of the checked sizes) at one
// recording per interval.
CString LoggingEstimateText(std::int64_t bytesPerRecording, std::int64_t interval);

class CLoggingDialog : public QDialog {
    Q_OBJECT
public:
    CLoggingDialog(const CLoggingParam& param, QWidget* parent = nullptr);

    const CLoggingParam& param() const { return m_Param; }
    const std::vector<LoggingInterval>& intervals() const { return m_Intervals; }

    void accept() override;

private:
    void buildControls();
    void applyEnableRules();
    void updateEstimate();
    void browseFolder();
    std::int64_t selectedInterval() const;

    CLoggingParam m_Param;
    std::vector<LoggingInterval> m_Intervals;

    QCheckBox* m_Csv = nullptr;
    QCheckBox* m_Bmp = nullptr;
    QCheckBox* m_Png = nullptr;
    QCheckBox* m_Refresh = nullptr;
    QCheckBox* m_Start = nullptr;
    QCheckBox* m_Stop = nullptr;
    QComboBox* m_Interval = nullptr;
    QDateEdit* m_StartDate = nullptr;
    QTimeEdit* m_StartTime = nullptr;
    QDateEdit* m_StopDate = nullptr;
    QTimeEdit* m_StopTime = nullptr;
    QLineEdit* m_Folder = nullptr;
    QLabel* m_Estimate = nullptr;
    QPushButton* m_Ok = nullptr;
    QLabel* m_Missing = nullptr; // beside OK: what must be chosen before OK
};
