#pragma once
// File names as the recorder uses them: bare names in the current
// directory that match regardless of letter case, as on the system the
// recorder's files come from ("vindo.qvx" and "Vindo.qvx" are one file).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

/// `path` as the system reaches it. Qt spells the current folder only when
/// its name is valid UTF-8; otherwise a path inside it, as Qt spells it
/// (from QDir::currentPath() or a file dialog), is given relative to it.
/// Any other path is returned as given.
QString reachablePath(const QString &path);

/// `path` as a message shows it: absolute, with the system's separators; a
/// byte of the current folder's name that is not UTF-8 appears as \xNN.
QString shownPath(const QString &path);

/// `bytes` of a file name as text: valid UTF-8 as it reads, any other
/// byte as \xNN.
QString displayedName(const QByteArray &bytes);

/// For a bare name (no folder part): the real name of the file in the
/// current directory that matches it regardless of case; an exact match
/// wins. A name with a folder part, or one that matches nothing, is
/// returned as given.
QString resolveBareName(const QString &name);

/// The same lookup for a name inside `dir`; returns the full path
/// (`dir` + "/" + the real or the given name).
QString resolveNameIn(const QString &dir, const QString &name);

/// Where writing `path` would really go: for a link (also one that leads
/// nowhere, and a chain of links) the absolute path it leads to, otherwise
/// `path` as given.
QString linkTarget(const QString &path);

/// Name of the settings file.
inline QString settingsFileName() { return QStringLiteral("qvx.ini"); }
/// Name of the start-up file read beside the settings file.
inline QString sensorFileName() { return QStringLiteral("sensor.ini"); }
/// Name of the help document.
inline QString helpDocumentName() { return QStringLiteral("Quendrel.pdf"); }

/// The settings file in `folder`, its name matched regardless of case.
QString settingsFileIn(const QString &folder);

/// True when the current user may create files in `dir` (permissions and a
/// read-only mount both count).
bool isWritableFolder(const QString &dir);

// ------------------------------------------------------------------ trust
// A folder others may write (a shared build tree, a sticky folder such as
// /tmp) can hold files and links that another user put there. Nothing such
// a user leaves decides anything: what the program reads, follows or writes
// in a settings folder passes the checks below.

/// True when `ownerId` is the user running the program or root: the only
/// owners whose files, links and folders the program goes by.
bool isTrustedOwner(uint ownerId);

/// The user name of `ownerId`, or the number when it has none.
QString ownerName(uint ownerId);

/// True when `dir` (followed when it is a link) is a folder of the user or
/// root that neither its group nor others may write.
bool isPrivateFolder(const QString &dir);

/// What openTrustedFile() found.
enum class FileTrust {
    Trusted,        ///< a regular file of the user or root, now open
    Missing,        ///< no such name
    ForeignLink,    ///< a link of another user: not followed
    ForeignFile,    ///< a file of another user
    NotRegular,     ///< a FIFO, device, socket or folder: not waited on
    Unreadable,     ///< the system refused it (permissions, a loop of links)
};

/// Opens `path` for reading when it is a regular file of the user or root.
/// A link is followed only when the user or root made it; the open never
/// waits on a FIFO or a device. Returns the descriptor (close-on-exec,
/// blocking) or -1; `why` (when given) says which of FileTrust it was.
int openTrustedFile(const QString &path, FileTrust *why = nullptr);

/// The whole content (at most `maxBytes`) of a file openTrustedFile()
/// accepts; nothing (and `why` set) for any other.
std::optional<QByteArray> readTrustedFile(const QString &path, qint64 maxBytes = 1 << 20,
                                          FileTrust *why = nullptr);

/// True when `dir` may hold the program's settings: a private folder
/// (isPrivateFolder()) whose settings file, sensor.ini and COM<N> entries,
/// where present, belong to the user or root.
bool isTrustedSettingsFolder(const QString &dir);

/// The per-user folder for the program's own files when the program folder
/// is not writable: $XDG_CONFIG_HOME/Quendrel2, by default ~/.config/Quendrel2.
QString userSettingsFolder();

/// Where an installation keeps the default settings, relative to the
/// program folder <prefix>/bin: <prefix>/share/quendrel2-datarecorder.
QString installedDefaultsFolder(const QString &programDir);

/// Where an installation keeps the manual and the copyright file:
/// <prefix>/share/doc/quendrel2-datarecorder.
QString installedDocFolder(const QString &programDir);

/// The program language for a locale name such as "de_DE.UTF-8": "Deutsch"
/// for de*, "Francais" for fr*, else "English".
QString languageForLocale(const QString &localeName);

/// The desktop's language for messages: the first of LC_ALL, LC_MESSAGES
/// and LANG that is set (the system locale where there are none), as
/// languageForLocale() names it.
QString desktopLanguage();

/// The settings file `defaults` (nine lines by position) with entry 3, the
/// language, replaced by `language`; its line ends are kept.
QByteArray settingsWithLanguage(const QByteArray &defaults, const QString &language);

/// Copies the settings file and sensor.ini, when missing from `folder`,
/// from the first folder of `sources` that has them. Only private folders
/// (isPrivateFolder()) and files openTrustedFile() accepts are copied from;
/// the copy is a new file, never written through a link. A settings file
/// taken from `installedDefaults` (one of the sources) says
/// desktopLanguage(); one brought along beside the program is copied as it
/// is.
void seedSettingsFiles(const QString &folder, const QStringList &sources, const QString &installedDefaults);

/// The folder for the settings file, sensor.ini and the COM<N> links: the
/// program folder when the user may write it and it is a trusted settings
/// folder (isTrustedSettingsFolder()), otherwise userSettingsFolder(),
/// created when missing. A settings file or sensor.ini missing there is
/// copied from beside the program or from the installed defaults (see
/// seedSettingsFiles()).
QString settingsFolderFor(const QString &programDir);

/// The help document: the installed one (full path), else the one beside
/// the program (full path), each a regular file of the user or root; else
/// one in the current folder (returned as the bare name) that is a regular
/// file of the user. Empty when there is none.
QString findHelpDocument(const QString &programDir);
