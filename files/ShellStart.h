#pragma once
// Shell start: open a document with the desktop's handler or start a
// program, without waiting. Used by the help command and the settings
// dialog's restart.

#include <QChar>
#include <QString>

namespace shell {

/// Result codes of the shell start; values below 32 mean failure.
namespace shellResult {
enum : int {
    FileNotFound = 2,       ///< the program or document does not exist
    AccessDenied = 5,       ///< it exists but could not be started
    OpenerFailed = 30,      ///< the program that opens this document could not be started
    NoAssociation = 31,     ///< no program opens this document
    Started = 42            ///< opened or started
};
}

/// A command line cut into program part, argument part and folder.
struct CommandLineParts
{
    QString program;    ///< program or document, quotes removed
    QString arguments;  ///< what follows, leading blanks removed
    QString folder;     ///< working folder for the start
};

/// Cuts `commandLine` into its parts. A command line that begins with a
/// quoted program path loses those two quotes (the text is rewritten).
/// Without `workingFolder`, the folder is the program part up to its last
/// `separator` (kept for a root such as "C:\" or "/"), or `currentFolder`
/// when the program part has none.
CommandLineParts splitCommandLine(QString &commandLine, const QString &workingFolder,
                                  QChar separator, const QString &currentFolder);

/// The platform's folder separator for command lines ("\" or "/").
QChar nativeSeparator();

/// Opens the program part of `commandLine` with its argument part: a
/// document with the desktop's handler, a program started detached in the
/// folder. The file's type by name and content decides, not its execute
/// bit. Returns the shell result code (below 32: failure); a program that
/// could not start is started directly once more.
/// `windowStyle` is the show-window code the caller asks for (1 normal,
/// 4 without activation); here the desktop decides how windows appear.
int executeCommandLine(QString &commandLine, int windowStyle, const QString &workingFolder = {});

/// Opens `document` (a path, in double quotes or not) with the desktop's
/// handler, whatever its type or execute bit: it is never run as a program.
/// Returns the shell result code (below 32: failure): FileNotFound,
/// NoAssociation when no installed program opens its type, OpenerFailed
/// when that program could not be started.
int openDocument(const QString &document);

} // namespace shell
