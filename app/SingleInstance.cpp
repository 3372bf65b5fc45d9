#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The request channel is a named pipe beside the lock. Opening a pipe for
// writing without blocking fails at once when nobody reads it, which is
// exactly "the other copy does not answer". It needs nothing beyond Qt Core,
// so the program starts without loading the network libraries.

namespace {

/// True when `path` is a real folder (not a link) owned by this user with
/// no access for anybody else.
bool isPrivateFolder(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

/// `path` created with mode 0700 when missing; true when it is private then.
bool makePrivateFolder(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return isPrivateFolder(path);
}

} // namespace

QString SingleInstance::privateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime))
        return runtime;
    const QString temp = QDir::temp().filePath(QStringLiteral("quendrel2-%1").arg(::getuid()));
    if (makePrivateFolder(temp))
        return temp;
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::home().filePath(QStringLiteral(".cache"));
    const QString own = QDir(cache).filePath(QStringLiteral("Quendrel2"));
    if (makePrivateFolder(own))
        return own;
    return QString();
}

SingleInstance::SingleInstance(const QString &folder, const QString &key, QObject *parent)
    : QObject(parent), m_key(key),
      m_channelPath(QDir(folder).filePath(key + QStringLiteral(".raise"))),
      m_lock(new QLockFile(QDir(folder).filePath(key + QStringLiteral(".lock")))),
      m_enabled(!folder.isEmpty())
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
    if (m_locked || !m_enabled)
        return false;
    m_locked = m_lock->tryLock(0);
    return !m_locked;
}

bool SingleInstance::activatePrevious()
{
    if (!m_enabled)
        return false;
    const int fd = ::open(QFile::encodeName(m_channelPath).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool sent = ::write(fd, "raise\n", 6) == 6;
    ::close(fd);
    return sent;
}

void SingleInstance::listen()
{
    if (m_notifier || !m_enabled)
        return;
    const QByteArray path = QFile::encodeName(m_channelPath);
    ::unlink(path.constData());
    if (::mkfifo(path.constData(), 0600) != 0)
        return;
    // Opened for reading and writing, so the pipe never reports end of file
    // when a writer closes it, and the notifier does not fire without data.
    m_channel = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_channel < 0)
        return;
    m_notifier = new QSocketNotifier(m_channel, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::readRequests);
}

void SingleInstance::readRequests()
{
    char buffer[256];
    bool asked = false;
    for (;;) {
        const ssize_t n = ::read(m_channel, buffer, sizeof buffer);
        if (n <= 0)
            break;
        asked = asked || QByteArray(buffer, int(n)).contains("raise");
    }
    if (asked)
        emit raiseRequested();
}

void SingleInstance::release()
{
    if (m_notifier) {
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (m_channel >= 0) {
        ::close(m_channel);
        m_channel = -1;
        ::unlink(QFile::encodeName(m_channelPath).constData());
    }
    if (m_locked) {
        m_lock->unlock();
        m_locked = false;
    }
}
