#include "scpisession.h"

#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "device/TorvelAPI.h"
#include "draw/markercontext.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "remote/remotelink.h"
#include "trace/tracestore.h"

#include <QtEndian>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <dlfcn.h>

using scpi::Call;
using scpi::Param;

namespace {

constexpr unsigned kAnyKind = 0x7F;                 // window kinds 1..7
constexpr unsigned kSweptKinds = 0x7F & ~(1u << 2); // all but zero span's time capture
// Event status bits.
constexpr int kEsrOperationComplete = 1;
constexpr int kEsrQueryError = 4;
constexpr int kEsrDeviceError = 8;
constexpr int kEsrExecutionError = 16;
constexpr int kEsrCommandError = 32;
constexpr int kStbErrorQueue = 4;
constexpr int kStbEventSummary = 32;
constexpr int kStbRequestService = 64;

constexpr const char* kWindowKindNames[7] = {"NORM", "WLAN", "ZSP", "SRT", "RT", "MED", "XPD"};

constexpr ScpiRow kRows[] = {
    {"*IDN?", ScpiRow::kQuery, 0, &CScpiSession::idn, "",
     "Torvel,<device model>,<serial number>,<program version>"},
    {"*RST", ScpiRow::kSet, 0, &CScpiSession::rst, "",
     "stops the selected window's analysis, clears the format to ASCII and the error queue"},
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
     "centre frequency, Hz (kept even in kHz)"},
    {"[SENSe]:FREQuency:SPAN", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::frequencySpan, "<freq>|MIN|MAX|DEF",
     "span, Hz; a span of 10 RBW steps or less is not taken"},
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
     "<level>|MIN|MAX|DEF", "attenuation, dB, cut down to the attenuator's step"},
    {"INITiate:CONTinuous", ScpiRow::kSet | ScpiRow::kQuery, kAnyKind,
     &CScpiSession::initiateContinuous, "ON|OFF|1|0", "the window analyses continuously"},
    {"INITiate[:IMMediate]", ScpiRow::kSet, kAnyKind, &CScpiSession::initiate, "",
     "one fresh sweep (or capture); *OPC? and *WAI complete when its data are in"},
    {"ABORt", ScpiRow::kSet, kAnyKind, &CScpiSession::abort, "",
     "stops the analysis and the operation"},
    {"FORMat[:DATA]", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::format, "ASCii|REAL[,32]",
     "trace data as comma-separated dBm or as a block of 32-bit floats"},
    {"FORMat:BORDer", ScpiRow::kSet | ScpiRow::kQuery, 0, &CScpiSession::byteOrder,
     "NORMal|SWAPped", "byte order of REAL,32: big-endian (NORM) or little-endian (SWAP)"},
    {"TRACe[:DATA]?", ScpiRow::kQuery, kAnyKind, &CScpiSession::traceData,
     "TRACE1..TRACE5|DATALINE", "the trace's levels, dBm (-199 where it holds no sample)"},
    {"TRACe:POINts?", ScpiRow::kQuery, kAnyKind, &CScpiSession::tracePoints, "[TRACE1..5|DATALINE]",
     "points of the trace"},
    {"TRACe:X?", ScpiRow::kQuery, kAnyKind, &CScpiSession::traceX, "[TRACE1..5|DATALINE]",
     "frequency of every point, Hz"},
    {"CALCulate:MARKer#[:STATe]", ScpiRow::kSet | ScpiRow::kQuery, kSweptKinds,
     &CScpiSession::markerState, "ON|1", "ON selects and shows marker 1..5"},
    {"CALCulate:MARKer#:MAXimum:NEXT", ScpiRow::kSet, kSweptKinds, &CScpiSession::markerNext, "",
     "the marker to the next peak"},
    {"CALCulate:MARKer#:MAXimum[:PEAK]", ScpiRow::kSet, kSweptKinds, &CScpiSession::markerMax, "",
     "the marker to the highest peak"},
    {"CALCulate:MARKer#:X", ScpiRow::kSet | ScpiRow::kQuery, kSweptKinds, &CScpiSession::markerX,
     "<freq>", "marker frequency, Hz"},
    {"CALCulate:MARKer#:Y?", ScpiRow::kQuery, kSweptKinds, &CScpiSession::markerY, "",
     "level at the marker on the data line, dBm"},
    {"CALCulate:MARKer#:FUNCtion:BPOWer?", ScpiRow::kQuery, kSweptKinds,
     &CScpiSession::markerBandPower, "[<freq>]",
     "power in a band around the marker (default 10 RBW steps wide), dBm"},
    {"MMEMory:STORe:STATe", ScpiRow::kSet, kAnyKind, &CScpiSession::storeState, "\"<file>.SPE\"",
     "saves the window's settings as the Save Settings command does"},
    {"MMEMory:LOAD:STATe", ScpiRow::kSet, kAnyKind, &CScpiSession::loadState, "\"<file>.SPE\"",
     "loads the window's settings as the Load Settings command does"},
    {"MMEMory:STORe:TRACe", ScpiRow::kSet, kAnyKind, &CScpiSession::storeTrace, "\"<file>.csv\"",
     "writes the window's CSV data file"},
    {"HCOPy:SDUMp:DATA?", ScpiRow::kQuery, kAnyKind, &CScpiSession::screenDump, "",
     "the window's drawing (640 x 480) as a PNG block"},
};

