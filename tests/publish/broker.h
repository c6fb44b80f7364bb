// A real MQTT broker for the tests (mosquitto, on a free port of loopback,
// with a configuration of the test's own) and a subscriber that records what
// the broker delivers, through the broker project's client library.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

class TestBroker {
public:
    // extra: further lines of the broker's configuration (TLS, passwords);
    // the listener is added by Start.
    explicit TestBroker(std::string folder, std::string extra = "");
    ~TestBroker();
    // Starts the broker (on the port of the last start, if any); false when
    // it did not come up within the bound.
    bool Start();
    void Stop();
    int Port() const { return m_port; }
    // The broker's process (to freeze it, or kill it without a word).
    qint64 Pid() const { return m_process.processId(); }
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    std::string m_extra;
    int m_port = 0;
    QProcess m_process;
};

struct ReceivedMessage {
    std::string topic;
    QByteArray payload;
    bool retained = false;
};

// Subscribes to a topic filter on a broker at 127.0.0.1 (the library's own
// thread receives; the test reads the list).
class TestSubscriber {
public:
    TestSubscriber(int port, const std::string& filter, const std::string& user = "",
                   const std::string& password = "", const std::string& caFile = "");
    ~TestSubscriber();
    bool Subscribed() const;
    std::vector<ReceivedMessage> Messages() const;
    // The payloads received on topic, in order.
    std::vector<QByteArray> On(const std::string& topic) const;

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void OnMessage(mosquitto*, void* self, const struct mosquitto_message* m);
    mosquitto* m_mosq = nullptr;
    std::string m_filter;
    mutable std::mutex m_mutex;
    bool m_subscribed = false;
    std::vector<ReceivedMessage> m_messages;
};

// A free TCP port of loopback (free when asked).
int FreePort();
