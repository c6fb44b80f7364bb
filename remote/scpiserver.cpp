#include "scpiserver.h"

#include "lib/stringtable.h"
#include "platform/cstring.h"
#include "remote/scpiclient.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

CScpiServer::CScpiServer(CRemoteLink* link, QObject* parent)
    : QObject(parent), m_link(link), m_instrument(link), m_server(new QTcpServer(this)),
      m_operations(new QTimer(this)), m_turn(new QTimer(this)) {
    // A turn runs once the event loop has seen to everything else that waits.
    m_turn->setSingleShot(true);
    m_turn->setInterval(0);
    connect(m_turn, &QTimer::timeout, this, &CScpiServer::runTurn);
    connect(m_server, &QTcpServer::newConnection, this, &CScpiServer::acceptClients);
    m_operations->setInterval(kOperationCheckMs);
    connect(m_operations, &QTimer::timeout, this, &CScpiServer::checkOperations);
    m_link->SetRemoteObserver(this);
}

CScpiServer::~CScpiServer() {
    m_link->SetRemoteObserver(nullptr);
    Close();
    // The clients go before what their sessions share.
    qDeleteAll(findChildren<CScpiClient*>(Qt::FindDirectChildrenOnly));
}

bool CScpiServer::Listen(int port, bool allowOthers, QString* error) {
    Close();
    m_allowOthers = allowOthers;
    const QHostAddress address =
        allowOthers ? QHostAddress(QHostAddress::Any) : QHostAddress(QHostAddress::LocalHost);
    if (port < 0 || port > 65535 || !m_server->listen(address, static_cast<quint16>(port))) {
        if (error) {
            const QByteArray reason = port < 0 || port > 65535
                                          ? QByteArray(GetTorvelString(kStrNoSuchPort))
                                          : m_server->errorString().toUtf8();
            CString text;
            text.Format(GetTorvelFormat(kStrCannotListen, "ds",
                                        "Remote control cannot listen on port %d: %s"),
                        port, reason.constData());
            *error = QString::fromUtf8(text.c_str());
        }
        statusChanged();
        return false;
    }
    statusChanged();
    return true;
}

void CScpiServer::Close() {
    m_server->close();
    // Every client goes with the server; their sockets are aborted at once.
    const std::vector<CScpiClient*> clients = m_clients;
    for (CScpiClient* c : clients)
        c->Drop();
    m_clients.clear();
    statusChanged();
}

bool CScpiServer::IsListening() const {
    return m_server->isListening();
}

int CScpiServer::Port() const {
    return m_server->isListening() ? m_server->serverPort() : 0;
}

QString CScpiServer::StatusText() const {
    if (!IsListening())
        return QString();
    const int n = ClientCount();
    CString text;
    text.Format(n == 1 ? GetTorvelFormat(kStrStatusOneClient, "dd", "Remote: port %d, %d client")
                       : GetTorvelFormat(kStrStatusClients, "dd", "Remote: port %d, %d clients"),
                Port(), n);
    return QString::fromUtf8(text.c_str());
}

void CScpiServer::statusChanged() {
    m_link->RemoteStatusChanged(StatusText());
    Q_EMIT clientsChanged(ClientCount());
}

void CScpiServer::acceptClients() {
    while (m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        if (!socket)
            break;
        if (ClientCount() >= kMaxClients) {
            // Refused: told why in the form of an error, the first answer a
            // script reads, then closed once the line is out (at once when
            // the peer does not take it).
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(kRefusalMs, socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
            socket->write(kTooManyClients);
            socket->disconnectFromHost();
            continue;
        }
        auto* client = new CScpiClient(socket, m_instrument, this);
        m_clients.push_back(client);
        statusChanged();
        // Bytes that came with the connection are read in the next turn.
        Schedule(client);
    }
}

void CScpiServer::ClientGone(CScpiClient* client) {
    const auto it = std::find(m_clients.begin(), m_clients.end(), client);
    if (it == m_clients.end())
        return;
    m_clients.erase(it);
    statusChanged();
}

void CScpiServer::forEachClient(const std::function<void(CScpiClient*)>& action) {
    // A client that leaves meanwhile is passed over.
    std::vector<QPointer<CScpiClient>> clients(m_clients.begin(), m_clients.end());
    for (const QPointer<CScpiClient>& c : clients)
        if (c && std::find(m_clients.begin(), m_clients.end(), c.data()) != m_clients.end())
            action(c);
}

void CScpiServer::DataArrived(CAnalysisCore* core) {
    forEachClient([this, core](CScpiClient* c) {
        c->Session().DataArrived(core);
        if (c->Session().IsWaiting())
            Schedule(c); // the rest of its line
    });
}

void CScpiServer::checkOperations() {
    bool waiting = false;
    forEachClient([this, &waiting](CScpiClient* c) {
        if (c->Session().CheckOperation(std::chrono::milliseconds(m_linkLossLimitMs)) &&
            c->Session().IsWaiting())
            Schedule(c);
        waiting = waiting || c->Session().IsWaiting();
    });
    if (!waiting)
        m_operations->stop();
}

bool CScpiServer::scheduled(CScpiClient* client) const {
    const auto listed = [client](const std::vector<QPointer<CScpiClient>>& list) {
        return std::find(list.begin(), list.end(), client) != list.end();
    };
    return listed(m_woken) || listed(m_continuing);
}

void CScpiServer::Schedule(CScpiClient* client, bool more) {
    if (!scheduled(client))
        (more ? m_continuing : m_woken).emplace_back(client);
    if (!m_turn->isActive())
        m_turn->start();
}

void CScpiServer::LinesCame(CScpiClient* client) {
    // A client without work runs its slice at once: a query after a pause
    // waits for no turn; one with work waits for its turn.
    if (scheduled(client))
        return;
    client->RunSlice();
}

void CScpiServer::runTurn() {
    // One slice for each client with work: first those that had none (a
    // query after a pause waits for no other client's slice), then those
    // that go on, each in the order they asked. A client with work left asks
    // again, for the next turn.
    std::vector<QPointer<CScpiClient>> ready = std::exchange(m_woken, {});
    for (QPointer<CScpiClient>& c : std::exchange(m_continuing, {}))
        ready.push_back(std::move(c));
    for (const QPointer<CScpiClient>& c : ready)
        if (c && std::find(m_clients.begin(), m_clients.end(), c.data()) != m_clients.end())
            c->RunSlice();
}

void CScpiServer::OperationWaits() {
    if (!m_operations->isActive())
        m_operations->start();
}

void CScpiServer::WindowClosing(CAnalysisCore* core) {
    forEachClient([this, core](CScpiClient* c) {
        c->Session().WindowClosing(core);
        if (c->Session().IsWaiting())
            Schedule(c);
    });
}

void CScpiServer::DeviceRefused(CAnalysisCore* core, const QString& text) {
    for (CScpiClient* c : m_clients)
        c->Session().DeviceRefused(core, text);
}
