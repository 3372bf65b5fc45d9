#pragma once
// Turns what the program is told to start (the spreadsheet program from the
// settings, or the Windows editor names "Notepad", "Write", "WRITE") into an
// executable and the options that go before the file argument, and tells
// programs from documents.

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
///   open the file in the spreadsheet without the start logo.
ProgramCommand resolve(const QString &setting);

/// True when `path` is a program to start: an executable file whose type,
/// judged by its name and its content, is a program (a binary or a script).
/// A document with the execute bit (every file on FAT, NTFS or SMB media
/// has it) is no program: "Quendrel.pdf" stays a PDF document whatever it
/// holds.
bool isProgramFile(const QString &path);

/// The program `name` stands for, as an absolute path: `name` itself when
/// it holds a folder separator, else the first match on the search path.
/// Empty when there is none, or when what was found is no program
/// (isProgramFile()).
QString findProgram(const QString &name);

/// How handing a document to the desktop went.
enum class OpenResult {
    Started,       ///< the desktop's opener or the document's program was started
    NoHandler,     ///< no installed program opens this kind of document
    StartFailed    ///< there is one, but it could not be started
};

/// Hands the document `path` to the desktop's opener (the program the
/// desktop associates with its type). Never runs the document itself.
/// On Linux and the BSDs the desktop's entries are asked first
/// (documentHandler()); xdg-open opens a document of a type it knows
/// itself, and without xdg-open, or for a type known only through the type
/// it derives from, the entry's own command is started.
OpenResult openDocument(const QString &path);

} // namespace programs
