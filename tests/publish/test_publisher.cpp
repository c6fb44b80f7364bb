// Publishing to a real broker: the spool's journal, the status with its will,
// alarms in order and never twice across a broker that goes away, readings at
// their rate, a wrong password, a broker that never answers, and TLS with a
// CA the test makes.
#include "broker.h"
#include "publish/alarmspool.h"
#include "publish/mqttpublisher.h"
#include "testutil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- The journal

TEST(AlarmSpool, AlarmsComeBackInOrderAfterAReopenAndDeliveredOnesDoNot) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("spool"));
    {
        CAlarmSpool spool;
        ASSERT_TRUE(spool.Open(path, nullptr));
        for (int i = 1; i <= 4; ++i)
            ASSERT_TRUE(spool.Append("t/a", "{\"n\":" + QByteArray::number(i) + "}"));
        spool.Delivered(spool.Front()->id);
    }
    CAlarmSpool again;
    ASSERT_TRUE(again.Open(path, nullptr));
    ASSERT_EQ(again.Pending(), 3u);
    for (int i = 2; i <= 4; ++i) {
        ASSERT_TRUE(again.Front());
        EXPECT_EQ(again.Front()->payload, "{\"n\":" + QByteArray::number(i) + "}");
        EXPECT_EQ(again.Front()->topic, "t/a");
        again.Delivered(again.Front()->id);
    }
    EXPECT_EQ(again.Front(), nullptr);
    // A new alarm never takes the number of an old one.
    again.Append("t/a", "{}");
    CAlarmSpool third;
    ASSERT_TRUE(third.Open(path, nullptr));
    ASSERT_EQ(third.Pending(), 1u);
    EXPECT_EQ(third.Front()->payload, "{}");
}

TEST(AlarmSpool, ALineCutByACrashIsLeftOutAndTheJournalGoesOn) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("spool"));
    {
        CAlarmSpool spool;
        ASSERT_TRUE(spool.Open(path, nullptr));
        spool.Append("t/a", "{\"n\":1}");
    }
    // The crash came in the middle of the next alarm.
    WriteWholeFile(dir.file("spool"), ReadWholeFile(dir.file("spool")) + "A\t2\tt/a\t{\"n\"");
    {
        CAlarmSpool spool;
        ASSERT_TRUE(spool.Open(path, nullptr));
        ASSERT_EQ(spool.Pending(), 1u);
        spool.Append("t/a", "{\"n\":3}");
    }
    CAlarmSpool spool;
    ASSERT_TRUE(spool.Open(path, nullptr));
    ASSERT_EQ(spool.Pending(), 2u);
    EXPECT_EQ(spool.Front()->payload, "{\"n\":1}");
    spool.Delivered(spool.Front()->id);
    EXPECT_EQ(spool.Front()->payload, "{\"n\":3}");
}

TEST(AlarmSpool, BeyondItsLimitTheOldestAreDroppedAndCountedForGood) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("spool"));
    {
        CAlarmSpool spool(3);
        ASSERT_TRUE(spool.Open(path, nullptr));
        for (int i = 1; i <= 5; ++i)
            spool.Append("t/a", QByteArray::number(i));
        EXPECT_EQ(spool.Pending(), 3u);
        EXPECT_EQ(spool.Dropped(), 2u);
        EXPECT_EQ(spool.Front()->payload, "3");
    }
    CAlarmSpool spool(3);
    ASSERT_TRUE(spool.Open(path, nullptr));
    EXPECT_EQ(spool.Dropped(), 2u);
    EXPECT_EQ(spool.Front()->payload, "3");
    // Emptied and grown large, the journal starts over and keeps the count.
    while (spool.Front())
        spool.Delivered(spool.Front()->id);
    for (int i = 0; i < 300; ++i) {
        spool.Append("t/a", QByteArray(1000, 'x'));
        spool.Delivered(spool.Front()->id);
    }
    EXPECT_LT(ReadWholeFile(dir.file("spool")).size(), 300u * 1024u);
    CAlarmSpool reopened(3);
    ASSERT_TRUE(reopened.Open(path, nullptr));
    EXPECT_EQ(reopened.Pending(), 0u);
    EXPECT_EQ(reopened.Dropped(), 2u);
}

