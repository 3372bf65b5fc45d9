#pragma once
// File names as the recorder uses them: bare names in the current
// directory that match regardless of letter case, as on the system the
// recorder's files come from ("vindo.qvx" and "Vindo.qvx" are one file).

#include <QString>

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
/// from the first folder of `sources` that has them. A settings file taken
/// from `installedDefaults` (one of the sources) says desktopLanguage();
/// one brought along beside the program is copied as it is.
void seedSettingsFiles(const QString &folder, const QStringList &sources, const QString &installedDefaults);

/// The folder for the settings file, sensor.ini and the COM<N> links: the
/// program folder when it is writable, otherwise userSettingsFolder(),
/// created when missing. A settings file or sensor.ini missing there is
/// copied from beside the program or from the installed defaults (see
/// seedSettingsFiles()).
QString settingsFolderFor(const QString &programDir);

/// The help document: in the current folder (returned as the bare name),
/// else beside the program, else in the installed documentation folder
/// (full paths). Empty when there is none.
QString findHelpDocument(const QString &programDir);
