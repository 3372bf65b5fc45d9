#include "Leftover.h"

#include "FilePaths.h"
#include "WorkingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace leftover {

namespace {

/// The note's path beside the working file as found on disk.
QString notePath(const QString &workFilePath)
{
    return QFileInfo(resolveBareName(workFilePath)).absoluteDir().filePath(noteName());
}

/// What identifies the working file's content: its size and the time of
/// its last change, to the millisecond. Any later write changes it.
QByteArray fingerprint(const QString &workFilePath)
{
    const QFileInfo file(resolveBareName(workFilePath));
    if (!file.isFile())
        return QByteArray();
    return QByteArray::number(file.size()) + ' '
        + QByteArray::number(file.lastModified().toMSecsSinceEpoch()) + '\n';
}

} // namespace

QString noteName()
{
    return QStringLiteral("Vindo.discarded");
}

void noteDeclined(const QString &workFilePath)
{
    const QByteArray content = fingerprint(workFilePath);
    if (content.isEmpty())
        return;
    // A new file of its own, readable by nobody else; an old note of this
    // user's goes first, anything else of that name stays and is ignored.
    clearNote(workFilePath);
    const QByteArray path = QFile::encodeName(notePath(workFilePath));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (::write(fd, content.constData(), size_t(content.size())) != content.size())
        ::unlink(path.constData());
    ::close(fd);
}

void clearNote(const QString &workFilePath)
{
    const QByteArray path = QFile::encodeName(notePath(workFilePath));
    struct stat status {};
    if (::lstat(path.constData(), &status) == 0 && status.st_uid == ::geteuid())
        ::unlink(path.constData());
}

namespace {

/// The note counts only as a plain file of this user's own; opening it
/// never waits (a FIFO of that name answers nothing).
QByteArray trustedNote(const QString &workFilePath)
{
    const int fd = ::open(QFile::encodeName(notePath(workFilePath)).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QByteArray content;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()) {
        char buffer[128];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            content = QByteArray(buffer, int(n));
    }
    ::close(fd);
    return content;
}

} // namespace

Found settle(const QString &workFilePath, const QDateTime &now)
{
    Found found;
    const QByteArray note = trustedNote(workFilePath);
    const bool declined = !note.isEmpty() && note == fingerprint(workFilePath);
    // A note that does not match what the file holds now (written to since,
    // or replaced) decides nothing.
    clearNote(workFilePath);
    if (declined && WorkingFile::existingSize(workFilePath) > 0) {
        found.kind = Found::Kind::Declined;
        return found;
    }

    found.keptName = WorkingFile::recoverLeftover(workFilePath, now, &found.error);
    if (!found.keptName.isEmpty()) {
        found.kind = Found::Kind::Kept;
    } else if (!found.error.isEmpty()) {
        found.kind = Found::Kind::NotKept;
        found.dataPath = QDir::toNativeSeparators(QFileInfo(resolveBareName(workFilePath)).absoluteFilePath());
    }
    return found;
}

} // namespace leftover
