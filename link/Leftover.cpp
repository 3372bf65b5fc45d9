#include "Leftover.h"

#include "FilePaths.h"
#include "WorkingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    QFile note(notePath(workFilePath));
    if (note.open(QIODevice::WriteOnly | QIODevice::Truncate))
        note.write(content);
}

void clearNote(const QString &workFilePath)
{
    QFile::remove(notePath(workFilePath));
}

Found settle(const QString &workFilePath, const QDateTime &now)
{
    Found found;
    QFile note(notePath(workFilePath));
    const bool declined = note.open(QIODevice::ReadOnly) && note.readAll() == fingerprint(workFilePath);
    note.close();
    // A note that does not match what the file holds now (written to since,
    // or replaced) decides nothing.
    note.remove();
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
