// CMqttPublisher: libmosquitto on the event loop. The library's socket is
// watched with socket notifiers (read, and write while the library has
// something to send), a timer runs its keep-alive, and every callback it
// makes comes on the GUI thread from inside those calls.
#include "publish/mqttpublisher.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMiscPeriodMs = 500;
constexpr int kQosAlarm = 1;
constexpr int kQosReading = 0;

QByteArray Utf8(const QString& s) {
    return s.toUtf8();
}
} // namespace

CMqttPublisher::CMqttPublisher(QObject* parent) : QObject(parent) {
    mosquitto_lib_init();
    m_miscTimer.setInterval(kMiscPeriodMs);
    connect(&m_miscTimer, &QTimer::timeout, this, [this] { Service(); });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] { Reconnect(); });
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this,
            [this] { Lost(QStringLiteral("the broker does not answer")); });
}

CMqttPublisher::~CMqttPublisher() {
    Stop(0);
    mosquitto_lib_cleanup();
}

bool CMqttPublisher::Start(const CPublishSettings& settings, const QString& spoolPath,
                           QString* error) {
    Stop(0);
    m_settings = settings;
    m_prefix = Utf8(settings.Prefix());
    m_run = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        SetState(State::Failed, why);
        return false;
    };
    QString spoolError;
    if (!m_spool.IsOpen() && !m_spool.Open(spoolPath, &spoolError))
        return fail(
            QStringLiteral("the alarm spool %1 cannot be written: %2").arg(spoolPath, spoolError));
    QString why;
    if (!MakeClient(&why))
        return fail(why);
    m_retryMs = kFirstRetryMs;
    SetState(State::Connecting);
    Connect();
    m_miscTimer.start();
    return true; // a failed connection is tried again later
}

bool CMqttPublisher::MakeClient(QString* why) {
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    const CPublishSettings& settings = m_settings;
    const auto fail = [&](const QString& text) {
        *why = text;
        return false;
    };
    m_mosq = mosquitto_new(Utf8(settings.ClientId()).constData(), true, this);
    if (!m_mosq)
        return fail(QStringLiteral("the MQTT client library could not start"));
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, &CMqttPublisher::OnConnect);
    mosquitto_publish_callback_set(m_mosq, &CMqttPublisher::OnPublish);
    const QByteArray offline("offline");
    const QByteArray status = m_prefix + "/status";
    mosquitto_will_set(m_mosq, status.constData(), static_cast<int>(offline.size()),
                       offline.constData(), kQosAlarm, true);
    if (!settings.user.isEmpty())
        mosquitto_username_pw_set(
            m_mosq, Utf8(settings.user).constData(),
            settings.password.isEmpty() ? nullptr : Utf8(settings.password).constData());
    if (settings.tls) {
        for (const QString& f : {settings.caFile, settings.certFile, settings.keyFile})
            if (!f.isEmpty() && !QFileInfo(f).isReadable())
                return fail(QStringLiteral("the TLS file %1 cannot be read").arg(f));
        if (settings.certFile.isEmpty() != settings.keyFile.isEmpty())
            return fail(
                QStringLiteral("a client certificate needs its key, and a key its certificate"));
        const QByteArray ca = Utf8(settings.caFile), cert = Utf8(settings.certFile),
                         key = Utf8(settings.keyFile);
        // Without a CA file the system's trusted authorities vouch for the broker.
        const int rc = mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                                         ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                                         cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("TLS could not be set up: %1")
                            .arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }
    return true;
}

void CMqttPublisher::Connect() {
    const int rc = mosquitto_connect_async(m_mosq, Utf8(m_settings.host).constData(),
                                           m_settings.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    WatchSocket();
    m_connectTimer.start(m_connectTimeoutMs);
}

void CMqttPublisher::Stop(int waitMs) {
    if (!m_mosq)
        return;
    m_retryTimer.stop();
    m_connectTimer.stop();
    if (m_state == State::Connected) {
        // "offline" by the program itself, then a DISCONNECT, which leaves the will unsent.
        m_offlineTaken = false;
        if (Publish(m_prefix + "/status", "offline", kQosAlarm, true, &m_offlineMid)) {
            QElapsedTimer clock;
            clock.start();
            while (!m_offlineTaken && m_mosq && clock.elapsed() < waitMs) {
                if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS)
                    break;
            }
        }
        if (m_mosq) {
            mosquitto_disconnect(m_mosq);
            mosquitto_loop_write(m_mosq, 1);
        }
    }
    UnwatchSocket();
    m_miscTimer.stop();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_inflightMid = -1;
    SetState(State::Off);
}

