#pragma once
// One running copy per user: a second copy asks the first to bring its main
// window to the front and ends before it shows its own.

#include <QObject>
#include <QString>

class QLocalServer;
class QLockFile;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    /// `key` names the lock and the socket (per user and program).
    explicit SingleInstance(const QString &key, QObject *parent = nullptr);
    ~SingleInstance() override;

    /// True when another copy holds the lock.
    bool previousInstance();
    /// Asks the other copy to raise its window; true when it answered.
    bool activatePrevious(int timeoutMs = 2000);
    /// Becomes the running copy: listens for the next copy's request.
    void listen();
    /// Gives up the lock and the socket, so a restarted copy is not caught.
    void release();

signals:
    /// Another copy asked for this copy's main window.
    void raiseRequested();

private:
    QString m_key;
    QLockFile *m_lock;
    QLocalServer *m_server = nullptr;
    bool m_locked = false;
};