const char* deviceModel() {
    // The analyser simulator is the device library when its own code is
    // loaded; a device library of real hardware has only the device interface.
    return dlsym(RTLD_DEFAULT, "_ZN9torvelsim10CSimulator11PowerSupplyEiiii") ? "Simulator"
                                                                              : "Analyser";
}

QByteArray quoted(const QString& text) {
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

QByteArray integer(long long v) {
    return QByteArray::number(v);
}

// "%.2f" of a level, by hand: a trace of 150 000 points is formatted per query.
void appendLevel(QByteArray& out, double db) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, db, std::chars_format::fixed, 2);
    out.append(buf, static_cast<qsizetype>(r.ptr - buf));
}

double levelOf(short word) {
    return word == kNoSample ? kNoLevelDb : word * kLevelUnitDb;
}

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

CScpiSession::CScpiSession(CRemoteLink* link, std::function<void(const QByteArray&)> send)
    : m_link(link), m_send(std::move(send)) {}

CScpiSession::~CScpiSession() {
    if (!m_opCore || !m_opSingle)
        return;
    const auto windows = m_link->RemoteWindows();
    if (std::find(windows.begin(), windows.end(), m_opCore) != windows.end() &&
        m_opCore->GetId() == m_opId && m_opCore->GetAnalyzeFlag())
        m_link->RemoteCommand(m_opCore, 16);
}

// ---- Lines

bool CScpiSession::RunLine(std::string_view line) {
    m_line = ScpiCommandParser().Parse(line);
    m_next = 0;
    m_response.clear();
    m_waiting = false;
    runCalls();
    return !m_waiting;
}

void CScpiSession::LineTooLong() {
    pushError(scpi::kInputBufferOverrun);
}

bool CScpiSession::Resume() {
    if (!m_waiting)
        return true;
    m_waiting = false;
    runCalls();
    return !m_waiting;
}

void CScpiSession::runCalls() {
    const auto rows = ScpiCommandTable();
    while (m_next < m_line.calls.size()) {
        const Call& call = m_line.calls[m_next];
        const ScpiRow& row = rows[static_cast<std::size_t>(call.row)];
        if (checkForm(row, call)) {
            m_current = &call;
            const bool done = (this->*row.handler)(call);
            m_current = nullptr;
            if (!done) {
                m_waiting = true;
                return;
            }
        }
        ++m_next;
    }
    if (m_line.error != scpi::kNoError)
        pushError(m_line.error);
    m_line = {};
    if (!m_response.isEmpty()) {
        m_response += '\n';
        m_send(m_response);
        m_response.clear();
    }
}

bool CScpiSession::checkForm(const ScpiRow& row, const Call& call) {
    if (!(row.forms & (call.query ? ScpiRow::kQuery : ScpiRow::kSet))) {
        pushError(scpi::kUndefinedHeader);
        return false;
    }
    return true;
}

void CScpiSession::answer(const QByteArray& text) {
    // The queries of one line answer in one line, separated by ';'.
    if (!m_response.isEmpty())
        m_response += ';';
    m_response += text;
}

void CScpiSession::pushError(int code, const char* info) {
    if (code >= -199 && code <= -100)
        m_esr |= kEsrCommandError;
    else if (code >= -299 && code <= -200)
        m_esr |= kEsrExecutionError;
    else if (code >= -399 && code <= -300)
        m_esr |= kEsrDeviceError;
    else if (code >= -499 && code <= -400)
        m_esr |= kEsrQueryError;
    QByteArray text = scpi::ErrorText(code);
    if (info)
        text += QByteArray(";") + info;
    if (m_errors.size() >= kErrorQueueSize) {
        // A full queue keeps its oldest errors; the last place says it overflowed.
        m_errors.back() = {scpi::kQueueOverflow, scpi::ErrorText(scpi::kQueueOverflow)};
        return;
    }
    m_errors.emplace_back(code, text);
}

// ---- Parameters

bool CScpiSession::noParameters(const Call& call) {
    if (!call.params.empty()) {
        pushError(scpi::kParameterNotAllowed);
        return false;
    }
    return true;
}

