// CAnalysisCore: construction and ids, the profile keys, the TORVEL_CORE
// setting section, the default operations of the slots, leaving and rejoining
// the scheduler's rotation, and drawing into a device context with the
// grey-scale conversion. The command table lives in corecommands.cpp.
#include "analysis/analysiscore.h"

#include "analysis/alarmlistener.h"
#include "analysis/csvfile.h"
#include "analysis/framelink.h"
#include "analysis/keytable.h"
#include "device/TorvelAPI.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/dc.h"
#include "platform/profile.h"

#include <algorithm>
#include <bitset>
#include <mutex>

namespace {

// The process-wide core ids: the counter runs 1..255 and then starts at 1
// again; an id that a live core still holds is skipped, so that no two
// windows share a device task tag.
struct CoreIds {
    std::mutex lock;
    int next = 1;
    std::bitset<kMaxCoreId + 1> live;
};

CoreIds& Ids() {
    static CoreIds ids;
    return ids;
}

// The next free id, or 0 when all 255 are held by live cores.
int TakeCoreId() {
    CoreIds& ids = Ids();
    std::lock_guard<std::mutex> guard(ids.lock);
    for (int tries = 0; tries < kMaxCoreId; ++tries) {
        const int id = ids.next;
        ids.next = id >= kMaxCoreId ? 1 : id + 1;
        if (!ids.live.test(static_cast<size_t>(id))) {
            ids.live.set(static_cast<size_t>(id));
            return id;
        }
    }
    return 0;
}

void ReleaseCoreId(int id) {
    if (id < 1 || id > kMaxCoreId) {
        return;
    }
    CoreIds& ids = Ids();
    std::lock_guard<std::mutex> guard(ids.lock);
    ids.live.reset(static_cast<size_t>(id));
}

constexpr const char* kFallbackTimeStampFormat = "%Y/%m/%d %H:%M:%S";

} // namespace

CString CAnalysisCore::TitleOf(const CString& caption) {
    std::string title;
    for (const char* c = caption.c_str(); *c != '\0'; ++c)
        if (*c != '&')
            title += *c == '\r' || *c == '\n' ? ' ' : *c;
    if (title.find_first_not_of(" \t") == std::string::npos)
        title.clear();
    return CString(std::move(title));
}

CAnalysisCore::CAnalysisCore(CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link)
    : m_id(TakeCoreId()), m_frameList(frameList), m_buttonList(buttonList),
      m_lastDataTime(CTime::GetCurrentTime()), m_link(link) {}

CAnalysisCore::~CAnalysisCore() {
    ReleaseCoreId(m_id);
}

int CAnalysisCore::PeekNextId() {
    CoreIds& ids = Ids();
    std::lock_guard<std::mutex> guard(ids.lock);
    return ids.next;
}

// ---- Profile

void CAnalysisCore::ReadProfile() {
    const CString section = GetProfileSection();
    const CKeyTable& keys = CommonKeyTable();
    m_analyzeFlag = keys.ProfileInt(section, "AnalyzeFlag", 0);
    m_attenuation = keys.ProfileInt(section, "AttValue", 30);
    m_unit = keys.ProfileInt(section, "UnitFlag", 1);
    m_referencePosition = keys.ProfileInt(section, "RefPosition", 9);
    m_rbwIndex = keys.ProfileInt(section, "RBWIndex", 1);
    m_scale = keys.ProfileInt(section, "Scale", 1);
    m_offsetFlag = keys.ProfileInt(section, "OffsetFlag", 0);
    m_offsetFile = keys.ProfileText(section, "OffsetFile");
    m_catcherRate = keys.ProfileInt(section, "CatcherRate", -1);
    m_rejectionRate = keys.ProfileInt(section, "RejectionRate", 5);
    ValidateParameters();
    if (m_offsetFlag) {
        if (!LoadOffsetTable()) {
            m_failedOffsetFile = m_offsetFile;
            m_offsetFile.Empty();
            m_offsetFlag = 0;
            m_offsetLoadFailed = 1;
        }
    }
    ValidateRBWIndex();
}

