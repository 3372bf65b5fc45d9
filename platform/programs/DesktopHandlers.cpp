#include "DesktopHandlers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

namespace programs {

namespace {

using Group = QHash<QString, QString>;
using KeyFile = QHash<QString, Group>;

/// Reads a desktop entry or a mimeapps.list: groups of key=value lines.
/// Localised keys ("Name[de]") and comments are skipped.
KeyFile readKeyFile(const QString &path)
{
    KeyFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return groups;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QString group;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || group.isEmpty())
            continue;
        const QString key = line.left(equals).trimmed();
        if (key.contains(QLatin1Char('[')))
            continue;
        groups[group].insert(key, line.mid(equals + 1).trimmed());
    }
    return groups;
}

/// A list value ("a;b;c;"), empty items dropped.
QStringList listValue(const QString &value)
{
    return value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

/// An environment list of folders, or its default when unset or empty.
QStringList folders(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    QStringList list;
    for (const QString &folder : (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(folder))
            list << QDir::cleanPath(folder);
    return list;
}

QString homeFolder(const char *variable, const QString &belowHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::home().filePath(belowHome);
}

/// The folders holding desktop entries, most important first.
QStringList applicationFolders()
{
    QStringList list{homeFolder("XDG_DATA_HOME", QStringLiteral(".local/share"))};
    list += folders("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (QString &folder : list)
        folder = QDir(folder).filePath(QStringLiteral("applications"));
    list.removeDuplicates();
    return list;
}

/// Every mimeapps.list, most important first: per folder the current
/// desktop's own lists before the common one.
QStringList mimeappsLists()
{
    QStringList dirs{homeFolder("XDG_CONFIG_HOME", QStringLiteral(".config"))};
    dirs += folders("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    dirs += applicationFolders();
    QStringList desktops;
    for (const QString &desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << desktop.toLower();
    QStringList lists;
    for (const QString &dir : dirs) {
        for (const QString &desktop : desktops)
            lists << QDir(dir).filePath(desktop + QStringLiteral("-mimeapps.list"));
        lists << QDir(dir).filePath(QStringLiteral("mimeapps.list"));
    }
    lists.removeDuplicates();
    return lists;
}

/// Undoes the escapes of a desktop entry's string value (\s \n \t \r \\);
/// any other backslash stays for the quoting of an Exec line.
QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's': out += QLatin1Char(' '); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case '\\': out += next; break;
        default: out += c; out += next; break;   // left for the Exec line's own quoting
        }
    }
    return out;
}

/// An Exec line cut into words: blanks separate, double quotes group, and
/// inside them a backslash escapes " ` $ and itself.
QStringList execWords(const QString &exec)
{
    const QString line = unescapeValue(exec);
    QStringList words;
    QString word;
    bool inWord = false, quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < line.size()
                       && QStringLiteral("\"`$\\").contains(line.at(i + 1))) {
                word += line.at(++i);
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

bool isInstalledProgram(const QString &program)
{
    if (program.isEmpty())
        return false;
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

/// The installed desktop entries, by desktop id: the first folder that has
/// an id wins. Read once per question.
class EntryIndex
{
public:
    EntryIndex()
    {
        for (const QString &folder : applicationFolders()) {
            const QDir root(folder);
            QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
            QStringList found;
            while (it.hasNext())
                found << it.next();
            found.sort();
            for (const QString &path : found) {
                const QString id = root.relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('-'));
                if (!m_paths.contains(id)) {
                    m_paths.insert(id, path);
                    m_order << id;
                }
            }
        }
    }

    /// The entry `id` when it is installed and can open documents.
    std::optional<DocumentHandler> usable(const QString &id, const QString &mimeType)
    {
        const auto path = m_paths.constFind(id);
        if (path == m_paths.constEnd())
            return std::nullopt;
        const Group entry = entryGroup(id);
        if (entry.value(QStringLiteral("Type")) != QLatin1String("Application")
            || entry.value(QStringLiteral("Hidden")) == QLatin1String("true"))
            return std::nullopt;
        const QString exec = entry.value(QStringLiteral("Exec"));
        const QStringList words = execWords(exec);
        if (words.isEmpty() || !isInstalledProgram(words.first()))
            return std::nullopt;
        const QString tryExec = unescapeValue(entry.value(QStringLiteral("TryExec")));
        if (!tryExec.isEmpty() && !isInstalledProgram(tryExec))
            return std::nullopt;
        return DocumentHandler{id, *path, exec, mimeType};
    }

    /// The ids of every entry that lists `mimeType`, in folder order.
    QStringList listing(const QString &mimeType)
    {
        QStringList ids;
        for (const QString &id : std::as_const(m_order))
            if (listValue(entryGroup(id).value(QStringLiteral("MimeType"))).contains(mimeType))
                ids << id;
        return ids;
    }

private:
    Group entryGroup(const QString &id)
    {
        auto cached = m_entries.constFind(id);
        if (cached == m_entries.constEnd())
            cached = m_entries.insert(id, readKeyFile(m_paths.value(id)).value(QStringLiteral("Desktop Entry")));
        return *cached;
    }

    QHash<QString, QString> m_paths;
    QStringList m_order;
    QHash<QString, Group> m_entries;
};

} // namespace

std::optional<DocumentHandler> documentHandler(const QString &path)
{
    const QMimeDatabase mimeDatabase;
    const QMimeType type = mimeDatabase.mimeTypeForFile(path);
    QStringList types{type.name()};
    types += type.aliases();
    types += type.allAncestors();
    types.removeDuplicates();

    QList<KeyFile> lists;
    for (const QString &list : mimeappsLists())
        if (QFileInfo(list).isFile())
            lists << readKeyFile(list);

    EntryIndex index;
    for (const QString &mimeType : std::as_const(types)) {
        QSet<QString> removed;
        for (const KeyFile &list : std::as_const(lists))
            for (const QString &id : listValue(list.value(QStringLiteral("Removed Associations")).value(mimeType)))
                removed.insert(id);
        QStringList candidates;
        for (const char *group : {"Default Applications", "Added Associations"})
            for (const KeyFile &list : std::as_const(lists))
                candidates += listValue(list.value(QLatin1String(group)).value(mimeType));
        candidates += index.listing(mimeType);
        for (const QString &id : std::as_const(candidates)) {
            if (removed.contains(id))
                continue;
            if (auto handler = index.usable(id, mimeType))
                return handler;
        }
    }
    return std::nullopt;
}

QStringList handlerCommand(const QString &exec, const QString &path)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    const QString url = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    QStringList command;
    bool named = false;
    for (const QString &word : execWords(exec)) {
        if (word == QLatin1String("%f") || word == QLatin1String("%F")) {
            command << file;
            named = true;
            continue;
        }
        if (word == QLatin1String("%u") || word == QLatin1String("%U")) {
            command << url;
            named = true;
            continue;
        }
        QString out;
        bool dropped = false;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word.at(i) != QLatin1Char('%') || i + 1 == word.size()) {
                out += word.at(i);
                continue;
            }
            const QChar code = word.at(++i);
            if (code == QLatin1Char('%')) {
                out += code;
            } else if (code == QLatin1Char('f') || code == QLatin1Char('F')) {
                out += file;
                named = true;
            } else if (code == QLatin1Char('u') || code == QLatin1Char('U')) {
                out += url;
                named = true;
            } else {
                dropped = true;   // %i %c %k and the deprecated codes
            }
        }
        if (!(dropped && out.isEmpty()))
            command << out;
    }
    if (!command.isEmpty() && !named)
        command << file;
    return command;
}

} // namespace programs
