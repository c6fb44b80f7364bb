// The SCPI server's clients: leaving while work is pending, floods of lines,
// the access code, hostile and silent clients, the limits on clients and
// their answers, the dialog and the status bar.
#include "scpitest.h"

#include "app/commandlist.h"
#include "app/remotedialog.h"
#include "modes/zerospananalysis.h"
#include "remote/scpiclient.h"
#include "remote/scpiinstrument.h"
#include "remote/scpisession.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>

namespace {

// A client that leaves while its work is pending is forgotten at once: what
// it waited for stops or goes on without it, nothing calls back into it, and
// the others go on.
TEST_F(ScpiServerTest, AClientThatLeavesDuringPendingWorkIsForgotten) {
    Client other(port);
    ASSERT_TRUE(other.Connected());
    // A wide sweep: it takes many turns of the event loop.
    other.Run("INIT:CONT OFF;:FREQ:STAR 1MHZ;STOP 3GHZ;:BAND 10KHZ");
    other.Run("INST:CRE ZSP;:INIT:CONT OFF;:TRIG:SOUR VID;LEV MAX");
    auto* zsp = dynamic_cast<CZeroSpanAnalysis*>(frame->RemoteWindows().back());
    ASSERT_TRUE(zsp);
    other.Run("INST:SEL 1");
    // The server's side of the client that leaves: the one it did not have before.
    QList<CScpiClient*> known;
    const auto serverSide = [&]() -> CScpiClient* {
        for (CScpiClient* c : frame->RemoteServer()->findChildren<CScpiClient*>())
            if (!known.contains(c))
                return c;
        return nullptr;
    };
    struct Pending {
        const char* what;
        QByteArray lines;
        std::function<bool()> started;
    };
    const std::vector<Pending> cases = {
        {"a sweep's *OPC?", "INIT;*OPC?", [&] { return core->GetAnalyzeFlag() == 1; }},
        {"*WAI with lines behind it", "INIT;*WAI;:TRAC:DATA?\n*IDN?\n*IDN?",
         [&] { return core->GetAnalyzeFlag() == 1; }},
        {"a time capture waiting for its trigger", "INST:SEL 2;:INIT:ZSP;*OPC?",
         [&] { return zsp->GetTimeRequested() == 1 && zsp->GetTaskRunning(); }},
        {"lines waiting for their turn", QByteArray("HCOP:SDUM:DATA?\n").repeated(40),
         [&] {
             CScpiClient* c = serverSide();
             return c && c->Session().LinesRun() > 0;
         }},
        {"answers not taken", "TRAC? DATALINE" + QByteArray(";TRAC? DATALINE").repeated(40),
         [&] {
             CScpiClient* c = serverSide();
             return c && c->Session().IsWaiting();
         }},
    };
    for (const Pending& p : cases) {
        SCOPED_TRACE(p.what);
        known = frame->RemoteServer()->findChildren<CScpiClient*>();
        {
            Client leaving(port, 16);
            ASSERT_TRUE(leaving.Connected());
            leaving.Socket().write(p.lines + "\n");
            ASSERT_TRUE(PumpUntil(p.started, std::chrono::seconds(30)));
            leaving.Socket().abort();
        }
        EXPECT_TRUE(PumpUntil([&] { return frame->RemoteServer()->ClientCount() == 1; }));
        // A single sweep or capture it started stops with it.
        EXPECT_TRUE(PumpUntil([&] { return !core->GetAnalyzeFlag() && !zsp->GetAnalyzeFlag(); }));
        EXPECT_EQ(other.Query("INIT;*OPC?;*IDN?").left(9), "1;Torvel,");
    }

    // The connection ends while a command of its line runs a loop of events:
    // the client stays until the command is over, then goes.
    QPointer<CScpiClient> during;
    bool kept = false;
    known = frame->RemoteServer()->findChildren<CScpiClient*>();
    {
        Client leaving(port);
        ASSERT_TRUE(leaving.Connected());
        frame->duringPicture = [&] {
            during = serverSide();
            leaving.Socket().abort();
            PumpUntil([&] { return frame->RemoteServer()->ClientCount() == 1; });
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            kept = !during.isNull();
        };
        leaving.Send("HCOP:SDUM:DATA?;HCOP:SDUM:DATA?;:INIT;*OPC?");
        EXPECT_TRUE(PumpUntil([&] { return !frame->duringPicture; }));
    }
    EXPECT_TRUE(kept) << "the client was deleted while its command ran";
    EXPECT_TRUE(PumpUntil([&] { return during.isNull(); }));
    EXPECT_EQ(core->GetAnalyzeFlag(), 0) << "the rest of its line ran without it";
    EXPECT_EQ(other.Query("*IDN?").left(7), "Torvel,");

    // A try of the access code that waits out the hold after a wrong one.
    CScpiInstrument& instrument = frame->RemoteServer()->Instrument();
    instrument.SetAccessCode(CScpiInstrument::StoredAccessCode("code"));
    known = frame->RemoteServer()->findChildren<CScpiClient*>();
    {
        Client leaving(port);
        ASSERT_TRUE(leaving.Connected());
        leaving.Send("SYST:PASS \"wrong\"\nSYST:PASS \"code\"");
        ASSERT_TRUE(PumpUntil([&] {
            CScpiClient* c = serverSide();
            return c && c->Session().IsWaiting();
        }));
    }
    EXPECT_TRUE(PumpUntil([&] { return frame->RemoteServer()->ClientCount() == 1; }));
    EXPECT_TRUE(PumpUntil([&] { return !instrument.AccessCodeTriesHeld(); }));
    EXPECT_EQ(other.Query("SYST:PASS \"code\";*OPC?"), "1");
}

// One client's flood of lines, or of calls in one line, is run in slices: a
// second client's query is answered while most of the flood still waits, and
// the flood is answered in full, in order.
TEST_F(ScpiServerTest, AFloodOfLinesDoesNotHoldUpTheOthers) {
    constexpr int kCalls = 60;
    for (const bool oneLine : {false, true}) {
        SCOPED_TRACE(oneLine ? "one line" : "lines");
        const QList<CScpiClient*> known = frame->RemoteServer()->findChildren<CScpiClient*>();
        Client flood(port);
        ASSERT_TRUE(flood.Connected());
        CScpiClient* flooding = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            for (CScpiClient* c : frame->RemoteServer()->findChildren<CScpiClient*>())
                if (!known.contains(c))
                    flooding = c;
            return flooding != nullptr;
        }));
        Client second(port);
        ASSERT_TRUE(second.Connected());
        QByteArray lines;
        for (int i = 0; i < kCalls; ++i)
            lines += i == 0    ? "HCOP:SDUM:DATA?"
                     : oneLine ? ";HCOP:SDUM:DATA?"
                               : "\nHCOP:SDUM:DATA?";
        flood.Send(lines);
        second.Send("*IDN?");
        EXPECT_TRUE(second.Read().startsWith("Torvel,"));
        // Most of the flood waits.
        if (oneLine)
            EXPECT_TRUE(flooding->Session().IsWaiting());
        else
            EXPECT_LT(flooding->Session().LinesRun(), kCalls / 2);
        const int answers = oneLine ? 1 : kCalls;
        for (int i = 0; i < answers; ++i) {
            const QByteArray answer = flood.Read();
            EXPECT_EQ(answer.count("\x89PNG"), oneLine ? kCalls : 1) << i;
        }
        EXPECT_EQ(flood.Query("*IDN?").left(7), "Torvel,");
    }
}

