// The logging dialog: interval list, enable rules, size estimate, time
// corrections and the folder check on OK.
#include "lib/loggingdialog.h"

#include "lib/stringtable.h"
#include "platform/cfile.h"
#include "platform/profile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

// Library strings of the dialog.
constexpr int kTitle = 21;
constexpr int kStartCheck = 22;
constexpr int kStopCheck = 23;
constexpr int kIntervalLabel = 24;
constexpr int kStartGroup = 25;
constexpr int kStopGroup = 26;
constexpr int kOutputGroup = 27;
constexpr int kEstimateLabel = 28;
constexpr int kFolderLabel = 29;
// The names of the date and time fields ("%s": the check box's caption).
constexpr int kDateName = 94;
constexpr int kTimeName = 95;
constexpr int kBrowseButton = 30;
constexpr int kOkButton = 31;
constexpr int kCancelButton = 32;
constexpr int kNoOutput = 34;
constexpr int kPerRecording = 35;
constexpr int kPerDay = 36;
constexpr int kLargeSizeFormat = 37;
constexpr int kSmallSizeFormat = 38;
constexpr int kDefaultIntervals = 39;
constexpr int kSecondsFormat = 40;
constexpr int kMinutesFormat = 41;
constexpr int kHoursFormat = 42;
constexpr int kDaysFormat = 43;
constexpr int kWeeksFormat = 44;
constexpr int kBrowseTitle = 45;
constexpr int kNoFolder = 74;
constexpr int kMissingOutput = 92;
constexpr int kMissingTime = 93;
// A time in the past is shown this far ahead: at a whole minute, with time to
// press OK; a stop time at least this after the start.
constexpr std::int64_t kStartLeadSeconds = 60;
constexpr std::int64_t kDefaultRunSeconds = 3600;

constexpr std::int64_t kSecondsPerDay = 86400;
// The scan for the comma after an item looks no further than this.
constexpr int kItemScanLimit = 64;
constexpr std::int64_t kMaxIntervalSeconds = 50LL * 366 * kSecondsPerDay;

struct Unit {
    char letter;
    std::int64_t seconds;
    int format;
    const char* fallback;
};
constexpr Unit kUnits[] = {
    {'w', 604800, kWeeksFormat, "%dw"}, {'d', 86400, kDaysFormat, "%dd"},
    {'h', 3600, kHoursFormat, "%dh"},   {'m', 60, kMinutesFormat, "%dm"},
    {'s', 1, kSecondsFormat, "%ds"},
};

const char* Lib(int n) {
    const char* text = GetLibraryString(n);
    return text ? text : "";
}

QString LibQ(int n) {
    return QString::fromUtf8(Lib(n));
}

QString ToQ(const CString& s) {
    return QString::fromUtf8(s.c_str());
}

CString SizeText(std::int64_t size) {
    CString text;
    if (size <= 1024) {
        text.Format(CheckedFormat(Lib(kSmallSizeFormat), "d", "%d KB"),
                    static_cast<int>(std::max<std::int64_t>(size, INT_MIN)));
    } else {
        text.Format(CheckedFormat(Lib(kLargeSizeFormat), "d", "%d MB"),
                    static_cast<int>(std::min<std::int64_t>(size / 1024, INT_MAX)));
    }
    return text;
}

