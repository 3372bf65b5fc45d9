#pragma once
// The main window: every display of the recorder and all of its commands.
// It owns the program-wide state; the graph window and the two dialogs
// reach it through the references they are given.

#include "CommonDialog.h"
#include "LiveModel.h"
#include "Measurement.h"
#include "SharedState.h"
#include "DeleteFilesDialog.h"
#include "Graph.h"
#include "SettingsDialog.h"
#include "WindowPlacement.h"
#include "WorkingFile.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class ClickableImage;
class DeleteFilesDialog;
class Graph;
class HoverButton;
class LevelMeter;
class MSComm;
class MeasurementFiles;
class SettingsDialog;
class MeterScaleLabel;
class SampleProcessor;
class UserDialogs;
class Viewers;

/// Where the program finds its files and how it ends; tests pass their own.
struct Form1Environment
{
    QString programDir;                 ///< the program's own folder: help document, installed files
    QString settingsDir;                ///< settings file and sensor.ini (empty: programDir)
    QString portDirectory;              ///< where COM<N> links are looked up (empty: settingsDir)
    std::function<void()> endProgram;   ///< ends the program at once
    std::function<bool()> restart;      ///< starts a new copy of the program
};

class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    /// Runs the start-up: settings, port, colours, texts, working file.
    Form1(UserDialogs &dialogs, Form1Environment environment, QWidget *parent = nullptr);
    ~Form1() override;

    /// The load event: overload labels, meter captions, sensor.ini.
    void Form_Load();

    SharedState &state() { return m_state; }
    LiveModel &live() { return m_measurement->live(); }
    MSComm *comm() const { return MSComm1; }
    WorkingFile &workingFile() { return m_measurement->workingFile(); }
    Measurement &measurement() { return *m_measurement; }
    MeasurementFiles *measurementFiles() const { return m_files; }

    /// The graph window, loaded (hidden) on first use.
    Graph *graph() { return m_graph.get(); }
    /// True while the graph window is loaded.
    bool graphLoaded() const { return m_graph.isLoaded(); }
    /// The delete dialog, loaded (hidden) on first use.
    DeleteFilesDialog *deleteFilesDialog() { return m_deleteFiles.get(); }
    /// True once the delete dialog has been loaded.
    bool deleteFilesDialogLoaded() const { return m_deleteFiles.isLoaded(); }
    /// The settings dialog, loaded on first use.
    SettingsDialog *settingsDialog() { return m_settingsDialog.get(); }

    /// Draws the live model now instead of at the next screen refresh.
    void refreshView();

public slots:
    void MOpen_Click();
    void MSettings_Click() {}
    void SSCommand2_Click();
    void Timer1_Timer();
    void KopfLesen_Click();
    void Sensorwahl_Click();
    void SScommand4_Click();
    void SScommand3_Click();
    void cmdstart_Click();
    void SSCommand6_Click();
    void SSCommand1_Click();
    void Path_Click();
    void Button4_Click();
    void Image1_Click();
    void Help_Click();
    void info_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void wireEvents();
    void startUp();
    void applyLanguageTexts();
    void clearDisplays();
    void showStopped();
    void showStarted();
    void showHeader();
    SettingsDialog *makeSettingsDialog();
    bool recoverLeftover();
    void scheduleRefresh();
    void showTerm();

    UserDialogs &m_dialogs;
    Form1Environment m_env;

    SharedState m_state;
    Measurement *m_measurement = nullptr;

public:
    // Controls, named as the window's design names them.
    QPlainTextEdit *Term = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label5 = nullptr, *Label6 = nullptr;
    QLabel *Label7 = nullptr, *Label8 = nullptr, *Label11 = nullptr;
    MeterScaleLabel *Label9 = nullptr, *Label10 = nullptr;
    QLabel *Mess = nullptr, *Secu = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Secunden = nullptr, *Text8 = nullptr, *Text9 = nullptr, *Text10 = nullptr;
    QLineEdit *Text11 = nullptr, *Text12 = nullptr, *Text13 = nullptr;
    std::array<QLineEdit *, 2> Text1{};
    QLineEdit *txtPopStr = nullptr;
    QListWidget *lstPopStrings = nullptr;
    QCheckBox *Check1 = nullptr;
    LevelMeter *Bar1 = nullptr, *Bar2 = nullptr;
    ClickableImage *Image1 = nullptr, *Image2 = nullptr;
    QLabel *Image3 = nullptr, *Image7 = nullptr;
    QPushButton *KopfLesen = nullptr, *Sensorwahl = nullptr;
    HoverButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr;
    QTimer *Timer1 = nullptr;
    MSComm *MSComm1 = nullptr;
    CommonDialog CMDialog1;           ///< save and open dialogs
    CommonDialog OpenLog;             ///< a second dialog the window carries; never shown

    QMenu *Dateien = nullptr, *MPort = nullptr;
    QAction *SSCommand2 = nullptr, *SScommand4 = nullptr, *SScommand3 = nullptr, *cmdstart = nullptr;
    QAction *SSCommand6 = nullptr, *SSCommand1 = nullptr, *Path = nullptr, *MOpen = nullptr;
    QAction *MSettings = nullptr, *info = nullptr, *Help = nullptr;

private:
    MeasurementFiles *m_files = nullptr;
    Viewers *m_viewers = nullptr;
    LazyWindow<Graph> m_graph;
    LazyWindow<DeleteFilesDialog> m_deleteFiles;
    LazyWindow<SettingsDialog> m_settingsDialog;
    QTimer *m_refreshTimer = nullptr;
    quint64 m_shownRevision = ~quint64(0);
    QString m_shownTerm;
    QStringList m_shownWords;
};
