#include "scpiclient.h"

#include "remote/scpiserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
// The socket holds at most this much unread input: a client that sends
// faster than its lines run waits on its own connection.
constexpr qint64 kReadBufferSize = 256 * 1024;

// A peer that vanished without closing (a pulled cable, a host that went
// down) is probed after 30 s of silence, then every 10 s; after 3 probes
// without an answer, a minute after it fell silent, the connection ends and
// its place is free. (The system's own keep-alive waits two hours.)
constexpr int kKeepAliveIdleS = 30;
constexpr int kKeepAliveIntervalS = 10;
constexpr int kKeepAliveProbes = 3;

void probeSilentPeer(QTcpSocket* socket) {
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const auto fd = static_cast<int>(socket->socketDescriptor());
    if (fd < 0)
        return;
    const int options[][2] = {{TCP_KEEPIDLE, kKeepAliveIdleS},
                              {TCP_KEEPINTVL, kKeepAliveIntervalS},
                              {TCP_KEEPCNT, kKeepAliveProbes}};
    for (const auto& [option, value] : options)
        setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value);
}
} // namespace

CScpiClient::CScpiClient(QTcpSocket* socket, CScpiInstrument& instrument, CScpiServer* server)
    : QObject(server), m_socket(socket), m_server(server),
      m_session(
          instrument, [this](const QByteArray& bytes) { send(bytes); },
          // A line waits before its next call while its answers are not
          // taken, once its slice is used, and for good once the client is gone.
          [this] { return m_dropped || outputFull() || sliceUsed(); }),
      m_stall(new QTimer(this)), m_idle(new QTimer(this)) {
    socket->setParent(this);
    probeSilentPeer(socket);
    socket->setReadBufferSize(kReadBufferSize);
    m_stall->setSingleShot(true);
    connect(m_stall, &QTimer::timeout, this, &CScpiClient::Drop);
    m_idle->setSingleShot(true);
    connect(m_idle, &QTimer::timeout, this, &CScpiClient::idleTimeOver);
    stillHere();
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        stillHere();
        m_server->LinesCame(this);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { m_server->Schedule(this, true); });
    connect(socket, &QTcpSocket::disconnected, this, &CScpiClient::Drop);
    connect(socket, &QTcpSocket::errorOccurred, this, &CScpiClient::Drop);
}

CScpiClient::~CScpiClient() = default;

void CScpiClient::send(const QByteArray& bytes) {
    if (m_dropped || !m_socket)
        return;
    // Out at once, as far as the system takes it, not in a later turn of the
    // event loop.
    m_socket->write(bytes);
    m_socket->flush();
}

void CScpiClient::stillHere() {
    if (m_server->IdleTimeout() > 0)
        m_idle->start(m_server->IdleTimeout());
}

void CScpiClient::idleTimeOver() {
    // A client that waits for an operation, or whose lines or answers still
    // wait, is not idle.
    if (m_session.IsWaiting() || (m_socket && m_socket->bytesAvailable() > 0) || outputFull()) {
        stillHere();
        return;
    }
    Drop();
}

bool CScpiClient::outputFull() const {
    return m_socket && m_socket->bytesToWrite() > CScpiServer::kOutputHighWater;
}

void CScpiClient::Drop() {
    if (m_dropped)
        return;
    m_dropped = true;
    m_stall->stop();
    m_idle->stop();
    if (m_socket)
        m_socket->abort();
    m_server->ClientGone(this);
    // A client whose line is being run goes once the line has let go of it
    // (a command may run a loop of events in which the connection ends).
    if (!m_pumping)
        deleteLater();
}

void CScpiClient::RunSlice() {
    if (m_pumping || m_dropped || !m_socket)
        return;
    m_pumping = true;
    m_sliceEnd = std::chrono::steady_clock::now() + CScpiServer::kSliceTime;
    bool more = false;
    while (!m_dropped && m_socket) {
        // Answers not taken: nothing more is run until they are, and a client
        // that takes none for the stall time is dropped.
        if (outputFull()) {
            if (!m_stall->isActive())
                m_stall->start(m_server->StallTimeout());
            break;
        }
        m_stall->stop();
        if (sliceUsed()) {
            more = true;
            break;
        }
        if (m_session.IsWaiting()) {
            // A line held by its answers or its slice goes on; one that waits
            // for an operation stays held (the server resumes it when that is
            // over).
            if (m_session.Resume() || outputFull() || sliceUsed())
                continue;
            m_server->OperationWaits();
            break;
        }
        if (!runNextLine())
            break;
    }
    m_pumping = false;
    if (m_dropped)
        deleteLater();
    else if (more)
        m_server->Schedule(this, true);
}

bool CScpiClient::runNextLine() {
    for (;;) {
        if (!m_socket->bytesAvailable())
            return false;
        // One line up to its end, never more than the longest line + 1 at once.
        const qint64 room = static_cast<qint64>(scpi::kMaxLineLength) + 2 - m_line.size();
        const QByteArray chunk = m_socket->readLine(std::max<qint64>(room, 2));
        if (chunk.isEmpty())
            return false;
        const bool complete = chunk.endsWith('\n');
        if (!m_overlong)
            m_line += chunk;
        if (!complete) {
            if (m_line.size() > static_cast<qsizetype>(scpi::kMaxLineLength)) {
                // Too long: dropped up to its end, then reported.
                m_overlong = true;
                m_line.clear();
            }
            continue;
        }
        if (m_overlong) {
            m_overlong = false;
            m_line.clear();
            m_session.LineTooLong();
            return true;
        }
        m_line.chop(1);
        if (m_line.endsWith('\r'))
            m_line.chop(1);
        const QByteArray line = std::move(m_line);
        m_line.clear();
        m_session.RunLine(
            std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
        return true;
    }
}