void CAnalysisCore::WriteProfile() {
    const CString section = GetProfileSection();
    WriteProfileInt(section, "AnalyzeFlag", m_analyzeFlag);
    WriteProfileInt(section, "AttValue", m_attenuation);
    WriteProfileInt(section, "UnitFlag", m_unit);
    WriteProfileInt(section, "RefPosition", m_referencePosition);
    WriteProfileInt(section, "RBWIndex", m_rbwIndex);
    WriteProfileInt(section, "Scale", m_scale);
    WriteProfileInt(section, "OffsetFlag", m_offsetFlag);
    WriteProfileString(section, "OffsetFile", m_offsetFile);
    WriteProfileInt(section, "CatcherRate", m_catcherRate);
    WriteProfileInt(section, "RejectionRate", m_rejectionRate);
}

CString CAnalysisCore::GetProfileSection() {
    CString section;
    section.Format("AnalysisCore_%d", m_titleIndex);
    return section;
}

int CAnalysisCore::GetYDivisionCount() {
    return 10;
}

void CAnalysisCore::ValidateParameters() {
    // The attenuator's range and steps; a device that gives none leaves the
    // value alone.
    const int maxAttenuation = DeviceMaxAttenuation();
    if (maxAttenuation > 0) {
        m_attenuation = std::clamp(m_attenuation, 0, maxAttenuation);
        const int step = DeviceAttenuatorStep();
        if (step > 0) {
            m_attenuation -= m_attenuation % step;
        }
    }
    m_referencePosition = std::clamp(m_referencePosition, 0, std::max(0, GetYDivisionCount()));
    if (m_unit < 1 || m_unit > 3) {
        m_unit = 1;
    }
    if (m_scale < 1 || m_scale > 3) {
        m_scale = 1;
    }
    if (m_currentMarker < 0 || m_currentMarker > kMarkerCount) {
        m_currentMarker = 0;
    }
    if (m_currentTrace < 0 || m_currentTrace > kTraceCount) {
        m_currentTrace = 0;
    }
    m_maxHold = m_maxHold ? 1 : 0;
    m_minHold = (m_minHold && !m_maxHold) ? 1 : 0;
    m_greyScale = m_greyScale ? 1 : 0;
}

void CAnalysisCore::ValidateRBWIndex() {
    const int kind = GetRBWKindMask();
    if (m_rbwIndex >= 0 && m_rbwIndex < kRbwIndexCount &&
        DeviceRBWFrequency(kind, m_rbwIndex) > 0) {
        return;
    }
    for (int i = 0; i < kRbwIndexCount; ++i) {
        if (DeviceRBWFrequency(kind, i) != 0) {
            m_rbwIndex = i;
            return;
        }
    }
    m_rbwIndex = -1;
}

// ---- Setting data file

int CAnalysisCore::SaveSettings() {
    const char* s = kCoreSettingSection;
    CString title = m_title;
    CString targetDir = m_logging.m_TargetDir;
    CString offsetFile = m_offsetFile;
    CTime start = m_logging.m_StartTime;
    CTime stop = m_logging.m_StopTime;
    CTimeSpan span = m_logging.m_TimeSpan;
    int ok = 1;
    ok &= WriteSettingFileINT(s, "AnalysisType", GetAnalysisType());
    ok &= WriteSettingFileSTRING(s, "Title", title);
    ok &= WriteSettingFileINT(s, "TitleIndex", m_titleIndex);
    ok &= WriteSettingFileINT(s, "AnalyzeFlag", m_analyzeFlag);
    ok &= WriteSettingFileINT(s, "AttValue", m_attenuation);
    ok &= WriteSettingFileINT(s, "CurrentMarkerIndex", m_currentMarker);
    ok &= WriteSettingFileINT(s, "CurrentTraceIndex", m_currentTrace);
    ok &= WriteSettingFileINT(s, "UnitFlag", m_unit);
    ok &= WriteSettingFileINT(s, "MaxHoldFlag", m_maxHold);
    ok &= WriteSettingFileINT(s, "MinHoldFlag", m_minHold);
    ok &= WriteSettingFileINT(s, "ReferencePosition", m_referencePosition);
    ok &= WriteSettingFileINT(s, "RBWIndex", m_rbwIndex);
    ok &= WriteSettingFileINT(s, "ScaleFlag", m_scale);
    ok &= WriteSettingFileINT(s, "GlayScaleFlag", m_greyScale);
    ok &= WriteSettingFileINT(s, "CatcherRate", m_catcherRate);
    ok &= WriteSettingFileINT(s, "RejectionRate", m_rejectionRate);
    ok &= WriteSettingFileINT(s, "LoggingTriggerFlag", m_loggingTrigger);
    ok &= WriteSettingFileSTRING(s, "LogTargetDir", targetDir);
    ok &= WriteSettingFileTime(s, "LogStartTime", &start);
    ok &= WriteSettingFileTime(s, "LogStopTime", &stop);
    ok &= WriteSettingFileTimeSpan(s, "LoggingTimeSpan", &span);
    ok &= WriteSettingFileINT(s, "LogRefreshFlag", m_logging.m_RefreshFlag);
    ok &= WriteSettingFileINT(s, "LogStartFlag", m_logging.m_StartFlag);
    ok &= WriteSettingFileINT(s, "LogStopFlag", m_logging.m_StopFlag);
    ok &= WriteSettingFileINT(s, "LogOutFlag", m_logging.m_OutFlags);
    ok &= WriteSettingFileINT(s, "OffsetEnableFlag", m_offsetFlag);
    ok &= WriteSettingFileSTRING(s, "OffsetFileName", offsetFile);
    return ok;
}

