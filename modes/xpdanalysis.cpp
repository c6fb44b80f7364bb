// The XPD window's core: the two paths, the scheduler turn with the path
// switch, the data intake, the XPD and its alarm, the commands, the profile
// and setting data file keys, and the window's panes.
#include "modes/xpdanalysis.h"

#include "analysis/framelink.h"
#include "analysis/viewwindow.h"
#include "device/TorvelAPI.h"
#include "lib/numentry.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "modes/paneview.h"
#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/framepacer.h"
#include "platform/profile.h"
#include "trace/measuredwords.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
constexpr char kCoreSection[] = "XPD_CORE";
constexpr char kSecondGraphSection[] = "SEC_GRAPH_INTF";
constexpr char kLogFilter[] = "Text Files (*.TXT)";
constexpr char kLogExtension[] = ".TXT";
constexpr char kLogTimeFormat[] = "%Y/%m/%d  %H:%M ";
constexpr char kLogValueFormat[] = "%4.1fdB";
// Library texts: the entry titles of the alarm value and the detect level,
// and the title and unit of the y-axis offset entry.
constexpr int kStrNoSignal = 2407;
constexpr int kStrAlarmEntry = 75;
constexpr int kStrDetectEntry = 76;
constexpr int kStrOffsetEntry = 65;
constexpr int kStrOffsetUnit = 78;
// A controller that could not be left inactive at close; %s is its port.
constexpr int kStrControllerUnreached = 54;
constexpr int kMinPaneSize = 50;
bool levelInRange(double v) {
    return std::isfinite(v) && std::fabs(v) <= CXpdAnalysis::kLevelLimitDb;
}

// The graph of the second path in its pane.
class CSecondGraphWidget : public QWidget, public CViewWindow {
public:
    explicit CSecondGraphWidget(CGraphInterface* intf) : m_intf(intf) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        intf->SetViewWindow(this);
    }
    ~CSecondGraphWidget() override {
        if (m_intf)
            m_intf->SetViewWindow(nullptr);
    }
    void SetViewInterface(CViewInterface* intf) override {
        m_intf = dynamic_cast<CGraphInterface*>(intf);
    }
    CViewInterface* GetViewInterface() const override { return m_intf; }
    void Invalidate() override { CFramePacer::Update(this); }
    void InvalidateRect(const CRect& r) override {
        CFramePacer::Update(this, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    }
    CRect GetClientRect() const override { return CRect(0, 0, width(), height()); }
    void SetCursorShape(ViewCursorShape) override {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!m_intf) {
            painter.fillRect(rect(), Qt::white);
            return;
        }
        PaintView(painter, *this, *m_intf, &m_readout);
    }

private:
    CGraphInterface* m_intf;
    CPaneReadout m_readout;
};

// The value panel above the alarm log.
class CXpdPanelWidget : public QWidget {
public:
    explicit CXpdPanelWidget(CXpdAnalysis* core) : m_core(core) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        FitPaneImage(m_image, *this);
        m_image.fill(Qt::white);
        {
            CDC dc(&m_image);
            dc.SetTextLog(m_readout.Begin());
            m_core->DrawPanel(&dc, CRect(0, 0, width(), height()));
        }
        m_readout.End(*this);
        QPainter painter(this);
        painter.drawImage(0, 0, m_image);
    }
    void resizeEvent(QResizeEvent*) override {
        // The log's controls follow the pane.
        m_core->DrawPanel(nullptr, CRect(0, 0, width(), height()));
    }

private:
    CXpdAnalysis* m_core;
    QImage m_image;
    CPaneReadout m_readout;
};

bool takenEntry(double v) {
    return v != DBL_MAX && std::isfinite(v);
}

// The controllers' port as the user knows it.
CString portLabel(const CString& name) {
    return name.IsEmpty() ? CString("\"\"") : name;
}
} // namespace

CXpdAnalysis::CXpdAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link)
    : CNormalAnalysis(frameList, buttonList, link) {
    m_frequencyMode = 1;
    m_start = 430000;
    m_stop = 432000;
    m_graphIntf2.SetOwner(this);
    for (int k = 0; k < kTraceStores; ++k) {
        CDataLineContext& trace = m_traces2[static_cast<size_t>(k)];
        trace.SetDrawObject(&m_traceObjects2[static_cast<size_t>(k)]);
        trace.SetRedrawFlag(k == 0 ? 1 : 0);
        trace.SetIdentifyValue(k);
        m_graphIntf2.GetGraph().AddOverlay(&trace);
    }
    m_panel.SetDrawObject(m_graphIntf.GetDrawObject(CGraphInterface::kPanelFace));
    m_log.SetDrawObject(m_graphIntf.GetDrawObject(CGraphInterface::kLogFont));
    m_log.OnCommand = [this](UINT id) {
        const int action = id == CTextLogContext::kIdSave ? kCmdSaveLog : kCmdClearLog;
        ExecuteCommand(action, 0, 0, 0, 0, 0);
    };
}

