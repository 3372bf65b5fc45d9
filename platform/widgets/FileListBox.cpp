#include "FileListBox.h"

#include <QDir>

FileListBox::FileListBox(QWidget *parent)
    : QListWidget(parent)
    , m_folder(QDir::currentPath())
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
}

void FileListBox::setFolder(const QString &folder)
{
    m_folder = folder;
}

void FileListBox::refresh()
{
    const QString selected = selectedFileName();
    // Name filters are matched without regard to case, as on the platform
    // the measurement files come from ("A.CSV" is a CSV file too).
    const QStringList names = QDir(m_folder).entryList(
        m_pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts),
        QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);

    clear();
    addItems(names);
    const qsizetype again = names.indexOf(selected);
    if (!selected.isEmpty() && again >= 0)
        setCurrentRow(int(again));
}

QString FileListBox::selectedFileName() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

QString FileListBox::selectedPath() const
{
    const QString name = selectedFileName();
    return name.isEmpty() ? QString() : QDir(m_folder).filePath(name);
}
