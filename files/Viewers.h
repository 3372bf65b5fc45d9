#pragma once
// The viewer commands of the main window: show the last saved measurement
// or a chosen CSV file in the spreadsheet program, or the last saved one in
// a text editor, and wait (handling events) until the viewer is closed.

#include <QObject>
#include <QString>
#include <functional>

#include "LanguageText.h"
#include "SettingsFile.h"

class FileDialog;
class UserDialogs;

class Viewers : public QObject
{
    Q_OBJECT
public:
    /// `settings` (read at start-up, kept by the caller for the viewers'
    /// lifetime) give the language of the texts and the spreadsheet program;
    /// `saveTarget` is the last saved CSV file, emptied once shown;
    /// `setExportEnabled` enables or disables the spreadsheet-export menu
    /// entry while a viewer is open.
    Viewers(const Settings &settings, QString &saveTarget, UserDialogs &dialogs, FileDialog &dialog,
            std::function<void(bool)> setExportEnabled, QObject *parent = nullptr);

    /// The spreadsheet program the settings name ("WRITE" when they name none).
    QString spreadsheetPath() const;
    /// Files this size and larger go to "Write" instead of "Notepad".
    static constexpr qint64 notepadLimit = 60000;

public slots:
    /// Shows the last saved measurement in the spreadsheet program.
    void exportToSpreadsheet();
    /// Shows a CSV file chosen in the Open dialog in the spreadsheet program.
    void openMeasurement();
    /// Shows the last saved measurement in a text editor.
    void exportToNotepad();
    /// Enables the spreadsheet-export menu entry again.
    void enableSpreadsheetExport();
    /// Shows the manual (Quendrel.pdf, looked up in the current folder,
    /// beside the program in `programDir` and in the installed
    /// documentation) with the desktop's PDF viewer. When the manual is not
    /// there or nothing can show it, a message says so and what to install.
    void showManual(const QString &programDir);

signals:
    /// A viewer is about to be started with `program` on `argument`.
    void viewerStarting(const QString &program, const QString &argument);
    /// The viewer started by the last viewerStarting() has ended.
    void viewerEnded(const QString &program, const QString &argument);

private:
    /// Shows a no-data message for the current language (style 1, no caption).
    void showNoData(const LanguageText &firstLine);
    /// What a viewer shows, for the advice when none can.
    enum class Kind { Spreadsheet, TextEditor };
    /// Starts `program` on `argument` with the export entry disabled and
    /// waits, handling events, until the viewer has ended. When nothing
    /// could show the file, a message names it and what to install.
    void runViewer(const QString &program, const QString &argument, Kind kind = Kind::Spreadsheet);
    /// The message that nothing could show `file`.
    void showNoViewer(const QString &file, const QString &program, bool noHandler, Kind kind);

    const Settings &m_settings;
    QString &m_saveTarget;
    UserDialogs &m_dialogs;
    FileDialog &m_dialog;
    std::function<void(bool)> m_setExportEnabled;
};