CXpdAnalysis::~CXpdAnalysis() {
    m_controllers.Stop();
}

CString CXpdAnalysis::GetProfileSection() {
    CString s;
    s.Format("XPDAnalysis_%d", m_titleIndex);
    return s;
}

// ---- Profile and settings

void CXpdAnalysis::ReadProfile() {
    const CString section = GetProfileSection();
    // The second path's carriers lie some 25 dB below the first's: at 30 dB
    // attenuation they sink into the raised noise floor, at 0 dB they stand
    // clear of it, so a new window measures XPD rather than noise.
    if (GetProfileInt(section, "AttValue", -1) < 0)
        WriteProfileInt(section, "AttValue", 0);
    CNormalAnalysis::ReadProfile();
    m_frequencyMode = static_cast<BYTE>(GetProfileInt(section, "FrequencyFlag", 1)) ? 1 : 0;
    m_start = GetProfileInt(section, "StartFrequency", 430000);
    m_stop = GetProfileInt(section, "StopFrequency", 432000);
    ValidateRange();

    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    auto text = [&](const char* key) {
        const CString value = keys.ProfileText(section, key);
        WriteProfileString(section, key, value);
        return value;
    };
    auto number = [&](const char* key, int fallback) {
        const int value = keys.ProfileInt(section, key, fallback);
        WriteProfileInt(section, key, value);
        return value;
    };
    m_priMessage = text("PriMessage");
    m_secMessage = text("SecMessage");
    m_priPortName = text("PriPortName");
    m_secPortName = text("SecPortName");
    m_downWait = number("DownWait", 1000);
    m_alarmValue = number("AlarmValue", 3000) * 0.01;
    m_detectLevel = number("DetectLevel", 0) * 0.01;
    m_calValue = number("CalValue", 0) * 0.01;
    // An active period lasts at least a second (the remaining time is a
    // share of it) and at most what the remaining-time word can count.
    m_activeTime = number("ActiveTime", 20);
    m_yAxisOffset = keys.ProfileInt(section, "YAxisOffset", 0);
    // The peak search spans at least the whole range.
    m_trackingDiv = static_cast<unsigned>(keys.ProfileInt(section, "TrackingDiv", 10));
    m_onDelay = keys.ProfileInt(section, "OnDelay", 100);
    m_offDelay = keys.ProfileInt(section, "OffDelay", 100);
    m_baseWait = keys.ProfileInt(section, "BaseWait", 40);
    m_profileRead = true;

    m_graphIntf2.Setup(section + "_SEC");
    for (int k = 0; k < kTraceStores; ++k) {
        const CString name = CString("Sec") + TraceName(k);
        LoadTraceDrawObject(m_traceObjects2[static_cast<size_t>(k)], section + "_" + name, name, k);
        m_traces2[static_cast<size_t>(k)].SetUnit(static_cast<BYTE>(m_unit));
    }
    PublishValues();
}

void CXpdAnalysis::WriteProfile() {
    CNormalAnalysis::WriteProfile();
    const CString section = GetProfileSection();
    WriteProfileInt(section, "AlarmValue", static_cast<int>(m_alarmValue * 100));
    WriteProfileInt(section, "DetectLevel", static_cast<int>(m_detectLevel * 100));
    WriteProfileInt(section, "YAxisOffset", m_yAxisOffset);
    WriteProfileInt(section, "TrackingDiv", static_cast<int>(m_trackingDiv));
    WriteProfileInt(section, "OnDelay", m_onDelay);
    WriteProfileInt(section, "OffDelay", m_offDelay);
    WriteProfileInt(section, "BaseWait", m_baseWait);
    WritePaneSizes(m_splitter);
    m_graphIntf2.WriteProfile();
    for (CDrawObject& object : m_traceObjects2)
        object.WriteProfile();
}

