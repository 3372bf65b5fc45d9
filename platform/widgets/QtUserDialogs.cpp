#include "QtUserDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

QString qtFileFilter(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i);
        QString patterns = parts.at(i + 1);
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file on Windows; Qt's "*" also matches names
        // without a dot.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return filters.join(QStringLiteral(";;"));
}


int QtUserDialogs::message(const QString &text, int boxStyle, const QString &title)
{
    struct ButtonAnswer { QMessageBox::StandardButton button; int answer; };
    QList<ButtonAnswer> buttons;
    switch (boxStyle & 0x0f) {
    case style::OkCancel:
        buttons = {{QMessageBox::Ok, answer::OK}, {QMessageBox::Cancel, answer::Cancel}};
        break;
    case style::AbortRetryIgnore:
        buttons = {{QMessageBox::Abort, answer::Abort}, {QMessageBox::Retry, answer::Retry},
                   {QMessageBox::Ignore, answer::Ignore}};
        break;
    case style::YesNoCancel:
        buttons = {{QMessageBox::Yes, answer::Yes}, {QMessageBox::No, answer::No},
                   {QMessageBox::Cancel, answer::Cancel}};
        break;
    case style::YesNo:
        buttons = {{QMessageBox::Yes, answer::Yes}, {QMessageBox::No, answer::No}};
        break;
    case style::RetryCancel:
        buttons = {{QMessageBox::Retry, answer::Retry}, {QMessageBox::Cancel, answer::Cancel}};
        break;
    case style::CancelTryContinue:
        buttons = {{QMessageBox::Cancel, answer::Cancel}, {QMessageBox::Retry, answer::TryAgain},
                   {QMessageBox::Ignore, answer::Continue}};
        break;
    default:
        buttons = {{QMessageBox::Ok, answer::OK}};
        break;
    }

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (boxStyle & 0x70) {
    case style::Critical: icon = QMessageBox::Critical; break;
    case style::Question: icon = QMessageBox::Question; break;
    case style::Exclamation: icon = QMessageBox::Warning; break;
    case style::Information: icon = QMessageBox::Information; break;
    default: break;
    }

    QPointer<QMessageBox> box = new QMessageBox(icon, (title.isEmpty() ? applicationTitle() : title), text, QMessageBox::NoButton, m_parent);
    QMessageBox::StandardButtons standard;
    for (const ButtonAnswer &b : buttons)
        standard |= b.button;
    box->setStandardButtons(standard);
    if (boxStyle & 0x0f) {
        // The old runtime labels Cancel/Try Again/Continue differently from Qt.
        if ((boxStyle & 0x0f) == style::CancelTryContinue) {
            box->button(QMessageBox::Retry)->setText(QMessageBox::tr("Try Again"));
            box->button(QMessageBox::Ignore)->setText(QMessageBox::tr("Continue"));
        }
    }
    box->setDefaultButton(buttons.first().button);
    const int clicked = box->exec();
    delete box;
    for (const ButtonAnswer &b : buttons)
        if (b.button == clicked)
            return b.answer;
    // Escape on a box without Cancel: the last button, as the system does.
    return (buttons.size() > 1) ? buttons.last().answer : answer::OK;
}

static QString runFileDialog(QWidget *parent, const FileDialogRequest &request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, request.title, request.initDir, qtFileFilter(request.filter));
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
