#include "MainWindow.h"

#include "ClickableImage.h"
#include "Colors.h"
#include "FilePaths.h"
#include "FrameTimer.h"
#include "HeaderRead.h"
#include "PictureButton.h"
#include "LevelMeter.h"
#include "SerialPort.h"
#include "MeasurementPrompts.h"
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

/// The controls that only carry values for the acquisition; never shown.
const char *const kHiddenControls[] = {"KopfLesen", "Sensorwahl", "Text1_0", "Text1_1",
                                       "txtPopStr", "lstPopStrings", "Check1", "Image1", "Image2"};

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
        {m_ui->Button1, "startstop"}, {m_ui->Button2, "save"}, {m_ui->Button3, "open"},
        {m_ui->Button4, "delete"}, {m_ui->Button5, "exit"}};
    for (const auto &[button, picture] : pictures)
        button->setPicture(QLatin1String(picture));
    m_ui->Image1->setPixmap(PictureButton::picture(QStringLiteral("graph")).pixmap(32, 32));
    m_ui->Image2->setPixmap(PictureButton::picture(QStringLiteral("graph-idle")).pixmap(32, 32));
    m_ui->Image3->setPixmap(PictureButton::picture(QStringLiteral("app")).pixmap(32, 32));
    for (const char *name : kHiddenControls)
        findChild<QWidget *>(QLatin1String(name))->hide();
    m_ui->Label1->setFont(m_ui->Term->font());
    m_ui->Term->setAccessibleName(QStringLiteral("Received data"));
    m_ui->Bar1->setBarColor(QColor(0, 0, 200));
    m_ui->Bar2->setBarColor(QColor(200, 0, 0));
    for (MeterScaleLabel *scale : {m_ui->Label9, m_ui->Label10}) {
        QFont small = scale->font();
        small.setPointSizeF(small.pointSizeF() * 0.75);
        scale->setFont(small);
        scale->setScaleHeight(m_ui->Bar1->height());
    }
    // Each meter starts where its caption's top value stands.
    m_ui->meterTop1->changeSize(0, m_ui->Label9->scaleTop(), QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_ui->meterTop2->changeSize(0, m_ui->Label10->scaleTop(), QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_ui->MPort->menuAction()->setObjectName(QStringLiteral("MPortAction"));
    m_ui->Text2->installEventFilter(this);

    m_measurement = new Measurement(this);
    m_measurement->setPortDirectory(m_env.portDirectory.isEmpty() ? m_env.settingsDir : m_env.portDirectory);
    m_measurement->setNotesProvider([this] { return m_ui->Text2->text(); });

    m_settings = SettingsFile(m_env.settingsDir).readAtStartUp();
    applySettings();

    MeasurementPrompts::Hooks hooks;
    hooks.refreshFileList = [this] { deleteFilesDialog()->refreshList(); };
    hooks.endProgram = [this] { if (m_env.endProgram) m_env.endProgram(); };
    m_files = new MeasurementPrompts(m_settings.language, *m_measurement, m_fileDialog, m_dialogs, hooks, this);

    m_viewers = new Viewers(m_settings, m_files->saveTarget(), m_dialogs, m_fileDialog,
                            [this](bool enabled) { m_ui->cmdstart->setEnabled(enabled); }, this);

    // A lone change is drawn on the next turn of the event loop; while data
    // stream in, the view is drawn ten times a second, as a measuring
    // instrument's display updates, and the last change is always drawn when
    // the stream pauses. Each redraw lays out and paints the receive box,
    // figures and meters; at the fastest stream that is most of the
    // program's work, and a faster pace shows nothing a reader can follow.
    m_refreshTimer = new FrameTimer(100, this);

    wireControls();

    centreOnScreen(this);
    m_ui->Label1->setText(kColumnHeader);
    applyLanguageTexts();
    m_folderInUse = m_measurement->openFolder() == Measurement::FolderResult::InUse;
    m_measurement->clearReceived();
}

MainWindow::~MainWindow() = default;

void MainWindow::wireControls()
{
    // One line per control.
    connect(m_ui->Button1, &QAbstractButton::clicked, this, &MainWindow::startStop);
    connect(m_ui->Button2, &QAbstractButton::clicked, this, &MainWindow::saveMeasurement);
    connect(m_ui->Button3, &QAbstractButton::clicked, this, &MainWindow::openMeasurement);
    connect(m_ui->Button4, &QAbstractButton::clicked, this, &MainWindow::showDeleteDialog);
    connect(m_ui->Button5, &QAbstractButton::clicked, this, &MainWindow::exit);
    connect(m_ui->Image1, &ClickableImage::clicked, this, &MainWindow::showGraph);
    connect(m_ui->Term, &ReceiveBox::doubleClicked, this, [this] { m_measurement->clearReceived(); refreshView(); });
    connect(m_ui->SSCommand2, &QAction::triggered, this, &MainWindow::startStop);
    connect(m_ui->SScommand4, &QAction::triggered, this, &MainWindow::saveMeasurement);
    connect(m_ui->SScommand3, &QAction::triggered, this, &MainWindow::openMeasurement);
    connect(m_ui->cmdstart, &QAction::triggered, this, &MainWindow::exportToSpreadsheet);
    connect(m_ui->SSCommand6, &QAction::triggered, this, &MainWindow::exportToNotepad);
    connect(m_ui->SSCommand1, &QAction::triggered, this, &MainWindow::exit);
    connect(m_ui->Path, &QAction::triggered, this, &MainWindow::showSettings);
    connect(m_ui->info, &QAction::triggered, this, &MainWindow::showAbout);
    connect(m_ui->Help, &QAction::triggered, this, &MainWindow::showHelp);

    // What the measurement reports.
    connect(m_measurement, &Measurement::liveChanged, this, &MainWindow::scheduleRefresh);
    connect(m_measurement, &Measurement::displaysCleared, this, &MainWindow::clearDisplays);
    connect(m_measurement, &Measurement::portOpenChanged, m_ui->MOpen, &QAction::setChecked);
    connect(m_measurement, &Measurement::stateChanged, this, &MainWindow::showState);
    connect(m_measurement, &Measurement::headerReadStarted, this, [this] {
        m_ui->Text1_0->clear();
        m_ui->Text1_1->clear();
    });
    connect(m_measurement, &Measurement::printerLineRead, m_ui->Label11, &QLabel::setText);
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
        for (QWidget *w : {static_cast<QWidget *>(m_ui->Term), static_cast<QWidget *>(m_ui->Text2)}) {
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
    applyWindowTexts(this, {
        {"Label2", "text", {QStringLiteral("Notizen"), QStringLiteral("Notes"), QStringLiteral("Note")}},
        {"Text2", "toolTip", {QStringLiteral("Notitzen für diese Messung"), QStringLiteral("Notes for this measurement"), QStringLiteral("Note mesure actuelle")}},
        {"Text2", "accessibleName", {QStringLiteral("Notitzen für diese Messung"), QStringLiteral("Notes for this measurement"), QStringLiteral("Note mesure actuelle")}},
        {"Dateien", "title", {QStringLiteral("&Datei"), keep, keep}},
        {"SScommand4", "text", {QStringLiteral("&Speichern"), keep, QStringLiteral("&Sauver")}},
        {"SScommand3", "text", {QStringLiteral("&Öffnen"), keep, QStringLiteral("&Ouvrir")}},
        {"MPort", "title", {QStringLiteral("&Einstellungen"), keep, QStringLiteral("&Options")}},
        {"Path", "text", {QStringLiteral("&Programm Optionen"), keep, QStringLiteral("&User Setting")}},
        {"Button1", "toolTip", {keep, QStringLiteral("Start/Stop"), QStringLiteral("Start/Stop")}},
        {"Button2", "toolTip", {keep, QStringLiteral(" Save the Measurement File"), QStringLiteral(" Enregistrer la mesure")}},
        {"Button3", "toolTip", {keep, QStringLiteral(" Open Measurement Files"), QStringLiteral(" Ouvre mesure")}},
        {"Button4", "toolTip", {keep, QStringLiteral(" Delete Measurement Files"), QStringLiteral(" Efface données de mesure")}},
        {"Button5", "toolTip", {keep, QStringLiteral(" Exit"), QStringLiteral("Fin")}},
        // The graph picture speaks the graph window's caption in each language.
        {"Image1", "toolTip", {QStringLiteral("Vorschau Grafik"), QStringLiteral("Preview Graph"), QStringLiteral("aprecu")}},
        {"Image1", "accessibleName", {QStringLiteral("Vorschau Grafik"), QStringLiteral("Preview Graph"), QStringLiteral("aprecu")}},
        // What screen readers call the receive box.
        {"Term", "accessibleName", {QStringLiteral("Empfangene Daten"), QStringLiteral("Received data"), QStringLiteral("Données reçues")}},
    }, m_settings.language);

    // Setting the delete dialog's caption loads it.
    const QString caption = deleteDialogCaption.pick(m_settings.language);
    if (!caption.isNull())
        deleteFilesDialog()->setWindowTitle(caption);
}

void MainWindow::prepare()
{
    m_ui->Label7->hide();
    m_ui->Label8->hide();
    m_ui->Label9->setFixedSize(kScaleCaptionSize);
    m_ui->Label10->setFixedSize(kScaleCaptionSize);
    // No close box: the program is left through Exit. The window manager's
    // close request is ignored in closeEvent().
    setWindowFlag(Qt::WindowCloseButtonHint, false);

    const SensorDefaults sensors = readSensorDefaults(m_env.settingsDir);
    m_measurement->setStartupHeader(sensors.inp1, sensors.inp2);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Only the program's own exit path ends it.
    event->ignore();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->Text2 && event->type() == QEvent::MouseButtonDblClick) {
        m_ui->Text2->clear();
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
    m_ui->Term->showText(model.received.text);
    // The last word of a line carries its line end; a one-line box shows
    // the word without it.
    auto setText = [](QLineEdit *box, const QString &text) {
        QString shown = text;
        while (shown.endsWith(QLatin1Char('\n')) || shown.endsWith(QLatin1Char('\r')))
            shown.chop(1);
        if (box->text() != shown)
            box->setText(shown);
    };
    setText(m_ui->txtPopStr, model.lastLine);
    setText(m_ui->Secunden, model.sampleTime);
    setText(m_ui->Text8, model.inp1Actual);
    setText(m_ui->Text9, model.inp1Max);
    setText(m_ui->Text10, model.inp1Min);
    setText(m_ui->Text11, model.inp2Actual);
    setText(m_ui->Text12, model.inp2Max);
    setText(m_ui->Text13, model.inp2Min);
    if (m_shownWords != model.lastLineWords) {
        // Sample lines keep their number of words: the items are reused and
        // only those whose word changed are given the new one.
        m_shownWords = model.lastLineWords;
        QListWidget *list = m_ui->lstPopStrings;
        while (list->count() > m_shownWords.size())
            delete list->takeItem(list->count() - 1);
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text() != m_shownWords.at(i))
                list->item(i)->setText(m_shownWords.at(i));
        }
        if (list->count() < m_shownWords.size())
            list->addItems(m_shownWords.mid(list->count()));
    }
    m_ui->Bar1->setLevel(model.inp1Level);
    m_ui->Bar2->setLevel(model.inp2Level);
    m_ui->Bar1->setFullScale(model.inp1FullScale);
    m_ui->Bar2->setFullScale(model.inp2FullScale);
    m_ui->Label7->setVisible(model.inp1Overload);
    m_ui->Label8->setVisible(model.inp2Overload);
    m_ui->Image1->setVisible(model.graphPictureShown);
    m_ui->Image2->setVisible(model.idlePictureShown);
}

