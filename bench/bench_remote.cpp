// The SCPI server over loopback: *IDN? round trips, TRAC:DATA? of a
// 150 000-point data line in ASCII and in REAL,32, and a second client's
// *IDN? while one client floods the server with lines of one kind. The program's main frame
// runs in this process on the simulator (speed 0) with its server on a free
// port of 127.0.0.1; the client is a socket of the same event loop, so each
// figure holds the client's side too (wall-clock time: the work of both sides
// and the loopback).
#include "analysis/analysiscore.h"
#include "app/mainframe.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "platform/profile.h"
#include "remote/scpiserver.h"

#include <QApplication>
#include <QEventLoop>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

// 2 MHz .. 1502 MHz in 10 kHz steps.
constexpr int kPoints = 150000;

class Bench {
public:
    Bench() {
        char folder[] = "/tmp/torvel_bench_remote_XXXXXX";
        if (!mkdtemp(folder) || chdir(folder) != 0)
            std::abort();
        setenv("TORVEL_SIM_SPEED", "0", 1);
        SetProfileFile((std::string(folder) + "/TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt");
        WriteProfileString("REMOTE", "Folder", folder);
        WriteProfileString("NormalAnalysis_1", "AnalyzeFlag", "0");
        WriteProfileString("NormalAnalysis_1", "RBWIndex", "1");
        WriteProfileString("NormalAnalysis_1", "StartFrequency", "2000");
        WriteProfileString("NormalAnalysis_1", "StopFrequency",
                           std::to_string(2000 + kPoints * 10).c_str());
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory(CreateAnalysisCore);
        if (!frame->Create(false) || !frame->OpenAnalysisWindow(1, "Normal", 1) ||
            !frame->StartRemote(0, false, nullptr))
            std::abort();
        socket.connectToHost("127.0.0.1", static_cast<quint16>(frame->RemoteServer()->Port()));
        if (!socket.waitForConnected(10000))
            std::abort();
        // One whole sweep, so that every point holds a level.
        if (Query("INIT:CONT OFF;:INIT;*OPC?") != "1" || Query("TRAC:POIN?").toInt() != kPoints)
            std::abort();
    }
    // Sends a line and waits for its whole answer (a block is read by its length).
    QByteArray Query(const QByteArray& line) {
        socket.write(line + '\n');
        socket.flush();        // as a client in a process of its own sends
        qsizetype scanned = 0; // the bytes already searched for the line end
        for (;;) {
            buffer += socket.readAll();
            qsizetype end = -1;
            if (buffer.startsWith('#') && buffer.size() > 2) {
                const int digits = buffer[1] - '0';
                if (buffer.size() >= 2 + digits) {
                    const qsizetype length = buffer.mid(2, digits).toLongLong();
                    if (buffer.size() > 2 + digits + length)
                        end = 2 + digits + length;
                }
            } else {
                end = buffer.indexOf('\n', scanned);
                scanned = buffer.size();
            }
            if (end >= 0) {
                QByteArray answer = buffer.left(end);
                buffer.remove(0, end + 1);
                return answer;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    std::unique_ptr<CMainFrame> frame;
    QTcpSocket socket;
    QByteArray buffer;
};

Bench& bench() {
    static Bench b;
    return b;
}

void BM_IdnRoundTrip(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state)
        benchmark::DoNotOptimize(b.Query("*IDN?"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdnRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_TraceData(benchmark::State& state) {
    Bench& b = bench();
    const bool real = state.range(0) == 1;
    b.Query(real ? "FORM REAL,32;*OPC?" : "FORM ASC;*OPC?");
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray answer = b.Query("TRAC:DATA? DATALINE");
        bytes = answer.size();
        benchmark::DoNotOptimize(answer.constData());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetLabel(std::to_string(bytes) + " bytes");
}
BENCHMARK(BM_TraceData)
    ->ArgName("real32")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// HCOP:SDUM:DATA? alone: the window's drawing as a PNG block.
void BM_ScreenDump(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state)
        benchmark::DoNotOptimize(b.Query("HCOP:SDUM:DATA?"));
}
BENCHMARK(BM_ScreenDump)->UseRealTime()->Unit(benchmark::kMillisecond);

// A client that floods the server: it keeps a few hundred lines of one kind
// waiting to be run and reads what they answer.
class Flood {
public:
    Flood(int port, QByteArray line) : m_line(std::move(line) + '\n') {
        m_socket.connectToHost("127.0.0.1", static_cast<quint16>(port));
        if (!m_socket.waitForConnected(10000))
            std::abort();
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { take(); });
        topUp();
    }
    ~Flood() { m_socket.abort(); }
    long long Answered() const { return m_answered; }

private:
    static constexpr int kLow = 100, kHigh = 300;
    void topUp() {
        if (m_outstanding >= kLow)
            return;
        m_socket.write(m_line.repeated(kHigh - m_outstanding));
        m_socket.flush();
        m_outstanding = kHigh;
    }
    // Counts the answers in what came (a block is passed over by its length).
    void take() {
        m_buffer += m_socket.readAll();
        qsizetype i = 0;
        for (;;) {
            if (m_buffer.size() > i + 1 && m_buffer[i] == '#') {
                const int digits = m_buffer[i + 1] - '0';
                if (m_buffer.size() < i + 2 + digits)
                    break;
                const qsizetype length = m_buffer.mid(i + 2, digits).toLongLong();
                if (m_buffer.size() < i + 2 + digits + length + 1)
                    break;
                i += 2 + digits + length + 1;
            } else {
                const qsizetype end = m_buffer.indexOf('\n', i);
                if (end < 0)
                    break;
                i = end + 1;
            }
            ++m_answered;
            --m_outstanding;
        }
        m_buffer.remove(0, i);
        topUp();
    }

    QTcpSocket m_socket;
    QByteArray m_line, m_buffer;
    int m_outstanding = 0;
    long long m_answered = 0;
};

// The floods: each line answers once (the file commands with *OPC?).
constexpr const char* kFloods[] = {
    "*IDN?",
    "HCOP:SDUM:DATA?",
    "TRAC:DATA? DATALINE",
    "MMEM:STOR:TRAC \"flood.csv\";*OPC?",
    "MMEM:STOR:STAT \"flood.SPE\";*OPC?",
    "HCOP:SDUM:DATA?;HCOP:SDUM:DATA?;HCOP:SDUM:DATA?;HCOP:SDUM:DATA?;HCOP:SDUM:DATA?",
};

// A second client's *IDN? while another floods the server: the time from
// sending it to its answer (manual time), and the longest of the run.
void BM_IdnUnderFlood(benchmark::State& state) {
    Bench& b = bench();
    b.Query("FORM ASC;*OPC?");
    Flood flood(b.frame->RemoteServer()->Port(), kFloods[state.range(0)]);
    // The flood is under way.
    while (flood.Answered() < 3)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    double longest = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(b.Query("*IDN?"));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        longest = std::max(longest, took.count());
    }
    state.counters["longest_ms"] = longest * 1e3;
    state.counters["flood_lines"] = static_cast<double>(flood.Answered());
    state.SetLabel(kFloods[state.range(0)]);
}
BENCHMARK(BM_IdnUnderFlood)
    ->ArgName("flood")
    ->DenseRange(0, static_cast<int>(std::size(kFloods)) - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bench().frame.reset();
    SetProfileFile(nullptr);
    return 0;
}