// While an access code is set (in the Remote Control dialog), a client must
// give it before any command but *IDN?, SYST:ERR? and SYST:PASS; a wrong one
// holds the next try, of any client, a second. The profile keeps only the
// code's digest.
TEST_F(ScpiServerTest, AnAccessCodeProtectsTheCommands) {
    // Fills in the dialog when it shows, and takes it.
    const auto answerDialog = [&](const std::function<void(CRemoteDialog&)>& fill) {
        ownDialog = true;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            auto* dialog = frame->findChild<CRemoteDialog*>();
            if (!dialog || !dialog->isVisible())
                return;
            look.stop();
            fill(*dialog);
            dialog->accept();
        });
        look.start(10);
        frame->ShowRemoteDialog();
        ownDialog = false;
    };
    Client c(port), d(port);
    ASSERT_TRUE(c.Connected() && d.Connected());
    c.Run("FREQ:CENT 100 MHZ");
    answerDialog([](CRemoteDialog& dialog) {
        dialog.findChild<QCheckBox*>("RequireCode")->setChecked(true);
        dialog.findChild<QLineEdit*>("AccessCode")->setText("s3cret");
    });
    const CString stored = GetProfileString("REMOTE", "AccessCode", "");
    EXPECT_TRUE(stored.Find("sha256:") == 0) << stored.c_str();
    EXPECT_LT(stored.Find("s3cret"), 0);
    EXPECT_EQ(frame->RemoteServer()->Port(), port) << "the server was not started again";

    EXPECT_TRUE(c.Query("*IDN?").startsWith("Torvel,"));
    c.Send("FREQ:CENT 700 MHZ;:INST:CRE NORM;:FREQ:CENT?");
    EXPECT_EQ(c.Query("SYST:ERR:COUN?;SYST:ERR?"), "3;-203,\"Command protected\"");
    EXPECT_EQ(core->GetCenter(), 100000);
    EXPECT_EQ(frame->RemoteWindows().size(), 1u);
    const auto start = std::chrono::steady_clock::now();
    c.Send("SYST:PASS \"wrong\"");
    EXPECT_EQ(c.Query("SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-203,\"Command protected\";-203,\"Command protected\";"
              "-224,\"Illegal parameter value;wrong access code\"");
    // Another client's right code waits the second out, then counts.
    d.Send("SYST:PASS:CEN \"s3cret\"");
    EXPECT_EQ(d.Query("SYST:ERR?;:FREQ:CENT 700 MHZ;CENT?"), "0,\"No error\";700000000");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    c.Send("INIT");
    EXPECT_EQ(c.Query("SYST:ERR?"), "-203,\"Command protected\"");
    // The dialog left empty keeps the code; unticked, every client is free.
    answerDialog([](CRemoteDialog&) {});
    EXPECT_EQ(GetProfileString("REMOTE", "AccessCode", ""), stored);
    EXPECT_EQ(d.Query("FREQ:CENT?"), "700000000");
    answerDialog([](CRemoteDialog& dialog) {
        dialog.findChild<QCheckBox*>("RequireCode")->setChecked(false);
    });
    EXPECT_EQ(GetProfileString("REMOTE", "AccessCode", "x"), "");
    EXPECT_EQ(c.Query("FREQ:CENT?;:SYST:ERR?"), "700000000;0,\"No error\"");
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
    // Eight clients at most; the ninth is told so, then closed.
    std::vector<std::unique_ptr<Client>> more;
    for (int i = 0; i < CScpiServer::kMaxClients - 1; ++i) {
        more.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(more.back()->Connected());
    }
    EXPECT_TRUE(PumpUntil(
        [&] { return frame->RemoteServer()->ClientCount() == CScpiServer::kMaxClients; }));
    Client refused(port);
    EXPECT_EQ(refused.Read(), "-200,\"Execution error;too many clients\"");
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

// A peer that vanished without closing is probed within a minute of silence,
// so that its place is free again soon (the system waits two hours).
TEST_F(ScpiServerTest, ClientSocketsProbeForHalfOpenPeers) {
    Client c(port);
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.Query("*IDN?").left(6), "Torvel");
    const auto sockets = frame->RemoteServer()->findChildren<QTcpSocket*>();
    ASSERT_EQ(sockets.size(), 1);
    EXPECT_EQ(sockets.front()->socketOption(QAbstractSocket::KeepAliveOption).toInt(), 1);
    const auto fd = static_cast<int>(sockets.front()->socketDescriptor());
    const auto option = [fd](int name) {
        int value = 0;
        socklen_t size = sizeof value;
        EXPECT_EQ(getsockopt(fd, IPPROTO_TCP, name, &value, &size), 0);
        return value;
    };
    const int idle = option(TCP_KEEPIDLE), interval = option(TCP_KEEPINTVL),
              probes = option(TCP_KEEPCNT);
    EXPECT_LE(idle, 60);
    EXPECT_GE(probes, 1);
    EXPECT_LE(idle + interval * probes, 75) << idle << " s, then " << probes << " x " << interval;
}

