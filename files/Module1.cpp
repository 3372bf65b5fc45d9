#include "Module1.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace Module1 {

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

bool isProgramFile(const QFileInfo &file)
{
#ifdef Q_OS_WIN
    static const QStringList programSuffixes{"exe", "com", "bat", "cmd"};
    return programSuffixes.contains(file.suffix().toLower());
#else
    return file.isExecutable();
#endif
}

/// The shell's open: documents go to the desktop's handler, programs start
/// detached in `folder`.
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

    if (isProgramFile(file)) {
        QStringList arguments;
        if (!parts.arguments.isEmpty())
            arguments << parts.arguments;
        return QProcess::startDetached(file.absoluteFilePath(), arguments, parts.folder)
                   ? shellResult::Started
                   : shellResult::AccessDenied;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()))
               ? shellResult::Started
               : shellResult::NoAssociation;
}

} // namespace

int ExecuteCommandLine(QString &commandLine, int windowStyle, const QString &workingFolder)
{
    Q_UNUSED(windowStyle);
    const CommandLineParts parts =
        splitCommandLine(commandLine, workingFolder, nativeSeparator(), QDir::currentPath());
    const int result = shellOpen(parts);
    if (result < 32) {
        // Last resort: the program part started directly, its argument text
        // still one argument. The command line is never split again: its
        // quotes are gone, and "/opt/my tools/app" would start "/opt/my".
        QStringList arguments;
        if (!parts.arguments.isEmpty())
            arguments << parts.arguments;
        QProcess::startDetached(parts.program, arguments, parts.folder);
    }
    return result;
}

} // namespace Module1