TEST(AlarmSpool, HostileJournalsAreReadWithoutFault) {
    TempDir dir;
    std::mt19937 random(11);
    const std::string path = dir.file("spool");
    for (int round = 0; round < 100; ++round) {
        std::string data;
        const int n = static_cast<int>(random() % 400);
        for (int i = 0; i < n; ++i) {
            const char pool[] = "AXDN\t\n0123456789{}/ \x01\xff";
            data += pool[random() % (sizeof pool - 1)];
        }
        WriteWholeFile(path, data);
        CAlarmSpool spool(5);
        ASSERT_TRUE(spool.Open(QString::fromStdString(path), nullptr));
        EXPECT_LE(spool.Pending(), 5u);
        spool.Append("t/a", "{}");
        while (spool.Front())
            spool.Delivered(spool.Front()->id);
    }
    // A folder where the journal should be is refused with a reason.
    const std::string folder = dir.file("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    CAlarmSpool spool;
    QString error;
    EXPECT_FALSE(spool.Open(QString::fromStdString(folder + "/missing/spool"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// ---- The publisher and a broker

class PublisherTest : public ::testing::Test {
protected:
    TempDir dir;
    TestBroker broker{dir.path()};
    CPublishSettings settings;
    void SetUp() override {
        ASSERT_TRUE(broker.Start()) << "mosquitto did not start (apt-get install mosquitto)";
        settings.enabled = true;
        settings.host = "127.0.0.1";
        settings.port = broker.Port();
        settings.topicPrefix = "site/a1";
        settings.readingIntervalMs = 300;
    }
    QString Spool() const { return QString::fromStdString(dir.file("spool")); }
    static CAlarmMessage Alarm(int n, bool raised = true) {
        CAlarmMessage a;
        a.time = QDateTime::fromMSecsSinceEpoch(1765000000000LL + n, Qt::UTC);
        a.window = "Medical 1";
        a.kind = "medical";
        a.source = "CH " + QString::number(n);
        a.raised = raised;
        a.frequencyHz = 430.5e6;
        a.hasLevel = true;
        a.level = -40.25;
        a.hasThreshold = true;
        a.threshold = -70;
        a.unit = "dBm";
        return a;
    }
};

TEST_F(PublisherTest, StatusAlarmsAndReadingsReachTheBrokerAndACleanStopSaysOffline) {
    TestSubscriber sub(broker.Port(), "site/a1/#");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    CMqttPublisher publisher;
    QString error;
    ASSERT_TRUE(publisher.Start(settings, Spool(), &error)) << error.toStdString();
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.GetState() == CMqttPublisher::State::Connected; }));
    ASSERT_TRUE(PumpUntil([&] { return !sub.On("site/a1/status").empty(); }));
    EXPECT_EQ(sub.On("site/a1/status").back(), "online");

    for (int n = 1; n <= 3; ++n)
        publisher.Alarm(Alarm(n, n != 2));
    ASSERT_TRUE(PumpUntil([&] { return sub.On("site/a1/Medical_1/alarm").size() == 3; }));
    const std::vector<QByteArray> alarms = sub.On("site/a1/Medical_1/alarm");
    for (int n = 1; n <= 3; ++n) {
        const QJsonObject o = QJsonDocument::fromJson(alarms[static_cast<size_t>(n - 1)]).object();
        EXPECT_EQ(o["sequence"].toInt(), n);
        EXPECT_EQ(o["source"].toString(), "CH " + QString::number(n));
        EXPECT_EQ(o["event"].toString(), n == 2 ? "cleared" : "raised");
        EXPECT_EQ(o["window"].toString(), "Medical 1");
        EXPECT_EQ(o["kind"].toString(), "medical");
        EXPECT_EQ(o["time"].toString(), QDateTime::fromMSecsSinceEpoch(1765000000000LL + n, Qt::UTC)
                                            .toString(Qt::ISODateWithMs));
        EXPECT_TRUE(o["time"].toString().endsWith('Z'));
        EXPECT_DOUBLE_EQ(o["frequency_hz"].toDouble(), 430.5e6);
        EXPECT_DOUBLE_EQ(o["level"].toDouble(), -40.25);
        EXPECT_DOUBLE_EQ(o["threshold"].toDouble(), -70.0);
        EXPECT_EQ(o["unit"].toString(), "dBm");
    }
    // Each is out of the spool once the broker took it.
    EXPECT_TRUE(PumpUntil([&] { return publisher.PendingAlarms() == 0; }));

    // Readings: at most one per interval and window.
    QJsonObject values;
    values["xpd"] = 25.5;
    for (int i = 0; i < 10; ++i)
        publisher.Reading("XPD 1", "xpd", values);
    ASSERT_TRUE(PumpUntil([&] { return sub.On("site/a1/XPD_1/reading").size() == 1; }));
    PumpUntil([] { return false; }, std::chrono::milliseconds(400));
    publisher.Reading("XPD 1", "xpd", values);
    ASSERT_TRUE(PumpUntil([&] { return sub.On("site/a1/XPD_1/reading").size() == 2; }));
    EXPECT_DOUBLE_EQ(
        QJsonDocument::fromJson(sub.On("site/a1/XPD_1/reading")[0]).object()["xpd"].toDouble(),
        25.5);

    publisher.Stop();
    ASSERT_TRUE(PumpUntil([&] { return sub.On("site/a1/status").back() == "offline"; }));
    // The status is retained: a dashboard that comes later learns it too.
    TestSubscriber late(broker.Port(), "site/a1/status");
    ASSERT_TRUE(PumpUntil([&] { return !late.On("site/a1/status").empty(); }));
    EXPECT_EQ(late.On("site/a1/status").back(), "offline");
}

TEST_F(PublisherTest, AlarmsRaisedWhileTheBrokerIsAwayComeInOrderOnceWhenItReturns) {
    CMqttPublisher publisher;
    ASSERT_TRUE(publisher.Start(settings, Spool(), nullptr));
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.GetState() == CMqttPublisher::State::Connected; }));
    publisher.Alarm(Alarm(1));
    ASSERT_TRUE(PumpUntil([&] { return publisher.PendingAlarms() == 0; }));
    broker.Stop();
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.GetState() != CMqttPublisher::State::Connected; }));
    EXPECT_FALSE(publisher.StateText().isEmpty());
    for (int n = 2; n <= 6; ++n)
        publisher.Alarm(Alarm(n));
    EXPECT_EQ(publisher.PendingAlarms(), 5u);
    ASSERT_TRUE(broker.Start());
    TestSubscriber sub(broker.Port(), "site/a1/+/alarm");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    // The subscriber came after the broker: only the spooled alarms reach it.
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.PendingAlarms() == 0; }, std::chrono::seconds(40)));
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    const std::vector<QByteArray> got = sub.On("site/a1/Medical_1/alarm");
    ASSERT_EQ(got.size(), 5u);
    for (int n = 2; n <= 6; ++n) {
        const QJsonObject o = QJsonDocument::fromJson(got[static_cast<size_t>(n - 2)]).object();
        EXPECT_EQ(o["sequence"].toInt(), n);
        // Each with its own time, not the time of delivery.
        EXPECT_EQ(o["time"].toString(), QDateTime::fromMSecsSinceEpoch(1765000000000LL + n, Qt::UTC)
                                            .toString(Qt::ISODateWithMs));
    }
}

