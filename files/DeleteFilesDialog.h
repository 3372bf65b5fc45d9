#pragma once
// Delete dialog: lists the CSV files of the current directory and deletes
// the selected one after asking. Shown modeless, loaded once, then only
// shown and hidden.

#include <QWidget>
#include <memory>

#include "LanguageText.h"

class FileListBox;
class UserDialogs;
namespace Ui { class DeleteFilesDialog; }

class DeleteFilesDialog : public QWidget
{
    Q_OBJECT
public:
    /// `language` chooses the texts.
    DeleteFilesDialog(Language language, UserDialogs &dialogs, QWidget *parent = nullptr);
    ~DeleteFilesDialog() override;

    /// Readies the dialog, run once by the owner: centre on the screen, list the
    /// CSV files of the current directory, set the tool tips.
    void prepare();

    /// Lists the files of the load folder again.
    void refreshList();

public slots:
    /// Deletes the selected file after the user agreed, then re-lists.
    void deleteSelected();

private:
    std::unique_ptr<Ui::DeleteFilesDialog> m_ui;
    Language m_language;
    UserDialogs &m_dialogs;
};
