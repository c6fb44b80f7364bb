// The SCPI server driven over loopback by a socket client, with a main frame
// on the simulator: the common commands and the error queue, setting up and
// reading a sweep, windows as instruments, files, and hostile clients.
#include "../app/windowtest.h"
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/commandlist.h"
#include "app/mainframe.h"
#include "app/remotedialog.h"
#include "app/torvelapp.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/wlananalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/profile.h"
#include "remote/scpiserver.h"
#include "remote/scpisession.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

// A carrier at 100 MHz, -30 dBm, alone above the noise.
constexpr int kCarrierKHz = 100000;
constexpr double kCarrierDbm = -30.0;

class Client {
public:
    explicit Client(int port, qint64 readBuffer = 0) {
        if (readBuffer)
            m_socket.setReadBufferSize(readBuffer);
        m_socket.connectToHost("127.0.0.1", static_cast<quint16>(port));
        // Connected, or closed again at once (a refused client).
        PumpUntil([&] {
            return m_socket.state() == QAbstractSocket::ConnectedState ||
                   m_socket.state() == QAbstractSocket::UnconnectedState;
        });
        m_connected = m_socket.state() == QAbstractSocket::ConnectedState;
    }
    bool Connected() const { return m_connected; }
    QTcpSocket& Socket() { return m_socket; }
    void Send(const QByteArray& line) {
        m_socket.write(line + "\n");
        m_socket.flush();
    }
    // One response line; a definite-length block is read whole, whatever bytes it holds.
    QByteArray Read() {
        QByteArray out;
        const bool ok = PumpUntil(
            [&] {
                m_buffer += m_socket.readAll();
                const qsizetype end = responseEnd();
                if (end < 0)
                    return false;
                out = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return true;
            },
            std::chrono::seconds(30));
        EXPECT_TRUE(ok) << "no answer";
        return out;
    }
    // Sends line and waits until the server ran it.
    void Run(const QByteArray& line) {
        EXPECT_EQ(Query(line + ";*OPC?"), "1") << line.toStdString();
    }
    QByteArray Query(const QByteArray& line) {
        Send(line);
        return Read();
    }
    bool Closed() {
        return PumpUntil([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; });
    }

private:
    qsizetype responseEnd() const {
        qsizetype i = 0;
        while (i < m_buffer.size()) {
            if (m_buffer[i] == '#' && i + 1 < m_buffer.size()) {
                const int digits = m_buffer[i + 1] - '0';
                if (i + 2 + digits > m_buffer.size())
                    return -1;
                const qsizetype length = m_buffer.mid(i + 2, digits).toLongLong();
                i += 2 + digits + length;
                continue;
            }
            if (m_buffer[i] == '\n')
                return i;
            ++i;
        }
        return -1;
    }
    QTcpSocket m_socket;
    QByteArray m_buffer;
    bool m_connected = false;
};

QList<double> ascii(const QByteArray& text) {
    QList<double> out;
    for (const QByteArray& v : text.split(','))
        out << v.toDouble();
    return out;
}

QList<double> real32(const QByteArray& block, bool swapped) {
    QList<double> out;
    EXPECT_TRUE(block.startsWith('#'));
    const int digits = block[1] - '0';
    const qsizetype length = block.mid(2, digits).toLongLong();
    EXPECT_EQ(block.size(), 2 + digits + length);
    const char* p = block.constData() + 2 + digits;
    for (qsizetype i = 0; i + 4 <= length; i += 4)
        out << (swapped ? qFromLittleEndian<float>(p + i) : qFromBigEndian<float>(p + i));
    return out;
}

class ScpiServerTest : public AnalysisWindowTest {
protected:
    std::unique_ptr<CMainFrame> frame;
    CNormalAnalysis* core = nullptr;
    int port = 0;

    // Faults of the simulator's scene.
    virtual std::string Faults() const { return ""; }
    void SetUp() override {
        AnalysisWindowTest::SetUp();
        WriteWholeFile(dir.file("scene.ini"),
                       "[Scene]\nSeed=3\nDefaultSignals=0\n[Signal A]\nType=Carrier\n"
                       "Frequency=100000\nLevel=-30\n[Signal B]\nType=Carrier\n"
                       "Frequency=431000\nLevel=-40\n" +
                           Faults());
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
        WriteProfileString("NormalAnalysis_1", "StartFrequency", "90000");
        WriteProfileString("NormalAnalysis_1", "StopFrequency", "110000");
        WriteProfileString("NormalAnalysis_1", "AnalyzeFlag", "0");
        WriteProfileString("NormalAnalysis_1", "AttValue", "0");
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory(CreateAnalysisCore);
        ASSERT_TRUE(frame->Create(false));
        unsetenv("TORVEL_SIM_SCENE");
        frame->show();
        CChildFrame* w = frame->OpenAnalysisWindow(1, "Normal", 1);
        ASSERT_TRUE(w);
        core = dynamic_cast<CNormalAnalysis*>(w->GetCore());
        ASSERT_TRUE(core);
        QString error;
        ASSERT_TRUE(frame->StartRemote(0, false, &error)) << error.toStdString();
        port = frame->RemoteServer()->Port();
    }
    void TearDown() override {
        frame.reset();
        AnalysisWindowTest::TearDown();
    }
};