// ---- Callbacks (from inside the library's calls, on this thread)

void CMqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    static_cast<CMqttPublisher*>(self)->Connected(rc);
}

void CMqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
    static_cast<CMqttPublisher*>(self)->Published(mid);
}

void CMqttPublisher::Connected(int rc) {
    m_connectTimer.stop();
    if (rc != 0) {
        // Refused: the reason in the broker's words (a wrong password
        // says so); tried again at the longest delay.
        m_retryMs = kLastRetryMs;
        Lost(QStringLiteral("the broker refused the connection: %1")
                 .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    m_retryMs = kFirstRetryMs;
    SetState(State::Connected);
    Publish(m_prefix + "/status", "online", kQosAlarm, true);
    m_publishedDropped = ~std::uint64_t{0};
    PublishSpoolCount();
    m_inflightMid = -1;
    DeliverNext();
}

void CMqttPublisher::Published(int mid) {
    if (mid == m_offlineMid)
        m_offlineTaken = true;
    if (mid != m_inflightMid)
        return;
    m_inflightMid = -1;
    m_spool.Delivered(m_inflightId);
    DeliverNext();
}

// ---- Publishing

bool CMqttPublisher::Publish(const QByteArray& topic, const QByteArray& payload, int qos,
                             bool retain, int* mid) {
    if (!m_mosq || m_state != State::Connected)
        return false;
    const int rc =
        mosquitto_publish(m_mosq, mid, topic.constData(), static_cast<int>(payload.size()),
                          payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    Service();
    return true;
}

void CMqttPublisher::DeliverNext() {
    if (m_inflightMid >= 0 || m_state != State::Connected)
        return;
    // One alarm at a time: they arrive in the order they were raised.
    while (const CAlarmSpool::Entry* next = m_spool.Front()) {
        int mid = -1;
        const std::uint64_t id = next->id;
        if (mosquitto_pub_topic_check(next->topic.constData()) != MOSQ_ERR_SUCCESS) {
            m_spool.Delivered(id); // a damaged entry is never sendable
            continue;
        }
        if (Publish(next->topic, next->payload, kQosAlarm, false, &mid)) {
            m_inflightId = id;
            m_inflightMid = mid;
        }
        return;
    }
    PublishSpoolCount();
}

void CMqttPublisher::PublishSpoolCount() {
    if (m_spool.Dropped() == m_publishedDropped)
        return;
    QJsonObject o;
    o["dropped"] = static_cast<double>(m_spool.Dropped());
    o["pending"] = static_cast<double>(m_spool.Pending());
    if (Publish(m_prefix + "/spool", QJsonDocument(o).toJson(QJsonDocument::Compact), kQosAlarm,
                true))
        m_publishedDropped = m_spool.Dropped();
}

QByteArray CMqttPublisher::AlarmJson(const CAlarmMessage& a, std::uint64_t sequence,
                                     const QString& run) {
    QJsonObject o;
    o["time"] = a.time.toUTC().toString(Qt::ISODateWithMs);
    o["window"] = a.window;
    o["kind"] = a.kind;
    o["source"] = a.source;
    if (!a.channel.isEmpty())
        o["channel"] = a.channel;
    o["event"] = a.raised ? "raised" : "cleared";
    o["technical"] = a.technical;
    o["sequence"] = static_cast<double>(sequence);
    o["run"] = run;
    if (a.frequencyHz > 0)
        o["frequency_hz"] = a.frequencyHz;
    if (a.hasLevel && std::isfinite(a.level))
        o["level"] = std::round(a.level * 100.0) / 100.0;
    if (a.hasThreshold && std::isfinite(a.threshold))
        o["threshold"] = std::round(a.threshold * 100.0) / 100.0;
    if (!a.unit.isEmpty())
        o["unit"] = a.unit;
    if (!a.text.isEmpty())
        o["text"] = a.text;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void CMqttPublisher::Alarm(const CAlarmMessage& alarm) {
    if (!m_settings.enabled || !m_settings.alarms || !m_spool.IsOpen())
        return;
    const QByteArray topic =
        m_prefix + '/' + Utf8(CPublishSettings::TopicLevel(alarm.window)) + "/alarm";
    m_spool.Append(topic, AlarmJson(alarm, ++m_sequence, m_run));
    DeliverNext();
    PublishSpoolCount();
}

bool CMqttPublisher::Reading(const QString& window, const QString& kind,
                             const QJsonObject& values) {
    if (!m_settings.enabled || !m_settings.readings || m_state != State::Connected)
        return false;
    QElapsedTimer& last = m_lastReading[window];
    if (last.isValid() && last.elapsed() < m_settings.readingIntervalMs)
        return false;
    last.start();
    QJsonObject o = values;
    o["time"] = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    o["window"] = window;
    o["kind"] = kind;
    return Publish(m_prefix + '/' + Utf8(CPublishSettings::TopicLevel(window)) + "/reading",
                   QJsonDocument(o).toJson(QJsonDocument::Compact), kQosReading, false);
}

// ---- The link on the event loop

void CMqttPublisher::WatchSocket() {
    UnwatchSocket();
    const int fd = m_mosq ? mosquitto_socket(m_mosq) : -1;
    if (fd < 0)
        return;
    m_readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, [this] {
        const int rc = mosquitto_loop_read(m_mosq, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            Lost(QString::fromUtf8(mosquitto_strerror(rc)));
        else
            Service();
    });
    m_writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, [this] {
        const int rc = mosquitto_loop_write(m_mosq, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            Lost(QString::fromUtf8(mosquitto_strerror(rc)));
        else
            Service();
    });
    m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void CMqttPublisher::UnwatchSocket() {
    m_readNotifier.reset();
    m_writeNotifier.reset();
}

void CMqttPublisher::Service() {
    if (!m_mosq || !m_readNotifier)
        return;
    const int rc = mosquitto_loop_misc(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
        Lost(QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void CMqttPublisher::Lost(const QString& reason) {
    UnwatchSocket();
    m_connectTimer.stop();
    // The alarm in flight goes out again first: QoS 1 delivers it at least once.
    m_inflightMid = -1;
    SetState(State::Failed, reason);
    if (m_mosq)
        m_retryTimer.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, kLastRetryMs);
}

void CMqttPublisher::Reconnect() {
    if (!m_mosq)
        return;
    SetState(State::Connecting, m_reason);
    // A new client each time: the spool is the only one that sends an alarm
    // again, so the library must not keep (and resend) its own copy of the
    // alarm that was in flight when the link was lost.
    UnwatchSocket();
    QString why;
    if (!MakeClient(&why)) {
        Lost(why);
        return;
    }
    Connect();
}

void CMqttPublisher::SetState(State state, const QString& reason) {
    if (state == m_state && reason == m_reason)
        return;
    m_state = state;
    m_reason = reason;
    Q_EMIT StateChanged();
}

QString CMqttPublisher::StateText() const {
    const QString where = QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
    switch (m_state) {
    case State::Off:
        return QString();
    case State::Connecting:
        return m_reason.isEmpty()
                   ? QStringLiteral("MQTT: connecting to %1").arg(where)
                   : QStringLiteral("MQTT: connecting to %1 (%2)").arg(where, m_reason);
    case State::Connected:
        return m_spool.Pending() > 0 ? QStringLiteral("MQTT: %1, %2 alarms to deliver")
                                           .arg(where)
                                           .arg(m_spool.Pending())
                                     : QStringLiteral("MQTT: connected to %1").arg(where);
    case State::Failed:
        return QStringLiteral("MQTT: %1 unreachable: %2").arg(where, m_reason);
    }
    return QString();
}
