#pragma once
// The working measurement file "Vindo.qvx" in the current directory.
//
// The program claims the file once: it is opened without following a link
// and locked exclusively (the kernel drops the lock when the process ends,
// also at a crash), so a second copy of the program cannot record into the
// same folder. A fresh measurement empties the claimed file in place; the
// lock is never given up between two measurements.
//
// Every block reaches the operating system before write() returns, which
// survives a crash of the program. To survive a power cut as well, the
// written data are synced to the disk in groups: at most SyncDelayMs after
// the first block not yet synced, or as soon as UnsyncedLimit bytes wait, so
// a fast line costs about one sync a second, never one per block; and once
// more when recording stops. These syncs run on a thread of their own, so
// the receive path never waits for the disk. The bytes not yet synced are
// kept, so a sync the disk refused can be retried with the data written
// again.

#include "SafeOpen.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class WorkingFile
{
public:
    /// Longest wait from a write to the sync that takes it to the disk.
    /// It stays below a second so that the sync itself and a late timer
    /// still end within the second.
    static constexpr int SyncDelayMs = 900;
    /// Most bytes kept for a rewrite before a sync is started early. While
    /// a sync is still running and this much waits again, write() waits for
    /// it: memory stays bounded however fast the data arrive. A serial line
    /// (0.4 MB/s at 4 Mbaud) never fills it within SyncDelayMs; only a
    /// pseudo-terminal flood of more than about 11 MB/s gets early syncs.
    static constexpr qsizetype UnsyncedLimit = 10 * 1024 * 1024;

    WorkingFile();
    ~WorkingFile();
    WorkingFile(const WorkingFile &) = delete;
    WorkingFile &operator=(const WorkingFile &) = delete;

    /// Bare name of the working file; it lies in the current directory.
    static QString bareName() { return QStringLiteral("Vindo.qvx"); }

    /// How a claim or an open ended, so the caller can show the matching box.
    enum class OpenResult {
        Opened,         ///< claimed (and, for open(), empty and recording)
        ListingFailed,  ///< the folder could not be read (errorString())
        DeleteFailed,   ///< something that cannot be replaced or emptied holds the name
        OpenFailed,     ///< the file could not be created or opened (errorString())
        InUse,          ///< another process has claimed it (errorString() names the folder)
        Foreign         ///< the name is a link, a folder or another user's file (errorString() names it)
    };

    /// Claims the working file of the folder: opens it (created empty when
    /// absent, never through a link) and locks it. Its content is kept.
    OpenResult claim(const QString &workFilePath = bareName());

    /// Starts a fresh measurement: claims the file when it is not claimed
    /// yet, empties it and records from its start.
    OpenResult open(const QString &workFilePath = bareName());

    /// Writes one block at the end and hands it to the operating system
    /// before returning. False on failure (errorString() says why); a part
    /// already written is taken back, so writing the block again does not
    /// record it twice.
    bool write(const QByteArray &block);

    /// Syncs what was written but not yet synced, then stops recording.
    /// The claim stays. Closing a file that is not recording does nothing.
    void close();

    /// Stops recording and gives the claim up (the program ends).
    void release();

    /// Syncs everything written so far to the disk now (nothing to do
    /// returns true at once). When the disk refuses, the failure handler is
    /// told and further syncs wait for retrySync() or abandonSync();
    /// writing goes on meanwhile.
    bool sync();

    /// After a refused sync: writes the unsynced data again and syncs.
    bool retrySync();
    /// After a refused sync: stops recording (the data written so far stay).
    void abandonSync();

    /// Told once per refused sync with the system's description. Without a
    /// handler a refused sync is retried at the next deadline.
    void setSyncFailureHandler(std::function<void(const QString &error)> handler)
    {
        m_syncFailed = std::move(handler);
    }

    /// Bytes written since the measurement started.
    qint64 writtenBytes() const { return m_written; }

    /// Bytes of writtenBytes() known to be on the disk.
    qint64 syncedBytes() const { return m_synced; }

    /// Number of syncs done since this object was made.
    quint64 syncCount() const { return m_syncCount; }

    /// Called after every sync that reached the disk, with syncedBytes().
    void setSyncObserver(std::function<void(qint64 syncedBytes)> observer)
    {
        m_syncObserver = std::move(observer);
    }

    /// True while blocks are recorded.
    bool isOpen() const { return m_recording; }

    /// True while this program holds the working file of its folder.
    bool isClaimed() const { return m_file.isOpen() && m_claimed; }

    /// True when `path` names the claimed file (through any link or name).
    bool isSameFile(const QString &path) const;

    /// Path of the claimed (or last opened) file.
    QString resolvedPath() const { return m_path; }

    /// The claimed (or last opened) file itself, to read what it holds
    /// without looking its name up again.
    const HeldFile &heldFile() const { return m_file; }

    /// The platform's description of the last failure.
    QString errorString() const { return m_error; }

    /// Records into an existing file or device from its end, without
    /// claiming it (no lock, no emptying). False on failure (errorString()).
    bool openForAppend(const QString &path);

private:
    void startRecording(qint64 at);
    void syncLater();
    bool syncNow(bool rewrite);
    /// Writes the blocks not yet synced again where they belong.
    bool rewriteUnsynced();
    void startBackgroundSync();
    void collectBackgroundSync(bool wait);
    void syncFailed(int error);
    bool stillNamesClaimedFile() const;
    void closeDescriptor();
    QString describe(int error) const;
    bool writeAt(const char *data, qint64 size, qint64 offset);

    HeldFile m_file;
    bool m_claimed = false;         // m_file holds the lock of the folder's working file
    bool m_recording = false;
    bool m_syncable = false;        // a regular file (a device cannot be synced)
    bool m_syncHeld = false;        // a refused sync waits for retrySync() or abandonSync()
    bool m_rewriteAtNextSync = false; // a sync failed unseen: write the data again first
    QString m_path;
    QString m_error;
    qint64 m_position = 0;          // where the next block goes
    qint64 m_written = 0;
    qint64 m_synced = 0;
    quint64 m_syncCount = 0;
    // Written since the last good sync: the blocks as they came (shared,
    // not copied), so what is kept is what waits and no more.
    QList<QByteArray> m_unsynced;
    qsizetype m_unsyncedBytes = 0;
    QTimer m_syncTimer;
    QElapsedTimer m_firstUnsynced;  // runs while written data wait for a sync
    std::function<void(qint64)> m_syncObserver;
    std::function<void(const QString &)> m_syncFailed;

    class SyncThread;
    std::unique_ptr<SyncThread> m_syncThread;   // made at the first background sync
    bool m_syncInFlight = false;
    qint64 m_inFlightTarget = 0;    // m_written when the running sync began
    qsizetype m_inFlightCovered = 0;// bytes of m_unsynced the running sync takes to the disk
    qsizetype m_inFlightBlocks = 0; // and the blocks they are in
};