CTime FromPickers(const QDateEdit* date, const QTimeEdit* time) {
    QDate d = date->date();
    QTime t = time->time();
    return CTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

void ToPickers(const CTime& when, QDateEdit* date, QTimeEdit* time) {
    date->setDate(QDate(when.GetYear(), when.GetMonth(), when.GetDay()));
    time->setTime(QTime(when.GetHour(), when.GetMinute(), when.GetSecond()));
}

template <class Widget> Widget* Named(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

} // namespace

std::vector<LoggingInterval> ParseLoggingIntervals(const char* list) {
    std::vector<LoggingInterval> table;
    if (!list)
        return table;
    const std::string_view text(list);
    size_t pos = 0;
    while (pos < text.size() && static_cast<int>(table.size()) < kMaxLoggingIntervals) {
        // A decimal number (blanks and a sign allowed before it) and the letter
        // right after it.
        size_t i = pos;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        std::int64_t number = 0;
        bool digits = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            digits = true;
            number = std::min<std::int64_t>(number * 10 + (text[i] - '0'), kMaxIntervalSeconds);
        }
        if (digits && !negative && number > 0 && i < text.size()) {
            for (const Unit& unit : kUnits) {
                if (text[i] != unit.letter)
                    continue;
                std::int64_t seconds = number * unit.seconds;
                if (seconds > kMaxIntervalSeconds)
                    break;
                LoggingInterval item;
                item.seconds = seconds;
                item.label.Format(CheckedFormat(Lib(unit.format), "d", unit.fallback),
                                  static_cast<int>(number));
                table.push_back(item);
                break;
            }
        }
        size_t end = std::min(text.size(), pos + kItemScanLimit);
        size_t comma = text.substr(0, end).find(',', pos);
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return table;
}

int SelectLoggingInterval(const std::vector<LoggingInterval>& table, std::int64_t interval) {
    // The item nearest to the interval; of two equally near, the first.
    int best = -1;
    std::int64_t bestDistance = 0;
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
        const std::int64_t seconds = table[static_cast<size_t>(i)].seconds;
        const std::int64_t distance = seconds > interval ? seconds - interval : interval - seconds;
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

CString LoggingEstimateText(std::int64_t bytesPerRecording, std::int64_t interval) {
    if (bytesPerRecording == 0)
        return CString(Lib(kNoOutput));
    // An interval over a day still records once a day.
    const std::int64_t perDay =
        interval > kSecondsPerDay ? 1 : kSecondsPerDay / std::max<std::int64_t>(interval, 1);
    CString text = Lib(kPerRecording);
    text += "\n";
    text += SizeText(bytesPerRecording);
    text += "\n";
    text += Lib(kPerDay);
    text += "\n";
    text += SizeText(bytesPerRecording * perDay);
    return text;
}

CLoggingDialog::CLoggingDialog(const CLoggingParam& param, QWidget* parent)
    : QDialog(parent), m_Param(param) {
    setObjectName("2003");
    setWindowTitle(LibQ(kTitle));
    buildControls();

    m_Csv->setChecked(m_Param.GetCsvFlag());
    m_Bmp->setChecked(m_Param.GetBmpFlag());
    m_Png->setChecked(m_Param.GetPngFlag());
    m_Refresh->setChecked(m_Param.m_RefreshFlag != 0);
    m_Start->setChecked(m_Param.m_StartFlag != 0);
    m_Stop->setChecked(m_Param.m_StopFlag != 0);
    m_Folder->setText(ToQ(m_Param.m_TargetDir));

    // The interval list: the profile's TimeSpan, or library string 39 stored there.
    const char* section = CLoggingParam::Section();
    CString list = GetProfileString(section, "TimeSpan", "");
    if (list.IsEmpty()) {
        list = Lib(kDefaultIntervals);
        WriteProfileString(section, "TimeSpan", list);
    }
    m_Intervals = ParseLoggingIntervals(list);
    for (const LoggingInterval& item : m_Intervals)
        m_Interval->addItem(ToQ(item.label));
    int selected = SelectLoggingInterval(m_Intervals, m_Param.m_TimeSpan.GetTotalSeconds());
    if (selected >= 0) {
        m_Interval->setCurrentIndex(selected);
        m_Param.m_TimeSpan = CTimeSpan(m_Intervals[static_cast<size_t>(selected)].seconds);
    }

    // Times already past are offered as the next whole minute but one and an
    // hour after it: a moment still ahead when OK is pressed.
    const CTime now = CTime::GetCurrentTime();
    const CTime ahead = now + CTimeSpan(kStartLeadSeconds + 60 - now.GetSecond());
    const CTime start = m_Param.m_StartTime < now ? ahead : m_Param.m_StartTime;
    const CTime earliestStop = start + CTimeSpan(kDefaultRunSeconds);
    const CTime stop = m_Param.m_StopTime <= start ? earliestStop : m_Param.m_StopTime;
    ToPickers(start, m_StartDate, m_StartTime);
    ToPickers(stop, m_StopDate, m_StopTime);

    for (QCheckBox* box : {m_Start, m_Stop, m_Csv, m_Bmp, m_Png})
        connect(box, &QCheckBox::toggled, this, [this] {
            applyEnableRules();
            updateEstimate();
        });
    connect(m_Interval, &QComboBox::currentIndexChanged, this, [this] { updateEstimate(); });
    applyEnableRules();
    updateEstimate();
}

void CLoggingDialog::buildControls() {
    auto* output = Named(new QGroupBox(LibQ(kOutputGroup)), 1003);
    m_Csv = Named(new QCheckBox("CSV"), 1073);
    m_Bmp = Named(new QCheckBox("BMP"), 1074);
    m_Png = Named(new QCheckBox("PNG"), 1075);
    m_Refresh = Named(new QCheckBox("REFRESH"), 1045);
    m_Estimate = Named(new QLabel, 1043);
    m_Estimate->setMinimumWidth(140);
    auto* outputLayout = new QGridLayout(output);
    outputLayout->addWidget(m_Csv, 0, 0);
    outputLayout->addWidget(m_Bmp, 1, 0);
    outputLayout->addWidget(m_Png, 2, 0);
    outputLayout->addWidget(m_Refresh, 3, 0);
    outputLayout->addWidget(Named(new QLabel(LibQ(kEstimateLabel)), 1007), 0, 1);
    outputLayout->addWidget(m_Estimate, 1, 1, 3, 1, Qt::AlignTop);

    auto makeTimeGroup = [](int groupId, int titleString, QCheckBox* check, QDateEdit* date,
                            QTimeEdit* time) {
        auto* group = Named(new QGroupBox(LibQ(titleString)), groupId);
        date->setCalendarPopup(true);
        date->setDisplayFormat("yyyy/MM/dd");
        time->setDisplayFormat("HH:mm:ss");
        // The date and the time are named after the box that switches them.
        const QString name = check->text().remove(QLatin1Char('&'));
        date->setAccessibleName(LibQ(kDateName).replace(QStringLiteral("%s"), name));
        time->setAccessibleName(LibQ(kTimeName).replace(QStringLiteral("%s"), name));
        auto* layout = new QHBoxLayout(group);
        layout->addWidget(check);
        layout->addWidget(date);
        layout->addWidget(time);
        return group;
    };
    m_Start = Named(new QCheckBox(LibQ(kStartCheck)), 1046);
    m_StartDate = Named(new QDateEdit, 1038);
    m_StartTime = Named(new QTimeEdit, 1036);
    m_Stop = Named(new QCheckBox(LibQ(kStopCheck)), 1047);
    m_StopDate = Named(new QDateEdit, 1039);
    m_StopTime = Named(new QTimeEdit, 1037);
    QGroupBox* start = makeTimeGroup(1004, kStartGroup, m_Start, m_StartDate, m_StartTime);
    QGroupBox* stop = makeTimeGroup(1005, kStopGroup, m_Stop, m_StopDate, m_StopTime);

    m_Interval = Named(new QComboBox, 1040);
    auto* intervalRow = new QHBoxLayout;
    auto* intervalLabel = Named(new QLabel(LibQ(kIntervalLabel)), 1006);
    intervalLabel->setBuddy(m_Interval);
    intervalRow->addWidget(intervalLabel);
    intervalRow->addWidget(m_Interval, 1);

    m_Folder = Named(new QLineEdit, 1042);
    auto* browse = Named(new QPushButton(LibQ(kBrowseButton)), 1044);
    connect(browse, &QPushButton::clicked, this, [this] { browseFolder(); });
    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = Named(new QLabel(LibQ(kFolderLabel)), 1002);
    folderLabel->setBuddy(m_Folder);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_Folder, 1);
    folderRow->addWidget(browse);

    m_Ok = new QPushButton(LibQ(kOkButton));
    m_Ok->setObjectName("1");
    m_Ok->setDefault(true);
    auto* cancel = new QPushButton(LibQ(kCancelButton));
    cancel->setObjectName("2");
    connect(m_Ok, &QPushButton::clicked, this, &CLoggingDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CLoggingDialog::reject);
    m_Missing = Named(new QLabel, 1076);
    m_Missing->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_Missing, 1);
    buttons->addWidget(m_Ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output);
    layout->addLayout(intervalRow);
    layout->addWidget(start);
    layout->addWidget(stop);
    layout->addLayout(folderRow);
    layout->addLayout(buttons);
}