// ---------------------------------------------------------------- measurement

void MainWindow::startStop()
{
    if (m_measurement->state() == Measurement::State::Measuring)
        m_measurement->stop();
    else
        m_measurement->start();
}

void MainWindow::clearDisplays()
{
    m_graph.destroy();
    for (QLabel *label : {static_cast<QLabel *>(m_ui->Label9), static_cast<QLabel *>(m_ui->Label10),
                          m_ui->Label5, m_ui->Label6})
        label->clear();
    m_ui->Text1_0->clear();
    m_ui->Text1_1->clear();
    m_ui->Text2->setReadOnly(false);
    refreshView();
}

void MainWindow::showState(Measurement::State state)
{
    // The settings menu and the save button are hidden from a start until
    // the measurement is stopped, also while the port is closed after an error.
    switch (state) {
    case Measurement::State::Measuring:
        m_ui->MPort->menuAction()->setVisible(false);
        m_ui->Button2->setVisible(false);
        m_ui->Text2->setReadOnly(true);
        break;
    case Measurement::State::Stopped:
        m_ui->MPort->menuAction()->setVisible(true);
        m_ui->Button2->setVisible(true);
        break;
    case Measurement::State::Idle:
    case Measurement::State::PortFailed:
    case Measurement::State::Paused:
    case Measurement::State::WriteFailed:
        break;
    }
}

void MainWindow::showHeader()
{
    const InstrumentHeader &header = m_measurement->header();
    m_ui->Label5->setText(header.inp1Header);
    m_ui->Text1_0->setText(header.sr1Header);
    m_ui->Label6->setText(header.inp2Header);
    m_ui->Text1_1->setText(header.sr2Header);
    const SensorScales &scales = m_measurement->scales();
    if (!scales.meterCaption1.isNull())
        m_ui->Label9->setText(scales.meterCaption1);
    if (!scales.meterCaption2.isNull())
        m_ui->Label10->setText(scales.meterCaption2);
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
void MainWindow::showGraph() { m_graph.showInFront(); }
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
