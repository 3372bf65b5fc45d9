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

namespace {

/// The current folder's name as the system holds it.
QByteArray currentFolderBytes()
{
#ifdef Q_OS_UNIX
    QByteArray buffer(4096, Qt::Uninitialized);
    while (::getcwd(buffer.data(), size_t(buffer.size())) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1 << 20))
            return QFile::encodeName(QDir::currentPath());
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
#else
    return QFile::encodeName(QDir::currentPath());
#endif
}

/// Length of the valid UTF-8 sequence at `i`, 0 when there is none.
int utf8SequenceAt(const QByteArray &bytes, qsizetype i)
{
    const auto byte = [&bytes](qsizetype at) { return uchar(bytes.at(at)); };
    const uchar lead = byte(i);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80, high = 0xBF;   // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;          // no overlong forms
        if (lead == 0xED) high = 0x9F;         // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;         // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > bytes.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

} // namespace

QString displayedName(const QByteArray &bytes)
{
    QString shown;
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = utf8SequenceAt(bytes, i);
        if (length > 0) {
            shown += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        } else {
            shown += QString::asprintf("\\x%02X", uchar(bytes.at(i)));
            ++i;
        }
    }
    return shown;
}

QString reachablePath(const QString &path)
{
    const QByteArray current = currentFolderBytes();
    if (QFile::encodeName(QFile::decodeName(current)) == current)
        return path;
    const QString spelled = QDir::currentPath();
    if (path == spelled)
        return QStringLiteral(".");
    if (path.startsWith(spelled + QLatin1Char('/')))
        return QStringLiteral("./") + path.mid(spelled.size() + 1);
    return path;
}

QString shownPath(const QString &path)
{
    const QString reached = reachablePath(path);
    if (!QDir::isRelativePath(reached))
        return QDir::toNativeSeparators(QDir::cleanPath(reached));
    return QDir::toNativeSeparators(
        QDir::cleanPath(displayedName(currentFolderBytes()) + QLatin1Char('/') + reached));
}

QString resolveBareName(const QString &name)
{
    if (hasFolderPart(name))
        return name;
    // "." rather than the current folder's name, which Qt cannot spell
    // when it is not UTF-8.
    return matchIn(QDir(QStringLiteral(".")), name);
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
        target = reachablePath(info.symLinkTarget());
    }
    return target;
}
