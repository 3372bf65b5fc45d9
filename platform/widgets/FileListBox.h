#pragma once
// A list of the file names of one folder that match a pattern ("*.csv"),
// names only, with a selected name and a refresh that re-reads the folder.

#include <QListWidget>

class FileListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

    /// Name pattern of the listed files; several patterns separated by ";".
    void setPattern(const QString &pattern);
    QString pattern() const { return m_pattern; }

    /// Folder whose files are listed; takes effect at the next refresh().
    void setFolder(const QString &folder);
    QString folder() const { return m_folder; }

    /// Re-reads the folder. A name still present stays selected.
    void refresh();

    /// The selected file name without folder; empty when none is selected.
    QString selectedFileName() const;

    /// Full path of the selected file; empty when none is selected.
    QString selectedPath() const;

private:
    QString m_pattern = QStringLiteral("*.*");
    QString m_folder;
};
