#pragma once
// The measurement folder: the working file "Vindo.qvx" and what lies
// beside it. The folder may be shared with other users, so nothing found
// there by name is trusted: the working file is claimed once (see
// WorkingFile) and from then on read only through the file held open, the
// header copy and the note are new files of this user's own, and what
// someone else put under those names is left alone.
//
// What a run leaves in the working file when it ends: a measurement the
// user declined to save (Exit or a stop answered No) is noted beside the
// file, so that the next start replaces it without a word; anything else
// left there (a crash, a kill, a power cut, the settings restart) is kept
// as a recovered copy before the next start replaces the file.

#include "HeaderRead.h"
#include "InstrumentState.h"
#include "WorkingFile.h"

#include <QDateTime>
#include <QString>

class MeasurementFolder
{
public:
    using OpenResult = WorkingFile::OpenResult;

    /// The folder `folder`; an empty text is the current directory at the
    /// time of each call.
    explicit MeasurementFolder(const QString &folder = QString());
    MeasurementFolder(const MeasurementFolder &) = delete;
    MeasurementFolder &operator=(const MeasurementFolder &) = delete;

    /// Name of the note beside the working file.
    static QString noteName();

    /// The working file, for writing blocks and reading its figures.
    WorkingFile &workingFile() { return m_workFile; }
    const WorkingFile &workingFile() const { return m_workFile; }
    /// The working file as the user is shown it: native and absolute.
    QString workingFileShown() const;
    /// The folder as the user is shown it.
    QString folderShown() const;

    /// Claims the working file (start-up); its content stays. Temporary
    /// files that killed saves left in the folder are removed.
    OpenResult claim();
    /// Starts a fresh measurement: claims the file when needed, empties it
    /// and records from its start. A note about declined data goes with them.
    OpenResult openFresh();
    /// The platform's description of the last failed claim or open.
    QString errorString() const { return m_workFile.errorString(); }
    /// Gives the working file up (the program ends).
    void release() { m_workFile.release(); }

    /// What start-up found in the working file.
    struct Found
    {
        enum class Kind {
            Nothing,    ///< no working file, or an empty one
            Declined,   ///< the content the user declined to save: to be replaced
            Kept,       ///< copied to `keptName`
            NotKept     ///< the copy failed (`error`); the data are still in `dataPath`
        };
        Kind kind = Kind::Nothing;
        QString keptName;
        QString error;
        QString dataPath;
    };

    /// Run at start-up once the file is claimed, before it is emptied:
    /// tells a declined measurement from one the last run could not finish,
    /// keeps the latter and removes the note.
    Found settle(const QDateTime &now);

    /// Keeps what the claimed working file holds: when it is not empty,
    /// copies it beside itself as "Vindo-recovered-YYYYMMDD-HHMMSS.csv"
    /// (with "-2", "-3"... when that name is taken in any letter case) and
    /// returns the new name. Returns an empty text when there was nothing
    /// to keep, or when the copy failed; `error` then says why (and stays
    /// empty when there was nothing to keep).
    QString keepCopy(const QDateTime &now, QString *error = nullptr);

    /// Notes that the user declined to keep what the working file holds
    /// now. A note that cannot be written only means the next start keeps
    /// the data.
    void noteDeclined();

    /// Reads the instrument header from the claimed working file by way of
    /// a copy beside it (see readInstrumentHeader()). Without a claimed
    /// file every read fails and the texts stay as they are.
    HeaderReadResult readHeader(InstrumentHeader &state) const;

    /// True when saving to `path` would write the working file: it names
    /// the claimed file (through any link), or its name in any letter case.
    bool isWorkingFile(const QString &path) const;

    /// Copies the claimed working file durably to `csvPath`; with `empty`
    /// an empty file is written instead. On failure `error` says why.
    bool copyTo(const QString &csvPath, bool empty, QString *error) const;

private:
    QString workingFilePath() const;
    QString absolutePath(const QString &name) const;
    QString companionPath(const QString &name) const;
    QByteArray fingerprint() const;
    QByteArray trustedNote() const;
    void clearNote();

    QString m_folder;
    WorkingFile m_workFile;
};