bool CScpiSession::number(const Call& call, std::size_t i, scpi::Unit unit, double min, double max,
                          double def, double* value) {
    if (i >= call.params.size()) {
        pushError(scpi::kMissingParameter);
        return false;
    }
    const Param& p = call.params[i];
    if (p.kind == Param::Kind::Mnemonic) {
        if (p.text == "MIN" || p.text == "MINIMUM")
            *value = min;
        else if (p.text == "MAX" || p.text == "MAXIMUM")
            *value = max;
        else if (p.text == "DEF" || p.text == "DEFAULT")
            *value = def;
        else {
            pushError(scpi::kIllegalParameterValue);
            return false;
        }
        return true;
    }
    if (p.kind != Param::Kind::Number) {
        pushError(scpi::kDataTypeError);
        return false;
    }
    int error = scpi::kNoError;
    if (!scpi::ToBaseUnit(p, unit, value, &error)) {
        pushError(error);
        return false;
    }
    if (*value < min || *value > max) {
        pushError(scpi::kDataOutOfRange);
        return false;
    }
    return true;
}

bool CScpiSession::boolean(const Call& call, std::size_t i, bool* value) {
    if (i >= call.params.size()) {
        pushError(scpi::kMissingParameter);
        return false;
    }
    const Param& p = call.params[i];
    if (p.kind == Param::Kind::Number && (p.number == 0 || p.number == 1) && p.unit.empty()) {
        *value = p.number == 1;
        return true;
    }
    if (p.kind == Param::Kind::Mnemonic && (p.text == "ON" || p.text == "OFF")) {
        *value = p.text == "ON";
        return true;
    }
    pushError(scpi::kIllegalParameterValue);
    return false;
}

bool CScpiSession::traceIndex(const Call& call, std::size_t i, int* k) {
    *k = 0;
    if (i >= call.params.size())
        return true;
    const Param& p = call.params[i];
    if (p.kind == Param::Kind::Mnemonic) {
        if (p.text == "DATALINE") {
            return true;
        }
        if (p.text.size() == 6 && p.text.starts_with("TRACE") && p.text[5] >= '1' &&
            p.text[5] <= '0' + kTraceCount) {
            *k = p.text[5] - '0';
            return true;
        }
    }
    pushError(scpi::kIllegalParameterValue);
    return false;
}

CAnalysisCore* CScpiSession::Selected() {
    if (!m_selected)
        return nullptr;
    const auto windows = m_link->RemoteWindows();
    if (std::find(windows.begin(), windows.end(), m_selected) == windows.end() ||
        m_selected->GetId() != m_selectedId) {
        m_selected = nullptr;
        return nullptr;
    }
    return m_selected;
}

CAnalysisCore* CScpiSession::target(const Call& call) {
    CAnalysisCore* core = Selected();
    if (!core) {
        // Without a selection the first window is taken, as a single-window
        // instrument would.
        const auto windows = m_link->RemoteWindows();
        if (!windows.empty()) {
            m_selected = windows.front();
            m_selectedId = m_selected->GetId();
            core = m_selected;
        }
    }
    if (!core) {
        pushError(scpi::kSettingsConflict, "no window");
        return nullptr;
    }
    const ScpiRow& row = ScpiCommandTable()[static_cast<std::size_t>(call.row)];
    const int kind = core->GetAnalysisType();
    if (kind < 1 || kind > 7 || !(row.kinds & (1u << (kind - 1)))) {
        pushError(scpi::kSettingsConflict, "not in this window kind");
        return nullptr;
    }
    return core;
}

// ---- Common commands

bool CScpiSession::idn(const Call& call) {
    if (!noParameters(call))
        return true;
    answer(QByteArray("Torvel,") + deviceModel() + "," + integer(GetSerialNumber()) + "," +
           TORVEL_VERSION);
    return true;
}

bool CScpiSession::rst(const Call& call) {
    if (!noParameters(call))
        return true;
    endOperation();
    if (CAnalysisCore* core = Selected(); core && core->GetAnalyzeFlag())
        m_link->RemoteCommand(core, 16);
    m_real32 = false;
    m_swapped = false;
    return true;
}

bool CScpiSession::cls(const Call& call) {
    if (!noParameters(call))
        return true;
    m_errors.clear();
    m_esr = 0;
    return true;
}

bool CScpiSession::opc(const Call& call) {
    if (!noParameters(call))
        return true;
    if (!call.query) {
        if (m_opCore)
            m_opcPending = true;
        else
            m_esr |= kEsrOperationComplete;
        return true;
    }
    if (m_opCore)
        return false;
    answer("1");
    return true;
}

bool CScpiSession::wai(const Call& call) {
    if (!noParameters(call))
        return true;
    return m_opCore == nullptr;
}

bool CScpiSession::esr(const Call& call) {
    if (!noParameters(call))
        return true;
    answer(integer(m_esr));
    m_esr = 0;
    return true;
}

bool CScpiSession::ese(const Call& call) {
    if (call.query) {
        answer(integer(m_ese));
        return true;
    }
    double v = 0;
    if (number(call, 0, scpi::Unit::None, 0, 255, 0, &v))
        m_ese = static_cast<int>(v);
    return true;
}

bool CScpiSession::stb(const Call& call) {
    if (!noParameters(call))
        return true;
    int status = m_errors.empty() ? 0 : kStbErrorQueue;
    if (m_esr & m_ese)
        status |= kStbEventSummary;
    if (status & m_sre)
        status |= kStbRequestService;
    answer(integer(status));
    return true;
}

