#include "FilePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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

bool isTrustedOwner(uint ownerId)
{
#ifdef Q_OS_UNIX
    return ownerId == uint(::geteuid()) || ownerId == 0;
#else
    Q_UNUSED(ownerId);
    return true;
#endif
}

QString ownerName(uint ownerId)
{
#ifdef Q_OS_UNIX
    if (const struct passwd *user = ::getpwuid(uid_t(ownerId)))
        return QString::fromLocal8Bit(user->pw_name);
#endif
    return QString::number(ownerId);
}

bool isPrivateFolder(const QString &dir)
{
#ifdef Q_OS_UNIX
    struct stat folder {};
    if (::stat(QFile::encodeName(dir).constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return false;
    return isTrustedOwner(folder.st_uid) && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
#else
    return QFileInfo(dir).isDir();
#endif
}

int openTrustedFile(const QString &path, FileTrust *why)
{
    const auto answer = [why](FileTrust trust, int fd = -1) {
        if (why)
            *why = trust;
        return fd;
    };
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat entry {};
    if (::lstat(name.constData(), &entry) != 0)
        return answer(errno == ENOENT || errno == ENOTDIR ? FileTrust::Missing : FileTrust::Unreadable);
    // Another user's link is not followed at all; a file is opened only
    // when the name still is no link. O_NONBLOCK: a FIFO or a device
    // opens at once and is then refused, instead of waiting for a writer.
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (S_ISLNK(entry.st_mode)) {
        if (!isTrustedOwner(entry.st_uid))
            return answer(FileTrust::ForeignLink);
    } else {
        flags |= O_NOFOLLOW;
    }
    const int fd = ::open(name.constData(), flags);
    if (fd < 0) {
        if (errno == ENOENT)
            return answer(FileTrust::Missing);
        // The name became a link since it was looked at.
        return answer(errno == ELOOP && !S_ISLNK(entry.st_mode) ? FileTrust::ForeignLink : FileTrust::Unreadable);
    }
    struct stat file {};
    FileTrust trust = FileTrust::Trusted;
    if (::fstat(fd, &file) != 0)
        trust = FileTrust::Unreadable;
    else if (!S_ISREG(file.st_mode))
        trust = FileTrust::NotRegular;
    else if (!isTrustedOwner(file.st_uid))
        trust = FileTrust::ForeignFile;
    if (trust != FileTrust::Trusted) {
        ::close(fd);
        return answer(trust);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return answer(FileTrust::Trusted, fd);
#else
    Q_UNUSED(path);
    return answer(FileTrust::Unreadable);
#endif
}

std::optional<QByteArray> readTrustedFile(const QString &path, qint64 maxBytes, FileTrust *why)
{
    const int fd = openTrustedFile(path, why);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (why)
            *why = FileTrust::Unreadable;
        return std::nullopt;
    }
    return file.read(maxBytes);
}

bool isTrustedSettingsFolder(const QString &dir)
{
    if (!isPrivateFolder(dir))
        return false;
#ifdef Q_OS_UNIX
    QStringList names{settingsFileIn(dir), resolveNameIn(dir, sensorFileName())};
    for (int port = 1; port <= 9; ++port)
        names << QDir(dir).filePath(QStringLiteral("COM%1").arg(port));
    for (const QString &name : std::as_const(names)) {
        struct stat entry {};
        if (::lstat(QFile::encodeName(name).constData(), &entry) == 0 && !isTrustedOwner(entry.st_uid))
            return false;
    }
#endif
    return true;
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
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
            continue;
        for (const QString &source : sources) {
            // Only what the user or root put into a folder nobody else may
            // write is taken over: another user's settings would name the
            // program the recorder starts.
            if (!isPrivateFolder(source))
                continue;
            std::optional<QByteArray> bytes = readTrustedFile(resolveNameIn(source, name));
            if (!bytes)
                continue;
            // A first start speaks the desktop's language; all else as installed.
            if (name == settingsFileName() && QDir::cleanPath(source) == QDir::cleanPath(installedDefaults))
                *bytes = settingsWithLanguage(*bytes, desktopLanguage());
            // A new file of its own: a name taken meanwhile is not written through.
            QFile out(target);
            const bool copied = out.open(QIODevice::WriteOnly | QIODevice::NewOnly)
                && out.write(*bytes) == bytes->size() && out.flush();
            if (!copied && out.isOpen()) {
                out.close();
                out.remove();
            }
            if (copied) {
                // The defaults are read-only where they are installed.
                out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
                break;
            }
        }
    }
}

QString settingsFolderFor(const QString &programDir)
{
    // The program folder only when nobody but the user (or root) can have
    // put anything there.
    const bool beside = isWritableFolder(programDir) && isTrustedSettingsFolder(programDir);
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
    // The installed manual and the one beside the program first: the
    // current folder may be shared with other users.
    for (const QString &folder : {installedDocFolder(programDir), programDir}) {
        const QString path = QDir(folder).filePath(name);
        const int fd = openTrustedFile(path);
        if (fd >= 0) {
#ifdef Q_OS_UNIX
            ::close(fd);
#endif
            return path;
        }
    }
#ifdef Q_OS_UNIX
    // In the current folder only the user's own file counts.
    struct stat here {};
    if (::lstat(QFile::encodeName(name).constData(), &here) == 0 && S_ISREG(here.st_mode)
        && here.st_uid == ::geteuid())
        return name;
    return QString();
#else
    return QFileInfo::exists(name) ? name : QString();
#endif
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
