#include "modes/keytables.h"

#include "modes/xpdanalysis.h"
#include "modes/xpdlink.h"

#include <climits>

namespace {
constexpr unsigned kProfile = KeyRange::Profile;
constexpr unsigned kSetting = KeyRange::Setting;
constexpr unsigned kCsv = KeyRange::Csv;
constexpr unsigned kAll = KeyRange::All;
// Frequencies in kHz; each kind checks them further against the device's
// limits where it sets its range.
constexpr int kMaxKHz = 100000000;
// Waits and delays in ms: at most a minute.
constexpr int kMaxWaitMs = 60000;
// A serial port's name or device path, and a short text shown in a pane.
constexpr int kMaxPortName = 255;
constexpr int kMaxMessage = 255;

// The swept-spectrum keys every spectrum kind reads after the common ones.
const CKeyTable& NormalTable() {
    static const CKeyTable table{
        {
            {"FrequencyFlag", 0, 1, 0, false, kAll},
            // The unit of each trace in its own section of a setting data file.
            {"UnitFlag", 1, 3, 1, false, kProfile | kSetting},
            {"StartFrequency", 0, kMaxKHz, 1000, true, kProfile | kSetting},
            {"StopFrequency", 0, kMaxKHz, 3000000, true, kProfile | kSetting},
            // The grid lines of a CSV file (start, step, points, axis) are
            // compared with the grid the window builds, never taken as they are.
            {"Attenuator", 0, 200, 30, true, kCsv},
            {"Unit", 1, 3, 1, false, kCsv},
        },
        &CommonKeyTable()};
    return table;
}

const CKeyTable& WlanTable() {
    // The selected slot, −1 (or −2) when none is.
    static const CKeyTable table{{{"CHSelect", -2, 9, -1, false, kProfile | kSetting}},
                                 &NormalTable()};
    return table;
}

const CKeyTable& ZeroSpanTable() {
    static const CKeyTable table{{
                                     {"TriggerTimePosition", 0, 100, 50, true, kAll},
                                     // 0 = single capture, anything else repeated captures.
                                     {"TriggerMode", 0, 1, 0, true, kAll},
                                     {"TimeSpan", 1, 50000, 5000, true, kAll},
                                     // 0 = free run, 1 above the trigger line, 2 below it.
                                     {"TriggerType", 0, 2, 0, false, kAll},
                                     // Bins of the 24 MHz capture block (104 bins).
                                     {"StartBin", 0, 103, 52, true, kAll},
                                     {"StopBin", 0, 103, 52, true, kAll},
                                     // The zero-span marker's delta mode.
                                     {"AccumulateMode", 0, 3, 0, false, kAll},
                                 },
                                 &NormalTable()};
    return table;
}

const CKeyTable& SpectrogramTable() {
    static const CKeyTable table{
        {
            // The semi-real-time ring holds 100 slices.
            {"SlicePosition", 0, 99, 0, true, kAll},
            {"ChunkPosition", 0, 1000000, 200, true, kAll},
            // Kept and stored only.
            {"ChunkUnit", INT_MIN, INT_MAX, 50000, true, kProfile | kSetting},
        },
        &NormalTable()};
    return table;
}

const CKeyTable& RealTimeTable() {
    static const CKeyTable table{
        {
            // The real-time capture holds 256 slices.
            {"SlicePosition", 0, 255, 0, true, kAll},
            {"TrigMode", 0, 1, 0, true, kAll},
            // The device's capture holds 256 blocks; the trigger block lies among them.
            {"TrigPosition", 0, 255, 4, true, kAll},
            {"TrigType", 0, 2, 0, false, kAll},
            // A level word (16 bits).
            {"SenseTrigValue", SHRT_MIN, SHRT_MAX, 1000, true, kAll},
        },
        &SpectrogramTable()};
    return table;
}

const CKeyTable& MedicalTable() {
    static const CKeyTable table{
        {
            {"BandWidth", 0, 40, 1, true, kAll},
            {"AlarmFlag", 0, 2, 0, true, kAll},
            {"BandIndicateFlag", 0, 1, 1, false, kAll},
            {"BandZoomFlag", -1, 5, -1, false, kAll},
            {"YAxisOffset", -100, 100, 0, true, kAll},
            {"CategoryNumber", 3, 23, 3, true, kProfile | kSetting},
            {"CategoryOffset", 0, 3, 0, true, kProfile | kSetting},
            {"CurrentChannelIndexOffset", 0, 1500, 0, true, kProfile | kSetting},
            {"CurrentChannel", -1, 1499, -1, false, kProfile | kSetting},
        },
        &NormalTable()};
    return table;
}

const CKeyTable& XpdTable() {
    // Levels in 1/100 dB; one beyond the XPD window's level limit is
    // unusable and gives the default.
    constexpr int kLevel = static_cast<int>(CXpdAnalysis::kLevelLimitDb * 100);
    static const CKeyTable table{
        {
            {"DownWait", 0, kMaxWaitMs, 1000, true, kAll},
            // A CSV file holds dB.
            {"AlarmValue", -kLevel, kLevel, 3000, false, kProfile | kCsv},
            {"Alarm", -kLevel, kLevel, 3000, false, kSetting},
            {"DetectLevel", -kLevel, kLevel, 0, false, kAll},
            {"CalValue", -kLevel, kLevel, 0, false, kProfile},
            // Seconds of an active period: the remaining time's active time
            // x 100 stays within an unsigned word.
            {"ActiveTime", 1, CXpdControllerLink::kMaxActiveTime, 20, true, kProfile},
            {"YAxisOffset", -CXpdAnalysis::kMaxYAxisOffset, CXpdAnalysis::kMaxYAxisOffset, 0, true,
             kProfile},
            {"TrackingDiv", 1, 1000, 10, true, kProfile},
            {"OnDelay", 0, kMaxWaitMs, 100, true, kProfile},
            {"OffDelay", 0, kMaxWaitMs, 100, true, kProfile},
            // A round makes about twenty writes, each waiting this long.
            {"BaseWait", 0, CXpdControllerLink::kMaxBaseWaitMs, 40, true, kAll},
        },
        {
            // The controllers' ports ("COM4", "/dev/ttyUSB0") and the texts
            // shown for the two paths.
            {"PriPortName", kMaxPortName, TextKeyRange::PortName, "COM4", kAll},
            {"SecPortName", kMaxPortName, TextKeyRange::PortName, "COM5", kAll},
            {"PriMessage", kMaxMessage, TextKeyRange::Text, "[RF1]", kProfile},
            {"SecMessage", kMaxMessage, TextKeyRange::Text, "[RF2]", kProfile},
        },
        &NormalTable()};
    return table;
}
} // namespace

const CKeyTable& KeyTableOf(int kind) {
    switch (kind) {
    case 1:
        return NormalTable();
    case 2:
        return WlanTable();
    case 3:
        return ZeroSpanTable();
    case 4:
        return SpectrogramTable();
    case 5:
        return RealTimeTable();
    case 6:
        return MedicalTable();
    case 7:
        return XpdTable();
    default:
        return CommonKeyTable();
    }
}