bool CScpiSession::sre(const Call& call) {
    if (call.query) {
        answer(integer(m_sre));
        return true;
    }
    double v = 0;
    if (number(call, 0, scpi::Unit::None, 0, 255, 0, &v))
        m_sre = static_cast<int>(v);
    return true;
}

bool CScpiSession::tst(const Call& call) {
    if (!noParameters(call))
        return true;
    // The device answers when its facts can be read.
    answer(GetMaxFrequency(1) > 0 ? "0" : "1");
    return true;
}

bool CScpiSession::systemError(const Call& call) {
    if (!noParameters(call))
        return true;
    if (m_errors.empty()) {
        answer("0,\"No error\"");
        return true;
    }
    const auto [code, text] = m_errors.front();
    m_errors.pop_front();
    answer(integer(code) + ",\"" + text + "\"");
    return true;
}

bool CScpiSession::systemErrorCount(const Call& call) {
    if (noParameters(call))
        answer(integer(static_cast<long long>(m_errors.size())));
    return true;
}

bool CScpiSession::systemVersion(const Call& call) {
    if (noParameters(call))
        answer("1999.0");
    return true;
}

// ---- Windows

bool CScpiSession::instrumentList(const Call& call) {
    if (!noParameters(call))
        return true;
    QByteArray out;
    int n = 0;
    for (CAnalysisCore* core : m_link->RemoteWindows()) {
        if (!out.isEmpty())
            out += ',';
        out += quoted(m_link->RemoteWindowTitle(core)) + "," + integer(++n);
    }
    answer(out.isEmpty() ? QByteArray("\"\"") : out);
    return true;
}

bool CScpiSession::instrumentSelect(const Call& call) {
    const auto windows = m_link->RemoteWindows();
    if (call.query) {
        CAnalysisCore* core = Selected();
        const auto it = std::find(windows.begin(), windows.end(), core);
        answer(it == windows.end() ? QByteArray("0") : integer(it - windows.begin() + 1));
        return true;
    }
    if (call.params.size() != 1) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kParameterNotAllowed);
        return true;
    }
    const Param& p = call.params[0];
    CAnalysisCore* chosen = nullptr;
    if (p.kind == Param::Kind::Number && p.unit.empty()) {
        const double n = p.number;
        if (n >= 1 && n <= static_cast<double>(windows.size()) && n == std::floor(n))
            chosen = windows[static_cast<std::size_t>(n) - 1];
    } else if (p.kind == Param::Kind::String) {
        for (CAnalysisCore* core : windows)
            if (m_link->RemoteWindowTitle(core) == QString::fromUtf8(p.text.c_str()))
                chosen = core;
    } else {
        pushError(scpi::kDataTypeError);
        return true;
    }
    if (!chosen) {
        pushError(scpi::kIllegalParameterValue, "no such window");
        return true;
    }
    m_selected = chosen;
    m_selectedId = chosen->GetId();
    m_link->RemoteMarkWindow(chosen);
    return true;
}

bool CScpiSession::instrumentCreate(const Call& call) {
    if (call.params.size() != 1 || call.params[0].kind != Param::Kind::Mnemonic) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kIllegalParameterValue);
        return true;
    }
    const std::string& name = call.params[0].text;
    int kind = 0;
    for (int k = 0; k < 7; ++k)
        if (name == kWindowKindNames[k] || (k == 0 && name == "NORMAL"))
            kind = k + 1;
    if (kind == 0) {
        pushError(scpi::kIllegalParameterValue);
        return true;
    }
    CAnalysisCore* core = m_link->RemoteOpenWindow(kind);
    if (!core) {
        pushError(scpi::kExecutionError, "window not opened");
        return true;
    }
    m_selected = core;
    m_selectedId = core->GetId();
    m_link->RemoteMarkWindow(core);
    return true;
}

bool CScpiSession::instrumentDelete(const Call& call) {
    if (!noParameters(call))
        return true;
    if (CAnalysisCore* core = target(call))
        m_link->RemoteCloseWindow(core); // WindowClosing clears the selection
    return true;
}

// ---- Measurement set-up

namespace {
// Which frequency a command sets.
enum { kCenter, kSpan, kStart, kStop };
} // namespace

