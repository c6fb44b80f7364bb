// CPublishSettings: what the program publishes to an MQTT broker and how it
// reaches it. Kept in the profile's PUBLISHING section; --mqtt URL switches
// publishing on for one run without changing the profile.
#pragma once

#include <QString>

struct CPublishSettings {
    static constexpr int kDefaultPort = 1883;
    static constexpr int kDefaultTlsPort = 8883;
    static constexpr int kDefaultIntervalMs = 1000;
    static constexpr int kMinIntervalMs = 100;
    static constexpr int kMaxIntervalMs = 3600 * 1000;

    bool enabled = false;
    QString host = QStringLiteral("localhost");
    int port = kDefaultPort;
    bool tls = false;
    QString caFile;   // PEM of the broker's CA (TLS)
    QString certFile; // the client's certificate and key, optional (TLS)
    QString keyFile;
    QString user;
    QString password;
    QString clientId;    // empty: torvel-<host name>-<process id>
    QString topicPrefix; // empty: torvel/<host name>
    bool alarms = true;
    bool readings = true;
    int readingIntervalMs = kDefaultIntervalMs;

    // The profile's values (defaults where a key is missing or out of range).
    static CPublishSettings FromProfile();
    void ToProfile() const;
    // mqtt://host[:port] or mqtts://host[:port]: switches publishing on with
    // that broker; false with the reason for anything else.
    bool ApplyUrl(const QString& url, QString* error);
    // The topic prefix in use and the client id in use.
    QString Prefix() const;
    QString ClientId() const;
    // A window title as one level of a topic: no '/', '+', '#' or control
    // characters, never empty.
    static QString TopicLevel(const QString& title);
};
