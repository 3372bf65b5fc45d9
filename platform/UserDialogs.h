#pragma once
// The one way the program asks the user something: message boxes, file
// dialogs, the beep and the about box. Windows receive it in their
// constructor; the real one shows Qt dialogs, the tests' one answers from
// a script and records what was asked.

#include <QString>
#include <QStringList>

/// Answer codes of a message box (the numbers the settings and callers use).
namespace answer {
enum : int { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7, TryAgain = 10, Continue = 11 };
}

/// Message box styles: buttons in the low nibble plus an icon.
namespace style {
enum : int {
    OkOnly = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5,
    CancelTryContinue = 6,
    Critical = 16, Question = 32, Exclamation = 48, Information = 64
};
}

/// What a file dialog is asked to show.
struct FileDialogRequest
{
    QString title;      ///< caption of the dialog
    QString filter;     ///< "desc|pattern|desc|pattern" (a trailing "|" allowed)
    QString initDir;    ///< folder shown first; empty keeps the dialog's choice
    QString fileName;   ///< file name proposed
};

class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    /// Shows a modal message box of the given style (buttons + icon) and
    /// returns the answer code. An empty title shows the application title.
    virtual int message(const QString &text, int style, const QString &title = {}) = 0;

    /// Modal save dialog; returns the chosen path, or a null string on Cancel.
    virtual QString saveFileName(const FileDialogRequest &request) = 0;

    /// Modal open dialog; returns the chosen path, or a null string on Cancel.
    virtual QString openFileName(const FileDialogRequest &request) = 0;

    /// The system beep.
    virtual void beep() = 0;

    /// The about box: application text, other text (may hold line ends).
    virtual void about(const QString &appText, const QString &otherText) = 0;

    /// The title of boxes without a title of their own.
    QString applicationTitle() const { return m_applicationTitle; }
    /// Changes that title (a copy that could not hand over to a running
    /// one calls itself "Previous Instance").
    void setApplicationTitle(const QString &title) { m_applicationTitle = title; }

private:
    QString m_applicationTitle = QStringLiteral("Quendrel2_DataRecorder");
};

/// Turns "desc|pattern|desc|pattern|" into Qt's "desc (pattern);;..." form.
QString qtFileFilter(const QString &windowsFilter);