bool CScpiSession::frequency(const Call& call, int which) {
    CAnalysisCore* core = target(call);
    auto* normal = dynamic_cast<CNormalAnalysis*>(core);
    if (!core)
        return true;
    if (!normal) {
        pushError(scpi::kSettingsConflict, "not in this window kind");
        return true;
    }
    const int start = normal->GetStart(), stop = normal->GetStop();
    if (call.query) {
        if (!noParameters(call))
            return true;
        const long long kHz[] = {normal->GetCenter(), stop - start, start, stop};
        answer(integer(kHz[which] * 1000LL));
        return true;
    }
    const double minHz = GetMinFrequency(1) * 1000.0, maxHz = GetMaxFrequency(1) * 1000.0;
    const double defaults[] = {(minHz + maxHz) / 2, maxHz - minHz, minHz, maxHz};
    double hz = 0;
    if (!number(call, 0, scpi::Unit::Frequency, which == kSpan ? 0.0 : minHz,
                which == kSpan ? maxHz - minHz : maxHz, defaults[which], &hz))
        return true;
    if (call.params.size() > 1) {
        pushError(scpi::kParameterNotAllowed);
        return true;
    }
    const int kHz = static_cast<int>(std::llround(hz / 1000.0));
    const int rbw = core->GetRBWIndex(), att = core->GetAttenuation();
    // The commands of the command list that set a range: 103 by start and
    // stop, 104 by centre and span.
    switch (which) {
    case kCenter: {
        // The centre is kept and the span narrowed to fit around it, as on a
        // bench analyser (the range command would move the centre instead).
        const long long room =
            2LL * std::min<long long>(kHz - GetMinFrequency(1), GetMaxFrequency(1) - kHz);
        const int span = static_cast<int>(std::clamp<long long>(room, 0, stop - start));
        m_link->RemoteCommand(core, 104, kHz, span, rbw, att);
        break;
    }
    case kSpan:
        m_link->RemoteCommand(core, 104, normal->GetCenter(), kHz, rbw, att);
        break;
    case kStart:
        m_link->RemoteCommand(core, 103, kHz, stop, rbw, att);
        break;
    case kStop:
        m_link->RemoteCommand(core, 103, start, kHz, rbw, att);
        break;
    }
    return true;
}

bool CScpiSession::frequencyCenter(const Call& call) {
    return frequency(call, kCenter);
}
bool CScpiSession::frequencySpan(const Call& call) {
    return frequency(call, kSpan);
}
bool CScpiSession::frequencyStart(const Call& call) {
    return frequency(call, kStart);
}
bool CScpiSession::frequencyStop(const Call& call) {
    return frequency(call, kStop);
}

bool CScpiSession::bandwidth(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    const int mask = core->GetRBWKindMask();
    if (call.query) {
        if (noParameters(call))
            answer(
                integer(static_cast<long long>(GetRBWFrequency(mask, core->GetRBWIndex())) * 1000));
        return true;
    }
    int lowest = -1, highest = -1;
    for (int i = 0; i < kRbwIndexCount; ++i) {
        const int step = GetRBWFrequency(mask, i);
        if (step <= 0)
            continue;
        if (lowest < 0 || step < GetRBWFrequency(mask, lowest))
            lowest = i;
        if (highest < 0 || step > GetRBWFrequency(mask, highest))
            highest = i;
    }
    if (lowest < 0) {
        pushError(scpi::kHardwareMissing);
        return true;
    }
    double hz = 0;
    const double minHz = GetRBWFrequency(mask, lowest) * 1000.0;
    const double maxHz = GetRBWFrequency(mask, highest) * 1000.0;
    // Any bandwidth within the device's steps is taken as the nearest step.
    if (!number(call, 0, scpi::Unit::Frequency, 0, maxHz * 10, minHz, &hz))
        return true;
    int best = lowest;
    for (int i = 0; i < kRbwIndexCount; ++i) {
        const int step = GetRBWFrequency(mask, i);
        if (step > 0 &&
            std::fabs(step * 1000.0 - hz) < std::fabs(GetRBWFrequency(mask, best) * 1000.0 - hz))
            best = i;
    }
    m_link->RemoteCommand(core, 24, best);
    return true;
}

bool CScpiSession::referenceLevel(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    const double zero = GetZeroReferenceLevel();
    if (call.query) {
        if (noParameters(call))
            answer(QByteArray::number(zero + core->GetAttenuation(), 'f', 2));
        return true;
    }
    const int maxAtt = GetMaxAttenuation();
    double level = 0;
    if (!number(call, 0, scpi::Unit::Level, zero, zero + maxAtt, zero + 30, &level))
        return true;
    const int step = std::max(1, GetAttenuatorStep());
    int att = static_cast<int>(level - zero);
    att -= att % step;
    m_link->RemoteCommand(core, 17, std::clamp(att, 0, maxAtt));
    return true;
}

bool CScpiSession::perDivision(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    static constexpr int kPerDivision[] = {10, 5, 2}; // scales 1, 2, 3
    if (call.query) {
        const int scale = core->GetScale();
        if (noParameters(call))
            answer(integer(scale >= 1 && scale <= 3 ? kPerDivision[scale - 1] : 0));
        return true;
    }
    double db = 0;
    if (!number(call, 0, scpi::Unit::Level, 2, 10, 10, &db))
        return true;
    for (int s = 0; s < 3; ++s) {
        if (db == kPerDivision[s]) {
            m_link->RemoteCommand(core, 31, s + 1);
            return true;
        }
    }
    pushError(scpi::kIllegalParameterValue, "10, 5 or 2 dB");
    return true;
}

