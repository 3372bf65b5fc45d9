#pragma once
// One running copy per user: a second copy asks the first to bring its main
// window to the front and ends before it shows its own.

#include <QObject>
#include <QString>

class QLockFile;
class QSocketNotifier;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    /// `key` names the lock and the request channel (per user and program).
    explicit SingleInstance(const QString &key, QObject *parent = nullptr);
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
};
