#include "DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

} // namespace

namespace durable {

bool syncFolderOf(const QString &path, QString *error)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
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
            *error = QDir::toNativeSeparators(from) + QLatin1String(":\n") + systemError(code);
        return false;
    }
    const bool copied = copyFrom(in, to, error);
    ::close(in);
    return copied;
}

bool copyFrom(int from, const QString &to, QString *error)
{
    auto fail = [&](int code, int temp = -1, const QByteArray &tempName = {}) {
        if (temp >= 0) {
            ::close(temp);
            ::unlink(tempName.constData());
        }
        if (error)
            *error = QDir::toNativeSeparators(to) + QLatin1String(":\n") + systemError(code);
        return false;
    };

    // A new file of its own beside the target, never a link someone put
    // there; moving it over the name replaces a link instead of writing
    // through it.
    const QFileInfo target(to);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray tempName;
    int out = -1;
    for (int attempt = 0; out < 0 && attempt < 100; ++attempt) {
        tempName = folder + "/." + QFile::encodeName(target.fileName()) + ".tmp-"
                   + QByteArray::number(qint64(::getpid())) + '-' + QByteArray::number(attempt);
        out = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out < 0 && errno != EEXIST)
            return fail(errno);
    }
    if (out < 0)
        return fail(EEXIST);

    char buffer[64 * 1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t count = ::pread(from, buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return fail(errno, out, tempName);
        if (count == 0)
            break;
        ssize_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(out, buffer + done, size_t(count - done));
            if (n < 0 && errno == EINTR)
                continue;
            // A short write without an error code means the disk is full.
            if (n <= 0)
                return fail(n < 0 ? errno : ENOSPC, out, tempName);
            done += n;
        }
        offset += count;
    }
    if (::fsync(out) != 0 && !syncUnsupported(errno))
        return fail(errno, out, tempName);
    if (::close(out) != 0) {
        const int code = errno;
        ::unlink(tempName.constData());
        return fail(code);
    }
    if (::rename(tempName.constData(), QFile::encodeName(to).constData()) != 0) {
        const int code = errno;
        ::unlink(tempName.constData());
        return fail(code);
    }
    QString reason;
    if (!syncFolderOf(to, &reason)) {
        if (error)
            *error = QDir::toNativeSeparators(to) + QLatin1String(":\n") + reason;
        return false;
    }
    return true;
}

} // namespace durable
