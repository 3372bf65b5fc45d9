#pragma once
// Turns what the program is told to start (the spreadsheet program from the
// settings, or the Windows editor names "Notepad", "Write", "WRITE") into an
// executable and the options that go before the file argument.

#include <QString>
#include <QStringList>

namespace programs {

/// What to start: the executable and its leading options. The file to show
/// is appended by the caller as one further argument.
struct ProgramCommand
{
    QString program;       ///< path or name of the executable; empty: nothing to start
    QStringList options;   ///< options that precede the file argument
};

/// True for the Windows editor names the viewers use ("Notepad", "Write",
/// any case, with or without ".exe").
bool isEditorName(const QString &name);

/// Resolves a program setting:
/// - a setting that names an existing file is the program as it is, blanks
///   included;
/// - otherwise it is split like a command line ("libreoffice --calc"), the
///   first word being the program;
/// - on platforms without them, the editor names become the first installed
///   text editor found on the search path, else the desktop's opener;
/// - LibreOffice ("localc", "libreoffice", "soffice") gets the options that
///   open the file in the spreadsheet without the start logo and recovery.
ProgramCommand resolve(const QString &setting);

} // namespace programs