TEST_F(ScpiServerTest, CommonCommandsAndTheErrorQueue) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    EXPECT_TRUE(PumpUntil([&] { return frame->RemoteServer()->ClientCount() == 1; }));
    EXPECT_TRUE(c.Query("*IDN?").startsWith("Torvel,Simulator,"));
    // Queries of one line answer in one line; a bad header stops the line.
    EXPECT_EQ(c.Query("*ESE 36;*ESE?;SYST:VERS?"), "36;1999.0");
    c.Send("BOGUS:CMD 1;*IDN?");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    c.Send("FREQ:CENT 1 V");
    c.Send("FREQ:CENT 9 GHZ");
    c.Send("INST:CRE FOO");
    c.Send("*IDN");
    EXPECT_EQ(c.Query("*STB?"), "36"); // error queue, event summary (command errors enabled)
    EXPECT_EQ(c.Query("SYST:ERR:COUN?"), "4");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-131,\"Invalid suffix\";-222,\"Data out of range\";-224,\"Illegal parameter value\";"
              "-113,\"Undefined header\"");
    EXPECT_EQ(c.Query("*ESR?"), "48");
    EXPECT_EQ(c.Query("*ESR?"), "0");
    // The queue keeps its oldest errors; its last place reports the overflow.
    for (int i = 0; i < 40; ++i)
        c.Send("NOPE");
    EXPECT_EQ(c.Query("SYST:ERR:COUN?"), QByteArray::number(int(CScpiSession::kErrorQueueSize)));
    c.Send("*CLS");
    EXPECT_EQ(c.Query("SYST:ERR?;*STB?"), "0,\"No error\";0");
    EXPECT_EQ(c.Query("*TST?;*OPC?"), "0;1");
}

TEST_F(ScpiServerTest, SetsUpASweepAndReadsItsTracesAndMarkers) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    // From the widest range: the centre is kept, its span narrowed to fit.
    c.Run("FREQ:STAR MIN;STOP MAX");
    EXPECT_EQ(core->GetSpan(), 2999000);
    c.Run("FREQ:CENT 100 MHz");
    EXPECT_EQ(core->GetCenter(), 100000);
    EXPECT_EQ(core->GetSpan(), 198000);
    // A span of ten RBW steps or less is refused, and MIN is the narrowest taken.
    c.Send("BAND 20 KHZ;:FREQ:SPAN 200 KHZ");
    EXPECT_EQ(c.Query("SYST:ERR?;:FREQ:SPAN?"), "-222,\"Data out of range\";198000000");
    c.Send("FREQ:SPAN MIN");
    EXPECT_EQ(c.Query("SYST:ERR?;:FREQ:SPAN?"), "0,\"No error\";202000");
    c.Send("FREQ:SPAN 10MHZ;:BAND 18 kHz;:DISP:WIND:TRAC:Y:RLEV 0 dBm;PDIV 5");
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(core->GetCenter(), 100000);
    EXPECT_EQ(core->GetSpan(), 10000);
    // The nearest step the device offers.
    EXPECT_EQ(c.Query("FREQ:STAR?;STOP?;:BAND?;:INP:ATT?;:DISP:TRAC:Y:RLEV?;PDIV?"),
              "95000000;105000000;20000;10;0.00;5");
    EXPECT_EQ(core->GetScale(), 2);

    // One sweep with the window not analysing: *OPC? answers once its data
    // are in, and the window stops again.
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;*OPC?"), "1");
    EXPECT_EQ(core->GetAnalyzeFlag(), 0);
    EXPECT_EQ(c.Query("INIT:CONT?"), "0");
    const int points = c.Query("TRAC:POIN? DATALINE").toInt();
    // 95..105 MHz widened to the 2 MHz grid: 94..106 MHz in 20 kHz steps.
    EXPECT_EQ(points, 600);
    const QList<double> asc = ascii(c.Query("TRAC:DATA? DATALINE"));
    c.Send("FORM REAL,32");
    const QList<double> big = real32(c.Query("TRAC? DATALINE"), false);
    c.Send("FORM:BORD SWAP");
    const QList<double> little = real32(c.Query("TRAC:DATA? DATALINE"), true);
    ASSERT_EQ(asc.size(), points);
    ASSERT_EQ(big.size(), points);
    for (int i = 0; i < points; ++i) {
        EXPECT_NEAR(asc[i], big[i], 0.005) << i;
        EXPECT_EQ(big[i], little[i]) << i;
        EXPECT_GT(asc[i], -199.0) << "point " << i << " was not measured";
    }
    c.Send("FORM ASC");
    const QList<double> x = ascii(c.Query("TRAC:X?"));
    ASSERT_EQ(x.size(), points);
    const double step = x[1] - x[0];
    EXPECT_EQ(step, 20000);

    // The carrier, within one step and 1 dB.
    c.Send("CALC:MARK1:MAX");
    const double f = c.Query("CALC:MARK1:X?").toDouble();
    EXPECT_NEAR(f, kCarrierKHz * 1000.0, step);
    EXPECT_NEAR(c.Query("CALC:MARK1:Y?").toDouble(), kCarrierDbm, 1.0);
    // The band power is that of the ten points centred on the marker.
    const qsizetype at = x.indexOf(f);
    ASSERT_GE(at, 5);
    double sum = 0;
    for (qsizetype i = at - 5; i < at + 5; ++i)
        sum += std::pow(10.0, asc[i] / 10.0);
    EXPECT_NEAR(c.Query("CALC:MARK1:FUNC:BPOW?").toDouble(), 10 * std::log10(sum), 0.05);
    // A band past the trace's first point is moved inside.
    c.Send("CALC:MARK3:X 95MHZ");
    EXPECT_GT(c.Query("CALC:MARK3:FUNC:BPOW? 4 MHZ").toDouble(), -199.0);
    EXPECT_EQ(c.Query("CALC:MARK1?"), "1");
    EXPECT_EQ(core->GetCurrentMarkerIndex(), 1);
    c.Send("CALC:MARK2:X 97MHZ");
    EXPECT_NEAR(c.Query("CALC:MARK2:X?").toDouble(), 97e6, step);
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    // A place outside the window's range is refused; the marker stays.
    c.Send("CALC:MARK2:X 50MHZ");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-222,\"Data out of range;outside the window's range\"");
    EXPECT_NEAR(c.Query("CALC:MARK2:X?").toDouble(), 97e6, step);
    c.Send("CALC:MARK7:X?");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-114,\"Header suffix out of range\"");

    // Continuous: INIT restarts the sweep; *WAI holds the next query until it is in.
    EXPECT_EQ(c.Query("INIT:CONT ON;:INIT;*WAI;:TRAC:POIN?"), "600");
    EXPECT_EQ(core->GetAnalyzeFlag(), 1);
    c.Send("ABOR");
    EXPECT_EQ(c.Query("INIT:CONT?"), "0");
}

