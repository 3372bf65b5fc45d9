#pragma once
// The one way the program asks the user something: message boxes, file
// dialogs, the beep and the about box. Windows receive it in their
// constructor; the real one shows Qt dialogs, the tests' one answers from
// a script and records what was asked.

#include <QString>
#include <QStringList>

#include <functional>

/// The buttons of a message box.
enum class Buttons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel, CancelTryContinue };

/// The icon of a message box.
enum class Icon { None, Critical, Question, Warning, Information };

/// The button the user answered a message box with.
enum class Answer { Ok, Cancel, Abort, Retry, Ignore, Yes, No, TryAgain, Continue };

/// How a message box looks: its buttons and its icon.
struct BoxStyle
{
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;

    constexpr BoxStyle() = default;
    constexpr BoxStyle(Buttons b) : buttons(b) {}
    constexpr BoxStyle(Icon i) : icon(i) {}
    constexpr BoxStyle(Buttons b, Icon i) : buttons(b), icon(i) {}

    constexpr bool operator==(const BoxStyle &other) const = default;
};

constexpr BoxStyle operator|(Buttons buttons, Icon icon) { return {buttons, icon}; }
constexpr BoxStyle operator|(Icon icon, Buttons buttons) { return {buttons, icon}; }

/// One entry of a file dialog's type list: a description and the name
/// patterns it stands for ("*.csv", or whole names such as "gnumeric").
struct FileFilter
{
    QString description;
    QStringList patterns;
    bool operator==(const FileFilter &) const = default;
};
using FileFilters = QList<FileFilter>;

/// What a file dialog is asked to show.
struct FileDialogRequest
{
    QString title;      ///< caption of the dialog
    FileFilters filters;///< the type list, first entry chosen
    QString initDir;    ///< folder shown first; empty keeps the dialog's choice
    QString fileName;   ///< file name proposed
};

class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    /// Shows a modal message box of the given style and returns the button
    /// the user answered with. An empty title shows the application title.
    virtual Answer message(const QString &text, BoxStyle style, const QString &title = {}) = 0;

    /// Modal save dialog; returns the chosen path, or a null string on Cancel.
    virtual QString saveFileName(const FileDialogRequest &request) = 0;

    /// Modal open dialog; returns the chosen path, or a null string on Cancel.
    virtual QString openFileName(const FileDialogRequest &request) = 0;

    /// Asks with a message box and hands the answer to `answered` once the
    /// user has given it. The caller must not rely on either order: a modal
    /// box answers before ask() returns, a script or a window-modal box later.
    virtual void ask(const QString &text, BoxStyle style, const QString &title,
                     std::function<void(Answer)> answered)
    {
        const Answer answer = message(text, style, title);
        if (answered)
            answered(answer);
    }

    /// Asks for a name to save under, as ask(); a null string is Cancel.
    virtual void askSaveFileName(const FileDialogRequest &request, std::function<void(const QString &)> chosen)
    {
        const QString name = saveFileName(request);
        if (chosen)
            chosen(name);
    }

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

/// The type list in Qt's "desc (pattern pattern);;..." form; "*.*" stands
/// for every file, names without a dot included.
QString qtFileFilter(const FileFilters &filters);