int CXpdAnalysis::SaveSettings() {
    // The common keys, then this window's own; the swept-spectrum sections are
    // not part of an XPD file.
    int ok = CAnalysisCore::SaveSettings();
    ok &= WriteSettingFileSTRING(kCoreSection, "PriPortName", m_priPortName);
    ok &= WriteSettingFileSTRING(kCoreSection, "SecPortName", m_secPortName);
    ok &= WriteSettingFileINT(kCoreSection, "BaseWait", m_baseWait);
    ok &= WriteSettingFileINT(kCoreSection, "DownWait", m_downWait);
    ok &= WriteSettingFileINT(kCoreSection, "Alarm", static_cast<int>(m_alarmValue * 100));
    ok &= WriteSettingFileINT(kCoreSection, "DetectLevel", static_cast<int>(m_detectLevel * 100));
    // The band and the y-axis offset the user chose come back with the file.
    ok &= WriteSettingFileINT(kCoreSection, "FrequencyFlag", m_frequencyMode);
    ok &= WriteSettingFileINT(kCoreSection, "StartFrequency", m_start);
    ok &= WriteSettingFileINT(kCoreSection, "StopFrequency", m_stop);
    ok &= WriteSettingFileINT(kCoreSection, "YAxisOffset", m_yAxisOffset);
    ok &= m_graphIntf2.WriteSetting(kSecondGraphSection);
    return ok;
}

int CXpdAnalysis::LoadSettings() {
    int ok = CAnalysisCore::LoadSettings();
    int alarm = static_cast<int>(m_alarmValue * 100);
    int detect = static_cast<int>(m_detectLevel * 100);
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    ok &= keys.SettingText(kCoreSection, "PriPortName", &m_priPortName);
    ok &= keys.SettingText(kCoreSection, "SecPortName", &m_secPortName);
    ok &= GetSettingFileINT(kCoreSection, "BaseWait", &m_baseWait);
    ok &= GetSettingFileINT(kCoreSection, "DownWait", &m_downWait);
    ok &= GetSettingFileINT(kCoreSection, "Alarm", &alarm);
    ok &= GetSettingFileINT(kCoreSection, "DetectLevel", &detect);
    m_baseWait = keys.Checked("BaseWait", m_baseWait);
    m_downWait = keys.Checked("DownWait", m_downWait);
    m_alarmValue = keys.Checked("Alarm", alarm) * 0.01;
    m_detectLevel = keys.Checked("DetectLevel", detect) * 0.01;
    // Files written before these keys load without them, keeping the values.
    int mode = m_frequencyMode;
    if (GetSettingFileINT(kCoreSection, "FrequencyFlag", &mode))
        m_frequencyMode = mode ? 1 : 0;
    GetSettingFileINT(kCoreSection, "StartFrequency", &m_start);
    GetSettingFileINT(kCoreSection, "StopFrequency", &m_stop);
    ValidateRange();
    keys.SettingInt(kCoreSection, "YAxisOffset", &m_yAxisOffset);
    PublishValues();
    return ok;
}

void CXpdAnalysis::PublishValues() {
    m_controllers.SetPortNames(m_priPortName.c_str(), m_secPortName.c_str());
    m_controllers.m_activeTime.store(m_activeTime);
    m_controllers.m_baseWait.store(m_baseWait);
    m_controllers.m_detectFlag.store(m_detectFlag);
    m_controllers.m_alarmFlag.store(m_alarmFlag);
    m_controllers.m_xpdValue.store(m_xpdValue);
    m_controllers.m_peakValue.store(m_peakValue);
    m_controllers.m_valuesValid.store(m_xpdValid ? 1 : 0);
    // A path without a reading shows why in its row ("no data", "no
    // signal"), and the XPD and peak rows show the first path's reason; a path
    // with a signal keeps its level.
    const auto reason = [](PathState state) {
        return state == kPathSignal   ? CString()
               : state == kPathNoData ? CString(GetTorvelString(CXPDButtonContext::kStrNoData))
                                      : CString(GetTorvelString(kStrNoSignal));
    };
    const PathState worst = std::min(m_pathStates[0], m_pathStates[1]);
    m_panel.m_RowTexts[0] = reason(worst);
    m_panel.m_RowTexts[1] = reason(m_pathStates[0]);
    m_panel.m_RowTexts[2] = reason(m_pathStates[1]);
    m_panel.m_RowTexts[3] = reason(worst);
    m_panel.m_NoReading = false;
    m_panel.m_Values[kWordXpd] = static_cast<int>(m_xpdValue * 100);
    // The panel labels the paths' levels in dBm whatever unit the graphs show.
    m_panel.m_Values[kWordRf1] = static_cast<int>(ShownToDbm(m_rf1Level) * 100);
    m_panel.m_Values[kWordRf2] = static_cast<int>(ShownToDbm(m_rf2Level) * 100);
    m_panel.m_Values[kWordPeak] = static_cast<int>(std::lround(m_peakValue * 1000));
    m_panel.m_Values[kWordAlarm] = static_cast<int>(m_alarmValue * 100);
    m_panel.m_Values[kWordRemaining] = m_controllers.m_remainingPercent.load();
    m_panel.m_Values[kWordActive] = ActiveFlag();
    m_panel.m_Values[kWordAlarmFlag] = m_alarmFlag;
    m_panel.m_Values[kWordDetect] = m_detectFlag;
    m_panel.SetDrawObject(m_graphIntf.GetDrawObject(m_alarmFlag ? CGraphInterface::kAlarmFace
                                                                : CGraphInterface::kPanelFace));
}