// A sweep of a single block right after a range change: the first block only
// restarts the traces, so *OPC? answers after the next one, with every point
// measured.
TEST_F(ScpiServerTest, ASweepOfOneBlockAfterARangeChangeIsWaitedFor) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    c.Run("INIT:CONT OFF");
    for (const char* range : {"FREQ:STAR 98 MHZ;STOP 100 MHZ;:BAND 20 KHZ", "BAND 10 KHZ"}) {
        c.Send(range);
        EXPECT_EQ(c.Query("INIT;*OPC?"), "1") << range;
        const QList<double> levels = ascii(c.Query("TRAC? DATALINE"));
        ASSERT_FALSE(levels.isEmpty());
        EXPECT_TRUE(std::all_of(levels.begin(), levels.end(), [](double v) { return v > -199; }))
            << range << ": " << levels.front();
    }
}

TEST_F(ScpiServerTest, WindowsAreInstruments) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.Query("INST:LIST?"), "\"Normal\",1");
    c.Send("INST:CRE ZSP");
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(c.Query("INST?"), "2");
    ASSERT_EQ(frame->RemoteWindows().size(), 2u);
    CAnalysisCore* zeroSpan = frame->RemoteWindows()[1];
    EXPECT_EQ(zeroSpan->GetAnalysisType(), 3);
    EXPECT_EQ(frame->ActiveChild()->GetCore(), zeroSpan); // marked: in front
    // Commands a kind does not know are refused.
    c.Send("CALC:MARK1:MAX");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-221,\"Settings conflict;not in this window kind\"");
    // The zero-span window's own commands go through its commands.
    auto* zsp = dynamic_cast<CZeroSpanAnalysis*>(zeroSpan);
    ASSERT_TRUE(zsp);
    c.Run("SWE:TIME 250 ms;:TRIG:SLOP NEG;SOUR VID;LEV -40 DBM");
    EXPECT_EQ(zsp->GetTimeSpan(), 250);
    EXPECT_EQ(zsp->GetTriggerType(), 2);
    EXPECT_NEAR(zsp->GetTriggerLine().GetLevel(), -40.0, 0.01);
    EXPECT_EQ(c.Query("SWE:TIME?;:TRIG:SOUR?;SLOP?;LEV?;:SYST:ERR?"),
              "0.25;VID;NEG;-40.00;0,\"No error\"");
    c.Run("TRIG:SOUR IMM;:SWE:TIME 60");
    EXPECT_EQ(zsp->GetTriggerType(), 0);
    EXPECT_EQ(c.Query("SYST:ERR?;:SWE:TIME?"), "-222,\"Data out of range\";0.25");
    // A sweep of its spectrum brings data (the block that only restarts the
    // traces does not count).
    c.Send("INIT:CONT OFF;:FREQ:CENT 100 MHZ");
    EXPECT_EQ(c.Query("INIT;*OPC?"), "1");
    const QList<double> spectrum = ascii(c.Query("TRAC? DATALINE"));
    EXPECT_GT(std::count_if(spectrum.begin(), spectrum.end(), [](double v) { return v > -199; }),
              spectrum.size() / 2);
    // Its span is always 24 MHz.
    c.Send("FREQ:SPAN 10 MHZ");
    EXPECT_EQ(c.Query("SYST:ERR?;:FREQ:SPAN?"),
              "-222,\"Data out of range;span not taken\";24000000");
    c.Run("INST:SEL \"Normal\"");
    c.Send("SWE:TIME 1");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-221,\"Settings conflict;not in this window kind\"");
    EXPECT_EQ(frame->ActiveChild()->GetCore(), core);
    c.Send("INST:SEL 2;INST:DEL");
    EXPECT_TRUE(PumpUntil([&] { return frame->RemoteWindows().size() == 1; }));
    EXPECT_EQ(c.Query("INST?"), "0");
    c.Send("INST:SEL 5");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-224,\"Illegal parameter value;no such window\"");
    // Without a selection the first window is used.
    EXPECT_EQ(c.Query("FREQ:STAR?"), "90000000");
}

