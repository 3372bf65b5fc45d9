#include "FilePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The real name of the entry of `dir` matching `name` regardless of case,
// or `name` itself when there is none. An exact match wins.
QString matchIn(const QDir &dir, const QString &name)
{
    if (name.isEmpty() || QFileInfo::exists(dir.filePath(name)))
        return name;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                  | QDir::NoDotAndDotDot,
                                              QDir::Name);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return name;
}

bool hasFolderPart(const QString &name)
{
    return name.contains(QLatin1Char('/')) || name.contains(QDir::separator());
}

} // namespace

QString resolveBareName(const QString &name)
{
    if (hasFolderPart(name))
        return name;
    return matchIn(QDir::current(), name);
}

QString resolveNameIn(const QString &dir, const QString &name)
{
    const QDir folder(dir);
    return folder.filePath(matchIn(folder, name));
}

QString settingsFileIn(const QString &folder)
{
    return resolveNameIn(folder, settingsFileName());
}

bool isWritableFolder(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.isDir())
        return false;
#ifdef Q_OS_UNIX
    // access() also reports a read-only mount, which the permission bits do not.
    return ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK | X_OK) == 0;
#else
    return info.isWritable();
#endif
}

QString userSettingsFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::home().filePath(QStringLiteral(".config"));
    return QDir(base).filePath(QStringLiteral("Quendrel2"));
}

QString installedDefaultsFolder(const QString &programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../share/quendrel2-datarecorder"));
}

QString installedDocFolder(const QString &programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../share/doc/quendrel2-datarecorder"));
}

QString settingsFolderFor(const QString &programDir)
{
    const bool beside = isWritableFolder(programDir);
    const QString folder = beside ? programDir : userSettingsFolder();
    if (!beside)
        QDir().mkpath(folder);

    // A missing file is seeded once: from beside the program (a read-only
    // copy that brought its settings along), else from the installed defaults.
    QStringList sources;
    if (!beside)
        sources << programDir;
    sources << installedDefaultsFolder(programDir);
    for (const QString &name : {settingsFileName(), sensorFileName()}) {
        const QString target = resolveNameIn(folder, name);
        if (QFileInfo::exists(target))
            continue;
        for (const QString &source : sources) {
            const QString from = resolveNameIn(source, name);
            if (QFileInfo(from).isFile() && QFile::copy(from, target)) {
                // The defaults are read-only where they are installed.
                QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner
                                                  | QFile::ReadGroup | QFile::ReadOther);
                break;
            }
        }
    }
    return folder;
}

QString findHelpDocument(const QString &programDir)
{
    const QString name = helpDocumentName();
    if (QFileInfo::exists(name))
        return name;
    for (const QString &folder : {programDir, installedDocFolder(programDir)}) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}