int CAnalysisCore::LoadSettings() {
    const char* s = kCoreSettingSection;
    // Each item is read in turn; a missing one keeps its current value and
    // makes the load report failure.
    auto readChar = [s](const char* key, char* field) {
        int v = static_cast<unsigned char>(*field);
        if (!GetSettingFileINT(s, key, &v)) {
            return 0;
        }
        *field = static_cast<char>(v);
        return 1;
    };
    int kind = 0;
    int ok = 1;
    ok &= GetSettingFileINT(s, "AnalysisType", &kind); // the window's kind is fixed by its class
    // The title and title index are the window's own: they choose its profile
    // section and command lists, and a window opened from a workspace file got
    // them from the file already.
    CString title;
    int titleIndex = 0;
    ok &= GetSettingFileSTRING(s, "Title", title);
    ok &= GetSettingFileINT(s, "TitleIndex", &titleIndex);
    const CKeyTable& keys = CommonKeyTable();
    // A value read is brought into its key's range; a missing one keeps the
    // field as it is.
    ok &= keys.SettingInt(s, "AnalyzeFlag", &m_analyzeFlag);
    ok &= keys.SettingInt(s, "AttValue", &m_attenuation);
    ok &= keys.SettingInt(s, "CurrentMarkerIndex", &m_currentMarker);
    ok &= keys.SettingInt(s, "CurrentTraceIndex", &m_currentTrace);
    ok &= keys.SettingInt(s, "UnitFlag", &m_unit);
    ok &= keys.SettingInt(s, "MaxHoldFlag", &m_maxHold);
    ok &= keys.SettingInt(s, "MinHoldFlag", &m_minHold);
    ok &= keys.SettingInt(s, "ReferencePosition", &m_referencePosition);
    ok &= keys.SettingInt(s, "RBWIndex", &m_rbwIndex);
    ok &= keys.SettingInt(s, "ScaleFlag", &m_scale);
    ok &= keys.SettingInt(s, "GlayScaleFlag", &m_greyScale);
    ok &= keys.SettingInt(s, "CatcherRate", &m_catcherRate);
    ok &= keys.SettingInt(s, "RejectionRate", &m_rejectionRate);
    ok &= keys.SettingInt(s, "LoggingTriggerFlag", &m_loggingTrigger);
    ok &= keys.SettingText(s, "LogTargetDir", &m_logging.m_TargetDir);
    ok &= GetSettingFileTime(s, "LogStartTime", &m_logging.m_StartTime);
    ok &= GetSettingFileTime(s, "LogStopTime", &m_logging.m_StopTime);
    ok &= GetSettingFileTimeSpan(s, "LoggingTimeSpan", &m_logging.m_TimeSpan);
    ok &= readChar("LogRefreshFlag", &m_logging.m_RefreshFlag);
    ok &= readChar("LogStartFlag", &m_logging.m_StartFlag);
    ok &= readChar("LogStopFlag", &m_logging.m_StopFlag);
    ok &= readChar("LogOutFlag", &m_logging.m_OutFlags);
    ok &= keys.SettingInt(s, "OffsetEnableFlag", &m_offsetFlag);
    ok &= keys.SettingText(s, "OffsetFileName", &m_offsetFile);
    // A file is outside input: values, indexes and flags are brought back into range.
    m_logging.ValidateInterval();
    ValidateParameters();
    ValidateRBWIndex();
    // The offset correction is on only with its table.
    m_offsetFlag = m_offsetFlag ? 1 : 0;
    if (m_offsetFlag && !LoadOffsetTable()) {
        m_failedOffsetFile = m_offsetFile;
        m_offsetFile.Empty();
        m_offsetFlag = 0;
        m_offsetLoadFailed = 1;
    }
    return ok;
}