// The kinds' own parameters go through the windows' own commands: each is
// set, read back, and seen in the window's core.
TEST_F(ScpiServerTest, TheKindsOwnParametersReachTheirWindows) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    // Another kind's parameter is refused, in any window.
    c.Send("SENS:WLAN:CHAN 6");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-221,\"Settings conflict;not in this window kind\"");

    c.Run("INST:CRE WLAN");
    auto* wlan = dynamic_cast<CWlanAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(wlan);
    EXPECT_EQ(c.Query("SENS:WLAN:CHAN?"), "-1");
    // Channel 6 (2437 MHz, 22 MHz wide), on a new window's panel: its button
    // shows selected.
    ASSERT_TRUE(wlan->GetPanel().HasChannel(6));
    c.Run("WLAN:CHAN 6");
    EXPECT_EQ(wlan->GetCenter(), 2437000);
    EXPECT_EQ(wlan->GetSpan(), 44000);
    EXPECT_EQ(wlan->GetPanel().GetSelectedButton(), wlan->GetPanel().FindChannel(6) + 1);
    EXPECT_EQ(c.Query("WLAN:CHAN?"), "6");
    // A channel off the panel zooms as well; a range set by hand is no channel's.
    c.Run("WLAN:CHAN 11");
    EXPECT_EQ(c.Query("WLAN:CHAN?;:FREQ:CENT?"), "11;2462000000");
    c.Run("FREQ:SPAN 30 MHZ");
    EXPECT_EQ(c.Query("WLAN:CHAN?"), "-1");
    c.Run("WLAN:CHAN FULL");
    EXPECT_TRUE(wlan->IsFullBand());
    c.Send("WLAN:CHAN 1500;WLAN:CHAN 0;WLAN:CHAN 2.5;WLAN:CHAN ALL");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-222,\"Data out of range\";-224,\"Illegal parameter value;no such channel\";"
              "-224,\"Illegal parameter value;no such channel\";-224,\"Illegal parameter value\"");

    // A semi-real-time window streams its data: a sweep of it is complete with
    // its next batch.
    c.Run("INST:CRE SRT");
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;*OPC?;:INIT:CONT?"), "1;0");
    // What the window would tell in a message box comes as an error: its band
    // is cut to the 100 MHz it measures.
    c.Send("FREQ:STAR 10 MHZ;STOP 300 MHZ");
    EXPECT_TRUE(c.Query("SYST:ERR?").startsWith("-221,\"Settings conflict;The semi-real-time"));
    EXPECT_EQ(c.Query("FREQ:SPAN?"), "100000000");

    c.Run("INST:CRE MED");
    auto* med = dynamic_cast<CMedicalAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(med);
    EXPECT_EQ(c.Query("SENS:MED:CHAN?;ALAR?"), "\"\";OFF");
    c.Run("MED:CHAN \"A1003\"");
    EXPECT_EQ(med->GetCenter(), 420075);
    ASSERT_TRUE(med->GetPanel().GetCurrentChannel());
    EXPECT_EQ(med->GetPanel().GetCurrentChannel()->GetTitle(), "A1003");
    // A number takes the panel's letter, as the number entry does.
    c.Run("MED:CHAN 1005");
    EXPECT_EQ(c.Query("MED:CHAN?;:FREQ:CENT?"), "\"A1005\";420100000");
    c.Send("MED:CHAN \"Z9999\";MED:CHAN 10000");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?"),
              "-224,\"Illegal parameter value;no such channel\";-222,\"Data out of range\"");
    EXPECT_EQ(c.Query("MED:CHAN?"), "\"A1005\"");
    c.Run("MED:ALAR BEL;ALAR:LEV -60 DBM");
    EXPECT_EQ(med->GetAlarmFlag(), 2);
    EXPECT_EQ(med->GetAlarmLine().GetDirectionFlag(), 1);
    EXPECT_NEAR(med->GetAlarmLine().GetLevel(), -60.0, 0.01);
    EXPECT_EQ(c.Query("MED:ALAR?;ALAR:LEV?"), "BEL;-60.00");
    c.Send("MED:ALAR:LEV 500;:MED:ALAR SIDEWAYS");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?"),
              "-222,\"Data out of range\";-224,\"Illegal parameter value\"");
    c.Run("MED:ALAR OFF");
    EXPECT_EQ(med->GetAlarmFlag(), 0);
    // Its sweep is the narrow band's, in pieces between the wide sweeps.
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;*OPC?;:INIT:CONT?"), "1;0");
    const QList<double> narrow = ascii(c.Query("TRAC? DATALINE"));
    const long long first = med->GetNarrowFirst(), end = med->GetNarrowEnd();
    ASSERT_LE(end, narrow.size());
    for (long long i = first; i < end; ++i)
        EXPECT_GT(narrow[i], -199) << i;

    c.Run("INST:CRE XPD");
    auto* xpd = dynamic_cast<CXpdAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(xpd);
    EXPECT_EQ(c.Query("SENS:XPD:ALAR?;ALAR:STAT?;:XPD:DET?"), "30.00;0;0.00");
    c.Run("XPD:ALAR 25.505 DB;DET -42");
    EXPECT_NEAR(xpd->GetAlarmValue(), 25.51, 1e-9);
    EXPECT_NEAR(xpd->GetDetectLevel(), -42.0, 1e-9);
    EXPECT_EQ(c.Query("XPD:ALAR?;DET?"), "25.51;-42.00");
    c.Send("XPD:ALAR 401;:XPD:DET -1000");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?;XPD:ALAR?"),
              "-222,\"Data out of range\";-222,\"Data out of range\";25.51");
    // No reading before both paths are measured; then the window's XPD.
    EXPECT_EQ(c.Query("XPD?"), "9.91E+37");
    // One sweep measures both paths.
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;*OPC?"), "1");
    for (int path = 0; path < 2; ++path) {
        const CTraceStore& line = xpd->PathStore(path, 0);
        for (DWORD i = 0; i < line.GetPoints(); ++i)
            ASSERT_GT(line.GetData()[i], kLowestLevel) << "path " << path << " point " << i;
    }
    ASSERT_TRUE(xpd->HasXpd());
    EXPECT_EQ(c.Query("XPD?"), QByteArray::number(xpd->GetXpdValue(), 'f', 2));
    c.Send("XPD:VAL? 3;:XPD:ALAR:STAT 1");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?"),
              "-108,\"Parameter not allowed\";-113,\"Undefined header\"");
    c.Send("MED:ALAR OFF");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-221,\"Settings conflict;not in this window kind\"");
}

