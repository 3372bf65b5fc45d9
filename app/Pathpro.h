#pragma once
// The user settings dialog: port, language, colours of the data windows,
// extended mode and the spreadsheet program. Shows "qvx.ini", writes it
// back on save and restarts the program so start-up applies it.

#include "CommonDialog.h"

#include <QString>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QAbstractButton;
class UserDialogs;

/// The settings dialog: a modeless top-level window, loaded once by its
/// owner (Form_Load) and hidden, not destroyed, by "leave without saving".
class Pathpro : public QWidget
{
    Q_OBJECT

public:
    /// What saving needs from the rest of the program.
    struct Hooks
    {
        std::function<void()> closeFiles;   ///< close the working file and others
        std::function<bool()> restart;      ///< start the program again; false if it failed
        std::function<void()> endProgram;   ///< end at once
        QString programDir;                 ///< where the spreadsheet choice starts
        QString settingsDir;                ///< where qvx.ini is read and written
    };

    /// Builds the dialog with its design-time texts; `dialogs` shows the
    /// boxes and the file dialog.
    Pathpro(UserDialogs &dialogs, Hooks hooks, QWidget *parent = nullptr);

    /// The load event, run by the owner once before the first show: centres
    /// the window, fills the lists, shows "qvx.ini" of the settings folder
    /// and puts up the texts of the language shown in Sprache.
    void Form_Load();

    /// "1" while Check1 is ticked, else "0": the value saved as entry 8.
    QString extendedModeText() const { return m_extendedModeText; }

public slots:
    /// Text colour chosen: colours the sample Text2 and the preview's text.
    void Fore_Change();
    /// Background colour chosen: colours the sample Text4 and the preview.
    void Back_Change();
    /// The text colour sample changed: the preview takes its colour.
    void Text2_Change();
    /// The background sample changed: the preview takes its colour.
    void Text4_Change();
    /// Extended mode ticked or cleared.
    void Check1_Click();
    /// Save: write qvx.ini into the settings folder and restart the program.
    void Button1_Click();
    /// Leave without saving: hide; the changed values stay for the next show.
    void Button2_Click();
    /// Choose the spreadsheet program in an open-file dialog.
    void Button3_Click();

private:
    void buildControls();
    void centreOnScreen();
    void readSettingsFile();
    void applyLanguageTexts();
    void setColorIndex(QScrollBar *bar, const QString &item);
    static void selectItem(QComboBox *list, const QString &item);

    UserDialogs &m_dialogs;
    Hooks m_hooks;
    CommonDialog m_cmDialog1;
    QString m_extendedModeText = QStringLiteral("0");

    QLineEdit *m_text1 = nullptr;
    QComboBox *m_text3 = nullptr;
    QComboBox *m_sprache = nullptr;
    QScrollBar *m_fore = nullptr;
    QScrollBar *m_back = nullptr;
    QLineEdit *m_text2 = nullptr;
    QLineEdit *m_text4 = nullptr;
    QLineEdit *m_text5 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_label5 = nullptr;
    QAbstractButton *m_button1 = nullptr;
    QAbstractButton *m_button2 = nullptr;
    QAbstractButton *m_button3 = nullptr;
};