CString SettingsIncompleteText(const CString& path) {
    const char* text = GetTorvelString(kStrSettingsIncomplete);
    CString message = text ? text : "";
    if (message.IsEmpty() || message == "NotEntry") {
        message = "%s";
    }
    // The path is put in place of "%s" as it is, never read as a format.
    if (message.Replace("%s", path) == 0) {
        message += "\n" + path;
    }
    return message;
}

// ---- Default operations of the slots

CString CAnalysisCore::FormatFrequency(int kHz) {
    CString text;
    if (kHz >= 1000) {
        text.Format(" : %.7gMHz", kHz * 0.001);
    } else {
        text.Format(" : %.7gKHz", static_cast<double>(kHz));
    }
    return text;
}

CString CAnalysisCore::FormatTime(int us) {
    CString text;
    const int a = us < 0 ? -us : us;
    if (a >= 1000000) {
        text.Format(" : %.7gS", us * 1e-6);
    } else if (a >= 1000) {
        text.Format(" : %.7gmS", us * 0.001);
    } else {
        text.Format(" : %.7guS", static_cast<double>(us));
    }
    return text;
}

QWidget* CAnalysisCore::CreatePanes(QWidget*, QWidget*) {
    return nullptr;
}

void CAnalysisCore::AttachWindow(CChildFrame* window) {
    m_window = window;
}

void CAnalysisCore::SelectMarker(int k) {
    m_currentMarker = (k < 1 || k > kMarkerCount || k == m_currentMarker) ? 0 : k;
}

void CAnalysisCore::SelectTrace(int k) {
    m_currentTrace = (k < 1 || k > kTraceCount || k == m_currentTrace) ? 0 : k;
}

int CAnalysisCore::WriteBMPImage(const char* path) {
    return m_loggingOutput.WriteBMP(path);
}
int CAnalysisCore::WritePNGImage(const char* path) {
    return m_loggingOutput.WritePNG(path);
}
int CAnalysisCore::WriteCSVFile(const char* path) {
    return CCsvFile::Write(*this, path);
}
int CAnalysisCore::ReadCSVSections(const char*) {
    return 0;
}
int CAnalysisCore::WriteCSVSections(CStdioFile&) {
    return 0;
}
int CAnalysisCore::LoggingStep() {
    return m_loggingOutput.Step();
}
void CAnalysisCore::SetLoggingTrigger(int flag) {
    m_loggingTrigger = flag;
}
void CAnalysisCore::Stop() {}
void CAnalysisCore::SetStart(int) {}
void CAnalysisCore::SetStop(int) {}
void CAnalysisCore::SetCenter(int) {}
void CAnalysisCore::SetSpan(int) {}

void CAnalysisCore::SetUnitAll(int unit) {
    m_unit = unit;
    ForEachLevelStore(
        [unit](CTraceStore& store, long long) { store.SetUnit(static_cast<BYTE>(unit)); });
}

void CAnalysisCore::ForEachLevelStore(const LevelStoreVisitor& visit) {
    std::array<CTraceStore*, kTraceCount + 1> seen{};
    size_t n = 0;
    const auto once = [&](CTraceStore* store) {
        if (store && std::find(seen.begin(), seen.begin() + n, store) == seen.begin() + n) {
            seen[n++] = store;
            visit(*store, -1);
        }
    };
    once(GetDataLine());
    for (int k = 1; k <= kTraceCount; ++k)
        once(GetTrace(k));
}

