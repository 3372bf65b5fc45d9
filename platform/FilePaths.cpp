#include "FilePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

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

QString languageForLocale(const QString &localeName)
{
    const QString name = localeName.trimmed().toLower();
    if (name.startsWith(QLatin1String("de")))
        return QStringLiteral("Deutsch");
    if (name.startsWith(QLatin1String("fr")))
        return QStringLiteral("Francais");
    return QStringLiteral("English");
}

QString desktopLanguage()
{
    // Read at each call, in the order the C library gives them for messages.
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return languageForLocale(value);
    }
    return languageForLocale(QLocale::system().name());
}

QByteArray settingsWithLanguage(const QByteArray &defaults, const QString &language)
{
    const QByteArray eol = defaults.contains("\r\n") || !defaults.contains('\n') ? QByteArray("\r\n") : QByteArray("\n");
    QList<QByteArray> lines = defaults.split('\n');
    bool endsWithEol = defaults.endsWith('\n');
    if (endsWithEol)
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    if (lines.size() < 3) {
        // A short file gets empty entries up to the language.
        while (lines.size() < 3)
            lines.append(QByteArray());
        endsWithEol = true;
    }
    lines[2] = language.toLatin1();
    return lines.join(eol) + (endsWithEol ? eol : QByteArray());
}

void seedSettingsFiles(const QString &folder, const QStringList &sources, const QString &installedDefaults)
{
    for (const QString &name : {settingsFileName(), sensorFileName()}) {
        const QString target = resolveNameIn(folder, name);
        if (QFileInfo::exists(target))
            continue;
        for (const QString &source : sources) {
            const QString from = resolveNameIn(source, name);
            if (!QFileInfo(from).isFile())
                continue;
            bool copied = false;
            if (name == settingsFileName() && QDir::cleanPath(source) == QDir::cleanPath(installedDefaults)) {
                // A first start speaks the desktop's language; all else as installed.
                QFile in(from);
                QFile out(target);
                copied = in.open(QIODevice::ReadOnly) && out.open(QIODevice::NewOnly)
                    && out.write(settingsWithLanguage(in.readAll(), desktopLanguage())) >= 0 && out.flush();
                if (!copied && out.isOpen()) {
                    out.close();
                    out.remove();
                }
            } else {
                copied = QFile::copy(from, target);
            }
            if (copied) {
                // The defaults are read-only where they are installed.
                QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner
                                                  | QFile::ReadGroup | QFile::ReadOther);
                break;
            }
        }
    }
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
    seedSettingsFiles(folder, sources, installedDefaultsFolder(programDir));
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

QString linkTarget(const QString &path)
{
    QString target = path;
    // A chain of links is followed link by link, a loop no further than this.
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo info(target);
        if (!info.isSymLink())
            return target;
        target = info.symLinkTarget();
    }
    return target;
}