TEST_F(ScpiServerTest, SavesAndLoadsStateAndFetchesThePicture) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    const QByteArray spe = QByteArray::fromStdString(dir.file("state.SPE"));
    c.Send("FREQ:STAR 50MHZ;STOP 60MHZ;:MMEM:STOR:STAT \"" + spe + "\"");
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_TRUE(QFile::exists(QString::fromUtf8(spe)));
    c.Run("FREQ:STOP 2GHZ;STAR 1GHZ");
    EXPECT_EQ(core->GetStart(), 1000000);
    c.Send("MMEM:LOAD:STAT \"" + spe + "\"");
    EXPECT_EQ(c.Query("SYST:ERR?;FREQ:STAR?"), "0,\"No error\";50000000");
    c.Send("MMEM:LOAD:STAT \"" + spe + ".missing\"");
    EXPECT_TRUE(c.Query("SYST:ERR?").startsWith("-256,"));
    const QByteArray csv = QByteArray::fromStdString(dir.file("trace.csv"));
    c.Send("MMEM:STOR:TRAC \"" + csv + "\"");
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_TRUE(ReadWholeFile(dir.file("trace.csv"))
                    .starts_with("Torvel Version2 CSV Formatted Data File"));
    const QByteArray png = c.Query("HCOP:SDUM:DATA?");
    ASSERT_GT(png.size(), 10);
    const int digits = png[1] - '0';
    EXPECT_TRUE(png.mid(2 + digits).startsWith("\x89PNG\r\n\x1a\n"));
}

TEST_F(ScpiServerTest, HostileClientsAreBounded) {
    // A line past 64 KiB is dropped and reported; the connection goes on.
    Client c(port);
    ASSERT_TRUE(c.Connected());
    c.Socket().write(QByteArray(70 * 1024, 'A'));
    c.Send(";*IDN?");
    c.Send(QByteArray("\x00\xff\x01garbage\x7f", 12));
    EXPECT_TRUE(c.Query("*IDN?").startsWith("Torvel,"));
    EXPECT_EQ(c.Query("SYST:ERR?"), "-363,\"Input buffer overrun\"");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-101,\"Invalid character\"");
    // Eight clients at most; the ninth is closed.
    std::vector<std::unique_ptr<Client>> more;
    for (int i = 0; i < CScpiServer::kMaxClients - 1; ++i) {
        more.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(more.back()->Connected());
    }
    EXPECT_TRUE(PumpUntil(
        [&] { return frame->RemoteServer()->ClientCount() == CScpiServer::kMaxClients; }));
    Client refused(port);
    EXPECT_TRUE(refused.Closed());
    EXPECT_EQ(frame->RemoteServer()->ClientCount(), CScpiServer::kMaxClients);
    // A client that leaves in the middle of a waiting query: its single sweep
    // stops with it and nothing is left behind.
    more.back()->Send("INIT:CONT OFF;:INIT;*OPC?");
    more.back()->Socket().abort();
    EXPECT_TRUE(PumpUntil(
        [&] { return frame->RemoteServer()->ClientCount() == CScpiServer::kMaxClients - 1; }));
    more.pop_back();
    EXPECT_EQ(c.Query("*OPC?"), "1");
    // The window stops analysing (its Run/Stop command) while a client waits
    // for its sweep: the wait ends with an error. (A wide range: its sweep
    // takes many turns of the event loop.)
    c.Run("FREQ:STAR 1MHZ;STOP 3GHZ;:BAND 10KHZ");
    EXPECT_EQ(core->GetAnalyzeFlag(), 0);
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;INIT:CONT?"), "1");
    c.Send("*OPC?");
    frame->RemoteCommand(core, 16, 0, 0, 0, 0, 0);
    EXPECT_EQ(c.Read(), "1");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-200,\"Execution error;analysis stopped\"");
    // The window closes while a client waits for its sweep: the wait ends with an error.
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;INIT:CONT?"), "1");
    c.Send("*OPC?");
    frame->ActiveChild()->close();
    EXPECT_EQ(c.Read(), "1");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-200,\"Execution error;window closed\"");
}

