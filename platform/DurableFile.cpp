#include "DurableFile.h"

#include "FilePaths.h"

#include "SafeOpen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

/// A folder that cannot be synced at all (some network and FUSE file
/// systems) reports one of these; its entries are as durable as it gets.
bool syncUnsupported(int code)
{
    return code == EINVAL || code == ENOTSUP || code == EROFS;
}

/// Syncs the written content, moves it over the target and syncs the
/// target's folder. QSaveFile::commit() syncs too but ignores a failure.
bool finish(QSaveFile &file, QString *error)
{
    if (!file.flush()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (::fsync(file.handle()) != 0 && !syncUnsupported(errno)) {
        if (error)
            *error = systemError(errno);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // A link is replaced at its target, so the target's folder holds the name.
    const QString written = QFileInfo(file.fileName()).canonicalFilePath();
    return durable::syncFolderOf(written.isEmpty() ? file.fileName() : written, error);
}

/// Temporary files of saves: a distinctive prefix and a short random
/// suffix, so that no one can take the name in advance and a long target
/// name still fits.
const QByteArray TemporaryPrefix = QByteArrayLiteral(".qdr-save-");
constexpr int SuffixLength = 12;
const char SuffixAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int NameAttempts = 100;

bool unnamedTemporariesAllowed = true;

QByteArray temporaryPath(const QByteArray &folder)
{
    QByteArray name = folder + '/' + TemporaryPrefix;
    for (int i = 0; i < SuffixLength; ++i)
        name += SuffixAlphabet[QRandomGenerator::system()->bounded(int(sizeof SuffixAlphabet - 1))];
    return name;
}

/// The temporary file of one save. It is locked while it lives, which
/// tells a running save from an abandoned one; a named one that is never
/// moved over its target is removed.
class Temporary
{
public:
    Temporary() = default;
    ~Temporary() { discard(); }
    Temporary(const Temporary &) = delete;
    Temporary &operator=(Temporary &&other) noexcept
    {
        discard();
        std::swap(m_fd, other.m_fd);
        std::swap(m_name, other.m_name);
        return *this;
    }

    /// A file without a name in `folder`; 0, EOPNOTSUPP where the file
    /// system has no such files, or the system's error.
    int createUnnamed(const QByteArray &folder)
    {
        m_fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return errno == EISDIR || errno == EINVAL || errno == EOPNOTSUPP ? EOPNOTSUPP : errno;
        ::flock(m_fd, LOCK_EX | LOCK_NB);
        return 0;
    }

    /// A new file under a free random name in `folder`.
    int createNamed(const QByteArray &folder)
    {
        for (int attempt = 0; attempt < NameAttempts; ++attempt) {
            const QByteArray name = temporaryPath(folder);
            m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_name = name;
                ::flock(m_fd, LOCK_EX | LOCK_NB);
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    /// Copies all of `from` and syncs it to the disk.
    int fill(const HeldFile &from)
    {
        char buffer[64 * 1024];
        qint64 offset = 0;
        for (;;) {
            const qint64 count = from.readAt(buffer, sizeof buffer, offset);
            if (count < 0)
                return from.error();
            if (count == 0)
                break;
            qint64 done = 0;
            while (done < count) {
                const ssize_t n = ::write(m_fd, buffer + done, size_t(count - done));
                if (n < 0 && errno == EINTR)
                    continue;
                // A short write without an error code means the disk is full.
                if (n <= 0)
                    return n < 0 ? errno : ENOSPC;
                done += n;
            }
            offset += count;
        }
        if (::fsync(m_fd) != 0 && !syncUnsupported(errno))
            return errno;
        return 0;
    }

    /// Gives the complete unnamed file a free random name in `folder`.
    int giveName(const QByteArray &folder)
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        for (int attempt = 0; attempt < NameAttempts; ++attempt) {
            const QByteArray name = temporaryPath(folder);
            // Linking by the open file itself needs a privilege; through
            // /proc it needs none.
            if (::linkat(m_fd, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0
                || (errno != EEXIST && ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)) {
                m_name = name;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    QByteArray name() const { return m_name; }

    /// It now bears the target's name: it stays.
    void renamed()
    {
        m_name.clear();
        discard();
    }

private:
    void discard()
    {
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
        m_name.clear();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
    QByteArray m_name;
};

} // namespace

namespace durable {

bool syncFolderOf(const QString &path, QString *error)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A folder that can be written but not opened for reading: the
        // file itself is synced, only its name may not be.
        if (errno == EACCES)
            return true;
        if (error)
            *error = systemError(errno);
        return false;
    }
    const bool ok = ::fsync(fd) == 0 || syncUnsupported(errno);
    const int code = errno;
    ::close(fd);
    if (!ok && error)
        *error = systemError(code);
    return ok;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error, Fallback fallback)
{
    QSaveFile file(path);
    // In place means into the file itself: a link would carry the content
    // to wherever it points.
    file.setDirectWriteFallback(fallback == Fallback::InPlace && !QFileInfo(path).isSymLink());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return finish(file, error);
}

bool copyFile(const QString &from, const QString &to, QString *error)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        const int code = errno;
        if (error)
            *error = shownPath(from) + QLatin1String(":\n") + systemError(code);
        return false;
    }
    return copyFrom(HeldFile::adopt(in), to, error);
}

bool copyFrom(const HeldFile &from, const QString &to, QString *error)
{
    auto fail = [&](int code) {
        if (error)
            *error = shownPath(to) + QLatin1String(":\n") + systemError(code);
        return false;
    };

    // The content goes to a new file of its own beside the target, never
    // to a link or file someone put there; moving it over the name
    // replaces a link instead of writing through it. Where the file system
    // can, the file has no name until it is complete, so a save that is
    // killed midway leaves nothing behind.
    const QFileInfo target(to);
    const QByteArray folder = QFile::encodeName(target.path());
    Temporary temp;
    int code = unnamedTemporariesAllowed ? temp.createUnnamed(folder) : EOPNOTSUPP;
    if (code == 0) {
        code = temp.fill(from);
        if (code == 0) {
            code = temp.giveName(folder);
            if (code != 0 && code != EEXIST)
                code = EOPNOTSUPP;   // it cannot be named here: a named file instead
        }
    }
    if (code == EOPNOTSUPP) {
        temp = Temporary();
        code = temp.createNamed(folder);
        if (code == 0)
            code = temp.fill(from);
    }
    if (code != 0)
        return fail(code);
    if (::rename(temp.name().constData(), QFile::encodeName(to).constData()) != 0)
        return fail(errno);
    temp.renamed();
    QString reason;
    if (!syncFolderOf(to, &reason)) {
        if (error)
            *error = shownPath(to) + QLatin1String(":\n") + reason;
        return false;
    }
    return true;
}

void setUnnamedTemporariesAllowed(bool allowed)
{
    unnamedTemporariesAllowed = allowed;
}

bool isTemporaryName(const QString &name)
{
    const QByteArray bytes = QFile::encodeName(name);
    if (bytes.size() != TemporaryPrefix.size() + SuffixLength || !bytes.startsWith(TemporaryPrefix))
        return false;
    for (qsizetype i = TemporaryPrefix.size(); i < bytes.size(); ++i) {
        if (!std::strchr(SuffixAlphabet, bytes.at(i)) || bytes.at(i) == '\0')
            return false;
    }
    return true;
}

int removeAbandonedTemporaries(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                         | QDir::NoDotAndDotDot);
    int removed = 0;
    for (const QString &name : names) {
        if (!isTemporaryName(name))
            continue;
        // Provably this program's and abandoned: a plain file (not a link)
        // of this user's own that no running save holds locked.
        const QString path = QDir(folder).filePath(name);
        SafeOpenResult opened = safeOpen(path, SafeOpenOptions());
        if (!opened.ok() || opened.file.tryLockExclusive() != HeldFile::Lock::Taken
            || !opened.file.isSameFileAs(path, false))
            continue;
        if (::unlink(QFile::encodeName(path).constData()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace durable
