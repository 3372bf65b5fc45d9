#include "ProgramNames.h"

#include "DesktopHandlers.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#if !defined(Q_OS_UNIX) || defined(Q_OS_MACOS)
#include <QDesktopServices>
#endif

namespace programs {

namespace {

/// The file name of a program without folder and ".exe", in lower case.
QString plainName(const QString &program)
{
    QString name = QFileInfo(program).fileName().toLower();
    if (name.endsWith(QLatin1String(".exe")))
        name.chop(4);
    return name;
}

#ifndef Q_OS_WIN
/// Installed editors tried in order, each with the option that keeps it
/// running until its window closes (the viewers wait for that).
struct Editor
{
    const char *name;
    const char *waitOption;
};
constexpr Editor editors[] = {
    {"gnome-text-editor", "--standalone"},
    {"gedit", "--wait"},
    {"kate", "--block"},
    {"kwrite", nullptr},
    {"mousepad", "--disable-server"},
    {"pluma", nullptr},
    {"xed", nullptr},
    {"featherpad", "--standalone"},
    {"leafpad", nullptr},
};

ProgramCommand installedEditor()
{
    for (const Editor &editor : editors) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(editor.name));
        if (path.isEmpty())
            continue;
        ProgramCommand command{path, {}};
        if (editor.waitOption)
            command.options << QLatin1String(editor.waitOption);
        return command;
    }
    // No editor known here: the desktop opens the file with its own choice.
    return {QStringLiteral("xdg-open"), {}};
}
#endif

bool isLibreOffice(const QString &name)
{
    return name == QLatin1String("localc") || name == QLatin1String("soffice")
        || name.startsWith(QLatin1String("libreoffice"));
}

void addLibreOfficeOptions(ProgramCommand &command, const QString &name)
{
    if (name != QLatin1String("localc") && !command.options.contains(QLatin1String("--calc")))
        command.options.append(QStringLiteral("--calc"));
    // No "--norestore": it would also drop the user's crash recovery of
    // other documents.
    if (!command.options.contains(QLatin1String("--nologo")))
        command.options.prepend(QStringLiteral("--nologo"));
}

} // namespace

bool isEditorName(const QString &name)
{
    const QString plain = plainName(name);
    return plain == QLatin1String("notepad") || plain == QLatin1String("write");
}

ProgramCommand resolve(const QString &setting)
{
    const QString trimmed = setting.trimmed();
    if (trimmed.isEmpty())
        return {};

    ProgramCommand command;
    if (QFileInfo(trimmed).isFile()) {
        command.program = trimmed;
    } else {
        QStringList words = QProcess::splitCommand(trimmed);
        if (words.isEmpty())
            return {};
        command.program = words.takeFirst();
        command.options = words;
    }

    const QString name = plainName(command.program);
#ifndef Q_OS_WIN
    if (command.options.isEmpty() && isEditorName(command.program))
        return installedEditor();
#endif
    if (isLibreOffice(name))
        addLibreOfficeOptions(command, name);
    return command;
}

bool isProgramFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return false;
#ifdef Q_OS_WIN
    static const QStringList programSuffixes{QStringLiteral("exe"), QStringLiteral("com"),
                                             QStringLiteral("bat"), QStringLiteral("cmd")};
    return programSuffixes.contains(file.suffix().toLower());
#else
    if (!file.isExecutable())
        return false;
    // By name first, by content where the name says nothing: a binary
    // (position-independent ones count as shared libraries) or a script.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
    return type.inherits(QStringLiteral("application/x-executable"))
        || type.inherits(QStringLiteral("application/x-sharedlib"));
#endif
}

QString findProgram(const QString &name)
{
    QString path = name;
    if (!name.contains(QLatin1Char('/')) && !name.contains(QDir::separator()))
        path = QStandardPaths::findExecutable(name);
    if (path.isEmpty() || !isProgramFile(path))
        return QString();
    return QFileInfo(path).absoluteFilePath();
}

OpenResult openDocument(const QString &path)
{
    const QString document = QFileInfo(path).absoluteFilePath();
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const std::optional<DocumentHandler> handler = documentHandler(document);
    if (!handler)
        return OpenResult::NoHandler;
    // The freedesktop opener, looked up at every call, as the desktops'
    // own file managers use it; it looks for the document's own type only.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    const bool ownType = handler->mimeType == QMimeDatabase().mimeTypeForFile(document).name();
    if (!opener.isEmpty() && ownType)
        return QProcess::startDetached(opener, {document}) ? OpenResult::Started : OpenResult::StartFailed;
    QStringList command = handlerCommand(handler->exec, document);
    if (command.isEmpty())
        return OpenResult::StartFailed;
    const QString program = command.takeFirst();
    return QProcess::startDetached(program, command, QFileInfo(document).absolutePath())
               ? OpenResult::Started
               : OpenResult::StartFailed;
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(document)) ? OpenResult::Started
                                                                    : OpenResult::NoHandler;
#endif
}

} // namespace programs
