// CLoggingParam: the schedule and output choice of timed measurement logging
// (start and stop time, interval, CSV/BMP/PNG outputs, target folder), kept in
// the application profile in the section named by library string 33.
#pragma once

#include "platform/cstring.h"
#include "platform/ctime.h"

class CLoggingParam {
public:
    // Output flag bits.
    static constexpr char kPngBit = 1;
    static constexpr char kCsvBit = 2;
    static constexpr char kBmpBit = 4;
    // Default estimated size of one output file of each kind (KB).
    static constexpr int kDefaultCsvSize = 64;
    static constexpr int kDefaultBmpSize = 1024;
    static constexpr int kDefaultPngSize = 32;

    // Loads the profile values.
    CLoggingParam();
    CLoggingParam(const CLoggingParam&) = default;
    CLoggingParam& operator=(const CLoggingParam&) = default;
    virtual ~CLoggingParam();

    // Reads every key; a missing or unparsable time keeps "now", a missing span
    // gives 1 second, a missing folder the current directory.
    void LoadProfile();
    void WriteProfile();
    // Brings an interval read from outside into 1 s .. kMaxIntervalDays days:
    // below one second it is one second, and its day count must stay a
    // 32-bit number so that the text written reads back as the same span.
    void ValidateInterval();
    static constexpr long long kMaxIntervalDays = 2147483647;

    int GetPngFlag() const { return (m_OutFlags & kPngBit) ? 1 : 0; }
    int GetCsvFlag() const { return (m_OutFlags & kCsvBit) ? 1 : 0; }
    int GetBmpFlag() const { return (m_OutFlags & kBmpBit) ? 1 : 0; }
    void SetPngFlag(int on) { setBit(kPngBit, on); }
    void SetCsvFlag(int on) { setBit(kCsvBit, on); }
    void SetBmpFlag(int on) { setBit(kBmpBit, on); }

    // The profile section: library string 33.
    static const char* Section();

    CString m_TargetDir;             // TargetDir
    CTime m_StartTime;               // StartTime
    CTime m_StopTime;                // StopTime
    CTimeSpan m_TimeSpan{1};         // StopSpan: the interval between recordings
    char m_RefreshFlag = 0;          // RefreshFlag: restart the holds after every output
    char m_StartFlag = 0;            // StartFlag: logging begins at the start time
    char m_StopFlag = 0;             // StopFlag: logging ends at the stop time
    int m_CsvSize = kDefaultCsvSize; // CsvSize
    int m_BmpSize = kDefaultBmpSize; // BmpSize
    int m_PngSize = kDefaultPngSize; // PngSize
    char m_OutFlags = 0;             // OutFlags: PNG 1, CSV 2, BMP 4

private:
    void setBit(char bit, int on) {
        m_OutFlags = static_cast<char>(on ? (m_OutFlags | bit) : (m_OutFlags & ~bit));
    }
};

extern "C" {
// Edits a copy of *param in the logging dialog; on OK copies it back (and the
// dialog has written the profile) and returns 1, else 0 with *param unchanged.
int DoModalLoggingDialog(CLoggingParam* param);
} // extern "C"
