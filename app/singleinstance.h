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

    // True when this process now owns the lock. When another instance owns it,
    // that instance is asked to come to the front and false is returned.
    bool Acquire();
    void Release();
    // Called (GUI thread) when a later start asks this instance to come forward.
    void SetActivateHandler(std::function<void()> handler) { m_activate = std::move(handler); }

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_activate;
};