// While a dialog of the program is open (a window's entry dialog works on its
// window when it closes) no window is closed: closing it under the dialog
// would leave the dialog's command working on nothing. Other commands go on.
TEST_F(ScpiServerTest, NoWindowClosesWhileADialogIsOpen) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    QDialog dialog(frame.get());
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(QApplication::activeModalWidget());
    c.Send("INST:DEL");
    EXPECT_EQ(c.Query("SYST:ERR?;:INST:LIST?"),
              "-200,\"Execution error;a dialog is open\";\"Normal\",1");
    EXPECT_EQ(frame->RemoteWindows().size(), 1u);
    dialog.close();
    c.Send("INST:DEL");
    EXPECT_EQ(c.Query("SYST:ERR?;:INST:LIST?"), "0,\"No error\";\"\"");
}

TEST_F(ScpiServerTest, AClientThatNeverReadsIsDropped) {
    frame->RemoteServer()->SetStallTimeout(200);
    Client greedy(port, 16);
    ASSERT_TRUE(greedy.Connected());
    // A wide sweep: each answer is large, and none is taken.
    greedy.Send("FREQ:STAR 1MHZ;STOP 3GHZ");
    for (int i = 0; i < 64; ++i)
        greedy.Send("TRAC:DATA? TRACE1;TRAC:DATA? DATALINE");
    EXPECT_TRUE(PumpUntil([&] { return frame->RemoteServer()->ClientCount() == 0; },
                          std::chrono::seconds(60)));
    // The server goes on for others.
    Client c(port);
    ASSERT_TRUE(c.Connected());
    EXPECT_TRUE(c.Query("*IDN?").startsWith("Torvel,"));
}

// One line of many large queries: its answers go out in parts, and while they
// are not taken the rest of the line waits, so the program holds no more than
// the high-water mark and one answer for it.
TEST_F(ScpiServerTest, ALineOfManyLargeQueriesWaitsForItsAnswersToBeTaken) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    // A reader gets the parts as one response line.
    const QByteArray one = c.Query("TRAC? DATALINE");
    QByteArray many = "TRAC? DATALINE";
    for (int i = 0; i < 19; ++i)
        many += ";TRAC? DATALINE";
    const QList<QByteArray> answers = c.Query(many + ";*IDN?").split(';');
    ASSERT_GT(one.size() * 20, CScpiSession::kAnswerPart);
    ASSERT_EQ(answers.size(), 21);
    EXPECT_EQ(answers[19], one);
    EXPECT_TRUE(answers[20].startsWith("Torvel,"));

    frame->RemoteServer()->SetStallTimeout(500);
    Client greedy(port, 16);
    ASSERT_TRUE(greedy.Connected());
    greedy.Run("FREQ:STAR MIN;STOP MAX");
    const qint64 answer = 8 * greedy.Query("TRAC:POIN?").toLongLong();
    ASSERT_GT(answer, 1 << 20);
    // Sixty answers of 2.4 MB each, none of them taken.
    QByteArray line = "TRAC? TRACE1";
    for (int i = 0; i < 59; ++i)
        line += ";TRAC? TRACE1";
    greedy.Send(line);
    QTcpSocket* server = nullptr;
    qint64 most = 0;
    EXPECT_TRUE(PumpUntil([&] {
        for (QTcpSocket* s : frame->RemoteServer()->findChildren<QTcpSocket*>())
            if (s->bytesToWrite() > most) {
                most = s->bytesToWrite();
                server = s;
            }
        return most > CScpiServer::kOutputHighWater;
    }));
    ASSERT_TRUE(server);
    EXPECT_LE(most, CScpiServer::kOutputHighWater + answer + CScpiSession::kAnswerPart);
    // The client that takes nothing is dropped; the others go on.
    EXPECT_TRUE(PumpUntil([&] { return frame->RemoteServer()->ClientCount() == 1; },
                          std::chrono::seconds(30)));
    EXPECT_TRUE(c.Query("*IDN?").startsWith("Torvel,"));
}

// The dialog's and the status bar's texts are the string table's.
TEST_F(ScpiServerTest, TheDialogAndTheStatusBar) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    auto* status = frame->findChild<QLabel*>("RemoteStatus");
    ASSERT_TRUE(status);
    EXPECT_TRUE(PumpUntil([&] { return status->text().endsWith(" 1 client"); }));
    EXPECT_EQ(status->text(), QString("Remote: port %1, 1 client").arg(port));
    // Options > Remote Control... is a command of the lists, ticked while the
    // server listens.
    const CCommandEntry* item = frame->Commands().EntryByAction(kActionRemoteControl, 0, 0);
    ASSERT_TRUE(item);
    EXPECT_EQ(frame->CommandState(item), 1);
    CRemoteDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Remote Control");
    auto* others = dialog.findChild<QCheckBox*>("AllowOthers");
    ASSERT_TRUE(others);
    EXPECT_EQ(others->text(), "&Accept connections from other computers");
}

TEST_F(ScpiServerTest, APortInUseIsRefusedWithAReason) {
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, 0));
    frame->StopRemote();
    QString error;
    EXPECT_FALSE(frame->StartRemote(busy.serverPort(), false, &error));
    EXPECT_TRUE(error.contains(QString::number(busy.serverPort()))) << error.toStdString();
    EXPECT_FALSE(frame->RemoteServer());
    // The program runs on, and another port serves.
    ASSERT_TRUE(frame->StartRemote(0, false, &error));
    Client c(frame->RemoteServer()->Port());
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;*OPC?"), "1");
}

// The device is unplugged for good a moment after it is loaded.
class ScpiUnplugTest : public ScpiServerTest {
protected:
    std::string Faults() const override { return "[Faults]\nUnplugAt=0.2\n"; }
};

