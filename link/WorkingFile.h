#pragma once
// The working measurement file "Vindo.qvx" in the current directory: opened
// empty at start-up, after a save and after a discarded measurement, written
// one received block at a time.
//
// Every block reaches the operating system before write() returns, which
// survives a crash of the program. To survive a power cut as well, the
// written data are synced to the disk in groups: at most SyncDelayMs after
// the first block not yet synced, so a fast line costs about one sync a
// second, never one per block; and once more when the file is closed.

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTimer>

#include <functional>

class WorkingFile
{
public:
    /// Longest wait from a write to the sync that takes it to the disk.
    /// It stays below a second so that the sync itself and a late timer
    /// still end within the second.
    static constexpr int SyncDelayMs = 900;

    WorkingFile();
    ~WorkingFile();
    WorkingFile(const WorkingFile &) = delete;
    WorkingFile &operator=(const WorkingFile &) = delete;

    /// Bare name of the working file; it lies in the current directory.
    static QString bareName() { return QStringLiteral("Vindo.qvx"); }

    /// How an open attempt ended, so the caller can show the matching box.
    enum class OpenResult {
        Opened,         ///< an empty file is open for appending
        ListingFailed,  ///< the folder could not be read (errorString())
        DeleteFailed,   ///< an old file could not be deleted
        OpenFailed      ///< the new file could not be created (errorString())
    };

    /// The open sequence: look the file up, delete an old one, create it
    /// empty and open it for appending. `workFilePath` is the bare name.
    OpenResult open(const QString &workFilePath = bareName());

    /// Writes one block at the end and hands it to the operating system
    /// before returning. False on failure (errorString() says why).
    bool write(const QByteArray &block);

    /// Syncs what was written but not yet synced, then closes the file;
    /// closing a file that is not open does nothing.
    void close();

    /// Syncs everything written so far to the disk now (nothing to do
    /// returns true at once). False when the disk refused; the data stay
    /// pending and the next sync tries again.
    bool sync();

    /// Bytes written since the file was opened.
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

    /// True while a file is open.
    bool isOpen() const { return m_file.isOpen(); }

    /// Path of the open (or last opened) file as resolved on disk.
    QString resolvedPath() const { return m_file.fileName(); }

    /// The platform's description of the last failure.
    QString errorString() const { return m_error; }

    /// Opens an existing file or device for appending and keeps its
    /// content (no listing, no delete). False on failure (errorString()).
    bool openForAppend(const QString &path);

    /// Size of the working file on disk, 0 when absent.
    static qint64 existingSize(const QString &workFilePath = bareName());

    /// Keeps what an earlier run left in the working file: when a non-empty
    /// working file exists, copies it beside itself as
    /// "Vindo-recovered-YYYYMMDD-HHMMSS.csv" (with "-2", "-3"... when that
    /// name is taken) and returns the new name. Returns an empty text when
    /// there was nothing to keep, or when the copy failed; `error` then
    /// says why (and stays empty when there was nothing to keep).
    static QString recoverLeftover(const QString &workFilePath, const QDateTime &now,
                                   QString *error = nullptr);

private:
    void opened();
    void syncLater();

    QFile m_file;
    QString m_error;
    bool m_syncable = false;        // a regular file (a device cannot be synced)
    qint64 m_written = 0;
    qint64 m_synced = 0;
    quint64 m_syncCount = 0;
    QTimer m_syncTimer;
    QElapsedTimer m_firstUnsynced;  // runs while written data wait for a sync
    std::function<void(qint64)> m_syncObserver;
};