void CLoggingDialog::applyEnableRules() {
    const bool start = m_Start->isChecked();
    const bool stop = m_Stop->isChecked();
    m_StartDate->setEnabled(start);
    m_StartTime->setEnabled(start);
    m_StopDate->setEnabled(stop);
    m_StopTime->setEnabled(stop);
    const bool output = m_Csv->isChecked() || m_Bmp->isChecked() || m_Png->isChecked();
    m_Ok->setEnabled((start || stop) && output);
    // A greyed OK says why.
    QStringList missing;
    if (!output)
        missing << LibQ(kMissingOutput);
    if (!start && !stop)
        missing << LibQ(kMissingTime);
    m_Missing->setText(missing.join('\n'));
}

std::int64_t CLoggingDialog::selectedInterval() const {
    int i = m_Interval->currentIndex();
    if (i >= 0 && i < static_cast<int>(m_Intervals.size()))
        return m_Intervals[static_cast<size_t>(i)].seconds;
    return m_Param.m_TimeSpan.GetTotalSeconds();
}

void CLoggingDialog::updateEstimate() {
    std::int64_t bytes = 0;
    if (m_Csv->isChecked())
        bytes += m_Param.m_CsvSize;
    if (m_Bmp->isChecked())
        bytes += m_Param.m_BmpSize;
    if (m_Png->isChecked())
        bytes += m_Param.m_PngSize;
    m_Estimate->setText(ToQ(LoggingEstimateText(bytes, selectedInterval())));
}

