// CScpiClient: one connection of the SCPI server. It cuts the bytes into
// lines (at most 64 KiB each: a longer one is dropped up to its end and
// reported as -363, the connection goes on), runs them one after the other
// through its session, holds further lines while one waits for a measurement,
// and stops reading while its answers are not being taken.
#pragma once

#include "remote/scpisession.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

class QTcpSocket;
class QTimer;
class CScpiServer;

class CScpiClient : public QObject {
    Q_OBJECT
public:
    CScpiClient(QTcpSocket* socket, CRemoteLink* link, CScpiServer* server);
    ~CScpiClient() override;

    CScpiSession& Session() { return m_session; }
    // Runs the lines that wait, as far as the session and the output allow.
    void Pump();
    // Ends the connection (the server forgets the client).
    void Drop();

private:
    void send(const QByteArray& bytes);

    QPointer<QTcpSocket> m_socket;
    CScpiServer* m_server;
    CScpiSession m_session;
    QByteArray m_line;
    bool m_overlong = false;
    bool m_dropped = false;
    bool m_pumping = false;
    QTimer* m_stall;
};