bool CScpiSession::attenuation(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(integer(core->GetAttenuation()));
        return true;
    }
    const int maxAtt = GetMaxAttenuation();
    double db = 0;
    if (!number(call, 0, scpi::Unit::Level, 0, maxAtt, 30, &db))
        return true;
    const int step = std::max(1, GetAttenuatorStep());
    int att = static_cast<int>(db);
    att -= att % step;
    m_link->RemoteCommand(core, 17, att);
    return true;
}

// ---- Sweeps

bool CScpiSession::initiateContinuous(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(core->GetAnalyzeFlag() ? "1" : "0");
        return true;
    }
    bool on = false;
    if (!boolean(call, 0, &on))
        return true;
    if (m_opCore == core)
        m_opSingle = false; // the window keeps the state asked for now
    if ((core->GetAnalyzeFlag() != 0) != on)
        m_link->RemoteCommand(core, 16);
    return true;
}

bool CScpiSession::initiate(const Call& call) {
    if (!noParameters(call))
        return true;
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    endOperation();
    const bool single = !core->GetAnalyzeFlag();
    startOperation(core, single);
    if (single)
        m_link->RemoteCommand(core, 16);
    return true;
}

bool CScpiSession::abort(const Call& call) {
    if (!noParameters(call))
        return true;
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    endOperation();
    if (core->GetAnalyzeFlag())
        m_link->RemoteCommand(core, 16);
    return true;
}

namespace {
// The kinds whose data line is swept block by block from its first point.
bool sweepsBlocks(CAnalysisCore* core) {
    const int kind = core->GetAnalysisType();
    return (kind == 1 || kind == 2 || kind == 6) && dynamic_cast<CNormalAnalysis*>(core);
}
} // namespace

void CScpiSession::startOperation(CAnalysisCore* core, bool single) {
    m_opCore = core;
    m_opId = core->GetId();
    m_opSingle = single;
    m_opCovered = 0;
    // A block under way began before INIT: it does not count.
    m_opSkip = core->GetTaskRunning() != 0;
    m_opPosition = sweepsBlocks(core) ? static_cast<CNormalAnalysis*>(core)->GetSweepPosition() : 0;
}

void CScpiSession::endOperation() {
    if (!m_opCore)
        return;
    m_opCore = nullptr;
    m_opId = 0;
    if (m_opcPending)
        m_esr |= kEsrOperationComplete;
    m_opcPending = false;
}

void CScpiSession::DataArrived(CAnalysisCore* core) {
    if (!m_opCore || core != m_opCore || core->GetId() != m_opId)
        return;
    // A swept window is done when every point of its data line was stored
    // since INIT; the other kinds with their first block of data.
    if (sweepsBlocks(core)) {
        auto* normal = static_cast<CNormalAnalysis*>(core);
        const CTraceStore* line = normal->GetDataLine();
        const long long points = line->GetPoints();
        const long long end = normal->GetSweepPosition();
        const long long start = m_opPosition >= points ? 0 : m_opPosition;
        m_opPosition = end;
        if (m_opSkip) {
            m_opSkip = false;
            return;
        }
        // The first block after the traces were restarted only restarts them
        // (the trace's last position is then the grid's end past the block's
        // start, not the block's end); a sweep that went back began again.
        if (static_cast<long long>(line->GetLastPosition()) != end || end < start)
            m_opCovered = 0;
        else
            m_opCovered += end - start;
        if (m_opCovered < points)
            return;
    } else if (m_opSkip) {
        m_opSkip = false;
        return;
    }
    const bool single = m_opSingle;
    endOperation();
    if (single && core->GetAnalyzeFlag())
        m_link->RemoteCommand(core, 16);
}

void CScpiSession::WindowClosing(CAnalysisCore* core) {
    if (m_opCore == core) {
        endOperation();
        pushError(scpi::kExecutionError, "window closed");
    }
    if (m_selected == core)
        m_selected = nullptr;
}

// ---- Data

bool CScpiSession::format(const Call& call) {
    if (call.query) {
        answer(m_real32 ? "REAL,32" : "ASC,8");
        return true;
    }
    if (call.params.empty()) {
        pushError(scpi::kMissingParameter);
        return true;
    }
    const Param& p = call.params[0];
    if (p.kind == Param::Kind::Mnemonic && (p.text == "ASC" || p.text == "ASCII") &&
        call.params.size() <= 2) {
        m_real32 = false;
    } else if (p.kind == Param::Kind::Mnemonic && p.text == "REAL" &&
               (call.params.size() == 1 ||
                (call.params.size() == 2 && call.params[1].kind == Param::Kind::Number &&
                 call.params[1].number == 32))) {
        m_real32 = true;
    } else {
        pushError(scpi::kIllegalParameterValue);
    }
    return true;
}