TEST_F(ScpiUnplugTest, AWaitEndsWhenTheDeviceStaysLost) {
    frame->RemoteServer()->SetLinkLossLimit(600);
    // The scene stays the simulator's while the frame re-opens the link.
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    Client c(port);
    ASSERT_TRUE(c.Connected());
    // An analysing window notices the lost link with its running task.
    c.Run("INIT:CONT ON");
    ASSERT_TRUE(PumpUntil([&] { return frame->IsDeviceLost(); }, std::chrono::seconds(10)));
    // A single sweep asked for now cannot come: the wait ends with an error,
    // and the window stops again.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Query("INIT:CONT OFF;:INIT;*OPC?"), "1");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
    EXPECT_EQ(c.Query("SYST:ERR?"), "-240,\"Hardware error;device link lost\"");
    EXPECT_EQ(core->GetAnalyzeFlag(), 0);
    EXPECT_TRUE(frame->IsDeviceLost());
    // The client goes on.
    EXPECT_EQ(c.Query("*OPC?;*IDN?").left(9), "1;Torvel,");
    unsetenv("TORVEL_SIM_SCENE");
}

TEST(RemoteCommandLine, RemoteTakesAnOptionalPort) {
    EXPECT_EQ(CTorvelApp::ParseCommandLine({"torvel"}).remotePort, 0);
    EXPECT_EQ(CTorvelApp::ParseCommandLine({"torvel", "--remote"}).remotePort, 5025);
    auto cl = CTorvelApp::ParseCommandLine({"torvel", "--remote=6000", "x.SPE"});
    EXPECT_EQ(cl.remotePort, 6000);
    EXPECT_EQ(cl.files.size(), 1);
    for (const char* bad : {"--remote=", "--remote=0", "--remote=65536", "--remote=port"})
        EXPECT_FALSE(CTorvelApp::ParseCommandLine({"torvel", bad}).error.isEmpty()) << bad;
    EXPECT_TRUE(CTorvelApp::UsageText().contains("--remote[=PORT]"));
}

} // namespace

namespace {

// The scene with a key fob: a 5 ms pulse of -30 dBm at 433.92 MHz once a second.
class ScpiZeroSpanTest : public ScpiServerTest {
protected:
    std::string Faults() const override {
        return "[Signal Fob]\nType=Pulse\nFrequency=433920\nLevel=-30\nWidth=20\n"
               "PulseLength=5\nPeriod=1\n";
    }
};

TEST_F(ScpiZeroSpanTest, ATimeCaptureFindsTheKeyFobPulseAtTheTriggerPoint) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    c.Run("INST:CRE ZSP;:INIT:CONT OFF;:INP:ATT 0;:FREQ:CENT 433.92 MHZ");
    auto* zsp = dynamic_cast<CZeroSpanAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(zsp);
    const long long base = zsp->BaseFrequency();
    ASSERT_EQ(zsp->BinStep(), 250);
    // The capture frequency: the nearest captured bin, held within the bins.
    c.Run("ZSP:FREQ 433.95 MHZ");
    EXPECT_EQ(c.Query("ZSP:FREQ?;:SYST:ERR?"), "434000000;0,\"No error\"");
    EXPECT_EQ(zsp->GetZeroSpanMarker().GetLockFrequency(), 434000);
    c.Send("ZSP:FREQ " + QByteArray::number((base + 104 * 250) * 1000));
    c.Send("ZSP:FREQ 100 MHZ");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?;:ZSP:FREQ?"),
              "-222,\"Data out of range\";-222,\"Data out of range\";434000000");
    // A time capture on the pulse's rising edge; the window analyses for it
    // alone.
    c.Run("SWE:TIME 100 MS;:TRIG:SOUR VID;SLOP POS;LEV -40 DBM");
    EXPECT_EQ(c.Query("INIT:ZSP;*OPC?"), "1");
    EXPECT_EQ(zsp->GetAnalyzeFlag(), 0);
    EXPECT_EQ(c.Query("TRAC:POIN? TIME;:SYST:ERR?"), "1000;0,\"No error\"");
    const QList<double> levels = ascii(c.Query("TRAC:DATA? TIME"));
    const QList<double> times = ascii(c.Query("TRAC:X? TIME"));
    ASSERT_EQ(levels.size(), 1000);
    ASSERT_EQ(times.size(), 1000);
    // The times run over the sweep time from the pre-trigger position, in
    // 100 us steps; the trigger point is 0.
    const int pre = 1000 - zsp->PostTriggerSamples();
    EXPECT_EQ(zsp->GetTriggerMark().GetPosition(), pre * 100);
    EXPECT_NEAR(times.front(), -pre * 1e-4, 1e-9);
    EXPECT_NEAR(times.back(), times.front() + 0.0999, 1e-9);
    EXPECT_NEAR(times[pre], 0.0, 1e-9);
    // The pulse's first sample above the trigger level lies at the trigger point.
    const auto edge = std::find_if(levels.begin(), levels.end(), [](double v) { return v > -40; });
    ASSERT_NE(edge, levels.end());
    const auto at = edge - levels.begin();
    EXPECT_NEAR(times[at], 0.0, 1.5e-4);
    EXPECT_NEAR(levels[at + 20], -30.0, 1.0);
    EXPECT_LT(levels[std::min<qsizetype>(at + 80, 999)], -75.0);
    // REAL,32 gives the same values.
    c.Send("FORM REAL,32");
    const QList<double> big = real32(c.Query("TRAC:DATA? TIME"), false);
    const QList<double> bigTimes = real32(c.Query("TRAC:X? TIME"), false);
    ASSERT_EQ(big.size(), 1000);
    ASSERT_EQ(bigTimes.size(), 1000);
    for (int i = 0; i < 1000; i += 37) {
        EXPECT_NEAR(big[i], levels[i], 0.006) << i;
        EXPECT_NEAR(bigTimes[i], times[i], 1e-7) << i;
    }
    c.Send("FORM ASC");
    // A capture that waits for a trigger that never comes is a wait like any
    // other: ABOR of another client ends it.
    c.Run("TRIG:LEV MAX");
    c.Send("INIT:ZSP;*OPC?");
    ASSERT_TRUE(PumpUntil([&] { return zsp->GetTimeRequested() == 1 && zsp->GetTaskRunning(); }));
    Client other(port);
    ASSERT_TRUE(other.Connected());
    other.Run("INST:SEL 2;ABOR");
    EXPECT_EQ(c.Read(), "1");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-200,\"Execution error;analysis stopped\"");
    EXPECT_EQ(zsp->GetAnalyzeFlag(), 0);
    // Other kinds have no time capture.
    c.Run("INST:SEL 1");
    c.Send("INIT:ZSP;:TRAC:DATA? TIME");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?"), "-221,\"Settings conflict;not in this window kind\";"
                                              "-221,\"Settings conflict;no time capture in this "
                                              "window kind\"");
}

