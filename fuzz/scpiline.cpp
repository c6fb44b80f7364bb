// SCPI program lines from a remote client: the bytes are cut into lines as the
// server cuts them (at "\n", a "\r" before it dropped, at most 64 KiB a line),
// each line is parsed against the command table, and then run by a session
// whose shell has no window open, so that the parser, the parameter checks
// and the error queue all see hostile input.
#include "fuzzinput.h"

#include "remote/remotelink.h"
#include "remote/scpiinstrument.h"
#include "remote/scpiparser.h"
#include "remote/scpisession.h"

#include <string_view>

namespace {

class NoWindows : public CRemoteLink {
public:
    std::vector<CAnalysisCore*> RemoteWindows() override { return {}; }
    QString RemoteWindowTitle(CAnalysisCore*) override { return QString(); }
    CAnalysisCore* RemoteOpenWindow(int, QString*) override { return nullptr; }
    void RemoteCloseWindow(CAnalysisCore*) override {}
    void RemoteMarkWindow(CAnalysisCore*) override {}
    int RemoteCommand(CAnalysisCore*, int, int, int, int, int, int) override { return -1; }
    QByteArray RemoteWindowPng(CAnalysisCore*) override { return QByteArray(); }
    void SetRemoteObserver(CRemoteObserver*) override {}
    void RemoteStatusChanged(const QString&) override {}
    bool RemoteDeviceLost() override { return false; }
    bool RemoteDialogOpen() override { return false; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NoWindows link;
    // The parts of the response of the line being run.
    QByteArray response;
    CScpiInstrument instrument(&link);
    CScpiSession session(instrument, [&response](const QByteArray& part) { response += part; });
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        std::size_t end = bytes.find('\n', begin);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > scpi::kMaxLineLength) {
            session.LineTooLong();
            continue;
        }
        const scpi::ParsedLine parsed = ScpiCommandParser().Parse(line);
        for (const scpi::Call& call : parsed.calls) {
            if (call.row < 0 || static_cast<std::size_t>(call.row) >= ScpiCommandTable().size())
                __builtin_trap();
            for (const scpi::Param& p : call.params) {
                double value = 0;
                int error = 0;
                scpi::ToBaseUnit(p, scpi::Unit::Frequency, &value, &error);
            }
        }
        // Without a window nothing waits for a measurement.
        if (!session.RunLine(line))
            __builtin_trap();
        // A line answers one whole line or nothing.
        if (!response.isEmpty() && (!response.endsWith('\n') || response.count('\n') != 1))
            __builtin_trap();
        response.clear();
    }
    if (session.ErrorCount() > static_cast<int>(CScpiSession::kErrorQueueSize))
        __builtin_trap();
    return 0;
}
