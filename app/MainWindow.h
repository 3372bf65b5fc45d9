#pragma once
// The main window: it shows the running measurement (receive box, figures,
// meters, header lines) and routes the menus and picture buttons to the
// measurement, the saving and viewing of files and the other windows.

#include "FileDialog.h"
#include "DeleteFilesDialog.h"
#include "GraphWindow.h"
#include "Measurement.h"
#include "SettingsDialog.h"
#include "SettingsFile.h"
#include "WindowPlacement.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class MeasurementPrompts;
class QTimer;
class UserDialogs;
class Viewers;
namespace Ui { class MainWindow; }

/// Where the program finds its files and how it ends; tests pass their own.
struct MainWindowEnvironment
{
    QString programDir;                 ///< the program's folder (help document, save dialog)
    QString settingsDir;                ///< settings file and sensor.ini (empty: programDir)
    QString portDirectory;              ///< where COM<N> links are looked up (empty: settingsDir)
    QString device;                     ///< a device opened instead of the settings' port (empty: none)
    std::function<void()> endProgram;   ///< ends the program at once
    std::function<bool()> restart;      ///< starts a new copy of the program
};

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    /// Runs the start-up: settings, port, colours, texts, working file.
    MainWindow(UserDialogs &dialogs, MainWindowEnvironment environment, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// Readies the window before it is first shown: overload labels, meter
    /// captions, sensor.ini.
    void prepare();

    /// The settings read from the settings file at start-up.
    const Settings &settings() const { return m_settings; }
    /// The language of the program's texts, entry 3 of the settings file as read.
    Language language() const { return m_settings.language; }
    /// The measurement: serial link, working file, receive path.
    Measurement &measurement() { return *m_measurement; }
    /// What the window shows of the running measurement.
    const LiveModel &live() const { return m_measurement->live(); }
    /// The working file of the measurement.
    const WorkingFile &workingFile() const { return m_measurement->workingFile(); }
    /// True when another copy of the program records in the current
    /// folder: the user was told, and the program is to end.
    bool folderInUse() const { return m_folderInUse; }
    /// Saving, the stop and exit questions.
    MeasurementPrompts *prompts() const { return m_files; }
    /// The spreadsheet and text viewers.
    Viewers *viewers() const { return m_viewers; }

    /// The graph window, loaded (hidden) on first use.
    GraphWindow *graph() { return m_graph.get(); }
    /// True while the graph window is loaded.
    bool graphLoaded() const { return m_graph.exists(); }
    /// The delete dialog, loaded (hidden) on first use.
    DeleteFilesDialog *deleteFilesDialog() { return m_deleteFiles.get(); }
    /// True once the delete dialog has been loaded.
    bool deleteFilesDialogLoaded() const { return m_deleteFiles.exists(); }
    /// The settings dialog, loaded on first use.
    SettingsDialog *settingsDialog() { return m_settingsDialog.get(); }

    /// Draws the live model now instead of at the next paced redraw.
    void refreshView();

public slots:
    /// Start/Stop (the start/stop button).
    void startStop();
    /// Save (the save button, File > Save).
    void saveMeasurement();
    /// Open (the open button): a saved file in the spreadsheet program.
    void openMeasurement();
    /// The current measurement in the spreadsheet program.
    void exportToSpreadsheet();
    /// The current measurement in the text editor.
    void exportToNotepad();
    /// Exit (the exit button, File > Exit).
    void exit();
    /// The delete dialog (the delete button).
    void showDeleteDialog();
    /// The settings dialog (Settings > User settings).
    void showSettings();
    /// The preview graph (the graph picture).
    void showGraph();
    /// The manual, opened as a document (?).
    void showHelp();
    /// The about box (Info).
    void showAbout();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wireControls();
    void applySettings();
    void applyLanguageTexts();
    void clearDisplays();
    void showState(Measurement::State state);
    void showHeader();
    void scheduleRefresh();
    SettingsDialog *makeSettingsDialog();

    std::unique_ptr<Ui::MainWindow> m_ui;
    UserDialogs &m_dialogs;
    MainWindowEnvironment m_env;
    Settings m_settings;
    Measurement *m_measurement = nullptr;
    FileDialog m_fileDialog;          ///< save and open dialogs
    MeasurementPrompts *m_files = nullptr;
    Viewers *m_viewers = nullptr;
    LazyWindow<GraphWindow> m_graph;
    LazyWindow<DeleteFilesDialog> m_deleteFiles;
    LazyWindow<SettingsDialog> m_settingsDialog;
    QTimer *m_refreshTimer = nullptr;
    quint64 m_shownRevision = ~quint64(0);
    bool m_folderInUse = false;
};
