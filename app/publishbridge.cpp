#include "app/publishbridge.h"

#include "analysis/analysiscore.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {
QString qstr(const CString& s) {
    return QString::fromUtf8(static_cast<const char*>(s));
}

// The look at the windows: often enough that a window is published soon
// after its interval, never more often than the interval itself.
int lookPeriodMs(int intervalMs) {
    return std::clamp(intervalMs / 4, 50, 1000);
}

double rounded(double v) {
    return std::round(v * 100.0) / 100.0;
}
} // namespace

CPublishBridge::CPublishBridge(Windows windows, Title title, QObject* parent)
    : QObject(parent), m_windows(std::move(windows)), m_title(std::move(title)) {
    connect(&m_readingTimer, &QTimer::timeout, this, &CPublishBridge::PublishReadings);
}

CPublishBridge::~CPublishBridge() = default;

bool CPublishBridge::Start(const CPublishSettings& settings, const QString& spoolPath,
                           QString* error) {
    if (!m_publisher.Start(settings, spoolPath, error))
        return false;
    m_intakes.clear();
    if (settings.readings) {
        m_readingTimer.start(lookPeriodMs(settings.readingIntervalMs));
    } else {
        m_readingTimer.stop();
    }
    return true;
}

void CPublishBridge::Stop() {
    m_readingTimer.stop();
    m_publisher.Stop();
}

QString CPublishBridge::KindName(int kind) {
    static constexpr const char* kNames[7] = {"normal",   "wlan",    "zerospan", "semirealtime",
                                              "realtime", "medical", "xpd"};
    return kind >= 1 && kind <= 7 ? QString::fromLatin1(kNames[kind - 1])
                                  : QStringLiteral("unknown");
}

CAlarmMessage CPublishBridge::messageOf(CAnalysisCore& core) const {
    CAlarmMessage m;
    m.time = QDateTime::currentDateTimeUtc();
    m.window = m_title(&core);
    m.kind = KindName(core.GetAnalysisType());
    return m;
}

void CPublishBridge::TechnicalAlarm(CAnalysisCore& core, bool raised, const CString& text) {
    CAlarmMessage m = messageOf(core);
    m.source = QStringLiteral("Monitoring");
    m.raised = raised;
    m.technical = true;
    m.text = qstr(text);
    m_publisher.Alarm(m);
    if (m_next)
        m_next->TechnicalAlarm(core, raised, text);
}

void CPublishBridge::SignalAlarm(CAnalysisCore& core, const CAlarmEvent& event) {
    CAlarmMessage m = messageOf(core);
    m.source = qstr(event.source);
    m.channel = qstr(event.channel);
    m.raised = event.raised;
    m.frequencyHz = static_cast<double>(event.frequencyKHz) * 1000.0;
    m.hasLevel = event.hasLevel;
    m.level = event.level;
    m.hasThreshold = event.hasThreshold;
    m.threshold = event.threshold;
    m.unit = QString::fromLatin1(event.unit);
    m.text = qstr(event.text);
    m_publisher.Alarm(m);
    if (m_next)
        m_next->SignalAlarm(core, event);
}

void CPublishBridge::PublishReadings() {
    if (m_publisher.GetState() != CMqttPublisher::State::Connected)
        return;
    std::map<CAnalysisCore*, std::uint64_t> seen;
    for (CAnalysisCore* core : m_windows()) {
        const std::uint64_t intakes = core->DataIntakes();
        const auto last = m_intakes.find(core);
        const bool fresh = last == m_intakes.end() ? intakes > 0 : intakes != last->second;
        seen[core] = last == m_intakes.end() ? 0 : last->second;
        if (!fresh)
            continue;
        std::vector<CReading> readings;
        core->GetReadings(readings);
        if (readings.empty())
            continue;
        QJsonArray values;
        for (const CReading& r : readings) {
            if (!std::isfinite(r.value))
                continue;
            QJsonObject o;
            o["name"] = qstr(r.name);
            o["value"] = rounded(r.value);
            o["unit"] = QString::fromLatin1(r.unit);
            if (r.x != 0)
                o[r.time ? "time_us" : "frequency_hz"] =
                    r.time ? static_cast<double>(r.x) : static_cast<double>(r.x) * 1000.0;
            if (!r.channel.IsEmpty())
                o["channel"] = qstr(r.channel);
            values.append(o);
        }
        QJsonObject body;
        body["values"] = values;
        if (m_publisher.Reading(m_title(core), KindName(core->GetAnalysisType()), body))
            seen[core] = intakes;
    }
    // Closed windows are forgotten.
    m_intakes = std::move(seen);
}
