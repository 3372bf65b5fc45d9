#pragma once
// The user settings dialog: port, language, colours of the data windows,
// extended mode and the spreadsheet program. Shows "qvx.ini", writes it
// back on save and restarts the program so start-up applies it. Beside the
// port number it lists the serial devices present and what each port
// number points to; a device chosen for a port becomes its COM<N> link.

#include "FileDialog.h"
#include "LanguageText.h"
#include "PortLinks.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QScrollBar;
class UserDialogs;
namespace Ui { class SettingsDialog; }

/// The settings dialog: a modeless top-level window, loaded once by its
/// owner (prepare()) and hidden, not destroyed, by "leave without saving".
class SettingsDialog : public QWidget
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
        QString settingsDir;                ///< where qvx.ini is read and written, and the COM<N> links made
        QString byIdFolder = defaultByIdFolder(); ///< the stable device names listed beside the devices
    };

    /// Builds the dialog with the texts of its layout; `dialogs` shows the
    /// boxes and the file dialog.
    SettingsDialog(UserDialogs &dialogs, Hooks hooks, QWidget *parent = nullptr);
    ~SettingsDialog() override;

    /// Readies the dialog, run by the owner once before the first show: centres
    /// the window, fills the lists, shows "qvx.ini" of the settings folder
    /// and puts up the texts of the language shown in the language box.
    void prepare();

    /// True while the extended mode is ticked: the value saved as entry 8.
    bool extendedMode() const { return m_extendedMode; }

public slots:
    /// Text colour chosen: colours the text colour sample and the preview's text.
    void showForeColour();
    /// Background colour chosen: colours the background sample and the preview.
    void showBackColour();
    /// The text colour sample changed: the preview takes its colour.
    void previewForeColour();
    /// The background sample changed: the preview takes its colour.
    void previewBackColour();
    /// Extended mode ticked or cleared.
    void extendedModeChanged();
    /// Save: write qvx.ini into the settings folder and restart the program.
    void saveAndRestart();
    /// Leave without saving: hide; the changed values stay for the next show.
    void leaveWithoutSaving();
    /// Choose the spreadsheet program in an open-file dialog.
    void chooseSpreadsheetProgram();
    /// Lists the serial devices present and what each port number points to.
    void refreshDevices();
    /// The port number changed: shows what it points to and its pending choice.
    void showPortTarget();
    /// A device was picked in the port device box for the port number shown: its link
    /// is made on save.
    void chooseDeviceForPort(int index);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void readSettingsFile();
    bool makeChosenPortLinks();
    int shownPort() const;
    void applyLanguageTexts();
    void setColorIndex(QScrollBar *bar, std::optional<int> index);
    static void selectItem(QComboBox *list, const QString &item);

    UserDialogs &m_dialogs;
    Hooks m_hooks;
    FileDialog m_fileDialog;
    bool m_extendedMode = false;
    Language m_textLanguage = Language::Other;///< the language of the texts shown
    QList<SerialDevice> m_devices;          ///< as last listed
    QMap<int, QString> m_chosenTargets;     ///< port number -> link target to make on save
    bool m_loaded = false;

    std::unique_ptr<Ui::SettingsDialog> m_ui;
};
