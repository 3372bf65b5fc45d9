#include "QtUserDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>

QString qtFileFilter(const FileFilters &filters)
{
    QStringList entries;
    for (const FileFilter &filter : filters) {
        QStringList patterns = filter.patterns;
        // "*.*" means every file on Windows; Qt's "*" also matches names
        // without a dot.
        patterns.replaceInStrings(QStringLiteral("*.*"), QStringLiteral("*"));
        entries << QStringLiteral("%1 (%2)").arg(filter.description, patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {

/// A message box that is dismissed as the system's own boxes are: Esc and
/// the close button answer with the escape button, and a box without one
/// (Yes/No, Abort/Retry/Ignore) must be answered with one of its buttons.
/// Qt would otherwise take No or Abort as the escape button.
class SystemMessageBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

    /// `button` answers Esc and the close button; null: neither does anything.
    void setDismissButton(QAbstractButton *button)
    {
        m_dismissable = button != nullptr;
        if (button)
            setEscapeButton(button);
        // Without an answer for it, the title bar offers no close button.
        if (!m_dismissable)
            setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
                           & ~Qt::WindowCloseButtonHint);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (!m_dismissable && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent *event) override
    {
        if (!m_dismissable) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool m_dismissable = true;
};

} // namespace

Answer QtUserDialogs::message(const QString &text, BoxStyle boxStyle, const QString &title)
{
    struct ButtonAnswer { QMessageBox::StandardButton button; Answer answer; };
    QList<ButtonAnswer> buttons;
    // The button that Esc and the close button stand for: Cancel where the
    // box has one, OK on a box with OK alone, none otherwise.
    QMessageBox::StandardButton dismiss = QMessageBox::NoButton;
    switch (boxStyle.buttons) {
    case Buttons::OkCancel:
        buttons = {{QMessageBox::Ok, Answer::Ok}, {QMessageBox::Cancel, Answer::Cancel}};
        dismiss = QMessageBox::Cancel;
        break;
    case Buttons::AbortRetryIgnore:
        buttons = {{QMessageBox::Abort, Answer::Abort}, {QMessageBox::Retry, Answer::Retry},
                   {QMessageBox::Ignore, Answer::Ignore}};
        break;
    case Buttons::YesNoCancel:
        buttons = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No},
                   {QMessageBox::Cancel, Answer::Cancel}};
        dismiss = QMessageBox::Cancel;
        break;
    case Buttons::YesNo:
        buttons = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No}};
        break;
    case Buttons::RetryCancel:
        buttons = {{QMessageBox::Retry, Answer::Retry}, {QMessageBox::Cancel, Answer::Cancel}};
        dismiss = QMessageBox::Cancel;
        break;
    case Buttons::CancelTryContinue:
        buttons = {{QMessageBox::Cancel, Answer::Cancel}, {QMessageBox::Retry, Answer::TryAgain},
                   {QMessageBox::Ignore, Answer::Continue}};
        dismiss = QMessageBox::Cancel;
        break;
    case Buttons::Ok:
        buttons = {{QMessageBox::Ok, Answer::Ok}};
        dismiss = QMessageBox::Ok;
        break;
    }

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (boxStyle.icon) {
    case Icon::Critical: icon = QMessageBox::Critical; break;
    case Icon::Question: icon = QMessageBox::Question; break;
    case Icon::Warning: icon = QMessageBox::Warning; break;
    case Icon::Information: icon = QMessageBox::Information; break;
    case Icon::None: break;
    }

    QPointer<SystemMessageBox> box = new SystemMessageBox(icon, (title.isEmpty() ? applicationTitle() : title), text, QMessageBox::NoButton, m_parent);
    // The text comes from files, the instrument or the system: never markup.
    box->setTextFormat(Qt::PlainText);
    QMessageBox::StandardButtons standard;
    for (const ButtonAnswer &b : buttons)
        standard |= b.button;
    box->setStandardButtons(standard);
    // Qt has no Try Again and Continue buttons: Retry and Ignore are relabelled.
    if (boxStyle.buttons == Buttons::CancelTryContinue) {
        box->button(QMessageBox::Retry)->setText(QMessageBox::tr("Try Again"));
        box->button(QMessageBox::Ignore)->setText(QMessageBox::tr("Continue"));
    }
    box->setDismissButton(box->button(dismiss));
    box->setDefaultButton(buttons.first().button);
    const int clicked = box->exec();
    delete box;
    for (const ButtonAnswer &b : buttons)
        if (b.button == clicked)
            return b.answer;
    // Only a box closed from outside (its parent gone) ends without a
    // button: answer as its escape button, or else as its default button,
    // which keeps the data (Yes to saving, Abort to closing).
    for (const ButtonAnswer &b : buttons)
        if (b.button == dismiss)
            return b.answer;
    return buttons.first().answer;
}

static QString runFileDialog(QWidget *parent, const FileDialogRequest &request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, request.title, request.initDir, qtFileFilter(request.filters));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The overwrite question is the program's own, asked on the typed name.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtUserDialogs::saveFileName(const FileDialogRequest &request)
{
    return runFileDialog(m_parent, request, QFileDialog::AcceptSave);
}

QString QtUserDialogs::openFileName(const FileDialogRequest &request)
{
    return runFileDialog(m_parent, request, QFileDialog::AcceptOpen);
}

void QtUserDialogs::beep()
{
    QApplication::beep();
}

void QtUserDialogs::about(const QString &appText, const QString &otherText)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(QMessageBox::tr("About %1").arg(appText));
    box.setText(appText);
    box.setInformativeText(otherText);
    if (m_parent)
        box.setIconPixmap(m_parent->windowIcon().pixmap(48, 48));
    box.exec();
}