// ---- Ranges and graphs

void CXpdAnalysis::ForEachLevelStore(const LevelStoreVisitor& visit) {
    CNormalAnalysis::ForEachLevelStore(visit);
    for (auto& trace : m_traces2)
        visit(trace, -1);
}

void CXpdAnalysis::Reconfigure(BOOL reset) {
    CNormalAnalysis::Reconfigure(reset);
    m_sweepPosition2 = 0;
    const CTraceStore& grid = m_traces[0];
    if (reset && grid.GetStep() != 0) {
        for (auto& trace : m_traces2)
            trace.Configure(grid.GetStart(), grid.GetStep(), grid.GetPoints());
    }
    // New grids hold no reading until both paths are measured again.
    if (reset) {
        m_xpdValid = false;
        m_pathStates[0] = m_pathStates[1] = kPathNoData;
        PublishValues();
    }
    // Both graphs show the range moved by the y-axis offset, each headed by
    // its path's message.
    const CString scale = m_graph.text[0];
    m_graph.yMax += m_yAxisOffset;
    m_graph.yMin += m_yAxisOffset;
    CNormalGraphValues second = m_graph;
    m_graph.text[0] = m_priMessage + " " + scale;
    second.text[0] = m_secMessage + " " + scale;
    UpdateGraph();
    UpdateGraph(m_graphIntf2, second);
    ServeControllers();
}

// ---- The scheduler turn

int CXpdAnalysis::DevicePathSwitch(int path) {
    // The shell knows the input the device is on: a switch to it costs nothing.
    if (m_link)
        return m_link->SelectInputPath(path) ? 1 : 0;
    return PowerSupplyControl(0, 1, path, 0);
}

void CXpdAnalysis::StartScheduleTimer(UINT ms) {
    if (m_link)
        m_link->SetCoreTimer(this, ScheduleTimerId(), ms);
}

int CXpdAnalysis::DeviceSweep(int function, int startKHz) {
    const HWND mainWnd = GetMainWindow();
    switch (function) {
    case 1:
        return NormalSpectrumAnalysis(mainWnd, GetTaskTag(), startKHz, m_rbwIndex, m_attenuation,
                                      std::max(m_rejectionRate, 1));
    case 2:
        return HighSpeedSpectrumAnalysis(mainWnd, GetTaskTag(), startKHz, m_attenuation,
                                         std::max(m_rejectionRate, 1), std::max(m_catcherRate, 1));
    default:
        return HighResolutionSingleAnalysis(mainWnd, GetTaskTag(), startKHz, m_attenuation);
    }
}

int CXpdAnalysis::StartAnalysis() {
    if (DevicePathSwitch(m_pathSelect) == 0)
        return 0;
    m_waitingForTimer = true;
    StartScheduleTimer(static_cast<UINT>(m_pathSelect == 1 ? m_onDelay : m_offDelay));
    return 1;
}

BOOL CXpdAnalysis::OnTimer(UINT id) {
    // The main frame offers a core's timer by the core's number.
    if ((id != ScheduleTimerId() && id != static_cast<UINT>(m_id)) || !m_waitingForTimer)
        return FALSE;
    m_waitingForTimer = false;
    // A core that left the rotation while the switch settled sweeps nothing.
    if (!m_analyzeFlag)
        return TRUE;
    m_taskRunning = 1;
    int function = 0;
    const int step = SweepStep(&function);
    const CTraceStore& line = PathStore(m_pathSelect, 0);
    int& position = m_pathSelect ? m_sweepPosition2 : m_sweepPosition;
    if (static_cast<DWORD>(position) >= line.GetPoints())
        position = 0;
    const int start = static_cast<int>(line.GetStart()) + position * step;
    if (DeviceSweep(function, start) != 1) {
        // The turn ends here; the scheduler goes on with the next core.
        m_taskRunning = 0;
        if (m_link)
            m_link->PostScheduleNext(GetId());
    }
    return TRUE;
}

