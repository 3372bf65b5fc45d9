#pragma once
// Files in a folder that other users may write to (a shared measurement
// folder). A name there may be a link someone planted, a FIFO that would
// block the program, a device, or another user's file; none of them is
// ever opened as the program's own file:
//
//  - a symbolic link at the name is never followed;
//  - opening never waits (a FIFO or device answers nothing), and only a
//    plain file is accepted;
//  - where asked, only a file of the current user's is accepted;
//  - a new file is created only where the name is free (never replacing or
//    writing through what is there).
//
// The interface names no type of one operating system; SafeOpen_posix.cpp
// implements it for Linux and the other Unix systems.

#include <QByteArray>
#include <QString>

/// An open file, closed when the object goes. Move-only.
class HeldFile
{
public:
    /// How taking the exclusive lock ended.
    enum class Lock {
        Taken,          ///< this file holds the lock until it is closed
        HeldElsewhere,  ///< another open file (another process) holds it
        Failed          ///< the system refused (errorString())
    };

    HeldFile() = default;
    ~HeldFile();
    HeldFile(HeldFile &&other) noexcept;
    HeldFile &operator=(HeldFile &&other) noexcept;
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

    bool isOpen() const { return m_handle >= 0; }
    void close();

    /// True for a plain file (a device or a FIFO is not).
    bool isRegular() const;
    /// Size in bytes, -1 when it cannot be read.
    qint64 size() const;
    /// Time of the last change to the content, in milliseconds since the
    /// epoch; -1 when it cannot be read.
    qint64 lastModifiedMs() const;
    /// True when `path` names this file. A link at `path` counts as the file
    /// it leads to when `followLinks`, else as itself.
    bool isSameFileAs(const QString &path, bool followLinks) const;

    /// Reads up to `maxSize` bytes at `offset` (the file position stays).
    /// Returns the bytes read, 0 at the end, -1 on failure.
    qint64 readAt(char *data, qint64 maxSize, qint64 offset) const;
    /// Writes the whole block at `offset`, or at the file position when
    /// `offset` is negative (a device). A short write without a reason
    /// counts as a full disk.
    bool writeAll(const char *data, qint64 size, qint64 offset = -1);
    /// Cuts or extends the file to `size` bytes.
    bool resize(qint64 size);
    /// Moves the file position to the end; returns it, -1 on failure.
    qint64 seekToEnd();
    /// Takes the content (not every attribute) to the disk.
    bool syncData();
    /// Takes content and attributes to the disk.
    bool syncAll();
    /// As syncData(), but leaves error() alone and returns the system's code
    /// (0 when the content reached the disk). Safe to call from another
    /// thread while this one writes, as long as the file stays open.
    int syncDataFromAnyThread() const;
    /// Takes the exclusive lock without waiting. The system drops it when
    /// the file is closed, also when the program ends by a crash.
    Lock tryLockExclusive();

    /// The system's code and description of the last failure.
    int error() const { return m_error; }
    QString errorString() const;

    /// The system's handle, for the platform layer's own use.
    qintptr nativeHandle() const { return m_handle; }
    /// Takes over an open handle.
    static HeldFile adopt(qintptr handle);

private:
    qintptr m_handle = -1;
    mutable int m_error = 0;
};

/// What opening may do.
struct SafeOpenOptions
{
    enum class Access { Read, Write, ReadWrite };
    enum class Create {
        Never,      ///< the file must exist
        IfMissing,  ///< an existing file is opened, else a new one made
        New         ///< only a new file: a taken name fails with Exists
    };
    enum class Owner {
        Anyone,       ///< any user's file
        CurrentUser   ///< only a file of the user the program runs as
    };

    Access access = Access::Read;
    Create create = Create::Never;
    Owner owner = Owner::CurrentUser;
    /// A new file is readable and writable by its owner only (else by
    /// everyone the umask allows).
    bool privateFile = false;
};

/// How an open ended.
struct SafeOpenResult
{
    enum class Failure {
        None,
        Missing,    ///< nothing has the name (Create::Never)
        Exists,     ///< the name is taken (Create::New), also by a link
        NotAFile,   ///< a link, a folder, a FIFO or a device holds the name
        Foreign,    ///< another user's file holds the name
        System      ///< the system refused (errorString)
    };

    HeldFile file;
    Failure failure = Failure::None;
    /// The system's code and description of the failure (for Exists,
    /// Missing and System).
    int error = 0;
    QString errorString;

    bool ok() const { return failure == Failure::None; }
};

/// Opens `path` as the options say, never following a link at it and
/// never waiting for a FIFO or device. The file position is 0.
SafeOpenResult safeOpen(const QString &path, const SafeOpenOptions &options);

/// Opens an existing file or device for writing at its end as it is
/// named, following links and accepting any kind and owner.
SafeOpenResult openForAppending(const QString &path);

/// True when `path` is a symbolic link that another user made.
bool isLinkOfAnotherUser(const QString &path);

/// Removes `path` when it is an entry of the current user's own (a link
/// itself, never what it leads to). False when nothing was removed.
bool removeOwnEntry(const QString &path);

/// Renames `from` to `to` when `from` is a plain file of the current
/// user's own. False when it was not renamed.
bool renameOwnFile(const QString &from, const QString &to);

/// The system's description of the error `code` (an errno value).
QString systemErrorText(int code);
