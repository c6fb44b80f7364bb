#include "scpisession.h"

#include "analysis/analysiscore.h"
#include "analysis/loggingoutput.h"
#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"
#include "remote/remotelink.h"
#include "remote/scpiinstrument.h"
#include "remote/scpiprompts.h"

#include <algorithm>
#include <cmath>

using scpi::Call;
using scpi::Param;

namespace {

// Event status bits (bit 0, operation complete, is the class's).
constexpr int kEsrQueryError = 4;
constexpr int kEsrDeviceError = 8;
constexpr int kEsrExecutionError = 16;
constexpr int kEsrCommandError = 32;
constexpr int kStbErrorQueue = 4;
constexpr int kStbEventSummary = 32;
constexpr int kStbRequestService = 64;

constexpr const char* kWindowKindNames[7] = {"NORM", "WLAN", "ZSP", "SRT", "RT", "MED", "XPD"};

// The model field of *IDN?: the device library in use.
const char* deviceModel() {
    const std::string choice = torveldevice::LoadedDeviceChoice();
    if (choice.empty() || choice == torveldevice::kSimulatorChoice)
        return "Simulator";
    if (!torveldevice::LoadedDeviceCalibrated())
        return "SoapySDR";
    return "Analyser";
}

} // namespace

QByteArray ScpiQuoted(const QString& text) {
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string CScpiSession::errorInfo(std::string text) {
    // The text goes inside the error's quotes, on one line.
    for (char& c : text)
        if (c == '"' || static_cast<unsigned char>(c) < 0x20)
            c = c == '"' ? '\'' : ' ';
    return text;
}

QByteArray CScpiSession::integerText(long long v) {
    return QByteArray::number(v);
}

CScpiSession::CScpiSession(CScpiInstrument& instrument, std::function<void(const QByteArray&)> send,
                           std::function<bool()> outputFull)
    : m_instrument(instrument), m_link(instrument.Link()), m_send(std::move(send)),
      m_outputFull(std::move(outputFull)) {}

CScpiSession::~CScpiSession() {
    if (!m_opCore || !m_opSingle)
        return;
    const auto windows = m_link->RemoteWindows();
    if (std::find(windows.begin(), windows.end(), m_opCore) != windows.end() &&
        m_opCore->GetId() == m_opId && m_opCore->GetAnalyzeFlag())
        command(m_opCore, 16);
}

// ---- Lines

bool CScpiSession::RunLine(std::string_view line) {
    m_line = ScpiCommandParser().Parse(line);
    m_next = 0;
    m_response.clear();
    m_responseSent = false;
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
        // Answers not taken yet: the rest of the line waits until they are.
        if (m_outputFull && m_outputFull()) {
            m_waiting = true;
            return;
        }
        const Call& call = m_line.calls[m_next];
        const ScpiRow& row = rows[static_cast<std::size_t>(call.row)];
        if (checkForm(row, call) && checkAccess(row)) {
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
    ++m_linesRun;
    if (!m_response.isEmpty() || m_responseSent) {
        m_response += '\n';
        m_send(m_response);
        m_response.clear();
        m_responseSent = false;
    }
}

bool CScpiSession::checkForm(const ScpiRow& row, const Call& call) {
    if (!(row.forms & (call.query ? ScpiRow::kQuery : ScpiRow::kSet))) {
        pushError(scpi::kUndefinedHeader);
        return false;
    }
    return true;
}

bool CScpiSession::checkAccess(const ScpiRow& row) {
    if (row.unprotected || !m_instrument.HasAccessCode() ||
        m_unlocked == m_instrument.AccessCodeGeneration())
        return true;
    pushError(scpi::kCommandProtected);
    return false;
}

void CScpiSession::answer(const QByteArray& text) {
    // The queries of one line answer in one line, separated by ';'.
    if (!m_response.isEmpty() || m_responseSent)
        m_response += ';';
    m_response += text;
    if (m_response.size() > kAnswerPart) {
        m_send(m_response);
        m_response.clear();
        m_responseSent = true;
    }
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

int CScpiSession::command(CAnalysisCore* core, int action, int p1, int p2, int p3, int p4) {
    int result = 0;
    CString warning;
    {
        // A report is not told; a question is answered no.
        CScpiQuietPrompts quiet(m_link, core);
        result = m_link->RemoteCommand(core, action, p1, p2, p3, p4);
        if (quiet.warned)
            warning = quiet.report;
    }
    if (!warning.IsEmpty())
        pushWarning(warning.c_str());
    return result;
}

void CScpiSession::pushWarning(const std::string& text) {
    pushError(scpi::kSettingsConflict, errorInfo(text).c_str());
}

void CScpiSession::DeviceRefused(CAnalysisCore* core, const QString& text) {
    // The window this client's commands go to (the first without a
    // selection), or the one it waits for.
    CAnalysisCore* mine = Selected();
    if (!mine) {
        const auto windows = m_link->RemoteWindows();
        mine = windows.empty() ? nullptr : windows.front();
    }
    if (core && (core == mine || core == m_opCore))
        pushWarning(text.toStdString());
}

// ---- Parameters

bool CScpiSession::noParameters(const Call& call) {
    if (!call.params.empty()) {
        pushError(scpi::kParameterNotAllowed);
        return false;
    }
    return true;
}

int CScpiSession::limitNamed(const Param& p) {
    if (p.kind != Param::Kind::Mnemonic)
        return kNoLimit;
    if (p.text == "MIN" || p.text == "MINIMUM")
        return kMinLimit;
    if (p.text == "MAX" || p.text == "MAXIMUM")
        return kMaxLimit;
    if (p.text == "DEF" || p.text == "DEFAULT")
        return kDefaultLimit;
    return kNoLimit;
}

bool CScpiSession::number(const Call& call, std::size_t i, scpi::Unit unit, double min, double max,
                          double def, double* value) {
    if (i >= call.params.size()) {
        pushError(scpi::kMissingParameter);
        return false;
    }
    const Param& p = call.params[i];
    if (p.kind == Param::Kind::Mnemonic) {
        const int limit = limitNamed(p);
        if (limit == kNoLimit) {
            pushError(scpi::kIllegalParameterValue);
            return false;
        }
        *value = limit == kMinLimit ? min : limit == kMaxLimit ? max : def;
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
        if (p.text == "TIME") {
            *k = kTimeLine;
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
        m_selectionLost = true;
        return nullptr;
    }
    return m_selected;
}

void CScpiSession::select(CAnalysisCore* core) {
    m_selected = core;
    m_selectedId = core->GetId();
    m_selectionLost = false;
}

CAnalysisCore* CScpiSession::target(const Call& call) {
    CAnalysisCore* core = Selected();
    if (!core && m_selectionLost) {
        // The window the client worked on is gone: no other takes its place
        // unasked.
        pushError(scpi::kSettingsConflict, "selected window closed");
        return nullptr;
    }
    if (!core) {
        // Without a selection the first window is taken, as a single-window
        // instrument would.
        const auto windows = m_link->RemoteWindows();
        if (!windows.empty()) {
            select(windows.front());
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
    answer(QByteArray("Torvel,") + deviceModel() + "," + integerText(GetSerialNumber()) + "," +
           TORVEL_VERSION);
    return true;
}

bool CScpiSession::rst(const Call& call) {
    if (!noParameters(call))
        return true;
    endOperation();
    if (CAnalysisCore* core = Selected(); core && core->GetAnalyzeFlag())
        command(core, 16);
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
    answer(integerText(m_esr));
    m_esr = 0;
    return true;
}

bool CScpiSession::ese(const Call& call) {
    if (call.query) {
        answer(integerText(m_ese));
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
    answer(integerText(status));
    return true;
}

bool CScpiSession::sre(const Call& call) {
    if (call.query) {
        answer(integerText(m_sre));
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
    answer(integerText(code) + ",\"" + text + "\"");
    return true;
}

bool CScpiSession::systemErrorCount(const Call& call) {
    if (noParameters(call))
        answer(integerText(static_cast<long long>(m_errors.size())));
    return true;
}

bool CScpiSession::systemVersion(const Call& call) {
    if (noParameters(call))
        answer("1999.0");
    return true;
}

bool CScpiSession::passwordEnable(const Call& call) {
    if (call.params.size() != 1 || call.params[0].kind != Param::Kind::String) {
        pushError(call.params.empty()      ? scpi::kMissingParameter
                  : call.params.size() > 1 ? scpi::kParameterNotAllowed
                                           : scpi::kDataTypeError);
        return true;
    }
    if (!m_instrument.HasAccessCode())
        return true;
    // A try after a wrong one, of any client, waits: codes are not tried fast.
    m_codeWait = m_instrument.AccessCodeTriesHeld();
    if (m_codeWait)
        return false;
    if (m_instrument.AccessCodeMatches(call.params[0].text))
        m_unlocked = m_instrument.AccessCodeGeneration();
    else
        pushError(scpi::kIllegalParameterValue, "wrong access code");
    return true;
}

// ---- Windows

bool CScpiSession::instrumentList(const Call& call) {
    if (!noParameters(call))
        return true;
    QByteArray out;
    for (const auto& [number, core] : m_instrument.Windows()) {
        if (!out.isEmpty())
            out += ',';
        out += ScpiQuoted(m_link->RemoteWindowTitle(core)) + "," + integerText(number);
    }
    answer(out.isEmpty() ? QByteArray("\"\"") : out);
    return true;
}

bool CScpiSession::instrumentSelect(const Call& call) {
    if (call.query) {
        CAnalysisCore* core = Selected();
        answer(integerText(core ? m_instrument.NumberOf(core) : 0));
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
        if (n >= 1 && n <= 1e9 && n == std::floor(n))
            chosen = m_instrument.WindowOf(static_cast<int>(n));
    } else if (p.kind == Param::Kind::String) {
        for (CAnalysisCore* core : m_link->RemoteWindows())
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
    select(chosen);
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
    QString told;
    CAnalysisCore* core = m_link->RemoteOpenWindow(kind, &told);
    if (!core) {
        pushError(scpi::kExecutionError, "window not opened");
        return true;
    }
    if (!told.isEmpty())
        pushError(scpi::kSettingsConflict, errorInfo(told.toUtf8().toStdString()).c_str());
    select(core);
    m_link->RemoteMarkWindow(core);
    return true;
}

bool CScpiSession::instrumentDelete(const Call& call) {
    if (!noParameters(call))
        return true;
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    // A dialog may be working on the window (a person cannot close one
    // meanwhile either).
    if (m_link->RemoteDialogOpen()) {
        pushError(scpi::kExecutionError, "a dialog is open");
        return true;
    }
    m_link->RemoteCloseWindow(core); // WindowClosing clears the selection
    return true;
}