TEST_F(PublisherTest, AnAlarmInFlightWhenTheBrokerDiesIsDeliveredOnceWhenItReturns) {
    CMqttPublisher publisher;
    ASSERT_TRUE(publisher.Start(settings, Spool(), nullptr));
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.GetState() == CMqttPublisher::State::Connected; }));
    // The broker hangs: the alarm is sent, its acknowledgement never comes.
    ASSERT_EQ(::kill(static_cast<pid_t>(broker.Pid()), SIGSTOP), 0);
    publisher.Alarm(Alarm(1));
    publisher.Alarm(Alarm(2));
    PumpUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(publisher.PendingAlarms(), 2u);
    // ... and dies without having read it.
    ASSERT_EQ(::kill(static_cast<pid_t>(broker.Pid()), SIGKILL), 0);
    broker.Stop();
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.GetState() != CMqttPublisher::State::Connected; }));
    ASSERT_TRUE(broker.Start());
    TestSubscriber sub(broker.Port(), "site/a1/+/alarm");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    ASSERT_TRUE(
        PumpUntil([&] { return publisher.PendingAlarms() == 0; }, std::chrono::seconds(40)));
    PumpUntil([] { return false; }, std::chrono::milliseconds(1500));
    std::vector<int> sequences;
    for (const QByteArray& m : sub.On("site/a1/Medical_1/alarm"))
        sequences.push_back(QJsonDocument::fromJson(m).object()["sequence"].toInt());
    // Each alarm once, in order.
    EXPECT_EQ(sequences, (std::vector<int>{1, 2}));
}

