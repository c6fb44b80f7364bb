// CScpiSession: the instrument one remote client talks to. It runs the calls
// of the client's lines through the command table on the GUI thread, keeps the
// client's IEEE 488.2 state (error queue, event status, data format, selected
// window) and answers each line's queries in one response line. A call that
// must wait for a measurement (*OPC?, *WAI after INIT) holds the rest of its
// line and every later line until the data are in; nothing blocks meanwhile.
// A line's answers go out in parts as they grow, and a line whose answers are
// not being taken waits between its calls until they are, so that one line of
// many large queries never holds more than one answer beyond what waits to be
// sent.
#pragma once

#include "platform/cstring.h"
#include "remote/scpiparser.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class CAnalysisCore;
class CLoggingTriggerContext;
class CRemoteLink;
class CScpiInstrument;
class CTraceStore;
class CScpiSession;

// One row of the command table: a pattern of the parser, what it allows, the
// window kinds it acts on and its handler, with the text of the reference.
struct ScpiRow {
    enum : unsigned { kSet = 1, kQuery = 2 };
    const char* pattern;
    unsigned forms;
    // Window kinds (bit k - 1 for kind k) the command acts on; 0 = it needs no window.
    unsigned kinds;
    // Runs the call; false = wait for the running operation and run it again then.
    bool (CScpiSession::*handler)(const scpi::Call& call);
    const char* parameters; // for the reference: "<freq>|MIN|MAX|DEF"
    const char* meaning;
    // Taken before the access code is given (when one is set).
    bool unprotected = false;
};
std::span<const ScpiRow> ScpiCommandTable();
// Appends a level word as dBm with two decimals ("%.2f"; no sample: -199.00).
void ScpiAppendLevel(QByteArray& out, short word);
const scpi::CScpiParser& ScpiCommandParser();
// text as a string of an answer: in double quotes, a quote inside doubled.
QByteArray ScpiQuoted(const QString& text);

class CScpiSession {
public:
    // send takes the response of each line: whole answers, in parts once they
    // pass kAnswerPart, the last part ending with '\n'. outputFull says that
    // too much waits to be sent: the line then waits before its next call.
    CScpiSession(CScpiInstrument& instrument, std::function<void(const QByteArray&)> send,
                 std::function<bool()> outputFull = {});
    // A single sweep this client started stops with it.
    ~CScpiSession();
    CScpiSession(const CScpiSession&) = delete;
    CScpiSession& operator=(const CScpiSession&) = delete;

    // Runs one program line (without its line end). False when the line waits
    // for an operation: the session then takes no new line until Resume
    // finishes it.
    bool RunLine(std::string_view line);
    // True while a line waits (for an operation, or for its answers to be taken).
    bool IsWaiting() const { return m_waiting; }
    // Answers of a line held beyond this are sent as a part of its response.
    static constexpr qsizetype kAnswerPart = 64 * 1024;
    // The line was longer than the input buffer: -363, as a parse would.
    void LineTooLong();
    // From the shell: data of core arrived / its window closes.
    void DataArrived(CAnalysisCore* core);
    void WindowClosing(CAnalysisCore* core);
    // The device refused a task of core, which a remote command started: a
    // session that selected core or waits for its data gets -221 with text.
    void DeviceRefused(CAnalysisCore* core, const QString& text);
    // Finishes a waiting line once its operation is over; false while it still
    // waits.
    bool Resume();
    // Ends the operation when its window stopped analysing before its data
    // were in (the Run/Stop button, ABOR of another client, a task the device
    // refused): -200 is queued and a waiting line goes on. Ends it too when
    // the device link has been lost for linkLossLimit: -240 is queued and a
    // single sweep stops. True when it ended, and when a try of the access
    // code that waited may go on.
    bool CheckOperation(std::chrono::milliseconds linkLossLimit);

