// CMqttPublisher: the program's link to an MQTT broker, through the broker
// project's client library (libmosquitto), driven from the event loop: no
// thread of its own. It publishes
//   <prefix>/status            "online" once connected (retained); the will
//                              leaves "offline" when the program dies or the
//                              link is lost, a clean stop publishes it itself
//   <prefix>/<window>/alarm    one JSON message per alarm raised or cleared
//                              (QoS 1), delivered in order from a spool
//   <prefix>/<window>/reading  a window's read-outs (QoS 0), at most once per
//                              interval
//   <prefix>/spool             the count of alarms the spool had to drop
// and never gets in the way of measuring: a broker away, refusing or silent
// changes only its state, which the status bar shows.
#pragma once

#include "publish/alarmspool.h"
#include "publish/publishsettings.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

class QSocketNotifier;
struct mosquitto;

// One alarm raised or cleared, as a subscriber reads it.
struct CAlarmMessage {
    QDateTime time;  // when it was raised or cleared (UTC on the wire)
    QString window;  // the window's title
    QString kind;    // the window's kind: "normal", "medical", "xpd", ...
    QString source;  // what raised it: "Alarm line", "XPD", "Monitoring", ...
    QString channel; // the channel watched, if the window has one
    bool raised = true;
    bool technical = false; // a fault of the monitoring, not of the signal
    double frequencyHz = 0; // 0: none
    bool hasLevel = false;
    double level = 0;
    bool hasThreshold = false;
    double threshold = 0;
    QString unit; // of level and threshold ("dBm", "dB")
    QString text; // the alarm in words, as the window logs it
};

class CMqttPublisher : public QObject {
    Q_OBJECT
public:
    enum class State { Off, Connecting, Connected, Failed };
    // A connection that gives no answer for this long is given up and tried again.
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kKeepAliveS = 30;
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 30000;

    explicit CMqttPublisher(QObject* parent = nullptr);
    ~CMqttPublisher() override;

    // Starts publishing with settings; alarms wait in the journal at spoolPath
    // until the broker took them. False with the reason when nothing can
    // start (the client library, a TLS file, the spool).
    bool Start(const CPublishSettings& settings, const QString& spoolPath, QString* error);
    // A clean end: "offline" is published (waiting up to waitMs for the
    // broker to take it) and the link closed.
    void Stop(int waitMs = 2000);

    void Alarm(const CAlarmMessage& alarm);
    // A window's read-outs; dropped (false) while not connected or within the
    // window's interval.
    bool Reading(const QString& window, const QString& kind, const QJsonObject& values);

    State GetState() const { return m_state; }
    // The state in words for the status bar ("MQTT: connected to host:port").
    QString StateText() const;
    std::size_t PendingAlarms() const { return m_spool.Pending(); }
    // How long a connection may go without an answer (kConnectTimeoutMs).
    void SetConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    std::uint64_t DroppedAlarms() const { return m_spool.Dropped(); }
    const CPublishSettings& Settings() const { return m_settings; }

    // The JSON of an alarm (with its sequence number of this run).
    static QByteArray AlarmJson(const CAlarmMessage& alarm, std::uint64_t sequence,
                                const QString& run);

Q_SIGNALS:
    void StateChanged();

private:
    static void OnConnect(mosquitto* m, void* self, int rc);
    static void OnPublish(mosquitto* m, void* self, int mid);
    void Connected(int rc);
    void Published(int mid);
    void SetState(State state, const QString& reason = QString());
    bool Publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain,
                 int* mid = nullptr);
    // The next spooled alarm goes out once the one before it was taken.
    void DeliverNext();
    void PublishSpoolCount();
    // The client library's socket is watched by the event loop.
    void WatchSocket();
    void UnwatchSocket();
    void Service();
    void Lost(const QString& reason);
    // A fresh client of the library with the settings' identity, will, login
    // and TLS; false with the reason.
    bool MakeClient(QString* why);
    // Starts connecting the client; a failure is a lost link, tried again.
    void Connect();
    void Reconnect();

    CPublishSettings m_settings;
    CAlarmSpool m_spool;
    mosquitto* m_mosq = nullptr;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_miscTimer;
    QTimer m_retryTimer;
    QTimer m_connectTimer;
    int m_retryMs = kFirstRetryMs;
    int m_connectTimeoutMs = kConnectTimeoutMs;
    State m_state = State::Off;
    QString m_reason;
    int m_inflightMid = -1;
    std::uint64_t m_inflightId = 0;
    int m_offlineMid = -1;
    bool m_offlineTaken = false;
    std::uint64_t m_sequence = 0;
    std::uint64_t m_publishedDropped = ~std::uint64_t{0};
    QString m_run;
    QByteArray m_prefix;
    std::map<QString, QElapsedTimer> m_lastReading;
};
