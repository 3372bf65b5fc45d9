#include "ShellStart.h"

#include "ProgramNames.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace shell {

CommandLineParts splitCommandLine(QString &commandLine, const QString &workingFolder,
                                  QChar separator, const QString &currentFolder)
{
    const QChar quote = QLatin1Char('"');
    // `end` is the index just past the program part.
    qsizetype end = -1;
    if (commandLine.startsWith(quote)) {
        const qsizetype closing = commandLine.indexOf(quote, 1);
        if (closing > 0) {
            commandLine = commandLine.mid(1, closing - 1) + commandLine.mid(closing + 1);
            end = closing - 1;
        }
    } else {
        end = commandLine.indexOf(QLatin1Char(' '));
    }
    if (end < 0)
        end = commandLine.size();

    CommandLineParts parts;
    parts.program = commandLine.left(end);
    qsizetype rest = end;
    while (rest < commandLine.size() && commandLine.at(rest) == QLatin1Char(' '))
        ++rest;
    parts.arguments = commandLine.mid(rest);

    if (!workingFolder.isEmpty()) {
        parts.folder = workingFolder;
    } else {
        const qsizetype slash = parts.program.lastIndexOf(separator);
        if (slash < 0)
            parts.folder = currentFolder;
        else if (slash == 0 || parts.program.at(slash - 1) == QLatin1Char(':'))
            parts.folder = parts.program.left(slash + 1);   // a root keeps its separator
        else
            parts.folder = parts.program.left(slash);
    }
    return parts;
}

QChar nativeSeparator()
{
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

namespace {

int fromOpenResult(programs::OpenResult result)
{
    switch (result) {
    case programs::OpenResult::Started: return shellResult::Started;
    case programs::OpenResult::NoHandler: return shellResult::NoAssociation;
    case programs::OpenResult::StartFailed: break;
    }
    return shellResult::OpenerFailed;
}

/// The shell's open: documents go to the desktop's opener, programs start
/// detached in `folder`. Which is which depends on the file's type, never
/// on its execute bit alone.
int shellOpen(const CommandLineParts &parts)
{
    QFileInfo file(parts.program);
    if (!file.isFile() && !parts.program.contains(nativeSeparator())) {
        const QString found = QStandardPaths::findExecutable(parts.program);
        if (!found.isEmpty())
            file = QFileInfo(found);
    }
    if (!file.isFile())
        return shellResult::FileNotFound;

    if (programs::isProgramFile(file.absoluteFilePath())) {
        QStringList arguments;
        if (!parts.arguments.isEmpty())
            arguments << parts.arguments;
        return QProcess::startDetached(file.absoluteFilePath(), arguments, parts.folder)
                   ? shellResult::Started
                   : shellResult::AccessDenied;
    }
    return fromOpenResult(programs::openDocument(file.absoluteFilePath()));
}

} // namespace

int executeCommandLine(QString &commandLine, int windowStyle, const QString &workingFolder)
{
    Q_UNUSED(windowStyle);
    const CommandLineParts parts =
        splitCommandLine(commandLine, workingFolder, nativeSeparator(), QDir::currentPath());
    const int result = shellOpen(parts);
    if (result == shellResult::AccessDenied) {
        // A program that would not start is tried once more, directly, its
        // argument text still one argument. The command line is never split
        // again: its quotes are gone, and "/opt/my tools/app" would start
        // "/opt/my". A document or a missing file is never started.
        QStringList arguments;
        if (!parts.arguments.isEmpty())
            arguments << parts.arguments;
        QProcess::startDetached(parts.program, arguments, parts.folder);
    }
    return result;
}

int openDocument(const QString &document)
{
    QString path = document;
    if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"')))
        path = path.mid(1, path.size() - 2);
    if (!QFileInfo(path).isFile())
        return shellResult::FileNotFound;
    return fromOpenResult(programs::openDocument(path));
}

} // namespace shell
