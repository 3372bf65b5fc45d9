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
    file.setDirectWriteFallback(fallback == Fallback::InPlace);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return finish(file, error);
}

bool copyFile(const QString &from, const QString &to, QString *error)
{
    auto fail = [&](const QString &path, const QString &why) {
        if (error)
            *error = QDir::toNativeSeparators(path) + QLatin1String(":\n") + why;
        return false;
    };
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return fail(from, in.errorString());
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return fail(to, out.errorString());
    char buffer[64 * 1024];
    qint64 count = 0;
    while ((count = in.read(buffer, sizeof buffer)) > 0) {
        if (out.write(buffer, count) != count) {
            const QString why = out.errorString();
            out.cancelWriting();
            return fail(to, why);
        }
    }
    if (count < 0) {
        out.cancelWriting();
        return fail(from, in.errorString());
    }
    QString reason;
    if (!finish(out, &reason))
        return fail(to, reason);
    return true;
}

} // namespace durable
