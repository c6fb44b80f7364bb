#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <memory>
#include <unistd.h>
#include <utility>

namespace {
// Characters of the name kept in the lock and socket names. A local socket's
// path must fit in about 100 bytes, so a longer name is cut and a hash of the
// whole name keeps it distinct.
constexpr int kKeptNameLength = 48;
// The longest path of a local socket (sun_path holds 108 bytes).
constexpr qsizetype kMaxSocketPath = 104;
// A start reaches the first instance within this time or gives up on it.
constexpr int kConnectTimeoutMs = 3000;
constexpr int kConnectRetryMs = 50;
constexpr int kReplyTimeoutMs = 5000;
// What a connection may send: a line holds one encoded path (4096 bytes of
// path, three bytes each at most); bytes beyond a line's limit end it.
constexpr qsizetype kMaxLineLength = 3 * 4096 + 16;
constexpr qsizetype kMaxFilesPerStart = 255;

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

// Sends the files and the request to come forward; true once the first
// instance has answered that it has them.
bool handOver(const QString& server, const QStringList& files) {
    QLocalSocket socket;
    // The first instance listens right after it has taken the lock; a start
    // that comes in between tries again for a short while.
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    for (;;) {
        socket.connectToServer(server);
        if (socket.waitForConnected(kConnectTimeoutMs))
            break;
        socket.abort();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kConnectRetryMs);
    }
    QByteArray message;
    for (const QString& f : files)
        message += "open " + QFile::encodeName(f).toPercentEncoding() + "\n";
    message += "activate\n";
    socket.write(message);
    if (!socket.waitForBytesWritten(kReplyTimeoutMs))
        return false;
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(kReplyTimeoutMs))
        reply += socket.readAll();
    socket.disconnectFromServer();
    return reply.startsWith("ok\n");
}
} // namespace

CSingleInstance::CSingleInstance(QString name) : m_name(safeName(name)) {}

CSingleInstance::~CSingleInstance() {
    Release();
}

CSingleInstance::Result CSingleInstance::Acquire(const QStringList& files) {
    // Lock and socket both in the user's runtime folder: every start of the
    // same user finds them there, whatever temporary folder it was given.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_lockPath = dir + "/" + m_name + ".lock";
    m_socketPath = dir + "/" + m_name + ".socket";
    // A runtime folder too deep for a socket's path: the socket goes by its
    // name into the temporary folder, as a last resort.
    if (QFile::encodeName(m_socketPath).size() >= kMaxSocketPath)
        m_socketPath = m_name;
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0); // a lock whose process has gone is taken over
    if (!m_lock->tryLock(100)) {
        const bool held = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        if (!held)
            return Result::Failed;
        // Without files nothing is lost when the first instance does not answer.
        if (!handOver(m_socketPath, files) && !files.isEmpty())
            return Result::NotHandedOver;
        return Result::HeldElsewhere;
    }
    QLocalServer::removeServer(m_socketPath); // a socket left by a crashed instance
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(m_socketPath);
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::serve);
    return Result::Acquired;
}

void CSingleInstance::serve() {
    while (QLocalSocket* s = m_server->nextPendingConnection()) {
        // What has come in on this connection and is not a whole line yet,
        // and the files named so far.
        struct Pending {
            QByteArray buffer;
            QStringList files;
        };
        auto pending = std::make_shared<Pending>();
        connect(s, &QLocalSocket::readyRead, s, [this, s, pending] {
            pending->buffer += s->readAll();
            qsizetype end;
            while ((end = pending->buffer.indexOf('\n')) >= 0) {
                QByteArray line = pending->buffer.left(end);
                pending->buffer.remove(0, end + 1);
                if (line.endsWith('\r'))
                    line.chop(1);
                if (line.startsWith("open ")) {
                    if (pending->files.size() < kMaxFilesPerStart && line.size() <= kMaxLineLength)
                        pending->files
                            << QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5)));
                } else if (line == "activate") {
                    s->write("ok\n");
                    s->flush();
                    const QStringList files = std::exchange(pending->files, {});
                    if (!files.isEmpty() && m_open)
                        m_open(files);
                    if (m_activate)
                        m_activate();
                }
            }
            if (pending->buffer.size() > kMaxLineLength)
                s->abort();
        });
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    }
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
