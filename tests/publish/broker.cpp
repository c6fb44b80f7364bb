// The tests' broker and subscriber.
#include "broker.h"

#include "testutil.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <mosquitto.h>

#include <chrono>
#include <pwd.h>
#include <thread>
#include <unistd.h>

int FreePort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

TestBroker::TestBroker(std::string folder, std::string extra)
    : m_folder(std::move(folder)), m_extra(std::move(extra)) {}

TestBroker::~TestBroker() {
    Stop();
}

bool TestBroker::Start() {
    if (m_port == 0)
        m_port = FreePort();
    const std::string conf = m_folder + "/mosquitto.conf";
    // Started by root, the broker would become another user, who cannot
    // read the test's files: it stays the test's user.
    const passwd* me = getpwuid(getuid());
    WriteWholeFile(conf, "listener " + std::to_string(m_port) +
                             " 127.0.0.1\n"
                             "persistence false\n"
                             "log_dest none\n" +
                             (me ? "user " + std::string(me->pw_name) + "\n" : std::string()) +
                             (m_extra.find("allow_anonymous") == std::string::npos
                                  ? std::string("allow_anonymous true\n")
                                  : std::string()) +
                             m_extra);
    m_process.setProgram("mosquitto");
    m_process.setArguments({"-c", QString::fromStdString(conf)});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    // Up once it accepts a connection.
    for (int i = 0; i < 200; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
        if (probe.waitForConnected(100))
            return true;
        if (m_process.state() != QProcess::Running)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

void TestBroker::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

TestSubscriber::TestSubscriber(int port, const std::string& filter, const std::string& user,
                               const std::string& password, const std::string& caFile)
    : m_filter(filter) {
    mosquitto_lib_init();
    m_mosq = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(m_mosq, &TestSubscriber::OnConnect);
    mosquitto_subscribe_callback_set(m_mosq, &TestSubscriber::OnSubscribe);
    mosquitto_message_callback_set(m_mosq, &TestSubscriber::OnMessage);
    if (!user.empty())
        mosquitto_username_pw_set(m_mosq, user.c_str(), password.c_str());
    if (!caFile.empty())
        mosquitto_tls_set(m_mosq, caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect_async(m_mosq, caFile.empty() ? "127.0.0.1" : "localhost", port, 30);
    mosquitto_loop_start(m_mosq);
}

TestSubscriber::~TestSubscriber() {
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, true);
    mosquitto_destroy(m_mosq);
    mosquitto_lib_cleanup();
}

void TestSubscriber::OnConnect(mosquitto* m, void* self, int rc) {
    if (rc == 0)
        mosquitto_subscribe(m, nullptr, static_cast<TestSubscriber*>(self)->m_filter.c_str(), 1);
}

void TestSubscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* s = static_cast<TestSubscriber*>(self);
    std::lock_guard<std::mutex> lock(s->m_mutex);
    s->m_subscribed = true;
}

void TestSubscriber::OnMessage(mosquitto*, void* self, const struct mosquitto_message* m) {
    auto* s = static_cast<TestSubscriber*>(self);
    std::lock_guard<std::mutex> lock(s->m_mutex);
    s->m_messages.push_back(ReceivedMessage{
        m->topic, QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
}

bool TestSubscriber::Subscribed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_subscribed;
}

std::vector<ReceivedMessage> TestSubscriber::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<QByteArray> TestSubscriber::On(const std::string& topic) const {
    std::vector<QByteArray> out;
    for (const ReceivedMessage& m : Messages())
        if (m.topic == topic)
            out.push_back(m.payload);
    return out;
}
