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

CScpiServer::CScpiServer(CRemoteLink* link, QObject* parent)
    : QObject(parent), m_link(link), m_server(new QTcpServer(this)),
      m_operations(new QTimer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &CScpiServer::acceptClients);
    m_operations->setInterval(kOperationCheckMs);
    connect(m_operations, &QTimer::timeout, this, &CScpiServer::checkOperations);
    m_link->SetRemoteObserver(this);
}

CScpiServer::~CScpiServer() {
    m_link->SetRemoteObserver(nullptr);
    Close();
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
            // Refused: the connection is closed without a word, as a busy
            // instrument closes it.
            socket->close();
            socket->deleteLater();
            continue;
        }
        auto* client = new CScpiClient(socket, m_link, this);
        m_clients.push_back(client);
        statusChanged();
        // Bytes that came with the connection are read once the loop turns.
        QTimer::singleShot(0, client, &CScpiClient::Pump);
    }
}

void CScpiServer::ClientGone(CScpiClient* client) {
    const auto it = std::find(m_clients.begin(), m_clients.end(), client);
    if (it == m_clients.end())
        return;
    m_clients.erase(it);
    statusChanged();
}

void CScpiServer::DataArrived(CAnalysisCore* core) {
    const std::vector<CScpiClient*> clients = m_clients;
    for (CScpiClient* c : clients) {
        c->Session().DataArrived(core);
        if (c->Session().IsWaiting())
            QTimer::singleShot(0, c, &CScpiClient::Pump); // the rest of its line
    }
}

void CScpiServer::checkOperations() {
    bool waiting = false;
    const std::vector<CScpiClient*> clients = m_clients;
    for (CScpiClient* c : clients) {
        if (c->Session().CheckOperation(std::chrono::milliseconds(m_linkLossLimitMs)) &&
            c->Session().IsWaiting())
            QTimer::singleShot(0, c, &CScpiClient::Pump);
        waiting = waiting || c->Session().IsWaiting();
    }
    if (!waiting)
        m_operations->stop();
}

void CScpiServer::OperationWaits() {
    if (!m_operations->isActive())
        m_operations->start();
}

void CScpiServer::WindowClosing(CAnalysisCore* core) {
    const std::vector<CScpiClient*> clients = m_clients;
    for (CScpiClient* c : clients) {
        c->Session().WindowClosing(core);
        if (c->Session().IsWaiting())
            QTimer::singleShot(0, c, &CScpiClient::Pump);
    }
}

void CScpiServer::DeviceRefused(CAnalysisCore* core, const QString& text) {
    for (CScpiClient* c : m_clients)
        c->Session().DeviceRefused(core, text);
}
