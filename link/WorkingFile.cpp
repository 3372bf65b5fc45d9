#include "WorkingFile.h"

#include "FilePaths.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

/// One thread that takes the working file to the disk on request, so that
/// the main thread goes on receiving while the disk works. One sync at a
/// time; its end is posted back to the main thread.
class WorkingFile::SyncThread
{
public:
    explicit SyncThread(std::function<void()> finished)
        : m_finished(std::move(finished)), m_thread([this] { run(); })
    {
    }
    ~SyncThread()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void request(const HeldFile *file)
    {
        {
            std::lock_guard lock(m_mutex);
            m_file = file;
            m_done = false;
        }
        m_wake.notify_all();
    }

    /// The system's code of the finished sync (0: on the disk), or nothing
    /// while it runs; with `wait`, waits for it.
    std::optional<int> result(bool wait)
    {
        std::unique_lock lock(m_mutex);
        if (wait)
            m_doneChanged.wait(lock, [this] { return m_done; });
        if (!m_done)
            return std::nullopt;
        return m_error;
    }

private:
    void run()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_file != nullptr || m_quit; });
            if (m_quit)
                return;
            const HeldFile *file = std::exchange(m_file, nullptr);
            lock.unlock();
            const int error = file->syncDataFromAnyThread();
            lock.lock();
            m_error = error;
            m_done = true;
            lock.unlock();
            m_doneChanged.notify_all();
            m_finished();
        }
    }

    std::function<void()> m_finished;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_doneChanged;
    const HeldFile *m_file = nullptr;
    bool m_done = false;
    bool m_quit = false;
    int m_error = 0;
    std::thread m_thread;
};

WorkingFile::WorkingFile()
{
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_syncTimer, &QTimer::timeout, &m_syncTimer, [this] {
        collectBackgroundSync(false);
        startBackgroundSync();
    });
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
    const QFileInfo folder(QFileInfo(workFilePath).path());
    const QString folderShown = shownPath(folder.filePath());
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
    const QString shown = shownPath(path);
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
    return shownPath(m_path) + QLatin1String(":\n") + systemErrorText(error);
}

void WorkingFile::startRecording(qint64 at)
{
    m_syncable = m_file.isRegular();
    m_position = at;
    m_recording = true;
    m_written = 0;
    m_synced = 0;
    m_unsynced.clear();
    m_unsyncedBytes = 0;
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
    if (m_syncable) {
        m_unsynced.append(block);
        m_unsyncedBytes += block.size();
    }
    // A receive path that keeps the event loop busy takes a finished sync's
    // result here.
    collectBackgroundSync(false);
    if (m_syncable && !m_syncHeld && m_unsyncedBytes - (m_syncInFlight ? m_inFlightCovered : 0) >= UnsyncedLimit) {
        // A flood: sync now rather than at the deadline, waiting for the
        // sync still running (the disk is slower than the line).
        collectBackgroundSync(true);
        startBackgroundSync();
        return true;
    }
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
    if (m_firstUnsynced.elapsed() >= SyncDelayMs) {
        collectBackgroundSync(false);
        startBackgroundSync();
    }
}

void WorkingFile::startBackgroundSync()
{
    if (m_syncInFlight || !m_recording || !m_syncable || m_syncHeld || m_written == m_synced)
        return;
    if (m_rewriteAtNextSync) {
        // After a failure nobody was told of: written again and synced here.
        m_rewriteAtNextSync = false;
        syncNow(true);
        return;
    }
    m_syncTimer.stop();
    if (!m_syncThread) {
        m_syncThread = std::make_unique<SyncThread>([this] {
            // Posted to the thread the file is used in; dropped when the
            // timer (and so this object) is gone.
            QMetaObject::invokeMethod(&m_syncTimer, [this] { collectBackgroundSync(false); }, Qt::QueuedConnection);
        });
    }
    m_syncInFlight = true;
    m_inFlightTarget = m_written;
    m_inFlightCovered = m_unsyncedBytes;
    m_inFlightBlocks = m_unsynced.size();
    // Blocks written from now on wait for the next sync.
    m_firstUnsynced.invalidate();
    m_syncThread->request(&m_file);
}

void WorkingFile::collectBackgroundSync(bool wait)
{
    if (!m_syncInFlight)
        return;
    const std::optional<int> error = m_syncThread->result(wait);
    if (!error)
        return;
    m_syncInFlight = false;
    if (*error != 0) {
        // The data the failed sync covered are still in m_unsynced.
        m_error = describe(*error);
        syncFailed(*error);
        return;
    }
    m_synced = m_inFlightTarget;
    m_unsynced.remove(0, m_inFlightBlocks);
    m_unsyncedBytes -= m_inFlightCovered;
    ++m_syncCount;
    if (m_syncObserver)
        m_syncObserver(m_synced);
    if (m_written > m_synced && !m_firstUnsynced.isValid())
        m_firstUnsynced.start();
    if (m_firstUnsynced.isValid() && QAbstractEventDispatcher::instance()) {
        const qint64 left = SyncDelayMs - m_firstUnsynced.elapsed();
        m_syncTimer.start(int(qMax<qint64>(0, left)));
    }
}

bool WorkingFile::sync()
{
    m_syncTimer.stop();
    collectBackgroundSync(true);
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

bool WorkingFile::rewriteUnsynced()
{
    qint64 offset = m_position - m_unsyncedBytes;
    for (const QByteArray &block : std::as_const(m_unsynced)) {
        if (!writeAt(block.constData(), block.size(), offset))
            return false;
        offset += block.size();
    }
    return true;
}

bool WorkingFile::syncNow(bool rewrite)
{
    const qint64 target = m_written;
    // After a refused sync the kernel may have dropped the unsynced pages:
    // they are written again from memory before the next sync.
    if ((!rewrite || rewriteUnsynced()) && m_file.syncData()) {
        m_synced = target;
        m_unsynced.clear();
        m_unsyncedBytes = 0;
        ++m_syncCount;
        m_firstUnsynced.invalidate();
        if (m_syncObserver)
            m_syncObserver(m_synced);
        return true;
    }
    if (m_error.isEmpty() || !rewrite)
        m_error = describe(m_file.error());
    syncFailed(m_file.error());
    return false;
}

void WorkingFile::syncFailed(int)
{
    if (!m_syncFailed) {
        // Nobody to tell: try again at the next deadline, with the data
        // written again, as the failed sync may have dropped them.
        m_firstUnsynced.start();
        m_rewriteAtNextSync = true;
        if (QAbstractEventDispatcher::instance())
            m_syncTimer.start(SyncDelayMs);
        return;
    }
    m_syncHeld = true;
    m_syncFailed(m_error);
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
    // The sync thread may still use the file.
    collectBackgroundSync(true);
    m_file.close();
    m_claimed = false;
    m_recording = false;
}