void CXpdAnalysis::AnalysisFinished(WPARAM, LPARAM) {
    if (!m_taskRunning)
        return;
    m_taskRunning = 0;
    const int path = m_pathSelect;
    CTraceStore& line = PathStore(path, 0);
    int& position = path ? m_sweepPosition2 : m_sweepPosition;
    const long long remaining = static_cast<long long>(line.GetPoints()) - position;
    const int n = static_cast<int>(std::clamp<long long>(DeviceDataCount(), 0, remaining));
    m_receiveBuffer.resize(static_cast<size_t>(std::max(n, 1)));
    if (n > 0)
        DeviceReceiveData(m_receiveBuffer.data(), n);
    // The calibration value in level words, truncated toward zero.
    const int calibration = static_cast<int>(m_calValue * kWordsPerDb);
    for (int i = 0; i < n; ++i)
        m_receiveBuffer[static_cast<size_t>(i)] =
            static_cast<short>(m_receiveBuffer[static_cast<size_t>(i)] + calibration);
    if (m_offsetFlag)
        ApplyOffsetTable(m_receiveBuffer.data(), n, line, position);
    for (int k = 0; k < kTraceStores; ++k)
        PathStore(path, k).StoreBlock(m_receiveBuffer.data(), n, static_cast<DWORD>(position),
                                      TRUE);
    position += n;
    if (path == 0)
        OfferPeaks();
    if (LoggingStep() && m_logging.m_RefreshFlag) {
        for (int k = 0; k < kTraceStores; ++k) {
            m_traces[static_cast<size_t>(k)].SetInitializedFlag(1);
            m_traces2[static_cast<size_t>(k)].SetInitializedFlag(1);
        }
    }
    m_measurementTime = CTime::GetCurrentTime();
    NoteDataTaken(m_measurementTime);
    m_pathSelect = 1 - path;
    Evaluate();
}

CXpdAnalysis::PathState CXpdAnalysis::StateOfPath(const CTraceStore& line, long long c,
                                                  long long d) {
    // Until the path holds measured words all over the peak search (a new
    // grid, and the block after every reinitialisation, leave fill words)
    // there is no reading of it.
    const long long step = std::max<long long>(line.GetStep(), 1);
    if (!AllMeasured(line, c - d - (step - 1), c + d - 1))
        return kPathNoData;
    // The noise floor is the median of the measured words: the carriers of a
    // band take only a few of its points.
    std::vector<short> words;
    const short* data = line.GetData();
    for (DWORD i = 0; data && i < line.GetPoints(); ++i)
        if (IsMeasuredWord(data[i]))
            words.push_back(data[i]);
    const long long peak = line.Peak(c - d, c + d);
    if (words.empty() || !AllMeasured(line, peak, peak))
        return kPathNoData;
    auto middle = words.begin() + static_cast<std::ptrdiff_t>(words.size() / 2);
    std::nth_element(words.begin(), middle, words.end());
    const double floor = *middle / kWordsPerDb;
    return line.Level(peak) >= floor + kSignalMargin ? kPathSignal : kPathNoSignal;
}

void CXpdAnalysis::EvaluateLevels() {
    CTraceStore& line1 = m_traces[0];
    CTraceStore& line2 = m_traces2[0];
    const unsigned d = static_cast<unsigned>(m_stop - m_start) / std::max(m_trackingDiv, 1u);
    const long long c = (static_cast<long long>(m_start) + m_stop) / 2;
    m_pathStates[0] = StateOfPath(line1, c, d);
    m_pathStates[1] = StateOfPath(line2, c, d);
    // Only with a signal on both paths is there an XPD: nothing else is
    // computed, shown, logged or sent.
    m_xpdValid = m_pathStates[0] == kPathSignal && m_pathStates[1] == kPathSignal;
    const long long peak1 = line1.Peak(c - d, c + d);
    const long long peak2 = line2.Peak(c - d, c + d);
    if (!m_xpdValid) {
        // A path with a signal shows its own peak.
        if (m_pathStates[0] == kPathSignal)
            m_rf1Level = line1.Level(peak1);
        if (m_pathStates[1] == kPathSignal)
            m_rf2Level = line2.Level(peak2);
        return;
    }
    const long long f = line2.Level(peak2) > line1.Level(peak1) ? peak2 : peak1;
    m_rf1Level = line1.Level(f);
    m_rf2Level = line2.Level(f);
    m_peakValue = static_cast<double>(f) * 0.001;
    m_xpdValue = std::fabs(m_rf1Level - m_rf2Level);
}

