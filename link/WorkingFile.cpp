#include "WorkingFile.h"

#include "FilePaths.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

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
        m_error = folderShown + QLatin1String(":\n") + systemErrorText(ENOENT);
        return OpenResult::ListingFailed;
    }
    if (!folder.isReadable()) {
        m_error = folderShown + QLatin1String(":\n") + systemErrorText(EACCES);
        return OpenResult::ListingFailed;
    }

    // One spelling of the name: an old file of this user's spelled
    // otherwise is renamed, and stays the same file.
    const QString wanted = QFileInfo(workFilePath).dir().filePath(QFileInfo(workFilePath).fileName());
    const QString found = workFilePath == QFileInfo(workFilePath).fileName()
        ? resolveBareName(workFilePath)
        : resolveNameIn(QFileInfo(workFilePath).path(), QFileInfo(workFilePath).fileName());
    QString path = wanted;
    if (QFileInfo(found).fileName() != QFileInfo(wanted).fileName())
        path = renameOwnFile(found, wanted) ? wanted : found;

    // Only a plain file of this user's own is used: never a link, a
    // folder or a file someone else made (in a folder shared with others).
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    SafeOpenOptions options;
    options.access = SafeOpenOptions::Access::ReadWrite;
    options.create = SafeOpenOptions::Create::IfMissing;
    SafeOpenResult opened = safeOpen(path, options);
    switch (opened.failure) {
    case SafeOpenResult::Failure::None:
        break;
    case SafeOpenResult::Failure::NotAFile:
    case SafeOpenResult::Failure::Foreign:
        m_error = shown;
        return OpenResult::Foreign;
    case SafeOpenResult::Failure::Missing:
    case SafeOpenResult::Failure::Exists:
    case SafeOpenResult::Failure::System:
        m_error = shown + QLatin1String(":\n") + opened.errorString;
        return OpenResult::OpenFailed;
    }
    switch (opened.file.tryLockExclusive()) {
    case HeldFile::Lock::Taken:
        break;
    case HeldFile::Lock::HeldElsewhere:
        m_error = QDir::toNativeSeparators(folder.absoluteFilePath());
        return OpenResult::InUse;
    case HeldFile::Lock::Failed:
        m_error = shown + QLatin1String(":\n") + opened.file.errorString();
        return OpenResult::OpenFailed;
    }

    closeDescriptor();
    m_file = std::move(opened.file);
    m_claimed = true;
    m_path = path;
    return OpenResult::Opened;
}

bool WorkingFile::stillNamesClaimedFile() const
{
    return m_file.isSameFileAs(m_path, false);
}

bool WorkingFile::isSameFile(const QString &path) const
{
    return m_file.isSameFileAs(path, true);
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
    if (!m_file.resize(0)) {
        m_error = describe(m_file.error());
        return OpenResult::DeleteFailed;
    }
    startRecording(0);
    return OpenResult::Opened;
}

bool WorkingFile::openForAppend(const QString &path)
{
    release();
    m_error.clear();
    SafeOpenResult opened = openForAppending(resolveBareName(path));
    if (!opened.ok()) {
        m_error = QDir::toNativeSeparators(path) + QLatin1String(":\n") + opened.errorString;
        return false;
    }
    m_file = std::move(opened.file);
    m_claimed = false;
    m_path = path;
    const qint64 end = m_file.seekToEnd();
    startRecording(end < 0 ? 0 : end);
    return true;
}

QString WorkingFile::describe(int error) const
{
    return QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath()) + QLatin1String(":\n") + systemErrorText(error);
}

void WorkingFile::startRecording(qint64 at)
{
    m_syncable = m_file.isRegular();
    m_position = at;
    m_recording = true;
    m_written = 0;
    m_synced = 0;
    m_unsynced.clear();
    m_firstUnsynced.invalidate();
}

bool WorkingFile::writeAt(const char *data, qint64 size, qint64 offset)
{
    // A device is written at its own position.
    if (m_file.writeAll(data, size, m_syncable ? offset : -1))
        return true;
    m_error = describe(m_file.error());
    return false;
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
        if (m_syncable && !m_file.resize(start)) {
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
        && m_file.syncData()) {
        m_synced = target;
        m_unsynced.clear();
        ++m_syncCount;
        m_firstUnsynced.invalidate();
        if (m_syncObserver)
            m_syncObserver(m_synced);
        return true;
    }
    if (m_error.isEmpty() || !rewrite)
        m_error = describe(m_file.error());
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
    m_file.close();
    m_claimed = false;
    m_recording = false;
}
