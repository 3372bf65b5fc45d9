#pragma once
// Delete dialog: lists the CSV files of the current directory and deletes
// the selected one after asking. Shown modeless, loaded once, then only
// shown and hidden.

#include <QWidget>

#include "SharedState.h"

class FileListBox;
class HoverButton;
class QLabel;
class UserDialogs;

class Form2 : public QWidget
{
    Q_OBJECT
public:
    Form2(SharedState &state, UserDialogs &dialogs, QWidget *parent = nullptr);

    /// The load steps, run once by the owner: centre on the screen, list the
    /// CSV files of the current directory, set the tool tips.
    void Form_Load();

    FileListBox *File1;     ///< the CSV files of the folder current at load
    HoverButton *Button1;   ///< delete the selected file
    HoverButton *Button2;   ///< close the dialog
    QLabel *Image1;         ///< decoration

public slots:
    /// Deletes the selected file after the user agreed, then re-lists.
    void Button1_Click();
    /// Hides the dialog; it keeps its list.
    void Button2_Click();

private:
    SharedState &m_state;
    UserDialogs &m_dialogs;
};