bool CScpiSession::byteOrder(const Call& call) {
    if (call.query) {
        answer(m_swapped ? "SWAP" : "NORM");
        return true;
    }
    if (call.params.size() != 1 || call.params[0].kind != Param::Kind::Mnemonic) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kIllegalParameterValue);
        return true;
    }
    const std::string& t = call.params[0].text;
    if (t == "NORM" || t == "NORMAL")
        m_swapped = false;
    else if (t == "SWAP" || t == "SWAPPED")
        m_swapped = true;
    else
        pushError(scpi::kIllegalParameterValue);
    return true;
}

QByteArray CScpiSession::block(const QByteArray& bytes) const {
    const QByteArray length = QByteArray::number(bytes.size());
    return "#" + QByteArray::number(length.size()) + length + bytes;
}

QByteArray CScpiSession::levels(const short* words, std::size_t n) const {
    QByteArray out;
    if (m_real32) {
        QByteArray bytes(static_cast<qsizetype>(n * 4), Qt::Uninitialized);
        char* p = bytes.data();
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            const float v = static_cast<float>(levelOf(words[i]));
            if (m_swapped)
                qToLittleEndian(v, p);
            else
                qToBigEndian(v, p);
        }
        return block(bytes);
    }
    out.reserve(static_cast<qsizetype>(n * 8));
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            out += ',';
        appendLevel(out, levelOf(words[i]));
    }
    return out;
}

bool CScpiSession::traceData(const Call& call) {
    CAnalysisCore* core = target(call);
    int k = 0;
    if (!core || !traceIndex(call, 0, &k))
        return true;
    if (call.params.size() > 1) {
        pushError(scpi::kParameterNotAllowed);
        return true;
    }
    const CTraceStore* trace = k == 0 ? core->GetDataLine() : core->GetTrace(k);
    if (!trace || !trace->HasArray()) {
        pushError(scpi::kSettingsConflict, "no trace data");
        return true;
    }
    answer(levels(trace->GetData(), trace->GetPoints()));
    return true;
}

bool CScpiSession::tracePoints(const Call& call) {
    CAnalysisCore* core = target(call);
    int k = 0;
    if (!core || !traceIndex(call, 0, &k))
        return true;
    const CTraceStore* trace = k == 0 ? core->GetDataLine() : core->GetTrace(k);
    answer(integer(trace && trace->HasArray() ? trace->GetPoints() : 0));
    return true;
}

bool CScpiSession::traceX(const Call& call) {
    CAnalysisCore* core = target(call);
    int k = 0;
    if (!core || !traceIndex(call, 0, &k))
        return true;
    const CTraceStore* trace = k == 0 ? core->GetDataLine() : core->GetTrace(k);
    if (!trace || !trace->HasArray()) {
        pushError(scpi::kSettingsConflict, "no trace data");
        return true;
    }
    const long long start = trace->GetStart(), step = trace->GetStep();
    const std::size_t n = trace->GetPoints();
    if (m_real32) {
        QByteArray bytes(static_cast<qsizetype>(n * 4), Qt::Uninitialized);
        char* p = bytes.data();
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            const float hz =
                static_cast<float>((start + static_cast<long long>(i) * step) * 1000.0);
            if (m_swapped)
                qToLittleEndian(hz, p);
            else
                qToBigEndian(hz, p);
        }
        answer(block(bytes));
        return true;
    }
    QByteArray out;
    out.reserve(static_cast<qsizetype>(n * 12));
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            out += ',';
        out += QByteArray::number((start + static_cast<long long>(i) * step) * 1000LL);
    }
    answer(out);
    return true;
}

// ---- Markers

namespace {
CMarkerContext* markerOf(CAnalysisCore* core, int n) {
    return n >= 1 && n <= kMarkerCount ? core->GetMarker(n) : nullptr;
}
} // namespace

bool CScpiSession::markerState(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    const int n = call.suffix[0];
    CMarkerContext* marker = markerOf(core, n);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    if (call.query) {
        answer(marker->GetRedrawFlag() ? "1" : "0");
        return true;
    }
    bool on = false;
    if (!boolean(call, 0, &on))
        return true;
    if (!on) {
        pushError(scpi::kSettingsConflict, "a marker is hidden from the window only");
        return true;
    }
    // Action 34 selects the marker and shows it (choosing the selected one
    // again would deselect it).
    if (core->GetCurrentMarkerIndex() != n)
        m_link->RemoteCommand(core, 34, n);
    return true;
}

namespace {
// Selects marker n as the command list does, for the marker actions that work
// on the current marker.
bool selectMarker(CRemoteLink* link, CAnalysisCore* core, int n) {
    if (n < 1 || n > kMarkerCount)
        return false;
    if (core->GetCurrentMarkerIndex() != n)
        link->RemoteCommand(core, 34, n);
    return true;
}
} // namespace

bool CScpiSession::markerMax(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    if (!selectMarker(m_link, core, call.suffix[0])) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    m_link->RemoteCommand(core, 36);
    return true;
}