TEST_F(PublisherTest, AWrongPasswordIsSaidAndASilentBrokerIsGivenUp) {
    // A broker that takes only its user.
    TestBroker strict(dir.path() + "/strict",
                      "allow_anonymous false\npassword_file " + dir.path() + "/strict/passwd\n");
    ASSERT_EQ(mkdir((dir.path() + "/strict").c_str(), 0700), 0);
    ASSERT_EQ(QProcess::execute("mosquitto_passwd",
                                {"-c", "-b", QString::fromStdString(dir.path() + "/strict/passwd"),
                                 "lab", "right"}),
              0);
    ASSERT_TRUE(strict.Start());
    CPublishSettings wrong = settings;
    wrong.port = strict.Port();
    wrong.user = "lab";
    wrong.password = "wrong";
    CMqttPublisher publisher;
    ASSERT_TRUE(publisher.Start(wrong, Spool(), nullptr));
    ASSERT_TRUE(PumpUntil([&] { return publisher.GetState() == CMqttPublisher::State::Failed; }));
    EXPECT_TRUE(publisher.StateText().contains("refused")) << publisher.StateText().toStdString();
    // Alarms wait meanwhile.
    publisher.Alarm(Alarm(1));
    EXPECT_EQ(publisher.PendingAlarms(), 1u);
    publisher.Stop(0);

    // The right password.
    wrong.password = "right";
    CMqttPublisher good;
    ASSERT_TRUE(good.Start(wrong, QString::fromStdString(dir.file("spool2")), nullptr));
    ASSERT_TRUE(PumpUntil([&] { return good.GetState() == CMqttPublisher::State::Connected; }));
    good.Stop();

    // A broker that accepts and never says a word.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    CPublishSettings mute = settings;
    mute.port = silent.serverPort();
    CMqttPublisher waiting;
    waiting.SetConnectTimeout(300);
    ASSERT_TRUE(waiting.Start(mute, QString::fromStdString(dir.file("spool3")), nullptr));
    ASSERT_TRUE(PumpUntil([&] { return waiting.GetState() == CMqttPublisher::State::Failed; }));
    EXPECT_TRUE(waiting.StateText().contains("does not answer"))
        << waiting.StateText().toStdString();
}

TEST_F(PublisherTest, ATlsBrokerIsReachedWithTheCaOfTheSite) {
    const std::string tls = dir.path() + "/tls";
    ASSERT_EQ(mkdir(tls.c_str(), 0700), 0);
    const QString t = QString::fromStdString(tls);
    const auto openssl = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(t);
        p.start("openssl", args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    };
    ASSERT_TRUE(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                         "/CN=Torvel test CA", "-keyout", "ca.key", "-out", "ca.crt"}));
    ASSERT_TRUE(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                         "-keyout", "server.key", "-out", "server.csr"}));
    WriteWholeFile(tls + "/san.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    ASSERT_TRUE(
        openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                 "-CAcreateserial", "-days", "2", "-extfile", "san.ext", "-out", "server.crt"}));
    TestBroker secure(tls, "cafile " + tls + "/ca.crt\ncertfile " + tls + "/server.crt\nkeyfile " +
                               tls + "/server.key\n");
    ASSERT_TRUE(secure.Start());
    TestSubscriber sub(secure.Port(), "site/a1/status", "", "", tls + "/ca.crt");
    ASSERT_TRUE(PumpUntil([&] { return sub.Subscribed(); }));
    CPublishSettings s = settings;
    s.host = "localhost";
    s.port = secure.Port();
    s.tls = true;
    s.caFile = t + "/ca.crt";
    CMqttPublisher publisher;
    ASSERT_TRUE(publisher.Start(s, Spool(), nullptr));
    ASSERT_TRUE(PumpUntil([&] { return publisher.GetState() == CMqttPublisher::State::Connected; }))
        << publisher.StateText().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return !sub.On("site/a1/status").empty(); }));
    EXPECT_EQ(sub.On("site/a1/status").back(), "online");
    publisher.Stop();

    // Without the site's CA the broker is not trusted.
    s.caFile.clear();
    CMqttPublisher untrusting;
    ASSERT_TRUE(untrusting.Start(s, QString::fromStdString(dir.file("spool2")), nullptr));
    ASSERT_TRUE(PumpUntil([&] { return untrusting.GetState() == CMqttPublisher::State::Failed; }));
}

TEST(PublishSettings, TheMqttUrlAndTheTopicLevels) {
    CPublishSettings s;
    QString error;
    ASSERT_TRUE(s.ApplyUrl("mqtt://broker.lab:1884", &error));
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.host, "broker.lab");
    EXPECT_EQ(s.port, 1884);
    EXPECT_FALSE(s.tls);
    ASSERT_TRUE(s.ApplyUrl("mqtts://10.0.0.2", &error));
    EXPECT_TRUE(s.tls);
    EXPECT_EQ(s.port, 8883);
    for (const char* bad : {"http://x", "mqtt://", "broker:1883", "mqtt://x:99999", "mqtt://x/a"}) {
        CPublishSettings t;
        EXPECT_FALSE(t.ApplyUrl(bad, &error)) << bad;
        EXPECT_FALSE(t.enabled);
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(CPublishSettings::TopicLevel("Medical 1/a+b#"), "Medical_1_a_b_");
    EXPECT_EQ(CPublishSettings::TopicLevel("  "), "_");
    s.topicPrefix = "site/#/";
    EXPECT_TRUE(s.Prefix().startsWith("torvel/"));
    s.topicPrefix = "site/a1/";
    EXPECT_EQ(s.Prefix(), "site/a1");
}

} // namespace