void CLoggingDialog::browseFolder() {
    QString folder = QFileDialog::getExistingDirectory(this, LibQ(kBrowseTitle), m_Folder->text(),
                                                       QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        m_Folder->setText(folder);
}

void CLoggingDialog::accept() {
    m_Param.m_OutFlags = static_cast<char>(
        (m_Bmp->isChecked() ? 4 : 0) + (m_Csv->isChecked() ? 2 : 0) + (m_Png->isChecked() ? 1 : 0));
    int i = m_Interval->currentIndex();
    if (i >= 0 && i < static_cast<int>(m_Intervals.size()))
        m_Param.m_TimeSpan = CTimeSpan(m_Intervals[static_cast<size_t>(i)].seconds);

    const CTime now = CTime::GetCurrentTime();
    CTime start = FromPickers(m_StartDate, m_StartTime);
    m_Param.m_StartTime = start < now ? now : start;
    CTime stop = FromPickers(m_StopDate, m_StopTime);
    const CTime earliestStop = now + m_Param.m_TimeSpan;
    m_Param.m_StopTime = stop < earliestStop ? earliestStop : stop;

    const QByteArray folder = m_Folder->text().toUtf8();
    if (!DirectoryExists(folder.constData())) {
        QMessageBox::warning(this, windowTitle(), LibQ(kNoFolder));
        return;
    }
    m_Param.m_TargetDir = CString(folder.constData());
    m_Param.m_RefreshFlag = m_Refresh->isChecked() ? 1 : 0;
    m_Param.m_StartFlag = m_Start->isChecked() ? 1 : 0;
    m_Param.m_StopFlag = m_Stop->isChecked() ? 1 : 0;
    m_Param.WriteProfile();
    QDialog::accept();
}

int DoModalLoggingDialog(CLoggingParam* param) {
    if (!param || !QApplication::instance())
        return 0;
    CLoggingDialog dialog(*param, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    *param = dialog.param();
    return 1;
}
