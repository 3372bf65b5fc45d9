#include "SaveName.h"

#include <QDir>
#include <QFileInfo>

#include "FilePaths.h"

namespace savename {

QString csvName(const QString &chosen)
{
    // The dialog may hand back native separators; the folder is everything
    // up to and including the last separator.
    const QString path = QDir::fromNativeSeparators(chosen);
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QString folder = chosen.left(nameStart);

    QString name = chosen.mid(nameStart);
    name.remove(QLatin1Char('.'));
    if (name.endsWith(QLatin1String("CSV")) || name.endsWith(QLatin1String("csv")))
        name.chop(3);
    return folder + name + QLatin1String(".csv");
}

static bool isExistingFile(const QString &path)
{
    const QFileInfo info(path);
    return (info.exists() && !info.isDir()) || info.isSymLink();
}

/// The file that writing `path` would really replace or create: a link is
/// named by where it leads.
static QString shownName(const QString &path)
{
    if (QFileInfo(path).isSymLink())
        return QDir::toNativeSeparators(linkTarget(path));
    return QDir::isRelativePath(path) ? shownPath(path) : path;
}

QStringList filesToConfirm(const QString &chosen)
{
    QStringList names;
    if (isExistingFile(chosen))
        names << shownName(chosen);
    const QString saved = csvName(chosen);
    if (QFileInfo(saved) != QFileInfo(chosen) && isExistingFile(saved) && !names.contains(shownName(saved)))
        names << shownName(saved);
    return names;
}

} // namespace savename