void CAnalysisCore::ShowLevels(int unit, int offsetFlag, const short* table) {
    // The view the words hold now, with a copy of the table they were
    // corrected by.
    const std::array<short, kOffsetTableSize> oldTable = m_offsetTable;
    const CLevelView from{m_unit, m_offsetFlag ? oldTable.data() : nullptr};
    if (table)
        std::copy_n(table, kOffsetTableSize, m_offsetTable.begin());
    m_offsetFlag = offsetFlag ? 1 : 0;
    const CLevelView to{unit, m_offsetFlag ? m_offsetTable.data() : nullptr};
    ForEachLevelStore(
        [&](CTraceStore& store, long long fixedKHz) { RemapLevels(store, from, to, fixedKHz); });
    SetUnitAll(unit);
    LevelsRemapped();
}

int CAnalysisCore::GetAnalysisType() {
    return 0;
}
CMarkerContext* CAnalysisCore::GetMarker(int) {
    return nullptr;
}
CTraceStore* CAnalysisCore::GetTrace(int) {
    return nullptr;
}
CTraceStore* CAnalysisCore::GetDataLine() {
    return nullptr;
}

void CAnalysisCore::Reconfigure(BOOL) {
    m_sweepPosition = 0;
    m_taskRunning = 0;
}

void CAnalysisCore::UpdateView() {}
int CAnalysisCore::GetRBWKindMask() {
    return 0;
}
int CAnalysisCore::GetSpan() {
    return 0;
}
void CAnalysisCore::AnalysisFinished(WPARAM, LPARAM) {}
void CAnalysisCore::AnalysisProgress(WPARAM, LPARAM) {}
int CAnalysisCore::StartAnalysis() {
    return 0;
}
void CAnalysisCore::ViewProgress() {}
BOOL CAnalysisCore::OnTimer(UINT) {
    return FALSE;
}
void CAnalysisCore::GetDrawObjectList(std::list<CDrawObject*>*) {}

// ---- View hooks

void CAnalysisCore::SetTimeStamp(const CString&, BOOL) {}
void CAnalysisCore::DrawView(CDC*, const CRect&) {}
COLORREF CAnalysisCore::GetGraphBackgroundColor() {
    return RGB(0, 0, 0);
}
BOOL CAnalysisCore::GetLoggingTriggerLine(CLoggingTriggerLine*) {
    return FALSE;
}
void CAnalysisCore::ShowTrace(int, BOOL) {}
void CAnalysisCore::ShowDeviceWait(const CString&) {}

// ---- The watch over an armed alarm

bool CAnalysisCore::HasArmedAlarm() {
    return m_loggingTrigger && m_loggingOutput.GetState() != CLoggingOutput::kOff;
}

void CAnalysisCore::ShowTechnicalAlarm(bool, const CString&) {}

void CAnalysisCore::NoteDataTaken(const CTime& when) {
    m_lastDataTime = when;
    if (m_dataWatch.DataArrived(when) == CDataWatchdog::Change::kCleared)
        ChangeTechnicalAlarm(false, true);
}

void CAnalysisCore::WatchData() {
    const CDataWatchdog::Change change =
        m_dataWatch.Check(m_analyzeFlag && HasArmedAlarm(), m_taskRunning != 0);
    if (change != CDataWatchdog::Change::kNone)
        ChangeTechnicalAlarm(change == CDataWatchdog::Change::kRaised, false);
}

