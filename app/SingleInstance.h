#pragma once
// One running copy per user: a second copy asks the first to bring its main
// window to the front and ends before it shows its own. The lock and the
// request channel live in a folder only the user can write, so nobody else
// can create them first and keep the program from starting.

#include <QObject>
#include <QString>

class QLockFile;
class QSocketNotifier;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    /// `key` names the lock and the request channel inside `folder`, which
    /// must be privateFolder() or another folder only this user can write.
    /// An empty folder: no lock, every copy runs on its own.
    SingleInstance(const QString &folder, const QString &key, QObject *parent = nullptr);

    /// The user's runtime folder ($XDG_RUNTIME_DIR) when it is a folder of
    /// this user that nobody else may enter; otherwise <temp>/quendrel2-<uid>,
    /// then $XDG_CACHE_HOME/Quendrel2, each created with mode 0700 and used
    /// only when this user owns it and nobody else may enter it. Empty when
    /// none qualifies.
    static QString privateFolder();
    ~SingleInstance() override;

    /// True when another copy holds the lock.
    bool previousInstance();
    /// Asks the other copy to raise its window; true when it is listening.
    bool activatePrevious();
    /// Becomes the running copy: listens for the next copy's request.
    void listen();
    /// Gives up the lock and the channel, so a restarted copy is not caught.
    void release();

signals:
    /// Another copy asked for this copy's main window.
    void raiseRequested();

private:
    void readRequests();

    QString m_key;
    QString m_channelPath;
    QLockFile *m_lock;
    QSocketNotifier *m_notifier = nullptr;
    int m_channel = -1;
    bool m_locked = false;
    bool m_enabled = false;
};
