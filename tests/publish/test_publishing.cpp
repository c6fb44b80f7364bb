// The program publishing to a real broker: the medical and XPD windows'
// alarms raised and cleared by the simulator's signals reach it as JSON with
// what raised them, the windows' read-outs come at their rate, and when the
// program is killed the broker says it is offline.
#include "analysis/alarmlistener.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/publishbridge.h"
#include "app/publishdialog.h"
#include "broker.h"
#include "framewindowtest.h"
#include "lib/logwindow.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "modes/xpdanalysis.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

QJsonObject Json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

class PublishingTest : public FrameWindowTest {
protected:
    void SetUp() override {
        FrameWindowTest::SetUp();
        setenv("TORVEL_SIM_SPEED", "1", 1);
        // The spool lies in the user folder.
        setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
        ASSERT_TRUE(broker.Start());
    }
    void TearDown() override {
        FrameWindowTest::TearDown();
        unsetenv("XDG_DATA_HOME");
    }
    void OpenFrame() {
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory([](int kind, CCommandEntry* f, CCommandEntry* b, CFrameLink* link) {
            return CreateAnalysisCore(kind, f, b, link);
        });
        ASSERT_TRUE(frame->Create(false));
        frame->show();
        CPublishSettings s;
        s.enabled = true;
        s.host = "127.0.0.1";
        s.port = broker.Port();
        s.topicPrefix = "site/a1";
        QString error;
        ASSERT_TRUE(frame->StartPublishing(s, &error)) << error.toStdString();
        ASSERT_TRUE(PumpUntil([&] {
            return frame->Publishing()->Publisher().GetState() == CMqttPublisher::State::Connected;
        }));
    }
    std::string Topic(CAnalysisCore* core, const char* what) {
        return "site/a1/" +
               CPublishSettings::TopicLevel(frame->RemoteWindowTitle(core)).toStdString() + "/" +
               what;
    }

    TestBroker broker{dir.path()};
    PtyController pri, sec;
};

// A telemetry transmitter keys on for 1.5 s every 4 s inside the medical
// window's band: each rise over the alarm line is one "raised" message with
// the peak's frequency and level and the line, each fall one "cleared"; the
// channel's read-outs come once a second at most.
TEST_F(PublishingTest, AMedicalAlarmIsRaisedAndClearedAtTheBrokerAndItsReadingsComeAtTheirRate) {
    Scene("[Signal Telemetry]\nType=Pulse\nFrequency=431000\nLevel=-30\n"
          "Period=4\nPulseLength=1500\nFirstPulse=1\n");
    WriteProfileString("MedicalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("MedicalAnalysis_1", "AlarmFlag", "1");
    OpenFrame();
    TestSubscriber sub(broker.Port(), "site/a1/#");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    auto* medical = Open<CMedicalAnalysis>(6);
    ASSERT_TRUE(medical);
    // The alarm line halfway between the noise and the carrier.
    CAlarmTriggerContext& line = medical->GetAlarmLine();
    CDataLineContext* wide = line.GetDataLine();
    ASSERT_TRUE(wide);
    const double top = wide->GetYMax(), bottom = wide->GetYMin();
    line.SetPositionRatio(
        static_cast<int>((top - (-70.0)) / (top - bottom) * CAlarmTriggerContext::kRatioOne));

    const std::string alarmTopic = Topic(medical, "alarm");
    ASSERT_TRUE(PumpUntil([&] { return sub.On(alarmTopic).size() >= 2; }, 60s))
        << sub.On(alarmTopic).size() << " alarm messages";
    const std::vector<QByteArray> alarms = sub.On(alarmTopic);
    double sequence = 0;
    for (std::size_t i = 0; i < alarms.size(); ++i) {
        const QJsonObject o = Json(alarms[i]);
        SCOPED_TRACE(alarms[i].toStdString());
        EXPECT_EQ(o["event"].toString(), i % 2 == 0 ? "raised" : "cleared");
        EXPECT_EQ(o["kind"].toString(), "medical");
        EXPECT_EQ(o["source"].toString(), "Alarm line");
        EXPECT_FALSE(o["technical"].toBool());
        EXPECT_GT(o["sequence"].toDouble(), sequence);
        sequence = o["sequence"].toDouble();
        const QDateTime time = QDateTime::fromString(o["time"].toString(), Qt::ISODateWithMs);
        EXPECT_TRUE(time.isValid() && o["time"].toString().endsWith('Z'));
        EXPECT_NEAR(o["threshold"].toDouble(), -70.0, 1.0);
        EXPECT_EQ(o["unit"].toString(), "dBm");
        if (i % 2 == 0) {
            EXPECT_NEAR(o["frequency_hz"].toDouble(), 431e6, 50e3);
            EXPECT_NEAR(o["level"].toDouble(), -30.0, 3.0);
        }
    }

    // Readings: their own times at least the interval apart.
    const std::string readingTopic = Topic(medical, "reading");
    ASSERT_TRUE(PumpUntil([&] { return sub.On(readingTopic).size() >= 3; }, 30s));
    const std::vector<QByteArray> readings = sub.On(readingTopic);
    for (std::size_t i = 1; i < readings.size(); ++i) {
        const auto t0 =
            QDateTime::fromString(Json(readings[i - 1])["time"].toString(), Qt::ISODateWithMs);
        const auto t1 =
            QDateTime::fromString(Json(readings[i])["time"].toString(), Qt::ISODateWithMs);
        EXPECT_GE(t0.msecsTo(t1), 990) << readings[i].toStdString();
    }
    EXPECT_EQ(Json(readings.back())["kind"].toString(), "medical");
    EXPECT_TRUE(Json(readings.back())["values"].isArray());
}

// The XPD window's isolation (25 dB) under its alarm value (30 dB) while an
// active period runs: one "raised" with the isolation and the threshold in dB;
// the alarm value lowered to 20 dB ends it; the readings hold the isolation
// and both paths' levels.
TEST_F(PublishingTest, AnXpdAlarmAndItsIsolationReachTheBroker) {
    Scene("[Signal Link]\nFrequency=431000\nLevel=-20\nCrossPolar=25\n");
    sec.SetRegister('D', 20, 1);
    XpdProfile(pri, sec);
    WriteProfileString("XPDAnalysis_1", "ActiveTime", "3600");
    OpenFrame();
    TestSubscriber sub(broker.Port(), "site/a1/#");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    auto* xpd = Open<CXpdAnalysis>(7);
    ASSERT_TRUE(xpd);
    const std::string alarmTopic = Topic(xpd, "alarm");
    ASSERT_TRUE(PumpUntil([&] { return !sub.On(alarmTopic).empty(); }, 90s));
    QJsonObject o = Json(sub.On(alarmTopic).front());
    EXPECT_EQ(o["event"].toString(), "raised");
    EXPECT_EQ(o["kind"].toString(), "xpd");
    EXPECT_EQ(o["source"].toString(), "XPD");
    EXPECT_NEAR(o["level"].toDouble(), 25.0, 1.5);
    EXPECT_DOUBLE_EQ(o["threshold"].toDouble(), 30.0);
    EXPECT_EQ(o["unit"].toString(), "dB");
    EXPECT_NEAR(o["frequency_hz"].toDouble(), 431e6, 50e3);

    xpd->ExecuteCommand(CXpdAnalysis::kCmdSetAlarmValue, 2000, 0, 0, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return sub.On(alarmTopic).size() >= 2; }, 60s));
    o = Json(sub.On(alarmTopic)[1]);
    EXPECT_EQ(o["event"].toString(), "cleared");
    EXPECT_DOUBLE_EQ(o["threshold"].toDouble(), 20.0);

    const std::string readingTopic = Topic(xpd, "reading");
    ASSERT_TRUE(PumpUntil([&] { return !sub.On(readingTopic).empty(); }, 30s));
    bool isolation = false;
    for (const QJsonValue v : Json(sub.On(readingTopic).back())["values"].toArray()) {
        const QJsonObject r = v.toObject();
        if (r["name"].toString() == "xpd") {
            isolation = true;
            EXPECT_NEAR(r["value"].toDouble(), 25.0, 1.5);
            EXPECT_EQ(r["unit"].toString(), "dB");
        } else if (r["name"].toString() == "rf1") {
            EXPECT_NEAR(r["value"].toDouble(), -20.0, 2.0);
        }
    }
    EXPECT_TRUE(isolation) << sub.On(readingTopic).back().toStdString();
}

