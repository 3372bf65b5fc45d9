#include "MainWindow.h"

#include "ClickableImage.h"
#include "Colors.h"
#include "DeviceWaitNote.h"
#include "FilePaths.h"
#include "FrameTimer.h"
#include "HeaderRead.h"
#include "PictureButton.h"
#include "LevelMeter.h"
#include "SerialPort.h"
#include "MeasurementPrompts.h"
#include "NotesCheck.h"
#include "ReceiveBox.h"
#include "Rules.h"
#include "SampleProcessor.h"
#include "SettingsFile.h"
#include "SettingsItems.h"
#include "UserDialogs.h"
#include "Viewers.h"
#include "WindowTexts.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QTimer>

namespace {

const QString kColumnHeader = QStringLiteral(
    "     Time        ACT 1        MAX 1       MIN 1        ACT 2        MAX 2      MIN 2 ");

/// Size of the meters' scale captions.
const QSize kScaleCaptionSize(41, 181);

/// The delete dialog's caption; in German the dialog keeps its own.
const LanguageText deleteDialogCaption{QString(), QStringLiteral(" Clean Measurement"),
                                       QStringLiteral(" Efface données")};
/// What the about box says the program is.
const LanguageText aboutText{QStringLiteral("Datenrekorder für das Quendrel/2-Messgerät"),
                             QStringLiteral("Data recorder for the Quendrel/2 instrument"),
                             QStringLiteral("Enregistreur de données pour l'instrument Quendrel/2")};

} // namespace

