#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : QObject(parent), m_key(key),
      m_lock(new QLockFile(QDir::temp().filePath(key + QStringLiteral(".lock"))))
{
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    release();
    delete m_lock;
}

bool SingleInstance::previousInstance()
{
    if (m_locked)
        return false;
    m_locked = m_lock->tryLock(0);
    return !m_locked;
}

bool SingleInstance::activatePrevious(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write("raise\n");
    socket.flush();
    if (!socket.waitForReadyRead(timeoutMs))
        return false;
    return socket.readAll().startsWith("ok");
}

void SingleInstance::listen()
{
    if (m_server)
        return;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_key);
    if (!m_server->listen(m_key))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().startsWith("raise")) {
                    emit raiseRequested();
                    socket->write("ok\n");
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void SingleInstance::release()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_locked) {
        m_lock->unlock();
        m_locked = false;
    }
}
