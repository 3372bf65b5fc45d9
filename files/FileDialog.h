#pragma once
// The save and open dialogs of the program's windows, shown through the
// dialog seam. Like the desktop's own dialogs, a dialog shown without a
// folder opens where the previous one did; the title of the previous one
// is kept for callers that have none of their own.

#include "UserDialogs.h"

class FileDialog
{
public:
    explicit FileDialog(UserDialogs &dialogs) : m_dialogs(dialogs) {}

    /// Shows the save dialog starting in `folder` (empty: where the last
    /// dialog was); returns the chosen path, or a null string on Cancel.
    QString getSaveFileName(const QString &title, const FileFilters &filters, const QString &folder = QString())
    {
        return show(true, title, filters, folder);
    }
    /// Shows the open dialog, as getSaveFileName().
    QString getOpenFileName(const QString &title, const FileFilters &filters, const QString &folder = QString())
    {
        return show(false, title, filters, folder);
    }

    /// Asks for a name to save under as getSaveFileName() does, and hands
    /// it to `chosen` once the user has answered (a null string on Cancel).
    void askSaveFileName(const QString &title, const FileFilters &filters, const QString &folder,
                         std::function<void(const QString &)> chosen)
    {
        m_dialogs.askSaveFileName(request(title, filters, folder), std::move(chosen));
    }

    /// The title of the dialog shown last; empty before the first.
    QString lastTitle() const { return m_lastTitle; }

private:
    FileDialogRequest request(const QString &title, const FileFilters &filters, const QString &folder)
    {
        if (!folder.isEmpty())
            m_lastFolder = folder;
        m_lastTitle = title;
        return FileDialogRequest{title, filters, m_lastFolder, QString()};
    }

    QString show(bool save, const QString &title, const FileFilters &filters, const QString &folder)
    {
        const FileDialogRequest asked = request(title, filters, folder);
        return save ? m_dialogs.saveFileName(asked) : m_dialogs.openFileName(asked);
    }

    UserDialogs &m_dialogs;
    QString m_lastTitle;
    QString m_lastFolder;
};
