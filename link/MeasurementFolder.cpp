#include "MeasurementFolder.h"

#include "DurableFile.h"
#include "FilePaths.h"
#include "SafeOpen.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>

MeasurementFolder::MeasurementFolder(const QString &folder)
    : m_folder(folder)
{
}

QString MeasurementFolder::noteName()
{
    return QStringLiteral("Vindo.discarded");
}

QString MeasurementFolder::workingFilePath() const
{
    return m_folder.isEmpty() ? WorkingFile::bareName() : QDir(m_folder).filePath(WorkingFile::bareName());
}

QString MeasurementFolder::absolutePath(const QString &name) const
{
    return QFileInfo(workingFilePath()).dir().filePath(name);
}

QString MeasurementFolder::companionPath(const QString &name) const
{
    return m_folder.isEmpty() ? resolveBareName(name) : resolveNameIn(m_folder, name);
}

QString MeasurementFolder::workingFileShown() const
{
    return shownPath(workingFilePath());
}

QString MeasurementFolder::folderShown() const
{
    return shownPath(QFileInfo(workingFilePath()).path());
}

MeasurementFolder::OpenResult MeasurementFolder::claim()
{
    const OpenResult claimed = m_workFile.claim(workingFilePath());
    // What saves into this folder left when they were killed midway.
    if (claimed == OpenResult::Opened)
        durable::removeAbandonedTemporaries(QFileInfo(workingFilePath()).path());
    return claimed;
}

MeasurementFolder::OpenResult MeasurementFolder::openFresh()
{
    const OpenResult opened = m_workFile.open(workingFilePath());
    if (opened == OpenResult::Opened)
        clearNote();
    return opened;
}

// ---------------------------------------------------------------- what the last run left

QByteArray MeasurementFolder::fingerprint() const
{
    // What identifies the working file's content: its size and the time of
    // its last change, to the millisecond. Any later write changes it.
    const HeldFile &held = m_workFile.heldFile();
    const qint64 size = held.size();
    const qint64 modified = held.lastModifiedMs();
    if (!m_workFile.isClaimed() || size < 0 || modified < 0)
        return QByteArray();
    return QByteArray::number(size) + ' ' + QByteArray::number(modified) + '\n';
}

void MeasurementFolder::noteDeclined()
{
    const QByteArray content = fingerprint();
    if (content.isEmpty())
        return;
    // A new file of its own, readable by nobody else; an old note of this
    // user's goes first, anything else of that name stays and is ignored.
    clearNote();
    SafeOpenOptions options;
    options.access = SafeOpenOptions::Access::Write;
    options.create = SafeOpenOptions::Create::New;
    options.privateFile = true;
    SafeOpenResult note = safeOpen(absolutePath(noteName()), options);
    if (note.ok() && !note.file.writeAll(content.constData(), content.size(), 0)) {
        note.file.close();
        removeOwnEntry(absolutePath(noteName()));
    }
}

void MeasurementFolder::clearNote()
{
    removeOwnEntry(absolutePath(noteName()));
}

QByteArray MeasurementFolder::trustedNote() const
{
    // The note counts only as a plain file of this user's own; opening it
    // never waits (a FIFO of that name answers nothing).
    SafeOpenOptions options;
    const SafeOpenResult note = safeOpen(absolutePath(noteName()), options);
    if (!note.ok())
        return QByteArray();
    char buffer[128];
    const qint64 n = note.file.readAt(buffer, sizeof buffer, 0);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

MeasurementFolder::Found MeasurementFolder::settle(const QDateTime &now)
{
    Found found;
    const QByteArray note = trustedNote();
    const bool declined = !note.isEmpty() && note == fingerprint();
    // A note that does not match what the file holds now (written to since,
    // or replaced) decides nothing.
    clearNote();
    if (declined && m_workFile.heldFile().size() > 0) {
        found.kind = Found::Kind::Declined;
        return found;
    }

    found.keptName = keepCopy(now, &found.error);
    if (!found.keptName.isEmpty()) {
        found.kind = Found::Kind::Kept;
    } else if (!found.error.isEmpty()) {
        found.kind = Found::Kind::NotKept;
        found.dataPath = shownPath(m_workFile.resolvedPath());
    }
    return found;
}

QString MeasurementFolder::keepCopy(const QDateTime &now, QString *error)
{
    if (error)
        error->clear();
    // Only the claimed file is read: a plain file of this user's own.
    const HeldFile &held = m_workFile.heldFile();
    if (!m_workFile.isClaimed() || held.size() <= 0)
        return QString();

    // The name is taken by creating it: a name that is a link, even one
    // that leads nowhere, is not free.
    const QDir folder = QFileInfo(m_workFile.resolvedPath()).dir();
    const QString stem = QStringLiteral("Vindo-recovered-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    SafeOpenOptions options;
    options.access = SafeOpenOptions::Access::Write;
    options.create = SafeOpenOptions::Create::New;
    QString name;
    for (int n = 1; n < 1000 && name.isEmpty(); ++n) {
        const QString candidate = n == 1 ? stem + QStringLiteral(".csv") : stem + QStringLiteral("-%1.csv").arg(n);
        if (resolveNameIn(folder.path(), candidate) != folder.filePath(candidate))
            continue;   // taken in another letter case
        const SafeOpenResult taken = safeOpen(folder.filePath(candidate), options);
        if (taken.ok()) {
            name = candidate;
        } else if (taken.failure != SafeOpenResult::Failure::Exists) {
            if (error)
                *error = shownPath(folder.filePath(candidate)) + QLatin1String(":\n") + taken.errorString;
            return QString();
        }
    }
    if (name.isEmpty()) {
        if (error)
            *error = shownPath(folder.filePath(stem)) + QLatin1String(":\n") + systemErrorText(EEXIST);
        return QString();
    }

    // The working file is emptied next, so the copy must be on the disk
    // before that.
    if (!durable::copyFrom(held, folder.filePath(name), error)) {
        removeOwnEntry(folder.filePath(name));
        return QString();
    }
    return name;
}

// ---------------------------------------------------------------- header and saving

HeaderReadResult MeasurementFolder::readHeader(InstrumentHeader &state) const
{
    static const HeldFile none;
    return readInstrumentHeader(m_workFile.isClaimed() ? m_workFile.heldFile() : none,
                                companionPath(headerCopyName()), state);
}

bool MeasurementFolder::isWorkingFile(const QString &path) const
{
    return m_workFile.isSameFile(path)
        || QFileInfo(path).absoluteFilePath().compare(QFileInfo(workingFilePath()).absoluteFilePath(),
                                                      Qt::CaseInsensitive) == 0;
}

bool MeasurementFolder::copyTo(const QString &csvPath, bool empty, QString *error) const
{
    if (empty)
        return durable::copyFile(QProcess::nullDevice(), csvPath, error);
    if (!m_workFile.heldFile().isOpen()) {
        if (error)
            error->clear();
        return false;
    }
    return durable::copyFrom(m_workFile.heldFile(), csvPath, error);
}
