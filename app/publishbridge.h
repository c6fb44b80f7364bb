// CPublishBridge: the windows' alarms and read-outs on their way to the MQTT
// broker. It hears every window's alarms (the signal's and the technical
// "monitoring interrupted") as the frame's alarm listener, passes them on to
// the listener behind it, and turns them into the publisher's messages; a
// timer looks at the windows and publishes the read-outs of those that took
// new data in, each window at most once per reading interval.
#pragma once

#include "analysis/alarmlistener.h"
#include "publish/mqttpublisher.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class CPublishBridge : public QObject, public CAlarmListener {
    Q_OBJECT
public:
    using Windows = std::function<std::vector<CAnalysisCore*>()>;
    using Title = std::function<QString(CAnalysisCore*)>;

    CPublishBridge(Windows windows, Title title, QObject* parent = nullptr);
    ~CPublishBridge() override;

    // Starts the publisher (see CMqttPublisher::Start) and the readings' watch.
    bool Start(const CPublishSettings& settings, const QString& spoolPath, QString* error);
    // A clean end: "offline" published, the link closed.
    void Stop();
    CMqttPublisher& Publisher() { return m_publisher; }
    // The listener that hears the alarms after the publisher (null: none).
    void SetNext(CAlarmListener* next) { m_next = next; }

    void TechnicalAlarm(CAnalysisCore& core, bool raised, const CString& text) override;
    void SignalAlarm(CAnalysisCore& core, const CAlarmEvent& event) override;

    // The name of a window kind (1..7) in the messages: "normal", "wlan",
    // "zerospan", "semirealtime", "realtime", "medical", "xpd".
    static QString KindName(int kind);
    // Publishes the read-outs of the windows that took data in since the last look.
    void PublishReadings();

private:
    CAlarmMessage messageOf(CAnalysisCore& core) const;

    Windows m_windows;
    Title m_title;
    CMqttPublisher m_publisher;
    CAlarmListener* m_next = nullptr;
    QTimer m_readingTimer;
    // Per window: its data intakes at the last reading published.
    std::map<CAnalysisCore*, std::uint64_t> m_intakes;
};
