#include "singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {
// Lock and socket names may not hold path separators; they are per user.
QString safeName(const QString& name) {
    QString s;
    for (QChar c : name)
        s += c.isLetterOrNumber() || c == '-' || c == '_' ? c : QChar('_');
    return s + "-" + QString::number(getuid());
}

bool askToActivate(const QString& server) {
    QLocalSocket socket;
    socket.connectToServer(server);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("activate\n");
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return true;
}
} // namespace

CSingleInstance::CSingleInstance(QString name) : m_name(safeName(name)) {}

CSingleInstance::~CSingleInstance() {
    Release();
}

bool CSingleInstance::Acquire() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(dir + "/" + m_name + ".lock");
    m_lock->setStaleLockTime(0); // a lock whose process has gone is taken over
    if (!m_lock->tryLock(100)) {
        m_lock.reset();
        askToActivate(m_name);
        return false;
    }
    QLocalServer::removeServer(m_name); // a socket left by a crashed instance
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(m_name);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, s, [this, s] {
                if (s->readAll().startsWith("activate") && m_activate)
                    m_activate();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return true;
}

void CSingleInstance::Release() {
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}
