// CLoggingParam: reading and writing the logging schedule in the profile.
#include "lib/loggingparam.h"

#include "lib/profilevalues.h"
#include "lib/stringtable.h"
#include "platform/profile.h"

#include <filesystem>
#include <system_error>

namespace {

constexpr int kSectionString = 33;

CString CurrentDirectory() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::current_path(error);
    return error ? CString(".") : CString(path.string());
}

} // namespace

CLoggingParam::CLoggingParam() {
    LoadProfile();
}

CLoggingParam::~CLoggingParam() = default;

const char* CLoggingParam::Section() {
    return GetLibraryString(kSectionString);
}

void CLoggingParam::LoadProfile() {
    const char* section = Section();
    const CTime now = CTime::GetCurrentTime();
    m_StartTime = GetProfileTime(section, "StartTime", now);
    m_StopTime = GetProfileTime(section, "StopTime", now);
    m_TimeSpan = GetProfileTimeSpan(section, "StopSpan", CTimeSpan(1));
    ValidateInterval();
    m_CsvSize = GetProfileInt(section, "CsvSize", kDefaultCsvSize);
    m_BmpSize = GetProfileInt(section, "BmpSize", kDefaultBmpSize);
    m_PngSize = GetProfileInt(section, "PngSize", kDefaultPngSize);
    m_RefreshFlag = static_cast<char>(GetProfileInt(section, "RefreshFlag", 0));
    m_TargetDir = GetProfileString(section, "TargetDir", CurrentDirectory());
    m_StartFlag = static_cast<char>(GetProfileInt(section, "StartFlag", 0));
    m_StopFlag = static_cast<char>(GetProfileInt(section, "StopFlag", 0));
    m_OutFlags = static_cast<char>(GetProfileInt(section, "OutFlags", 0));
}

void CLoggingParam::ValidateInterval() {
    // The interval divides the day in the size estimate and paces the outputs:
    // anything below one second is taken as one second.
    constexpr long long kMaxSeconds = kMaxIntervalDays * 86400 + 86399;
    const long long seconds = m_TimeSpan.GetTotalSeconds();
    if (seconds < 1)
        m_TimeSpan = CTimeSpan(1);
    else if (seconds > kMaxSeconds)
        m_TimeSpan = CTimeSpan(kMaxSeconds);
}

void CLoggingParam::WriteProfile() {
    const char* section = Section();
    WriteProfileInt(section, "OutFlags", m_OutFlags);
    WriteProfileString(section, "TargetDir", m_TargetDir);
    WriteProfileTime(section, "StartTime", m_StartTime);
    WriteProfileTime(section, "StopTime", m_StopTime);
    WriteProfileTimeSpan(section, "StopSpan", m_TimeSpan);
    WriteProfileInt(section, "CsvSize", m_CsvSize);
    WriteProfileInt(section, "BmpSize", m_BmpSize);
    WriteProfileInt(section, "PngSize", m_PngSize);
    WriteProfileInt(section, "RefreshFlag", m_RefreshFlag);
    WriteProfileInt(section, "StartFlag", m_StartFlag);
    WriteProfileInt(section, "StopFlag", m_StopFlag);
}
