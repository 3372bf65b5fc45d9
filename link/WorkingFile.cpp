#include "WorkingFile.h"

#include "DurableFile.h"
#include "FilePaths.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

} // namespace

WorkingFile::WorkingFile()
{
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_syncTimer, &QTimer::timeout, &m_syncTimer, [this] { sync(); });
}

WorkingFile::~WorkingFile()
{
    release();
}

WorkingFile::OpenResult WorkingFile::claim(const QString &workFilePath)
{
    close();
    m_error.clear();

    // Looking the name up needs a readable folder.
    const QFileInfo folder(QFileInfo(workFilePath).absolutePath());
    const QString folderShown = QDir::toNativeSeparators(folder.absoluteFilePath());
    if (!folder.exists() || !folder.isDir()) {
        m_error = folderShown + QLatin1String(":\n") + systemError(ENOENT);
        return OpenResult::ListingFailed;
    }
    if (!folder.isReadable()) {
        m_error = folderShown + QLatin1String(":\n") + systemError(EACCES);
        return OpenResult::ListingFailed;
    }

    // One spelling of the name: an old file of this user's spelled
    // otherwise is renamed, and stays the same file.
    const QString wanted = QFileInfo(workFilePath).dir().filePath(QFileInfo(workFilePath).fileName());
    const QString found = resolveBareName(workFilePath);
    QString path = wanted;
    if (found != workFilePath && QFileInfo(found).fileName() != QFileInfo(wanted).fileName()) {
        struct stat old {};
        path = found;
        if (::lstat(encoded(found).constData(), &old) == 0 && S_ISREG(old.st_mode) && old.st_uid == ::geteuid()
            && ::rename(encoded(found).constData(), encoded(wanted).constData()) == 0)
            path = wanted;
    }

    // Only a plain file of this user's own is used: never a link, a
    // folder or a file someone else made (in a folder shared with others).
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 2; ++attempt) {
        struct stat named {};
        if (::lstat(encoded(path).constData(), &named) != 0) {
            if (errno != ENOENT) {
                m_error = shown + QLatin1String(":\n") + systemError(errno);
                return OpenResult::OpenFailed;
            }
            fd = ::open(encoded(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) {
                m_error = shown + QLatin1String(":\n") + systemError(errno);
                return OpenResult::OpenFailed;
            }
            continue;
        }
        if (!S_ISREG(named.st_mode) || named.st_uid != ::geteuid()) {
            m_error = shown;
            return OpenResult::Foreign;
        }
        fd = ::open(encoded(path).constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat opened {};
        if (fd >= 0 && (::fstat(fd, &opened) != 0 || opened.st_ino != named.st_ino || opened.st_dev != named.st_dev)) {
            ::close(fd);
            fd = -1;
            errno = EAGAIN;
        }
        if (fd < 0) {
            m_error = shown + QLatin1String(":\n") + systemError(errno);
            return OpenResult::OpenFailed;
        }
    }
    if (fd < 0) {
        m_error = shown + QLatin1String(":\n") + systemError(EEXIST);
        return OpenResult::OpenFailed;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        m_error = error == EWOULDBLOCK ? QDir::toNativeSeparators(folder.absoluteFilePath())
                                       : shown + QLatin1String(":\n") + systemError(error);
        return error == EWOULDBLOCK ? OpenResult::InUse : OpenResult::OpenFailed;
    }

    closeDescriptor();
    m_fd = fd;
    m_claimed = true;
    m_path = path;
    return OpenResult::Opened;
}

bool WorkingFile::stillNamesClaimedFile() const
{
    struct stat held {}, named {};
    return m_fd >= 0 && ::fstat(m_fd, &held) == 0
        && ::lstat(encoded(m_path).constData(), &named) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool WorkingFile::isSameFile(const QString &path) const
{
    struct stat held {}, named {};
    return m_fd >= 0 && ::fstat(m_fd, &held) == 0 && ::stat(encoded(path).constData(), &named) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

WorkingFile::OpenResult WorkingFile::open(const QString &workFilePath)
{
    close();
    m_error.clear();
    // The file may have been moved or deleted by hand since it was claimed:
    // the measurement goes where the name now points.
    if (!isClaimed() || !stillNamesClaimedFile()) {
        const OpenResult claimed = claim(workFilePath);
        if (claimed != OpenResult::Opened)
            return claimed;
    }
    if (::ftruncate(m_fd, 0) != 0) {
        m_error = describe(errno);
        return OpenResult::DeleteFailed;
    }
    startRecording(0);
    return OpenResult::Opened;
}

bool WorkingFile::openForAppend(const QString &path)
{
    release();
    m_error.clear();
    const int fd = ::open(encoded(resolveBareName(path)).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = QDir::toNativeSeparators(path) + QLatin1String(":\n") + systemError(errno);
        return false;
    }
    m_fd = fd;
    m_claimed = false;
    m_path = path;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    startRecording(end < 0 ? 0 : end);
    return true;
}

QString WorkingFile::describe(int error) const
{
    return QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath()) + QLatin1String(":\n") + systemError(error);
}

void WorkingFile::startRecording(qint64 at)
{
    struct stat status {};
    m_syncable = ::fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode);
    m_position = at;
    m_recording = true;
    m_written = 0;
    m_synced = 0;
    m_unsynced.clear();
    m_firstUnsynced.invalidate();
}

bool WorkingFile::writeAt(const char *data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = m_syncable ? ::pwrite(m_fd, data + done, size_t(size - done), off_t(offset + done))
                                     : ::write(m_fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A short write without an error code means the disk is full.
            m_error = describe(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += n;
    }
    return true;
}

bool WorkingFile::write(const QByteArray &block)
{
    m_error.clear();
    if (!m_recording) {
        m_error = describe(EBADF);
        return false;
    }
    const qint64 start = m_position;
    if (!writeAt(block.constData(), block.size(), start)) {
        // Take a partly written block back, so that writing it again
        // (Retry) does not record its first part twice.
        if (m_syncable && ::ftruncate(m_fd, start) != 0) {
            // The part stays; the error already reported covers it.
        }
        return false;
    }
    m_position += block.size();
    m_written += block.size();
    if (m_syncable)
        m_unsynced.append(block);
    syncLater();
    return true;
}

void WorkingFile::syncLater()
{
    if (!m_syncable)
        return;
    if (!m_firstUnsynced.isValid()) {
        m_firstUnsynced.start();
        // Without an event loop (a command-line tool) only the check below
        // and close() sync.
        if (QAbstractEventDispatcher::instance())
            m_syncTimer.start(SyncDelayMs);
        return;
    }
    // A receive path that keeps the event loop busy may hold the timer back;
    // the deadline is checked here as well.
    if (m_firstUnsynced.elapsed() >= SyncDelayMs)
        sync();
}

bool WorkingFile::sync()
{
    m_syncTimer.stop();
    if (!m_recording || !m_syncable || m_synced == m_written) {
        m_firstUnsynced.invalidate();
        return true;
    }
    // While a refused sync waits for retrySync() or abandonSync(), blocks
    // go on being written; they are synced with the retry.
    if (m_syncHeld)
        return false;
    const bool rewrite = m_rewriteAtNextSync;
    m_rewriteAtNextSync = false;
    return syncNow(rewrite);
}

bool WorkingFile::syncNow(bool rewrite)
{
    const qint64 target = m_written;
    // After a refused sync the kernel may have dropped the unsynced pages:
    // they are written again from memory before the next sync.
    if ((!rewrite || writeAt(m_unsynced.constData(), m_unsynced.size(), m_position - m_unsynced.size()))
        && ::fdatasync(m_fd) == 0) {
        m_synced = target;
        m_unsynced.clear();
        ++m_syncCount;
        m_firstUnsynced.invalidate();
        if (m_syncObserver)
            m_syncObserver(m_synced);
        return true;
    }
    if (m_error.isEmpty() || !rewrite)
        m_error = describe(errno);
    if (!m_syncFailed) {
        // Nobody to tell: try again at the next deadline, with the data
        // written again, as the failed sync may have dropped them.
        m_firstUnsynced.start();
        m_rewriteAtNextSync = true;
        if (QAbstractEventDispatcher::instance())
            m_syncTimer.start(SyncDelayMs);
        return false;
    }
    m_syncHeld = true;
    m_syncFailed(m_error);
    return false;
}

bool WorkingFile::retrySync()
{
    if (!m_syncHeld)
        return sync();
    m_syncHeld = false;
    m_error.clear();
    if (!m_recording)
        return false;
    return syncNow(true);
}

void WorkingFile::abandonSync()
{
    if (!m_syncHeld)
        return;
    // Recording stops; what reached the operating system stays.
    m_syncHeld = false;
    m_syncTimer.stop();
    m_firstUnsynced.invalidate();
    m_recording = false;
    if (!m_claimed)
        closeDescriptor();
}

void WorkingFile::close()
{
    if (!m_recording)
        return;
    // A sync still waiting for a decision is tried once more; the data
    // written so far stay either way.
    m_syncHeld = false;
    sync();
    m_syncTimer.stop();
    m_firstUnsynced.invalidate();
    m_recording = false;
    if (!m_claimed)
        closeDescriptor();
}

void WorkingFile::release()
{
    close();
    closeDescriptor();
}

void WorkingFile::closeDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_claimed = false;
    m_recording = false;
}

qint64 WorkingFile::existingSize(const QString &workFilePath)
{
    const QFileInfo info(resolveBareName(workFilePath));
    return info.isFile() ? info.size() : 0;
}

QString WorkingFile::recoverLeftover(const QString &workFilePath, const QDateTime &now,
                                     QString *error)
{
    if (error)
        error->clear();
    const QString source = resolveBareName(workFilePath);
    // Only a plain file of this user's is read: a link could lead to any
    // file the user may read.
    const int in = ::open(encoded(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return QString();
    struct stat status {};
    if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()
        || status.st_size <= 0) {
        ::close(in);
        return QString();
    }

    // The name is taken by creating it: a name that is a link, even one
    // that leads nowhere, is not free.
    const QDir folder = QFileInfo(source).absoluteDir();
    const QString stem = QStringLiteral("Vindo-recovered-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name;
    for (int n = 1; n < 1000 && name.isEmpty(); ++n) {
        const QString candidate = n == 1 ? stem + QStringLiteral(".csv") : stem + QStringLiteral("-%1.csv").arg(n);
        if (resolveNameIn(folder.path(), candidate) != folder.filePath(candidate))
            continue;   // taken in another letter case
        const int taken = ::open(encoded(folder.filePath(candidate)).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (taken >= 0) {
            ::close(taken);
            name = candidate;
        } else if (errno != EEXIST) {
            if (error)
                *error = QDir::toNativeSeparators(folder.filePath(candidate)) + QLatin1String(":\n") + systemError(errno);
            ::close(in);
            return QString();
        }
    }
    if (name.isEmpty()) {
        if (error)
            *error = QDir::toNativeSeparators(folder.filePath(stem)) + QLatin1String(":\n") + systemError(EEXIST);
        ::close(in);
        return QString();
    }

    // The working file is emptied next, so the copy must be on the disk
    // before that.
    const bool copied = durable::copyFrom(in, folder.filePath(name), error);
    ::close(in);
    if (!copied) {
        ::unlink(encoded(folder.filePath(name)).constData());
        return QString();
    }
    return name;
}