// A client that sends nothing for the idle time is closed and its place is
// free; one that waits for a capture, or that keeps talking, stays. The idle
// time is the profile's, in minutes (10 when not set).
TEST_F(ScpiServerTest, IdleClientsAreClosed) {
    EXPECT_EQ(frame->RemoteServer()->IdleTimeout(), 10 * 60000);
    frame->StopRemote();
    WriteProfileInt("REMOTE", "IdleTimeout", 3);
    QString error;
    ASSERT_TRUE(frame->StartRemote(0, false, &error));
    EXPECT_EQ(frame->RemoteServer()->IdleTimeout(), 3 * 60000);
    port = frame->RemoteServer()->Port();

    Client waiting(port), talking(port);
    ASSERT_TRUE(waiting.Connected() && talking.Connected());
    waiting.Run("INST:CRE ZSP;:INIT:CONT OFF;:TRIG:SOUR VID;LEV MAX");
    // Long beside the talking client's pauses, even on a slow machine.
    const auto idle = ScaledBound(std::chrono::milliseconds(800));
    frame->RemoteServer()->SetIdleTimeout(static_cast<int>(idle.count()));
    waiting.Send("INIT:ZSP;*OPC?");
    EXPECT_EQ(talking.Query("*IDN?").left(7), "Torvel,");
    Client silent(port);
    ASSERT_TRUE(silent.Connected());
    // Three idle times later the others are still there.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 3 * idle) {
        EXPECT_EQ(talking.Query("*IDN?").left(7), "Torvel,");
        PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(silent.Closed());
    EXPECT_EQ(frame->RemoteServer()->ClientCount(), 2);
    talking.Run("INST:SEL 2;:ABOR");
    EXPECT_EQ(waiting.Read(), "1");
    EXPECT_TRUE(waiting.Closed());
    EXPECT_TRUE(talking.Closed());
}

} // namespace
