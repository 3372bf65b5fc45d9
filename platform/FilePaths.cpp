#include "FilePaths.h"

#include <QDir>
#include <QFileInfo>

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
