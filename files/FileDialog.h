#pragma once
// The file dialog as callers use it: set title, filter, folder and file name,
// show, read the chosen name back. FileName also serves as a plain store.

#include "UserDialogs.h"

class FileDialog
{
public:
    explicit FileDialog(UserDialogs &dialogs) : m_dialogs(dialogs) {}

    QString DialogTitle, Filter, InitDir, FileName;

    /// Shows the save dialog; false when the user cancelled (FileName is
    /// then empty). On OK FileName holds the path as chosen.
    bool ShowSave() { return show(true); }
    /// Shows the open dialog; false when the user cancelled.
    bool ShowOpen() { return show(false); }

private:
    bool show(bool save)
    {
        const FileDialogRequest request{DialogTitle, Filter, InitDir, FileName};
        const QString chosen = save ? m_dialogs.saveFileName(request) : m_dialogs.openFileName(request);
        FileName = chosen.isNull() ? QString() : chosen;
        return !chosen.isNull();
    }
    UserDialogs &m_dialogs;
};
