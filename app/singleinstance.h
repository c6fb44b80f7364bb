// The single-instance lock. The first instance holds a lock file named after
// the lock name and listens on a local socket of the same name; a second start
// finds the lock taken, asks the first instance through the socket to bring its
// window to the front, and gives up.
#pragma once

#include <QObject>
#include <QString>

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
        HeldElsewhere, // another instance owns it and was asked to come forward
        Failed,        // the lock file could not be made (folder, permissions)
    };
    // Only a lock that another process holds means another instance.
    Result Acquire();
    // The lock file's path (set by Acquire).
    const QString& LockPath() const { return m_lockPath; }
    void Release();
    // Called (GUI thread) when a later start asks this instance to come forward.
    void SetActivateHandler(std::function<void()> handler) { m_activate = std::move(handler); }

private:
    QString m_name;
    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_activate;
};
