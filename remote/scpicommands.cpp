// The command table of the SCPI server: one row per command, its pattern, the
// forms it takes, the window kinds it acts on, its handler and its reference
// text (docs/remote.md is checked against these rows).
#include "remote/scpisession.h"

namespace {

constexpr unsigned kAnyKind = 0x7F; // window kinds 1..7
constexpr unsigned kZeroSpan = 1u << 2;
constexpr unsigned kSweptKinds = kAnyKind & ~kZeroSpan; // all but zero span's time capture
constexpr unsigned kWlan = 1u << 1;
constexpr unsigned kMedical = 1u << 5;
constexpr unsigned kXpd = 1u << 6;

constexpr ScpiRow kRows[] = {
    {"*IDN?", ScpiRow::kQuery, 0, &CScpiSession::idn, "",
     "Torvel,<device model>,<serial number>,<program version>"},
    {"*RST", ScpiRow::kSet, 0, &CScpiSession::rst, "",
     "stops the selected window's analysis; the data format becomes ASCII, big-endian"},
    {"*CLS", ScpiRow::kSet, 0, &CScpiSession::cls, "",
     "clears the error queue and the event status"},
    {"*OPC", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::opc, "",
     "?: answers 1 once the operation INIT started is complete; set: the event status bit 0 then"},
    {"*WAI", ScpiRow::kSet, 0, &CScpiSession::wai, "", "waits for the operation INIT started"},
    {"*ESR?", ScpiRow::kQuery, 0, &CScpiSession::esr, "", "event status register (read clears it)"},
    {"*ESE", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::ese, "<0..255>",
     "event status enable"},
    {"*STB?", ScpiRow::kQuery, 0, &CScpiSession::stb, "", "status byte"},
    {"*SRE", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::sre, "<0..255>",
     "service request enable"},
    {"*TST?", ScpiRow::kQuery, 0, &CScpiSession::tst, "", "0 when the device answers"},
    {"SYSTem:ERRor[:NEXT]?", ScpiRow::kQuery, 0, &CScpiSession::systemError, "",
     "oldest error: <number>,\"<text>\"; 0,\"No error\" when none"},
    {"SYSTem:ERRor:COUNt?", ScpiRow::kQuery, 0, &CScpiSession::systemErrorCount, "",
     "errors queued"},
    {"SYSTem:VERSion?", ScpiRow::kQuery, 0, &CScpiSession::systemVersion, "", "1999.0"},
    {"INSTrument:LIST?", ScpiRow::kQuery, 0, &CScpiSession::instrumentList, "",
     "\"<title>\",<n>,... for every window, n from 1 in the order opened"},
    {"INSTrument:CATalog?", ScpiRow::kQuery, 0, &CScpiSession::instrumentList, "", "as INST:LIST?"},
    {"INSTrument[:SELect]", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::instrumentSelect,
     "<n>|\"<title>\"", "selects the window the commands act on and brings it to the front"},
    {"INSTrument:CREate", ScpiRow::kSet, 0, &CScpiSession::instrumentCreate,
     "NORM|WLAN|ZSP|SRT|RT|MED|XPD", "opens a window of that kind and selects it"},
    {"INSTrument:DELete", ScpiRow::kSet, kAnyKind, &CScpiSession::instrumentDelete, "",
     "closes the selected window"},
    {"[SENSe]:FREQuency:CENTer", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::frequencyCenter, "<freq>|MIN|MAX|DEF",
     "centre frequency, Hz (kept even in kHz); one the window holds away from the band's edge "
     "gives -222"},
    {"[SENSe]:FREQuency:SPAN", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::frequencySpan, "<freq>|MIN|MAX|DEF",
     "span, Hz: more than 10 RBW steps (MIN: the narrowest taken); a window of fixed span "
     "keeps it (-222)"},
    {"[SENSe]:FREQuency:STARt", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::frequencyStart, "<freq>|MIN|MAX|DEF", "start frequency, Hz"},
    {"[SENSe]:FREQuency:STOP", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::frequencyStop, "<freq>|MIN|MAX|DEF", "stop frequency, Hz"},
    {"[SENSe]:BANDwidth[:RESolution]", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::bandwidth, "<freq>|MIN|MAX|DEF",
     "RBW, Hz: the nearest step the device offers for the window's kind"},
    {"DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:RLEVel", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::referenceLevel, "<level>",
     "reference level, dBm: the device's zero level + attenuation, in attenuator steps"},
    {"DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:PDIVision", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::perDivision, "10|5|2", "dB per division"},
    {"INPut:ATTenuation", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind, &CScpiSession::attenuation,
     "<level>|MIN|MAX|DEF", "attenuation, dB (not DBM), cut down to the attenuator's step"},
    {"INITiate:CONTinuous", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::initiateContinuous, "ON|OFF|1|0", "the window analyses continuously"},
    {"INITiate[:IMMediate]", ScpiRow::kSet, kAnyKind, &CScpiSession::initiate, "",
     "one fresh sweep (or capture); *OPC? and *WAI complete when its data are in"},
    {"INITiate:ZSPan", ScpiRow::kSet, kZeroSpan, &CScpiSession::initiateTimeCapture, "",
     "one time capture at the capture frequency (the window's Time Analysis; on the trigger when "
     "TRIG:SOUR VID); *OPC? and *WAI complete when its data are in, ABOR ends a wait"},
    {"ABORt", ScpiRow::kSet, kAnyKind, &CScpiSession::abort, "",
     "stops the analysis and the operation"},
    {"FORMat[:DATA]", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::format, "ASCii|REAL[,32]",
     "trace data as comma-separated dBm or as a block of 32-bit floats"},
    {"FORMat:BORDer", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::byteOrder,
     "NORMal|SWAPped", "byte order of REAL,32: big-endian (NORM) or little-endian (SWAP)"},
    {"TRACe[:DATA]?", ScpiRow::kQuery, kAnyKind, &CScpiSession::traceData,
     "TRACE1..TRACE5|DATALINE|TIME",
     "the trace's levels, dBm (-199 where it holds no sample); TIME (ZSP): the time capture's"},
    {"TRACe:POINts?", ScpiRow::kQuery, kAnyKind, &CScpiSession::tracePoints,
     "[TRACE1..5|DATALINE|TIME]", "points of the trace"},
    {"TRACe:X?", ScpiRow::kQuery, kAnyKind, &CScpiSession::traceX, "[TRACE1..5|DATALINE|TIME]",
     "frequency of every point, Hz; of a time line (TIME, and ZSP's TRACE1..5) its time, s, "
     "from the trigger point (from the capture's start when it runs free)"},
    {"CALCulate:MARKer#[:STATe]", ScpiRow::kSet | ScpiRow::kQuery, kSweptKinds,
     &CScpiSession::markerState, "ON|1", "ON selects and shows marker 1..5"},
    {"CALCulate:MARKer#:MAXimum:NEXT", ScpiRow::kSet, kSweptKinds, &CScpiSession::markerNext, "",
     "the marker to the next peak"},
    {"CALCulate:MARKer#:MAXimum[:PEAK]", ScpiRow::kSet, kSweptKinds, &CScpiSession::markerMax, "",
     "the marker to the highest peak"},
    {"CALCulate:MARKer#:X", ScpiRow::kSet | ScpiRow::kQuery, kSweptKinds, &CScpiSession::markerX,
     "<freq>", "marker frequency, Hz, within the window's range"},
    {"CALCulate:MARKer#:Y?", ScpiRow::kQuery, kSweptKinds, &CScpiSession::markerY, "",
     "level at the marker on the data line, dBm"},
    {"CALCulate:MARKer#:FUNCtion:BPOWer?", ScpiRow::kQuery, kSweptKinds,
     &CScpiSession::markerBandPower, "[<freq>]",
     "power in a band centred on the marker (default 10 RBW steps wide; moved inside the trace "
     "at its ends), dBm"},
    {"MMEMory:STORe:STATe", ScpiRow::kSet, kAnyKind, &CScpiSession::storeState, "\"<file>.SPE\"",
     "saves the window's settings as the Save Settings command does"},
    {"MMEMory:LOAD:STATe", ScpiRow::kSet, kAnyKind, &CScpiSession::loadState, "\"<file>.SPE\"",
     "loads the window's settings as the Load Settings command does"},
    {"MMEMory:STORe:TRACe", ScpiRow::kSet, kAnyKind, &CScpiSession::storeTrace, "\"<file>.csv\"",
     "writes the window's CSV data file"},
    {"HCOPy:SDUMp:DATA?", ScpiRow::kQuery, kAnyKind, &CScpiSession::screenDump, "",
     "the window's drawing (640 x 480) as a PNG block"},
    {"[SENSe]:SWEep:TIME", ScpiRow::kSet | ScpiRow::kQuery, kZeroSpan, &CScpiSession::sweepTime,
     "<time>|MIN|MAX|DEF", "capture time, s: 1 ms to 50 s in whole ms"},
    {"TRIGger[:SEQuence]:SOURce", ScpiRow::kSet | ScpiRow::kQuery, kZeroSpan,
     &CScpiSession::triggerSource, "IMMediate|VIDeo",
     "free run, or a capture on the trigger level"},
    {"TRIGger[:SEQuence]:SLOPe", ScpiRow::kSet | ScpiRow::kQuery, kZeroSpan,
     &CScpiSession::triggerSlope, "POSitive|NEGative",
     "the level rising above or falling below the line"},
    {"TRIGger[:SEQuence]:LEVel", ScpiRow::kSet | ScpiRow::kQuery, kZeroSpan,
     &CScpiSession::triggerLevel, "<level>|MIN|MAX|DEF", "trigger line, dBm, within the graph"},
    {"[SENSe]:ZSPan:FREQuency", ScpiRow::kSet | ScpiRow::kQuery, kZeroSpan,
     &CScpiSession::zeroSpanFrequency, "<freq>|MIN|MAX|DEF",
     "capture frequency, Hz: the zero-span marker, on the nearest captured bin of the spectrum "
     "(in band mode its first point)"},
    {"[SENSe]:WLAN:CHANnel", ScpiRow::kSet | ScpiRow::kQuery, kWlan, &CScpiSession::wlanChannel,
     "<channel number>|FULL|-1",
     "zooms on a channel of the channel list (span twice the channel's, at least 20 MHz) as its "
     "panel button does; FULL or -1: the whole band. ?: the channel zoomed on, -1 for none"},
    {"[SENSe]:MEDical:CHANnel", ScpiRow::kSet | ScpiRow::kQuery, kMedical,
     &CScpiSession::medicalChannel, "\"<title>\"|<0..9999>",
     "picks a channel by its title (\"A1001\"), or by number with the panel's letter as Channel "
     "by Number does, and centres on it. ?: the current channel's title, \"\" for none"},
    {"[SENSe]:MEDical:ALARm[:MODE]", ScpiRow::kSet | ScpiRow::kQuery, kMedical,
     &CScpiSession::medicalAlarm, "OFF|ABOVe|BELow",
     "the alarm: off, or when the wide data line rises above / falls below the alarm line"},
    {"[SENSe]:MEDical:ALARm:LEVel", ScpiRow::kSet | ScpiRow::kQuery, kMedical,
     &CScpiSession::medicalAlarmLevel, "<level>|MIN|MAX|DEF",
     "alarm line, dBm, within the wide graph"},
    {"[SENSe]:XPD[:VALue]?", ScpiRow::kQuery, kXpd, &CScpiSession::xpdValue, "",
     "XPD at the common peak, dB; 9.91E+37 while a path holds no signal"},
    {"[SENSe]:XPD:ALARm[:VALue]", ScpiRow::kSet | ScpiRow::kQuery, kXpd,
     &CScpiSession::xpdAlarmValue, "<level>|MIN|MAX|DEF",
     "alarm value, dB, -400 to 400 in hundredths (default 30): an XPD below it during an active "
     "period raises the alarm"},
    {"[SENSe]:XPD:ALARm:STATe?", ScpiRow::kQuery, kXpd, &CScpiSession::xpdAlarmState, "",
     "1 while the alarm is raised"},
    {"[SENSe]:XPD:DETect[:LEVel]", ScpiRow::kSet | ScpiRow::kQuery, kXpd,
     &CScpiSession::xpdDetectLevel, "<level>|MIN|MAX|DEF",
     "detect level, dBm, -400 to 400 in hundredths: a level above it on either path starts an "
     "active period"},
};

} // namespace

std::span<const ScpiRow> ScpiCommandTable() {
    return kRows;
}

const scpi::CScpiParser& ScpiCommandParser() {
    static const scpi::CScpiParser parser([] {
        std::vector<std::string_view> patterns;
        for (const ScpiRow& row : kRows)
            patterns.emplace_back(row.pattern);
        return patterns;
    }());
    return parser;
}