MainWindow::MainWindow(UserDialogs &dialogs, MainWindowEnvironment environment, QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::MainWindow>()), m_dialogs(dialogs),
      m_env(std::move(environment)), m_fileDialog(dialogs),
      m_graph([this] { return new GraphWindow(live(), m_measurement->ranges(), m_measurement->scales(), m_settings.language); },
              [this](GraphWindow *window) { window->setWindowIcon(windowIcon()); window->prepare(); }),
      m_deleteFiles([this] { return new DeleteFilesDialog(m_settings.language, m_dialogs); },
                    [this](DeleteFilesDialog *dialog) { dialog->setWindowIcon(windowIcon()); dialog->prepare(); }),
      m_settingsDialog([this] { return makeSettingsDialog(); },
                       [this](SettingsDialog *dialog) { dialog->setWindowIcon(windowIcon()); dialog->prepare(); })
{
    m_ui->setupUi(this);
    setWindowIcon(PictureButton::picture(QStringLiteral("app")));
    if (m_env.programDir.isEmpty())
        m_env.programDir = QCoreApplication::applicationDirPath();
    if (m_env.settingsDir.isEmpty())
        m_env.settingsDir = m_env.programDir;

    // Pictures, fonts and colours the layout file cannot carry.
    const std::pair<PictureButton *, const char *> pictures[] = {
        {m_ui->startStopButton, "startstop"}, {m_ui->saveButton, "save"}, {m_ui->openButton, "open"},
        {m_ui->deleteButton, "delete"}, {m_ui->exitButton, "exit"}};
    for (const auto &[button, picture] : pictures) {
        button->setPicture(QLatin1String(picture));
        // A hidden button keeps its place, so the buttons right of it stay
        // where the pointer expects them while a measurement runs.
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
    }
    m_ui->graphPicture->setPixmap(PictureButton::picture(QStringLiteral("graph")).pixmap(32, 32));
    m_ui->idleGraphPicture->setPixmap(PictureButton::picture(QStringLiteral("graph-idle")).pixmap(32, 32));
    m_ui->appPicture->setPixmap(PictureButton::picture(QStringLiteral("app")).pixmap(32, 32));
    // The graph picture and its stand-in appear once the live model says which.
    m_ui->graphPicture->hide();
    m_ui->idleGraphPicture->hide();
    m_ui->columnHeaderLabel->setFont(m_ui->receivedText->font());
    m_ui->receivedText->setAccessibleName(QStringLiteral("Received data"));
    m_ui->inp1Meter->setBarColor(QColor(0, 0, 200));
    m_ui->inp2Meter->setBarColor(QColor(200, 0, 0));
    for (MeterScaleLabel *scale : {m_ui->inp1MeterScale, m_ui->inp2MeterScale}) {
        QFont small = scale->font();
        small.setPointSizeF(small.pointSizeF() * 0.75);
        scale->setFont(small);
        scale->setScaleHeight(m_ui->inp1Meter->height());
    }
    // Each meter starts where its caption's top value stands.
    m_ui->meterTop1->changeSize(0, m_ui->inp1MeterScale->scaleTop(), QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_ui->meterTop2->changeSize(0, m_ui->inp2MeterScale->scaleTop(), QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_ui->settingsMenu->menuAction()->setObjectName(QStringLiteral("settingsMenuAction"));
    m_ui->notesEdit->installEventFilter(this);

    m_measurement = new Measurement(this);
    m_measurement->setPortDirectory(m_env.portDirectory.isEmpty() ? m_env.settingsDir : m_env.portDirectory);
    m_measurement->setNotesProvider([this] { return m_ui->notesEdit->text(); });
    m_measurement->setDevicePath(m_env.device);

    m_settings = SettingsFile(m_env.settingsDir).readAtStartUp();
    applySettings();

    MeasurementPrompts::Hooks hooks;
    hooks.refreshFileList = [this] { deleteFilesDialog()->refreshList(); };
    hooks.endProgram = [this] { if (m_env.endProgram) m_env.endProgram(); };
    m_files = new MeasurementPrompts(m_settings.language, *m_measurement, m_fileDialog, m_dialogs, hooks, this);

    m_viewers = new Viewers(m_settings, m_files->saveTarget(), m_dialogs, m_fileDialog,
                            [this](bool enabled) { m_ui->spreadsheetExportAction->setEnabled(enabled); }, this);

    // A lone change is drawn on the next turn of the event loop; while data
    // stream in, the view is drawn ten times a second, as a measuring
    // instrument's display updates, and the last change is always drawn when
    // the stream pauses. Each redraw lays out and paints the receive box,
    // figures and meters; at the fastest stream that is most of the
    // program's work, and a faster pace shows nothing a reader can follow.
    m_refreshTimer = new FrameTimer(100, this);

    wireControls();
    new DeviceWaitNote(*m_measurement, m_settings.language, statusBar());
    new NotesCheck(m_ui->notesEdit, m_settings.language);

    centreOnScreen(this);
    m_ui->columnHeaderLabel->setText(kColumnHeader);
    applyLanguageTexts();
    m_folderInUse = m_measurement->openFolder() == Measurement::FolderResult::InUse;
    m_measurement->clearReceived();
}

MainWindow::~MainWindow() = default;

void MainWindow::wireControls()
{
    // One line per control.
    connect(m_ui->startStopButton, &QAbstractButton::clicked, this, &MainWindow::startStop);
    connect(m_ui->saveButton, &QAbstractButton::clicked, this, &MainWindow::saveMeasurement);
    connect(m_ui->openButton, &QAbstractButton::clicked, this, &MainWindow::openMeasurement);
    connect(m_ui->deleteButton, &QAbstractButton::clicked, this, &MainWindow::showDeleteDialog);
    connect(m_ui->exitButton, &QAbstractButton::clicked, this, &MainWindow::exit);
    connect(m_ui->graphPicture, &ClickableImage::clicked, this, &MainWindow::showGraph);
    connect(m_ui->receivedText, &ReceiveBox::doubleClicked, this, [this] { m_measurement->clearReceived(); refreshView(); });
    connect(m_ui->startStopAction, &QAction::triggered, this, &MainWindow::startStop);
    connect(m_ui->saveAction, &QAction::triggered, this, &MainWindow::saveMeasurement);
    connect(m_ui->openAction, &QAction::triggered, this, &MainWindow::openMeasurement);
    connect(m_ui->spreadsheetExportAction, &QAction::triggered, this, &MainWindow::exportToSpreadsheet);
    connect(m_ui->notepadExportAction, &QAction::triggered, this, &MainWindow::exportToNotepad);
    connect(m_ui->exitAction, &QAction::triggered, this, &MainWindow::exit);
    connect(m_ui->userSettingsAction, &QAction::triggered, this, &MainWindow::showSettings);
    connect(m_ui->aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    connect(m_ui->helpAction, &QAction::triggered, this, &MainWindow::showHelp);

    // What the measurement reports.
    connect(m_measurement, &Measurement::liveChanged, this, &MainWindow::scheduleRefresh);
    connect(m_measurement, &Measurement::displaysCleared, this, &MainWindow::clearDisplays);
    connect(m_measurement, &Measurement::portOpenChanged, m_ui->portOpenAction, &QAction::setChecked);
    connect(m_measurement, &Measurement::stateChanged, this, &MainWindow::showState);
    connect(m_measurement, &Measurement::printerLineRead, m_ui->printerHeaderLabel, &QLabel::setText);
    connect(m_measurement, &Measurement::headerRead, this, &MainWindow::showHeader);
    connect(m_refreshTimer, &QTimer::timeout, this, &MainWindow::refreshView);
}

// ---------------------------------------------------------------- start-up

void MainWindow::applySettings()
{
    auto setColour = [this](std::optional<int> index, QPalette::ColorRole role) {
        const std::optional<QColor> colour = index ? colorForIndex(*index) : std::nullopt;
        if (!colour)
            return;
        for (QWidget *w : {static_cast<QWidget *>(m_ui->receivedText), static_cast<QWidget *>(m_ui->notesEdit)}) {
            QPalette p = w->palette();
            p.setColor(role, *colour);
            w->setPalette(p);
        }
    };
    setColour(m_settings.foreColorIndex, QPalette::Text);
    setColour(m_settings.backColorIndex, QPalette::Base);
    m_measurement->setPortSettings(m_settings.port);
    m_measurement->setLanguage(m_settings.language);
}

void MainWindow::applyLanguageTexts()
{
    // A null text (a dash in the table) leaves the text of the layout.
    const QString keep;
    const LanguageText notesTip{QStringLiteral("Notitzen für diese Messung"), QStringLiteral("Notes for this measurement"),
                                QStringLiteral("Note mesure actuelle")};
    // The graph picture speaks the graph window's caption in each language.
    const LanguageText graphTip{QStringLiteral("Vorschau Grafik"), QStringLiteral("Preview Graph"), QStringLiteral("aprecu")};
    applyWindowTexts({
        {m_ui->notesLabel, &QLabel::setText, {QStringLiteral("Notizen"), QStringLiteral("Notes"), QStringLiteral("Note")}},
        {m_ui->notesEdit, &QWidget::setToolTip, notesTip},
        {m_ui->notesEdit, &QWidget::setAccessibleName, notesTip},
        {m_ui->fileMenu, &QMenu::setTitle, {QStringLiteral("&Datei"), keep, keep}},
        {m_ui->saveAction, &QAction::setText, {QStringLiteral("&Speichern"), keep, QStringLiteral("&Sauver")}},
        {m_ui->openAction, &QAction::setText, {QStringLiteral("&Öffnen"), keep, QStringLiteral("&Ouvrir")}},
        {m_ui->settingsMenu, &QMenu::setTitle, {QStringLiteral("&Einstellungen"), keep, QStringLiteral("&Options")}},
        {m_ui->userSettingsAction, &QAction::setText, {QStringLiteral("&Programm Optionen"), keep, QStringLiteral("&User Setting")}},
        {m_ui->startStopButton, &QWidget::setToolTip, {keep, QStringLiteral("Start/Stop"), QStringLiteral("Start/Stop")}},
        {m_ui->saveButton, &QWidget::setToolTip, {keep, QStringLiteral(" Save the Measurement File"), QStringLiteral(" Enregistrer la mesure")}},
        {m_ui->openButton, &QWidget::setToolTip, {keep, QStringLiteral(" Open Measurement Files"), QStringLiteral(" Ouvre mesure")}},
        {m_ui->deleteButton, &QWidget::setToolTip, {keep, QStringLiteral(" Delete Measurement Files"), QStringLiteral(" Efface données de mesure")}},
        {m_ui->exitButton, &QWidget::setToolTip, {keep, QStringLiteral(" Exit"), QStringLiteral("Fin")}},
        {m_ui->graphPicture, &QWidget::setToolTip, graphTip},
        {m_ui->graphPicture, &QWidget::setAccessibleName, graphTip},
        // What screen readers call the receive box.
        {m_ui->receivedText, &QWidget::setAccessibleName, {QStringLiteral("Empfangene Daten"), QStringLiteral("Received data"), QStringLiteral("Données reçues")}},
    }, m_settings.language);

    // Setting the delete dialog's caption loads it.
    const QString caption = deleteDialogCaption.pick(m_settings.language);
    if (!caption.isNull())
        deleteFilesDialog()->setWindowTitle(caption);
}

void MainWindow::prepare()
{
    m_ui->inp1OverloadLabel->hide();
    m_ui->inp2OverloadLabel->hide();
    m_ui->inp1MeterScale->setFixedSize(kScaleCaptionSize);
    m_ui->inp2MeterScale->setFixedSize(kScaleCaptionSize);
    const SensorDefaults sensors = readSensorDefaults(m_env.settingsDir);
    m_measurement->setStartupHeader(sensors.inp1, sensors.inp2);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close button is Exit: the window stays until the exit question
    // is answered, and only the exit path ends the program.
    event->ignore();
    exit();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->notesEdit && event->type() == QEvent::MouseButtonDblClick) {
        m_ui->notesEdit->clear();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- view

void MainWindow::scheduleRefresh()
{
    static_cast<FrameTimer *>(m_refreshTimer)->request();
}

void MainWindow::refreshView()
{
    m_refreshTimer->stop();
    const LiveModel &model = live();
    if (m_shownRevision == model.revision)
        return;
    m_shownRevision = model.revision;
    m_ui->receivedText->showText(model.received.text);
    // The last word of a line carries its line end; a one-line box shows
    // the word without it.
    auto setText = [](QLineEdit *box, const QString &text) {
        QString shown = text;
        while (shown.endsWith(QLatin1Char('\n')) || shown.endsWith(QLatin1Char('\r')))
            shown.chop(1);
        if (box->text() != shown)
            box->setText(shown);
    };
    setText(m_ui->sampleTimeValue, model.sampleTime);
    setText(m_ui->inp1ActualValue, model.inp1Actual);
    setText(m_ui->inp1MaxValue, model.inp1Max);
    setText(m_ui->inp1MinValue, model.inp1Min);
    setText(m_ui->inp2ActualValue, model.inp2Actual);
    setText(m_ui->inp2MaxValue, model.inp2Max);
    setText(m_ui->inp2MinValue, model.inp2Min);
    m_ui->inp1Meter->setLevel(model.inp1Level);
    m_ui->inp2Meter->setLevel(model.inp2Level);
    m_ui->inp1Meter->setFullScale(model.inp1FullScale);
    m_ui->inp2Meter->setFullScale(model.inp2FullScale);
    m_ui->inp1OverloadLabel->setVisible(model.inp1Overload);
    m_ui->inp2OverloadLabel->setVisible(model.inp2Overload);
    m_ui->graphPicture->setVisible(model.graphPictureShown);
    m_ui->idleGraphPicture->setVisible(model.idlePictureShown);
}

// ---------------------------------------------------------------- measurement

void MainWindow::startStop()
{
    // While the device is gone, Start/Stop ends the measurement.
    const Measurement::State state = m_measurement->state();
    if (state == Measurement::State::Measuring || state == Measurement::State::WaitingForDevice)
        m_measurement->stop();
    else
        m_measurement->start();
}

void MainWindow::clearDisplays()
{
    m_graph.destroy();
    for (QLabel *label : {static_cast<QLabel *>(m_ui->inp1MeterScale), static_cast<QLabel *>(m_ui->inp2MeterScale),
                          m_ui->inp1HeaderLabel, m_ui->inp2HeaderLabel})
        label->clear();
    m_ui->notesEdit->setReadOnly(false);
    refreshView();
}

void MainWindow::showState(Measurement::State state)
{
    // The settings menu and the save button are hidden from a start until
    // the measurement is stopped, also while the port is closed after an error.
    switch (state) {
    case Measurement::State::Measuring:
        m_ui->settingsMenu->menuAction()->setVisible(false);
        m_ui->saveButton->setVisible(false);
        m_ui->notesEdit->setReadOnly(true);
        break;
    case Measurement::State::Stopped:
        m_ui->settingsMenu->menuAction()->setVisible(true);
        m_ui->saveButton->setVisible(true);
        break;
    case Measurement::State::Idle:
    case Measurement::State::Paused:
    case Measurement::State::WaitingForDevice:
    case Measurement::State::WriteFailed:
        break;
    }
}

void MainWindow::showHeader()
{
    const InstrumentHeader &header = m_measurement->header();
    m_ui->inp1HeaderLabel->setText(header.inp1Header);
    m_ui->inp2HeaderLabel->setText(header.inp2Header);
    const SensorScales &scales = m_measurement->scales();
    if (!scales.meterCaption1.isNull())
        m_ui->inp1MeterScale->setText(scales.meterCaption1);
    if (!scales.meterCaption2.isNull())
        m_ui->inp2MeterScale->setText(scales.meterCaption2);
    // The preview graph is loaded (hidden) here, so its traces cover the
    // measurement from its header on, whenever the user opens it.
    graph()->showUnits(headerUnit(header.inp1Header), headerUnit(header.inp2Header));
    graph()->showScales();
    refreshView();
}

// ---------------------------------------------------------------- files and windows

void MainWindow::saveMeasurement() { m_files->saveMeasurement(); }
void MainWindow::openMeasurement() { m_viewers->openMeasurement(); }
void MainWindow::exportToSpreadsheet() { m_viewers->exportToSpreadsheet(); }
void MainWindow::exportToNotepad() { m_viewers->exportToNotepad(); }
void MainWindow::exit() { m_files->exit(); }
void MainWindow::showGraph()
{
    // Opened beside this window, so neither hides the other.
    if (!graph()->isVisible())
        placeBeside(graph(), this);
    m_graph.showInFront();
}
void MainWindow::showDeleteDialog() { m_deleteFiles.showInFront(); }
void MainWindow::showSettings() { m_settingsDialog.showInFront(); }

SettingsDialog *MainWindow::makeSettingsDialog()
{
    SettingsDialog::Hooks hooks;
    hooks.programDir = m_env.programDir;
    hooks.settingsDir = m_env.settingsDir;
    hooks.closeFiles = [this] { m_measurement->finish(); };
    hooks.restart = [this] { return m_env.restart ? m_env.restart() : false; };
    hooks.endProgram = [this] { if (m_env.endProgram) m_env.endProgram(); };
    return new SettingsDialog(m_dialogs, hooks);
}

void MainWindow::showHelp()
{
    m_viewers->showManual(m_env.programDir);
}

void MainWindow::showAbout()
{
    m_dialogs.about(QStringLiteral("Quendrel/2"),
                    aboutText.pickOrEnglish(m_settings.language) + QStringLiteral("\r\nVersion 2.1"));
}
