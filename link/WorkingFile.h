#pragma once
// The working measurement file "Vindo.qvx" in the current directory: opened
// empty at start-up, after a save and after a discarded measurement, written
// one received block at a time.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

class WorkingFile
{
public:
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

    /// Closes the file; closing a file that is not open does nothing.
    void close();

    /// True while a file is open (the old "file number is not 0").
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
    QFile m_file;
    QString m_error;
};