// The publishing dialog by keyboard: each labelled field is reached by its
// label's letter (no label shows a bare '&'), no two controls share a letter,
// and the TLS files' Browse buttons are off while TLS is.
TEST_F(PublishingTest, ThePublishingDialogIsUsableByKeyboard) {
    CPublishDialog dialog;
    CPublishSettings s;
    s.enabled = true;
    dialog.SetValues(s);
    std::map<QChar, QStringList> letters;
    const auto letterOf = [](const QString& text) {
        const qsizetype at = text.indexOf('&');
        return at >= 0 && at + 1 < text.size() ? text[at + 1].toLower() : QChar();
    };
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text().contains('&')) {
            EXPECT_TRUE(label->buddy()) << "no field behind " << label->text().toStdString();
            letters[letterOf(label->text())] << label->text();
        }
    }
    for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
        if (b->text().contains('&'))
            letters[letterOf(b->text())] << b->text();
    for (const auto& [letter, texts] : letters)
        EXPECT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
    for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>()) {
        if (b->objectName().endsWith("Browse")) {
            EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        }
    }
}

// The program started with --mqtt says "online"; killed, it can say nothing,
// and the broker publishes its will: "offline", retained.
TEST(PublishingProgram, ABrokerSaysOfflineWhenTheProgramIsKilled) {
    TempDir dir;
    TestBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    TestSubscriber sub(broker.Port(), "site/b2/status");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    WriteWholeFile(dir.file("TORVEL.INI"), "[PUBLISHING]\nTopicPrefix=site/b2\n");
    QProcess torvel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(dir.path()));
    env.insert("XDG_DATA_HOME", QString::fromStdString(dir.file("data")));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.file("config")));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
    env.insert("TORVEL_SIM_SPEED", "0");
    torvel.setProcessEnvironment(env);
    torvel.setWorkingDirectory(QString::fromStdString(dir.path()));
    torvel.start(TORVEL_BINARY,
                 {"--no-splash", QString("--mqtt=mqtt://127.0.0.1:%1").arg(broker.Port())});
    ASSERT_TRUE(torvel.waitForStarted());
    ASSERT_TRUE(PumpUntil([&] { return !sub.On("site/b2/status").empty(); }, 60s))
        << torvel.readAllStandardError().toStdString();
    EXPECT_EQ(sub.On("site/b2/status").back(), "online");
    torvel.kill(); // SIGKILL: no clean stop
    torvel.waitForFinished();
    // The broker notices the lost link at once (the socket closes).
    ASSERT_TRUE(PumpUntil([&] { return sub.On("site/b2/status").back() == "offline"; }, 30s));
    TestSubscriber late(broker.Port(), "site/b2/status");
    ASSERT_TRUE(PumpUntil([&] { return !late.On("site/b2/status").empty(); }));
    EXPECT_EQ(late.On("site/b2/status").back(), "offline");
}

} // namespace
