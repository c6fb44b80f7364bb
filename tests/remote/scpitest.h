// The fixture of the SCPI server's tests: a main frame on the simulator (a
// scene of two known carriers) with a normal window and its server on a free
// port of 127.0.0.1, a socket client that reads whole answers, and the
// readers of the two data formats. A test in which a modal box opens fails.
#pragma once

#include "../app/windowtest.h"
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "modes/corefactory.h"
#include "modes/normalanalysis.h"
#include "platform/profile.h"
#include "remote/scpiserver.h"
#include "testutil.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

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

inline QList<double> ascii(const QByteArray& text) {
    QList<double> out;
    for (const QByteArray& v : text.split(','))
        out << v.toDouble();
    return out;
}

inline QList<double> real32(const QByteArray& block, bool swapped) {
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

// The main frame with a hook in the picture a client asks for: a command
// during which something else happens.
class TestFrame : public CMainFrame {
public:
    using CMainFrame::CMainFrame;
    std::function<void()> duringPicture;
    QByteArray RemoteWindowPng(CAnalysisCore* core) override {
        // Once: the hook is let go of before it runs.
        if (const auto hook = std::exchange(duringPicture, nullptr))
            hook();
        return CMainFrame::RemoteWindowPng(core);
    }
};

class ScpiServerTest : public AnalysisWindowTest {
protected:
    std::unique_ptr<TestFrame> frame;
    // No remote command opens a modal box: one that opens is noted and
    // closed (answered no), so that the test goes on and fails.
    QTimer modalWatch;
    QStringList modalBoxes;
    bool ownDialog = false;
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
        frame = std::make_unique<TestFrame>([](const CString& text) {
            QMessageBox box(QMessageBox::Warning, QString(), QString::fromUtf8(text.c_str()));
            box.exec();
        });
        frame->SetCoreFactory(CreateAnalysisCore);
        ASSERT_TRUE(frame->Create(false));
        unsetenv("TORVEL_SIM_SCENE");
        frame->show();
        CChildFrame* w = frame->OpenAnalysisWindow(1, "Normal", 1);
        ASSERT_TRUE(w);
        core = dynamic_cast<CNormalAnalysis*>(w->GetCore());
        ASSERT_TRUE(core);
        // The remote file commands' folder.
        WriteProfileString("REMOTE", "Folder", dir.file("remote").c_str());
        QString error;
        ASSERT_TRUE(frame->StartRemote(0, false, &error)) << error.toStdString();
        port = frame->RemoteServer()->Port();
        QObject::connect(&modalWatch, &QTimer::timeout, [this] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box || ownDialog)
                return;
            auto* message = qobject_cast<QMessageBox*>(box);
            modalBoxes << (message ? message->text() : box->metaObject()->className());
            if (auto* dialog = qobject_cast<QDialog*>(box))
                dialog->reject();
            else
                box->close();
        });
        modalWatch.start(20);
    }
    void TearDown() override {
        modalWatch.stop();
        EXPECT_TRUE(modalBoxes.isEmpty())
            << "a modal box opened: " << modalBoxes.join(" / ").toStdString();
        frame.reset();
        AnalysisWindowTest::TearDown();
    }
};
