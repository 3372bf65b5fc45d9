#include "SafeOpen.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool ownedByUser(const struct stat &status)
{
    return status.st_uid == ::geteuid();
}

SafeOpenResult failed(SafeOpenResult::Failure failure, int error = 0)
{
    SafeOpenResult result;
    result.failure = failure;
    result.error = error;
    if (error != 0)
        result.errorString = systemErrorText(error);
    return result;
}

/// Checks what was opened: a plain file, of the right owner. The open
/// never waited; from here on reads and writes wait as usual.
SafeOpenResult accepted(int fd, const SafeOpenOptions &options)
{
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(SafeOpenResult::Failure::System, error);
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return failed(SafeOpenResult::Failure::NotAFile);
    }
    if (options.owner == SafeOpenOptions::Owner::CurrentUser && !ownedByUser(opened)) {
        ::close(fd);
        return failed(SafeOpenResult::Failure::Foreign);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    SafeOpenResult result;
    result.file = HeldFile::adopt(fd);
    return result;
}

} // namespace

// ---------------------------------------------------------------- HeldFile

HeldFile::~HeldFile()
{
    close();
}

HeldFile::HeldFile(HeldFile &&other) noexcept
    : m_handle(other.m_handle), m_error(other.m_error)
{
    other.m_handle = -1;
}

HeldFile &HeldFile::operator=(HeldFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        m_error = other.m_error;
        other.m_handle = -1;
    }
    return *this;
}

HeldFile HeldFile::adopt(qintptr handle)
{
    HeldFile file;
    file.m_handle = handle;
    return file;
}

void HeldFile::close()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
    m_handle = -1;
}

bool HeldFile::isRegular() const
{
    struct stat status {};
    return m_handle >= 0 && ::fstat(int(m_handle), &status) == 0 && S_ISREG(status.st_mode);
}

qint64 HeldFile::size() const
{
    struct stat status {};
    if (m_handle < 0 || ::fstat(int(m_handle), &status) != 0) {
        m_error = m_handle < 0 ? EBADF : errno;
        return -1;
    }
    return qint64(status.st_size);
}

qint64 HeldFile::lastModifiedMs() const
{
    struct stat status {};
    if (m_handle < 0 || ::fstat(int(m_handle), &status) != 0) {
        m_error = m_handle < 0 ? EBADF : errno;
        return -1;
    }
    return qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
}

bool HeldFile::isSameFileAs(const QString &path, bool followLinks) const
{
    struct stat held {}, named {};
    const QByteArray name = encoded(path);
    return m_handle >= 0 && ::fstat(int(m_handle), &held) == 0
        && (followLinks ? ::stat(name.constData(), &named) : ::lstat(name.constData(), &named)) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

qint64 HeldFile::readAt(char *data, qint64 maxSize, qint64 offset) const
{
    for (;;) {
        const ssize_t n = ::pread(int(m_handle), data, size_t(maxSize), off_t(offset));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            m_error = errno;
            return -1;
        }
    }
}

bool HeldFile::writeAll(const char *data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = offset >= 0 ? ::pwrite(int(m_handle), data + done, size_t(size - done), off_t(offset + done))
                                      : ::write(int(m_handle), data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A short write without an error code means the disk is full.
            m_error = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

bool HeldFile::resize(qint64 size)
{
    if (::ftruncate(int(m_handle), off_t(size)) == 0)
        return true;
    m_error = errno;
    return false;
}

qint64 HeldFile::seekToEnd()
{
    const off_t end = ::lseek(int(m_handle), 0, SEEK_END);
    if (end < 0)
        m_error = errno;
    return qint64(end);
}

bool HeldFile::syncData()
{
    if (::fdatasync(int(m_handle)) == 0)
        return true;
    m_error = errno;
    return false;
}

int HeldFile::syncDataFromAnyThread() const
{
    return ::fdatasync(int(m_handle)) == 0 ? 0 : errno;
}

bool HeldFile::syncAll()
{
    if (::fsync(int(m_handle)) == 0)
        return true;
    m_error = errno;
    return false;
}

HeldFile::Lock HeldFile::tryLockExclusive()
{
    if (::flock(int(m_handle), LOCK_EX | LOCK_NB) == 0)
        return Lock::Taken;
    m_error = errno;
    return m_error == EWOULDBLOCK ? Lock::HeldElsewhere : Lock::Failed;
}

QString HeldFile::errorString() const
{
    return systemErrorText(m_error);
}

// ---------------------------------------------------------------- opening

SafeOpenResult safeOpen(const QString &path, const SafeOpenOptions &options)
{
    using Failure = SafeOpenResult::Failure;
    const QByteArray name = encoded(path);
    const int access = options.access == SafeOpenOptions::Access::Read    ? O_RDONLY
                       : options.access == SafeOpenOptions::Access::Write ? O_WRONLY
                                                                          : O_RDWR;
    // O_NONBLOCK: a FIFO or device at the name is opened without waiting,
    // then refused as not a plain file.
    const int flags = access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const mode_t permissions = options.privateFile ? 0600 : 0666;

    // Twice at most: a name made or removed between the look and the open
    // is looked at once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (options.create != SafeOpenOptions::Create::New) {
            struct stat named {};
            if (::lstat(name.constData(), &named) == 0) {
                // Refused without opening it: opening some devices has effects.
                if (!S_ISREG(named.st_mode))
                    return failed(Failure::NotAFile);
                if (options.owner == SafeOpenOptions::Owner::CurrentUser && !ownedByUser(named))
                    return failed(Failure::Foreign);
                const int fd = ::open(name.constData(), flags);
                if (fd >= 0)
                    return accepted(fd, options);
                if (errno == ELOOP)
                    return failed(Failure::NotAFile);   // a link took its place
                if (errno == ENOENT)
                    continue;
                return failed(Failure::System, errno);
            }
            if (errno != ENOENT)
                return failed(Failure::System, errno);
            if (options.create == SafeOpenOptions::Create::Never)
                return failed(Failure::Missing, ENOENT);
        }
        const int fd = ::open(name.constData(), flags | O_CREAT | O_EXCL, permissions);
        if (fd >= 0)
            return accepted(fd, options);
        if (errno != EEXIST)
            return failed(Failure::System, errno);
        if (options.create == SafeOpenOptions::Create::New)
            return failed(Failure::Exists, EEXIST);
    }
    return failed(Failure::System, EEXIST);
}

SafeOpenResult openForAppending(const QString &path)
{
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(SafeOpenResult::Failure::System, errno);
    SafeOpenResult result;
    result.file = HeldFile::adopt(fd);
    result.file.seekToEnd();
    return result;
}

bool isLinkOfAnotherUser(const QString &path)
{
    struct stat status {};
    return ::lstat(encoded(path).constData(), &status) == 0 && S_ISLNK(status.st_mode) && !ownedByUser(status);
}

bool removeOwnEntry(const QString &path)
{
    const QByteArray name = encoded(path);
    struct stat status {};
    return ::lstat(name.constData(), &status) == 0 && ownedByUser(status) && !S_ISDIR(status.st_mode)
        && ::unlink(name.constData()) == 0;
}

bool renameOwnFile(const QString &from, const QString &to)
{
    struct stat status {};
    const QByteArray source = encoded(from);
    return ::lstat(source.constData(), &status) == 0 && S_ISREG(status.st_mode) && ownedByUser(status)
        && ::rename(source.constData(), encoded(to).constData()) == 0;
}

QString systemErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}