    // ---- The handlers of the command table
    bool idn(const scpi::Call&);
    bool rst(const scpi::Call&);
    bool cls(const scpi::Call&);
    bool opc(const scpi::Call&);
    bool wai(const scpi::Call&);
    bool esr(const scpi::Call&);
    bool ese(const scpi::Call&);
    bool stb(const scpi::Call&);
    bool sre(const scpi::Call&);
    bool tst(const scpi::Call&);
    bool systemError(const scpi::Call&);
    bool systemErrorCount(const scpi::Call&);
    bool systemVersion(const scpi::Call&);
    bool passwordEnable(const scpi::Call&);
    bool instrumentList(const scpi::Call&);
    bool instrumentSelect(const scpi::Call&);
    bool instrumentCreate(const scpi::Call&);
    bool instrumentDelete(const scpi::Call&);
    bool frequencyCenter(const scpi::Call&);
    bool frequencySpan(const scpi::Call&);
    bool frequencyStart(const scpi::Call&);
    bool frequencyStop(const scpi::Call&);
    bool bandwidth(const scpi::Call&);
    bool referenceLevel(const scpi::Call&);
    bool perDivision(const scpi::Call&);
    bool attenuation(const scpi::Call&);
    bool initiateContinuous(const scpi::Call&);
    bool initiate(const scpi::Call&);
    bool abort(const scpi::Call&);
    bool format(const scpi::Call&);
    bool byteOrder(const scpi::Call&);
    bool traceData(const scpi::Call&);
    bool tracePoints(const scpi::Call&);
    bool traceX(const scpi::Call&);
    bool markerState(const scpi::Call&);
    bool markerMax(const scpi::Call&);
    bool markerNext(const scpi::Call&);
    bool markerAction(const scpi::Call&, int action);
    bool markerX(const scpi::Call&);
    bool markerY(const scpi::Call&);
    bool markerBandPower(const scpi::Call&);
    // The selected window and the path of the call's one file name, a plain
    // name ending in extension (in any case) in the instrument's file folder;
    // null when there is none (a missing or wrong name is put in the error
    // queue).
    CAnalysisCore* fileTarget(const scpi::Call&, const char* extension, CString* path);
    bool storeState(const scpi::Call&);
    bool loadState(const scpi::Call&);
    bool storeTrace(const scpi::Call&);
    bool screenDump(const scpi::Call&);
    bool sweepTime(const scpi::Call&);
    bool triggerSource(const scpi::Call&);
    bool triggerSlope(const scpi::Call&);
    bool triggerLevel(const scpi::Call&);
    bool zeroSpanFrequency(const scpi::Call&);
    bool initiateTimeCapture(const scpi::Call&);
    // The window kinds' own parameters (remote/scpimodes.cpp).
    bool wlanChannel(const scpi::Call&);
    bool medicalChannel(const scpi::Call&);
    bool medicalAlarm(const scpi::Call&);
    bool medicalAlarmLevel(const scpi::Call&);
    bool xpdValue(const scpi::Call&);
    bool xpdAlarmValue(const scpi::Call&);
    bool xpdAlarmState(const scpi::Call&);
    bool xpdDetectLevel(const scpi::Call&);

