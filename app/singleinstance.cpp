#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {
// Characters of the name kept in the lock and socket names. A local socket's
// path must fit in about 100 bytes, so a longer name is cut and a hash of the
// whole name keeps it distinct.
constexpr int kKeptNameLength = 48;

// Lock and socket names may not hold path separators; they are per user.
QString safeName(const QString& name) {
    QString s;
    for (QChar c : name)
        s += c.isLetterOrNumber() || c == '-' || c == '_' ? c : QChar('_');
    if (s.size() > kKeptNameLength) {
        const QByteArray hash =
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
        s = s.left(kKeptNameLength) + "-" + QString::fromLatin1(hash);
    }
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

CSingleInstance::Result CSingleInstance::Acquire() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_lockPath = dir + "/" + m_name + ".lock";
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0); // a lock whose process has gone is taken over
    if (!m_lock->tryLock(100)) {
        const bool held = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        if (!held)
            return Result::Failed;
        askToActivate(m_name);
        return Result::HeldElsewhere;
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
    return Result::Acquired;
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