TEST_F(ScpiServerTest, ACentreHeldAtTheBandEdgeAndAnAttenuationInDbmAreRefused) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    c.Run("INST:CRE ZSP");
    auto* zsp = dynamic_cast<CZeroSpanAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(zsp);
    // The 24 MHz span keeps the centre 12 MHz inside the band.
    c.Send("FREQ:CENT 1 MHZ");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-222,\"Data out of range;centre held inside the band\"");
    EXPECT_GT(zsp->GetCenter(), 1000);
    // Snapping to the window's grid is no error.
    c.Send("FREQ:CENT 433.92 MHZ");
    EXPECT_EQ(c.Query("SYST:ERR?;:FREQ:CENT?"), "0,\"No error\";433750000");
    c.Send("INP:ATT 10 DBM");
    c.Send("INP:ATT 10 DB");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?;:INP:ATT?"),
              "-131,\"Invalid suffix\";0,\"No error\";10");
}

TEST_F(ScpiServerTest, ClientSocketsProbeForHalfOpenPeers) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.Query("*IDN?").left(6), "Torvel");
    const auto sockets = frame->RemoteServer()->findChildren<QTcpSocket*>();
    ASSERT_EQ(sockets.size(), 1);
    EXPECT_EQ(sockets.front()->socketOption(QAbstractSocket::KeepAliveOption).toInt(), 1);
}

} // namespace

namespace {

// Every level a client reads or sets is in dBm, whatever unit the window
// shows: its traces, markers, band powers and lines read the same in dBuV,
// and a level line set in dBm lies at that level in the window's unit. The
// time axis of a capture is the capture's, whatever the trigger is now.
TEST_F(ScpiZeroSpanTest, LevelsAreInDbmInEveryUnitAndACaptureKeepsItsTimeAxis) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    c.Run("FREQ:CENT 100 MHZ;SPAN 10 MHZ;:INIT:CONT OFF");
    EXPECT_EQ(c.Query("INIT;*OPC?"), "1");
    c.Send("CALC:MARK1:MAX");
    const QByteArray inDbm = c.Query("TRAC:DATA? DATALINE;:CALC:MARK1:Y?;FUNC:BPOW?");
    EXPECT_NEAR(c.Query("CALC:MARK1:Y?").toDouble(), -30.0, 1.0);
    ASSERT_EQ(core->ExecuteCommand(32, 2, 0, 0, 0, 0), kCommandRedraw);
    core->Reconfigure(FALSE);
    EXPECT_EQ(c.Query("TRAC:DATA? DATALINE;:CALC:MARK1:Y?;FUNC:BPOW?"), inDbm);

    c.Run("INST:CRE ZSP;:INIT:CONT OFF;:INP:ATT 0;:FREQ:CENT 433.92 MHZ");
    auto* zsp = dynamic_cast<CZeroSpanAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(zsp);
    ASSERT_EQ(zsp->ExecuteCommand(32, 2, 0, 0, 0, 0), kCommandRedraw);
    zsp->Reconfigure(FALSE);
    c.Run("ZSP:FREQ 433.92 MHZ");
    c.Run("SWE:TIME 100 MS;:TRIG:SOUR VID;SLOP POS;LEV -40 DBM");
    EXPECT_EQ(c.Query("TRIG:LEV?"), "-40.00");
    EXPECT_NEAR(zsp->GetTriggerLine().GetLevel(), -40.0 + 113.0, 0.2);
    EXPECT_EQ(c.Query("INIT:ZSP;*OPC?"), "1");
    const QList<double> levels = ascii(c.Query("TRAC:DATA? TIME"));
    const auto edge = std::find_if(levels.begin(), levels.end(), [](double v) { return v > -40; });
    ASSERT_NE(edge, levels.end());
    EXPECT_NEAR(levels[edge - levels.begin() + 20], -30.0, 1.0);
    const QByteArray times = c.Query("TRAC:X? TIME");
    c.Run("TRIG:SOUR IMM");
    EXPECT_EQ(c.Query("TRAC:X? TIME"), times);
}

} // namespace
