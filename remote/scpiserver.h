// CScpiServer: the raw-socket SCPI server (the port bench instruments use is
// 5025). Each client gets its own session; lines end in "\n" (a "\r" before it
// is dropped). Everything runs on the GUI thread through the event loop, in
// turns: each turn gives every client with work one slice of it, so that one
// client's flood of lines delays the program and the others by a slice at
// most. Every client is bounded: line length, number of clients, and the
// answers waiting to be read (a client that stops reading is dropped).
#pragma once

#include "remote/remotelink.h"
#include "remote/scpiinstrument.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class QTimer;
class CScpiClient;

class CScpiServer : public QObject, public CRemoteObserver {
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 5025;
    static constexpr int kMaxClients = 8;
    // Answers waiting to be sent to one client above which its input is not
    // read any more.
    static constexpr qint64 kOutputHighWater = 8 * 1024 * 1024;
    // The time a client's lines run at most in one turn of the event loop
    // (a call that has begun ends first).
    static constexpr std::chrono::milliseconds kSliceTime{5};
    // How often waiting operations are looked at.
    static constexpr int kOperationCheckMs = 250;
    // How long a wait for a sweep lasts while the device link is lost: the
    // link is re-opened every second, so a device that is not back after
    // this is not coming back soon.
    static constexpr int kLinkLossLimitMs = 30000;
    // Program texts: the status with one client / with n, the listen failure
    // (port, reason) and the reason of a port outside 1..65535.
    static constexpr int kStrStatusOneClient = 2606;
    static constexpr int kStrStatusClients = 2607;
    static constexpr int kStrCannotListen = 2608;
    static constexpr int kStrNoSuchPort = 2609;

    explicit CScpiServer(CRemoteLink* link, QObject* parent = nullptr);
    ~CScpiServer() override;

    // Listens on port (0 = any free port) of 127.0.0.1, or of every address
    // when allowOthers; false with *error saying why (port in use...).
    bool Listen(int port, bool allowOthers, QString* error = nullptr);
    void Close();
    bool IsListening() const;
    int Port() const;
    bool AllowsOthers() const { return m_allowOthers; }
    int ClientCount() const { return static_cast<int>(m_clients.size()); }
    // The windows' numbers, the file folder and the access code.
    CScpiInstrument& Instrument() { return m_instrument; }
    // How long a client whose answers wait unread may stay (ms).
    void SetStallTimeout(int ms) { m_stallTimeoutMs = ms; }
    int StallTimeout() const { return m_stallTimeoutMs; }
    // How long a client that sends nothing (and waits for nothing) may stay
    // (ms; 0: as long as it likes).
    void SetIdleTimeout(int ms) { m_idleTimeoutMs = ms; }
    int IdleTimeout() const { return m_idleTimeoutMs; }
    static constexpr int kDefaultIdleMinutes = 10;
    // What a client beyond the last place is told before it is closed.
    static constexpr const char* kTooManyClients = "-200,\"Execution error;too many clients\"\n";
    // How long that client is given to take the line.
    static constexpr int kRefusalMs = 5000;
    // How long a wait for a sweep may last while the device link is lost (ms).
    void SetLinkLossLimit(int ms) { m_linkLossLimitMs = ms; }
    // "Remote: port 5025, 1 client", or empty when not listening.
    QString StatusText() const;

    void DataArrived(CAnalysisCore* core) override;
    void WindowClosing(CAnalysisCore* core) override;
    void DeviceRefused(CAnalysisCore* core, const QString& text) override;

    // A client has work: it runs a slice of it in the next turn; more: it
    // goes on with work it had (it waits behind the clients that had none).
    void Schedule(CScpiClient* client, bool more = false);
    // Bytes came from a client.
    void LinesCame(CScpiClient* client);
    // A client's line waits for an operation: the server looks at it now and then.
    void OperationWaits();
    // A client ended; called by the client (deleted later).
    void ClientGone(CScpiClient* client);

Q_SIGNALS:
    void clientsChanged(int count);

private:
    void acceptClients();
    // Ends the operations whose windows stopped analysing, while lines wait.
    void checkOperations();
    void statusChanged();
    // One turn: a slice for every client that has work.
    void runTurn();
    bool scheduled(CScpiClient* client) const;
    // Runs action for every client, as the list stands now.
    void forEachClient(const std::function<void(CScpiClient*)>& action);

    CRemoteLink* m_link;
    CScpiInstrument m_instrument;
    QTcpServer* m_server;
    QTimer* m_operations;
    QTimer* m_turn;
    std::vector<CScpiClient*> m_clients;
    // The clients that run a slice in the next turn: those that had no work,
    // then those that go on.
    std::vector<QPointer<CScpiClient>> m_woken, m_continuing;
    bool m_allowOthers = false;
    int m_stallTimeoutMs = 30000;
    int m_idleTimeoutMs = kDefaultIdleMinutes * 60000;
    int m_linkLossLimitMs = kLinkLossLimitMs;
};
