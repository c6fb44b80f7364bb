// CScpiClient: one connection of the SCPI server. It cuts the bytes into
// lines (at most 64 KiB each: a longer one is dropped up to its end and
// reported as -363, the connection goes on), runs them one after the other
// through its session, holds further lines while one waits for a measurement,
// and stops reading while its answers are not being taken. A client that
// sends nothing for the server's idle time is dropped. It works in
// slices: the server gives each client with work one slice per turn of the
// event loop, so that no client holds up the program or the others.
#pragma once

#include "remote/scpisession.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <chrono>

class QTcpSocket;
class QTimer;
class CScpiServer;

class CScpiClient : public QObject {
    Q_OBJECT
public:
    CScpiClient(QTcpSocket* socket, CScpiInstrument& instrument, CScpiServer* server);
    ~CScpiClient() override;

    CScpiSession& Session() { return m_session; }
    // Runs the lines that wait for one slice (at least one call), as far as
    // the session and the output allow; asks the server for another turn
    // when work is left.
    void RunSlice();
    // Ends the connection (the server forgets the client).
    void Drop();

private:
    void send(const QByteArray& bytes);
    // The client sent something: its idle time starts again.
    void stillHere();
    void idleTimeOver();
    bool outputFull() const;
    bool sliceUsed() const { return std::chrono::steady_clock::now() >= m_sliceEnd; }
    // Reads and runs one whole line, if one is there; false when none is.
    bool runNextLine();

    QPointer<QTcpSocket> m_socket;
    CScpiServer* m_server;
    CScpiSession m_session;
    QByteArray m_line;
    bool m_overlong = false;
    bool m_dropped = false;
    bool m_pumping = false;
    std::chrono::steady_clock::time_point m_sliceEnd;
    QTimer* m_stall;
    QTimer* m_idle;
};
