// CPublishSettings: the profile keys, the --mqtt URL and the topic names.
#include "publish/publishsettings.h"

#include "platform/profile.h"

#include <QUrl>

#include <unistd.h>

namespace {
constexpr char kSection[] = "PUBLISHING";

QString Text(const char* key, const QString& fallback = QString()) {
    const CString v = GetProfileString(kSection, key, fallback.toUtf8().constData());
    return QString::fromUtf8(v.c_str());
}

void WriteText(const char* key, const QString& value) {
    WriteProfileString(kSection, key, value.toUtf8().constData());
}

// The machine's name as a topic level.
QString HostLevel() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        name[0] = '\0';
    return CPublishSettings::TopicLevel(QString::fromLocal8Bit(name));
}
} // namespace

CPublishSettings CPublishSettings::FromProfile() {
    CPublishSettings s;
    s.enabled = GetProfileInt(kSection, "Enabled", 0) != 0;
    s.host = Text("Host", s.host);
    s.tls = GetProfileInt(kSection, "TLS", 0) != 0;
    const int port = GetProfileInt(kSection, "Port", s.tls ? kDefaultTlsPort : kDefaultPort);
    s.port = port >= 1 && port <= 65535 ? port : (s.tls ? kDefaultTlsPort : kDefaultPort);
    s.caFile = Text("CAFile");
    s.certFile = Text("CertFile");
    s.keyFile = Text("KeyFile");
    s.user = Text("User");
    s.password = Text("Password");
    s.clientId = Text("ClientId");
    s.topicPrefix = Text("TopicPrefix");
    s.alarms = GetProfileInt(kSection, "Alarms", 1) != 0;
    s.readings = GetProfileInt(kSection, "Readings", 1) != 0;
    const int interval = GetProfileInt(kSection, "ReadingInterval", kDefaultIntervalMs);
    s.readingIntervalMs =
        interval >= kMinIntervalMs && interval <= kMaxIntervalMs ? interval : kDefaultIntervalMs;
    return s;
}

void CPublishSettings::ToProfile() const {
    WriteProfileInt(kSection, "Enabled", enabled ? 1 : 0);
    WriteText("Host", host);
    WriteProfileInt(kSection, "Port", port);
    WriteProfileInt(kSection, "TLS", tls ? 1 : 0);
    WriteText("CAFile", caFile);
    WriteText("CertFile", certFile);
    WriteText("KeyFile", keyFile);
    WriteText("User", user);
    WriteText("Password", password);
    WriteText("ClientId", clientId);
    WriteText("TopicPrefix", topicPrefix);
    WriteProfileInt(kSection, "Alarms", alarms ? 1 : 0);
    WriteProfileInt(kSection, "Readings", readings ? 1 : 0);
    WriteProfileInt(kSection, "ReadingInterval", readingIntervalMs);
}

bool CPublishSettings::ApplyUrl(const QString& text, QString* error) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "mqtt" && scheme != "mqtts") || url.host().isEmpty() ||
        (!url.path().isEmpty() && url.path() != "/") || url.hasQuery() || url.hasFragment()) {
        if (error)
            *error =
                QStringLiteral("--mqtt takes mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not \"%1\"")
                    .arg(text);
        return false;
    }
    tls = scheme == "mqtts";
    host = url.host();
    port = url.port(tls ? kDefaultTlsPort : kDefaultPort);
    if (port < 1 || port > 65535) {
        if (error)
            *error = QStringLiteral("--mqtt: the port of \"%1\" is out of range").arg(text);
        return false;
    }
    if (!url.userName().isEmpty())
        user = url.userName();
    if (!url.password().isEmpty())
        password = url.password();
    enabled = true;
    return true;
}

QString CPublishSettings::Prefix() const {
    QString prefix = topicPrefix.trimmed();
    while (prefix.endsWith('/'))
        prefix.chop(1);
    if (prefix.isEmpty() || prefix.contains('+') || prefix.contains('#'))
        prefix = "torvel/" + HostLevel();
    return prefix;
}

QString CPublishSettings::ClientId() const {
    if (!clientId.trimmed().isEmpty())
        return clientId.trimmed();
    return QStringLiteral("torvel-%1-%2").arg(HostLevel()).arg(::getpid());
}

QString CPublishSettings::TopicLevel(const QString& title) {
    QString level;
    level.reserve(title.size());
    for (const QChar c : title.trimmed()) {
        if (c == '/' || c == '+' || c == '#' || c.isSpace() || c.category() == QChar::Other_Control)
            level += '_';
        else
            level += c;
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}