LevelSide CXpdAnalysis::DetectSide() const {
    // Either path above the detect level within the peak search is a
    // detection; below it only when both paths are measured all over it.
    // The detect level is a level at the input, whatever unit the window shows.
    const unsigned d = static_cast<unsigned>(m_stop - m_start) / std::max(m_trackingDiv, 1u);
    const long long c = (static_cast<long long>(m_start) + m_stop) / 2;
    const double level = DbmToShown(m_detectLevel);
    const LevelSide rf1 = m_traces[0].SideOf(level, c - d, c + d - 1);
    const LevelSide rf2 = m_traces2[0].SideOf(level, c - d, c + d - 1);
    if (rf1 == LevelSide::kAbove || rf2 == LevelSide::kAbove)
        return LevelSide::kAbove;
    if (rf1 == LevelSide::kBelow && rf2 == LevelSide::kBelow)
        return LevelSide::kBelow;
    return LevelSide::kUnknown;
}

void CXpdAnalysis::EvaluateDetect() {
    // The detect flag rises, and starts an active period, only when the paths
    // were measured below the detect level before: a carrier that stood above
    // it since the window started starts nothing. It falls once they are
    // measured below it again.
    const LevelSide side = DetectSide();
    const TriggerStep step = StepTrigger(m_detectState, side, kTriggerRising);
    m_detectState = step.state;
    if (step.fired) {
        m_detectFlag = 1;
        m_detectState = kTriggerWaiting;
    } else if (side == LevelSide::kBelow) {
        m_detectFlag = 0;
    }
}

void CXpdAnalysis::Evaluate() {
    CTraceStore& line1 = m_traces[0];
    CTraceStore& line2 = m_traces2[0];
    EvaluateLevels();
    EvaluateDetect();
    if (ActiveFlag()) {
        line1.SetTraceState(kStateMaxHold);
        line2.SetTraceState(kStateMaxHold);
        if (!m_xpdValid) {
            // No reading: the alarm stays as the last XPD left it.
        } else if (m_xpdValue < m_alarmValue) {
            if (!m_alarmFlag) {
                CString value;
                value.Format(kLogValueFormat, m_xpdValue);
                m_log.AppendText(m_measurementTime.Format(kLogTimeFormat) + value);
                ReportAlarm(true, m_measurementTime.Format(kLogTimeFormat) + value);
            }
            m_alarmFlag = 1;
        } else {
            if (m_alarmFlag)
                ReportAlarm(false, CString());
            m_alarmFlag = 0;
        }
    } else {
        if (!m_maxHold) {
            line1.SetTraceState(kStateWrite);
            line2.SetTraceState(kStateWrite);
        }
        if (m_alarmFlag)
            ReportAlarm(false, CString());
        m_alarmFlag = 0;
    }
    PublishValues();
}

void CXpdAnalysis::GetReadings(std::vector<CReading>& out) {
    CNormalAnalysis::GetReadings(out);
    if (!m_xpdValid)
        return;
    const long long peak = PeakKHz();
    out.push_back(CReading{"xpd", m_xpdValue, "dB", peak, false, CString()});
    out.push_back(CReading{"rf1", ShownToDbm(m_rf1Level), "dBm", peak, false, CString()});
    out.push_back(CReading{"rf2", ShownToDbm(m_rf2Level), "dBm", peak, false, CString()});
}

void CXpdAnalysis::ReportAlarm(bool raised, const CString& text) {
    CAlarmEvent event;
    event.raised = raised;
    event.source = "XPD";
    event.frequencyKHz = PeakKHz();
    event.hasLevel = m_xpdValid;
    event.level = m_xpdValue;
    event.hasThreshold = true;
    event.threshold = m_alarmValue;
    event.unit = "dB";
    event.text = text;
    ReportSignalAlarm(event);
}

bool CXpdAnalysis::HasArmedAlarm() {
    return true;
}

void CXpdAnalysis::ShowTechnicalAlarm(bool raised, const CString& text) {
    CNormalAnalysis::ShowTechnicalAlarm(raised, text);
    CNormalGraphContext& graph = m_graphIntf2.GetGraph();
    graph.SetAlarmText(raised ? text : CString());
    graph.SetRedrawFlag(1);
    if (!text.IsEmpty())
        m_log.AppendText(CTime::GetCurrentTime().Format(kLogTimeFormat) + text);
    m_controllers.m_technicalAlarm.store(raised ? 1 : 0);
}