    // ---- For the tests and the server
    CAnalysisCore* Selected();
    // The trace index of TIME, the zero-span window's time data line.
    static constexpr int kTimeLine = -1;
    int ErrorCount() const { return static_cast<int>(m_errors.size()); }
    // The lines run to their end.
    long long LinesRun() const { return m_linesRun; }
    static constexpr std::size_t kErrorQueueSize = 16;

private:
    static constexpr int kEsrOperationComplete = 1;
    static QByteArray integerText(long long v);
    // A text of the program as the information of an error.
    static std::string errorInfo(std::string text);
    void pushError(int code, const char* info = nullptr);
    // -221 with text, made fit to stand inside the error's quotes.
    void pushWarning(const std::string& text);
    void answer(const QByteArray& text);
    void runCalls();
    bool checkForm(const ScpiRow& row, const scpi::Call& call);
    // False with -203 queued while an access code is set and this client has
    // not given it, for every command that needs it.
    bool checkAccess(const ScpiRow& row);
    // The selected window when it accepts row's kinds; else -221 and null.
    // Without a selection the first window is selected; once the selected
    // window has closed, none is until the client selects one again.
    CAnalysisCore* target(const scpi::Call& call);
    // The limit a parameter names: MIN, MAX or DEF (long forms too), or none.
    enum { kMinLimit = 0, kMaxLimit = 1, kDefaultLimit = 2, kNoLimit = -1 };
    static int limitNamed(const scpi::Param& p);
    // Parameter i as a number in the family's base unit, with MIN / MAX / DEF;
    // false with the error queued.
    bool number(const scpi::Call& call, std::size_t i, scpi::Unit unit, double min, double max,
                double def, double* value);
    bool boolean(const scpi::Call& call, std::size_t i, bool* value);
    // The only parameter as the index of one of names (-109 / -224 queued else).
    bool choice(const scpi::Call& call, std::initializer_list<const char*> names, int* index);
    bool noParameters(const scpi::Call& call);
    // The trace named by parameter i (TRACE1..5, DATALINE; default the data
    // line; TIME, the zero-span window's time data line, as kTimeLine).
    bool traceIndex(const scpi::Call& call, std::size_t i, int* k);
    // Trace k of core (as traceIndex names it); null with -221 queued when
    // the window has none such.
    const CTraceStore* traceOf(CAnalysisCore* core, int k);
    // The x value of every point of trace, Hz, or s for a time line.
    QByteArray xValues(CAnalysisCore* core, const CTraceStore& trace, bool time) const;
    bool frequency(const scpi::Call& call, int which);
    // A level line of core's graph (a trigger or alarm line): its level as
    // the query's answer, or set within the graph as dragging the line sets it.
    bool lineLevel(const scpi::Call& call, CAnalysisCore* core, CLoggingTriggerContext& line);
    // The XPD window's alarm value (action) or detect level, dB.
    bool xpdLevel(const scpi::Call& call, int action);
    // Runs command action on the window of core as the command list does
    // (CRemoteLink::RemoteCommand); what the window would tell the user in a
    // message box is not shown: a warning (the command was done only in part
    // or not at all) is queued as -221 with its text.
    int command(CAnalysisCore* core, int action, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0);
    QByteArray block(const QByteArray& bytes) const;
    // The trace's levels in dBm, as text or as a REAL,32 block.
    QByteArray levels(const CTraceStore& trace) const;
    void startOperation(CAnalysisCore* core, bool single);
    void endOperation();

    // The window selected (it was not closed since).
    void select(CAnalysisCore* core);

    CScpiInstrument& m_instrument;
    CRemoteLink* m_link;
    std::function<void(const QByteArray&)> m_send;
    std::function<bool()> m_outputFull;
    std::deque<std::pair<int, QByteArray>> m_errors;
    // The selected window: its core and the core's id (a pointer alone could
    // name a later window's core).
    CAnalysisCore* m_selected = nullptr;
    int m_selectedId = 0;
    bool m_selectionLost = false; // the selected window closed
    // The setting of the access code this client gave the right code for.
    int m_unlocked = -1;
    bool m_codeWait = false; // a try of the code waits for the hold to pass
    bool m_real32 = false;
    bool m_swapped = false;
    int m_slope = 1; // zero-span trigger type of TRIG:SOUR VID: 1 rising, 2 falling
    int m_esr = 0, m_ese = 0, m_sre = 0;
    // The operation INIT started: its core and id; single = the window stops
    // analysing when the sweep is in.
    CAnalysisCore* m_opCore = nullptr;
    int m_opId = 0;
    bool m_opSingle = false;
    bool m_opSkip = false; // the next block began before INIT
    bool m_opTime = false; // the operation is a zero-span time capture
    // Per line the window sweeps (the XPD window's two paths): the sweep
    // position after its last block and the points stored one after the
    // other since INIT.
    long long m_opPosition[2] = {0, 0};
    long long m_opCovered[2] = {0, 0};
    bool m_opcPending = false; // *OPC: set the operation-complete bit when done
    // Since when the operation has seen the device link lost.
    std::optional<std::chrono::steady_clock::time_point> m_linkLostSince;
    // The line being run: its calls and how far, and the answers so far.
    scpi::ParsedLine m_line;
    std::size_t m_next = 0;
    QByteArray m_response;
    bool m_responseSent = false; // a part of the line's response has gone out
    bool m_waiting = false;
    const scpi::Call* m_current = nullptr;
    long long m_linesRun = 0;
};