bool CScpiSession::markerNext(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    if (!selectMarker(m_link, core, call.suffix[0])) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    m_link->RemoteCommand(core, 37);
    return true;
}

bool CScpiSession::markerX(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    CMarkerContext* marker = markerOf(core, call.suffix[0]);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    if (call.query) {
        answer(integer(static_cast<long long>(marker->GetSelectedFrequency()) * 1000));
        return true;
    }
    double hz = 0;
    if (!number(call, 0, scpi::Unit::Frequency, 0, GetMaxFrequency(1) * 1000.0, 0, &hz))
        return true;
    // Action 105 places marker p1 at p2 kHz (the centre when outside the graph) and shows it.
    m_link->RemoteCommand(core, 105, call.suffix[0], static_cast<int>(std::llround(hz / 1000.0)));
    return true;
}

bool CScpiSession::markerY(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    CMarkerContext* marker = markerOf(core, call.suffix[0]);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    const CTraceStore* line = core->GetDataLine();
    const short word = line ? line->Sample(marker->GetSelectedFrequency()) : kNoSample;
    answer(QByteArray::number(levelOf(word), 'f', 2));
    return true;
}

bool CScpiSession::markerBandPower(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    CMarkerContext* marker = markerOf(core, call.suffix[0]);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    const double stepHz = GetRBWFrequency(core->GetRBWKindMask(), core->GetRBWIndex()) * 1000.0;
    double width = stepHz * 10;
    if (!call.params.empty() &&
        !number(call, 0, scpi::Unit::Frequency, stepHz, GetMaxFrequency(1) * 1000.0, width, &width))
        return true;
    const CTraceStore* line = core->GetDataLine();
    const double power =
        line ? line->BandPower(marker->GetSelectedFrequency(), std::llround(width / 1000.0))
             : kNoLevelDb;
    answer(QByteArray::number(power, 'f', 2));
    return true;
}

// ---- Files and pictures

namespace {
// Runs a file command of the command list with its dialogs answered by path:
// the chosen file is path, a file that is there is replaced, and what the
// command reports is collected instead of shown.
int runFileCommand(CRemoteLink* link, CAnalysisCore* core, int action, const CString& path,
                   CString* report, bool* warned) {
    CCorePrompts& prompts = core->GetLoggingOutput().Prompts();
    const CCorePrompts saved = prompts;
    prompts.chooseSavePath = [path](const char*) { return path; };
    prompts.chooseOpenPath = [path](const char*) { return path; };
    prompts.askYesNo = [](const CString&) { return true; };
    prompts.message = [report](const CString& text) { *report = text; };
    prompts.warning = [report, warned](const CString& text) {
        *report = text;
        *warned = true;
    };
    const int result = link->RemoteCommand(core, action);
    // The window may have gone in the command (it never does: no dialog runs).
    const auto windows = link->RemoteWindows();
    if (std::find(windows.begin(), windows.end(), core) != windows.end())
        core->GetLoggingOutput().Prompts() = saved;
    return result;
}

bool fileName(const Call& call, CString* path) {
    if (call.params.size() != 1 || call.params[0].kind != Param::Kind::String ||
        call.params[0].text.empty())
        return false;
    *path = CString(call.params[0].text);
    return true;
}
} // namespace

bool CScpiSession::storeState(const Call& call) {
    CAnalysisCore* core = target(call);
    CString path;
    if (!core)
        return true;
    if (!fileName(call, &path)) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kDataTypeError);
        return true;
    }
    CString report;
    bool warned = false;
    runFileCommand(m_link, core, 8, path, &report, &warned);
    const char* saved = GetTorvelString(kStrSaveSucceeded);
    if (warned || !saved || report != saved)
        pushError(scpi::kMassStorageError, "not saved");
    return true;
}

bool CScpiSession::loadState(const Call& call) {
    CAnalysisCore* core = target(call);
    CString path;
    if (!core)
        return true;
    if (!fileName(call, &path)) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kDataTypeError);
        return true;
    }
    CString report;
    bool warned = false;
    const int result = runFileCommand(m_link, core, 9, path, &report, &warned);
    if (result <= 0 || warned || !report.IsEmpty())
        pushError(result <= 0 ? scpi::kFileNameNotFound : scpi::kMassStorageError, "not loaded");
    return true;
}

bool CScpiSession::storeTrace(const Call& call) {
    CAnalysisCore* core = target(call);
    CString path;
    if (!core)
        return true;
    if (!fileName(call, &path)) {
        pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kDataTypeError);
        return true;
    }
    // The CSV data file the Save Data command writes, without its dialog.
    const int ok = core->RunOutsideRotation([&] { return core->WriteCSVFile(path); });
    if (ok != 1)
        pushError(scpi::kMassStorageError, "not saved");
    return true;
}

bool CScpiSession::screenDump(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    const QByteArray png = m_link->RemoteWindowPng(core);
    if (png.isEmpty()) {
        pushError(scpi::kExecutionError, "no picture");
        return true;
    }
    answer(block(png));
    return true;
}
