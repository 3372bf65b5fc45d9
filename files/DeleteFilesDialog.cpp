#include "DeleteFilesDialog.h"

#include "FilePaths.h"

#include "FileListBox.h"
#include "PictureButton.h"
#include "UserDialogs.h"
#include "WindowPlacement.h"
#include "WindowTexts.h"
#include "ui_DeleteFilesDialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The texts of the delete dialog, per language.
const LanguageText deleteTip{QStringLiteral("Datei löschen"), QStringLiteral("Delete file"),
                             QStringLiteral("Efface données")};
const LanguageText closeTip{QStringLiteral("Verlassen ohne speichern"), QStringLiteral("Exit"),
                            QStringLiteral("Fin")};
const LanguageText question{QStringLiteral("Wollen sie die Datei löschen !"),
                            QStringLiteral("Do you want to delete the selected file ?"),
                            QStringLiteral(" Efface données de mesure ?")};
const LanguageText questionCaption{QStringLiteral(" Datei löschen !"),
                                   QStringLiteral(" delete the selected file"),
                                   QStringLiteral(" Efface données de mesure")};

} // namespace

DeleteFilesDialog::DeleteFilesDialog(Language language, UserDialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::DeleteFilesDialog>()), m_language(language), m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    m_ui->fileList->setPattern(QStringLiteral("*.csv"));
    m_ui->appPicture->setPixmap(PictureButton::picture(QStringLiteral("app")).pixmap(48, 48));
    m_ui->deleteButton->setPicture(QStringLiteral("delete"));
    m_ui->closeButton->setPicture(QStringLiteral("exit"));

    connect(m_ui->deleteButton, &PictureButton::clicked, this, &DeleteFilesDialog::deleteSelected);
    connect(m_ui->closeButton, &PictureButton::clicked, this, &DeleteFilesDialog::hide);
}

DeleteFilesDialog::~DeleteFilesDialog() = default;

void DeleteFilesDialog::prepare()
{
    centreOnScreen(this);
    // The folder is fixed now: the list keeps showing this folder even if
    // the current directory changes later. A folder whose name is not
    // UTF-8 is listed as ".", the one way to reach it.
    m_ui->fileList->setFolder(reachablePath(QDir::currentPath()));
    m_ui->fileList->refresh();

    applyWindowTexts({{m_ui->deleteButton, &QWidget::setToolTip, deleteTip},
                      {m_ui->closeButton, &QWidget::setToolTip, closeTip}},
                     m_language);
}

void DeleteFilesDialog::refreshList()
{
    m_ui->fileList->refresh();
}

namespace {
const LanguageText notDeleted{QStringLiteral("Die Datei konnte nicht gelöscht werden:"),
                              QStringLiteral("The file could not be deleted:"),
                              QStringLiteral("Le fichier n'a pas pu être supprimé :")};
} // namespace

void DeleteFilesDialog::deleteSelected()
{
    // The file named in the list, in the folder the list shows, taken now:
    // the list may be refreshed while the question is open.
    const QString path = m_ui->fileList->selectedPath();
    if (path.isEmpty())
        return;
    const Language language = m_language;
    const Answer choice = m_dialogs.message(question.pickOrEnglish(language),
                                            Icon::Question | Buttons::YesNo,
                                            questionCaption.pick(language));
    if (choice == Answer::No)
        return;
    // A file that cannot be deleted (another user's in a shared folder, a
    // read-only folder) stays listed, and the box says why.
    QFile file(path);
    if (!file.remove() && QFileInfo::exists(path))
        m_dialogs.message(notDeleted.pickOrEnglish(language) + QLatin1String("\r\n") + shownPath(path)
                              + QLatin1String(":\n") + file.errorString(),
                          Icon::Warning);
    m_ui->fileList->refresh();
}