void CAnalysisCore::ChangeTechnicalAlarm(bool raised, bool dataReturned) {
    // "%s" is a time of day: the last data's while the alarm is raised, the
    // new data's when they end it. A watch that ends without data (the window
    // stopped, its alarm switched off) ends the alarm without a text.
    constexpr const char* kTimeOfDay = "%H:%M:%S";
    CString text;
    if (raised) {
        text.Format(GetTorvelFormat(kStrMonitoringInterrupted, "s",
                                    "Monitoring interrupted: no data since %s"),
                    m_dataWatch.SilentSince().Format(kTimeOfDay).c_str());
        m_technicalAlarm = text;
    } else {
        if (dataReturned)
            text.Format(GetTorvelFormat(kStrMonitoringResumed, "s", "Monitoring resumed at %s"),
                        m_lastDataTime.Format(kTimeOfDay).c_str());
        m_technicalAlarm.Empty();
    }
    ShowTechnicalAlarm(raised, text);
    UpdateView();
    if (CAlarmListener* listener = m_link ? m_link->GetAlarmListener() : nullptr)
        listener->TechnicalAlarm(*this, raised, text);
}

// ---- Device facts

int CAnalysisCore::DeviceRBWFrequency(int kind, int index) {
    return GetRBWFrequency(kind, index);
}
double CAnalysisCore::DeviceZeroReferenceLevel() {
    return GetZeroReferenceLevel();
}
int CAnalysisCore::DeviceMaxAttenuation() {
    return GetMaxAttenuation();
}
int CAnalysisCore::DeviceAttenuatorStep() {
    return GetAttenuatorStep();
}

// ---- The scheduler's rotation

HWND CAnalysisCore::GetMainWindow() const {
    return m_link ? m_link->GetMainWindow() : 0;
}

void CAnalysisCore::PostScheduleNext(LPARAM lParam) {
    if (m_link) {
        m_link->PostScheduleNext(lParam);
    }
}

void CAnalysisCore::DeviceTerminate() {
    TerminateTorvelTask();
}

BOOL CAnalysisCore::TerminateOwnTask() {
    BOOL ended = FALSE;
    if (m_link) {
        ended = m_link->TerminateTask(this);
    } else if (m_taskRunning > 0) {
        DeviceTerminate();
        ended = TRUE;
    }
    if (ended) {
        m_taskRunning = 0;
    }
    return ended;
}

BOOL CAnalysisCore::RestartOwnTask() {
    if (!m_analyzeFlag) {
        return FALSE;
    }
    if (m_link) {
        return m_link->RestartTask(this);
    }
    return StartAnalysis() == 1 ? TRUE : FALSE;
}

void CAnalysisCore::LeaveRotation() {
    if (m_rotationDepth++ > 0) {
        return;
    }
    m_savedAnalyzeFlag = m_analyzeFlag;
    m_analyzeFlag = 0;
    // With this core's id the main frame stops the core's running task at once
    // and starts the next analysing window; otherwise nothing changes.
    if (m_link) {
        m_link->ScheduleNow(m_id);
    }
}

void CAnalysisCore::ReturnToRotation() {
    if (m_rotationDepth <= 0 || --m_rotationDepth > 0) {
        return;
    }
    if (m_savedAnalyzeFlag) {
        m_analyzeFlag = m_savedAnalyzeFlag;
    }
    PostScheduleNext(0);
}

// ---- Drawing into a device context

void CAnalysisCore::DrawToDC(CDC* dc, const CRect& rect, BOOL timeStamp) {
    if (!dc) {
        return;
    }
    if (timeStamp) {
        const char* format = GetTorvelString(kStrTimeStampFormat);
        if (!format || !*format || CString(format) == "NotEntry") {
            format = kFallbackTimeStampFormat;
        }
        SetTimeStamp(m_lastDataTime.Format(format), TRUE);
    }
    DrawView(dc, rect);
    if (m_greyScale && !dc->IsPrinting()) {
        ConvertToGreyScale(dc, rect, GetGraphBackgroundColor());
    }
    if (timeStamp) {
        SetTimeStamp(CString(), FALSE);
    }
}

void CAnalysisCore::ConvertToGreyScale(CDC* dc, const CRect& rect, COLORREF background) {
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            const COLORREF c = dc->GetPixel(x, y);
            if (c == CLR_INVALID) {
                continue;
            }
            if (c == background) {
                dc->SetPixel(x, y, RGB(255, 255, 255));
                continue;
            }
            const unsigned sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
            const int grey = 255 - static_cast<int>((sum * 21845u) >> 16);
            dc->SetPixel(x, y, RGB(grey, grey, grey));
        }
    }
}
