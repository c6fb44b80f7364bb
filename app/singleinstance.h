// The single-instance lock. The first instance holds a lock file named after
// the lock name and listens on a local socket of the same name, both in the
// user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder); a second start
// finds the lock taken, hands the files it was given to the first instance
// through the socket, asks it to bring its window to the front, and gives up.
//
// On the socket a start sends lines: "open <path>" per file (the path
// percent-encoded, so that any byte of a file name travels), then "activate".
// The first instance answers "ok" once it has all of them.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(QString name);
    ~CSingleInstance() override;

    enum class Result {
        Acquired,      // this process now owns the lock
        HeldElsewhere, // another instance owns it, took the files and was asked to come forward
        NotHandedOver, // another instance owns it but did not answer for the files
        Failed,        // the lock file could not be made (folder, permissions)
    };
    // Only a lock that another process holds means another instance; the
    // files then go to that instance.
    Result Acquire(const QStringList& files = {});
    // The lock file's and the socket's paths (set by Acquire).
    const QString& LockPath() const { return m_lockPath; }
    const QString& SocketPath() const { return m_socketPath; }
    void Release();
    // Called (GUI thread) when a later start asks this instance to come forward.
    void SetActivateHandler(std::function<void()> handler) { m_activate = std::move(handler); }
    // Called (GUI thread) with the files a later start handed over, before
    // the activate handler.
    void SetOpenHandler(std::function<void(const QStringList&)> handler) {
        m_open = std::move(handler);
    }

private:
    void serve();

    QString m_name;
    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_activate;
    std::function<void(const QStringList&)> m_open;
};