void CXpdAnalysis::Stop() {
    CNormalAnalysis::Stop();
    const unsigned unreached = m_controllers.Stop();
    for (int port = 0; port < CXpdControllerLink::kPorts; ++port) {
        if (!(unreached & (1u << port)))
            continue;
        CString text;
        text.Format(GetTorvelString(kStrControllerUnreached),
                    portLabel(port ? m_secPortName : m_priPortName).c_str());
        // The program's log, the window's alarm log, and a message once the
        // window has gone.
        std::fprintf(stderr, "Torvel: %s\n", text.c_str());
        m_log.AppendText(text);
        const auto& warning = m_loggingOutput.Prompts().warning;
        if (warning && qApp)
            QTimer::singleShot(0, qApp, [warning, text] { warning(text); });
    }
}

void CXpdAnalysis::ServeControllers() {
    // Only a measuring window drives the controllers, and only once it has
    // the user's port names.
    if (m_windowCreated && m_profileRead && !m_showsFile)
        m_controllers.Start();
}

// ---- Commands

double CXpdAnalysis::EntryDouble(double value, const char* unit, const char* title) {
    return NumEntryDOUBLE(value, unit, title);
}

CString CXpdAnalysis::AskLogFileName() {
    const CCorePrompts& prompts = m_loggingOutput.Prompts();
    return prompts.chooseSavePath ? prompts.chooseSavePath(kLogFilter) : CString();
}

CString CXpdAnalysis::AlarmLogPath(const CString& path) {
    // The name typed is kept; one without an extension gets ".TXT".
    const int slash = path.ReverseFind('/');
    const int dot = path.ReverseFind('.');
    if (dot > slash && dot + 1 < path.GetLength())
        return path;
    return (dot > slash ? path.Left(dot) : path) + kLogExtension;
}

int CXpdAnalysis::SaveAlarmLog(const CString& path) {
    CFile file;
    if (!file.Open(AlarmLogPath(path),
                   CFile::modeCreate | CFile::modeWrite | CFile::modeSafeReplace))
        return 0;
    const CString text = m_log.GetText();
    file.Write(text.c_str(), static_cast<UINT>(text.GetLength()));
    return file.Close() ? 1 : 0;
}

int CXpdAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    const int result = CNormalAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    if (result != kCommandNotHandled)
        return result;
    switch (action) {
    case kCmdAlarmValue:
    case kCmdDetectLevel:
    case kCmdSetAlarmValue:
    case kCmdSetDetectLevel: {
        const bool alarm = action == kCmdAlarmValue || action == kCmdSetAlarmValue;
        double& field = alarm ? m_alarmValue : m_detectLevel;
        double v = 0.0;
        if (action == kCmdSetAlarmValue || action == kCmdSetDetectLevel) {
            v = p1 * 0.01;
        } else if (alarm) {
            v = EntryDouble(field, "dB", GetLibraryString(kStrAlarmEntry));
        } else {
            // The detect level is entered in the window's unit and kept in dBm.
            v = EntryDouble(DbmToShown(field), UnitName(), GetLibraryString(kStrDetectEntry));
            if (takenEntry(v))
                v = ShownToDbm(v);
        }
        if (!takenEntry(v) || !levelInRange(v))
            return kCommandDone;
        field = v;
        PublishValues();
        return kCommandRedraw;
    }
    case kCmdSaveLog: {
        const CString name = AskLogFileName();
        if (!name.IsEmpty() && !SaveAlarmLog(name) && m_loggingOutput.Prompts().warning)
            m_loggingOutput.Prompts().warning(GetTorvelString(kStrSaveFailed));
        return kCommandDone;
    }
    case kCmdClearLog:
        m_log.ClearText();
        return kCommandDone;
    case kCmdYAxisOffsetEntry: {
        const double v = EntryDouble(m_yAxisOffset, GetLibraryString(kStrOffsetUnit),
                                     GetLibraryString(kStrOffsetEntry));
        if (!takenEntry(v))
            return kCommandDone;
        m_yAxisOffset = static_cast<int>(
            std::clamp(v, static_cast<double>(-kMaxYAxisOffset), double{kMaxYAxisOffset}));
        return kCommandRedraw;
    }
    case kCmdYAxisOffset:
        m_yAxisOffset = p1 == m_yAxisOffset ? 0 : std::clamp(p1, -kMaxYAxisOffset, kMaxYAxisOffset);
        return kCommandRedraw;
    default:
        return kCommandNotHandled;
    }
}

int CXpdAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    if (action == kCmdYAxisOffset)
        return p1 == m_yAxisOffset ? kStateTicked : kStateUnticked;
    return CNormalAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
}

// ---- The window

QWidget* CXpdAnalysis::CreatePanes(QWidget* parent, QWidget* view) {
    auto* splitter = new CSplitterWnd;
    splitter->CreateStatic(parent, 1, 2);
    SIZE left;
    SIZE right;
    ReadPaneSizes(parent, 4, &left, &right);
    const int h = left.cy;
    splitter->SetColumnInfo(0, left.cx, kMinPaneSize);
    splitter->SetColumnInfo(1, right.cx, kMinPaneSize);
    m_panelWidget = new CXpdPanelWidget(this);
    NamePane(m_panelWidget, PaneNames::kXpdValues);
    m_log.Create(m_panelWidget, CRect(0, 0, left.cx, h));
    auto* graphs = new CSplitterWnd;
    graphs->CreateStatic(nullptr, 2, 1, CSplitterWnd::kFirstPaneId + 1);
    graphs->SetRowInfo(0, h / 2, kMinPaneSize);
    graphs->SetRowInfo(1, h - h / 2, kMinPaneSize);
    m_graph2Widget = new CSecondGraphWidget(&m_graphIntf2);
    NamePane(m_graph2Widget, PaneNames::kSecondPath);
    graphs->SetPane(0, 0, view, SIZE{right.cx, h / 2});
    graphs->SetPane(1, 0, m_graph2Widget, SIZE{right.cx, h - h / 2});
    splitter->SetPane(0, 0, m_panelWidget, left);
    splitter->SetPane(0, 1, graphs, right);
    m_splitter = splitter;
    m_graphSplitter = graphs;
    // The controllers are served once the window has its settings.
    m_controllers.m_activeFlag.store(0);
    m_windowCreated = true;
    return splitter;
}

void CXpdAnalysis::AttachWindow(CChildFrame* window) {
    CNormalAnalysis::AttachWindow(window);
}

void CXpdAnalysis::UpdateView() {
    CNormalAnalysis::UpdateView();
    m_graphIntf2.Redraw();
    // The worker's remaining time and active flag reach the panel.
    PublishValues();
    if (m_panelWidget)
        CFramePacer::Update(m_panelWidget);
}

void CXpdAnalysis::DrawPanel(CDC* dc, const CRect& rect) {
    // The values take the top, the alarm log the rest.
    const int panelHeight = std::min((rect.bottom - rect.top) / 2, 170);
    m_panel.SetRect(CRect(rect.left, rect.top, rect.right, rect.top + panelHeight));
    m_log.SetRect(CRect(rect.left, rect.top + panelHeight, rect.right, rect.bottom));
    m_log.Draw(nullptr, nullptr, nullptr);
    if (dc)
        m_panel.Draw(dc, nullptr, nullptr);
}

void CXpdAnalysis::ShowRunState() {
    CNormalAnalysis::ShowRunState();
    ShowRunStateIn(m_graphIntf2);
}

void CXpdAnalysis::DrawView(CDC* dc, const CRect& rect) {
    // Images: the panel on the left quarter, the graphs one above the other.
    const int split = rect.left + (rect.right - rect.left) / 4;
    const int middle = rect.top + (rect.bottom - rect.top) / 2;
    if (dc) {
        m_panel.SetRect(CRect(rect.left, rect.top, split, rect.bottom));
        m_panel.Draw(dc, nullptr, nullptr);
    }
    m_graphIntf.Draw(dc, CRect(split, rect.top, rect.right, middle));
    m_graphIntf2.Draw(dc, CRect(split, middle, rect.right, rect.bottom));
    if (m_panelWidget)
        CFramePacer::Update(m_panelWidget);
}

void CXpdAnalysis::GetDrawObjectList(std::list<CDrawObject*>* list) {
    CNormalAnalysis::GetDrawObjectList(list);
    if (!list)
        return;
    for (CDrawObject& object : m_traceObjects2)
        list->push_back(&object);
}

void CXpdAnalysis::SetTimeStamp(const CString& text, BOOL show) {
    CNormalAnalysis::SetTimeStamp(text, show);
    m_graphIntf2.SetTimeStamp(text, show);
}
