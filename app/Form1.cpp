#include "Form1.h"

#include "ClickableImage.h"
#include "Colors.h"
#include "CommEvents.h"
#include "FileListBox.h"
#include "DeleteFilesDialog.h"
#include "FilePaths.h"
#include "Graph.h"
#include "HeaderRead.h"
#include "HoverButton.h"
#include "LevelMeter.h"
#include "Leftover.h"
#include "MSComm.h"
#include "MeasurementFiles.h"
#include "Module1.h"
#include "SettingsDialog.h"
#include "Rules.h"
#include "SampleProcessor.h"
#include "SensorSelection.h"
#include "SettingsFile.h"
#include "SettingsItems.h"
#include "UserDialogs.h"
#include "Viewers.h"
#include "WindowTexts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

namespace {

/// Window sizes of the design are in twips: 15 twips are one pixel at 96 dpi.
constexpr int twips(int t) { return t / 15; }

const QString kColumnHeader = QStringLiteral(
    "     Time        ACT 1        MAX 1       MIN 1        ACT 2        MAX 2      MIN 2 ");

/// The message shown once when a measurement left by the last run was kept.
const LanguageText kRecoveredText{
    QStringLiteral("Die nicht gespeicherte Messung des letzten Laufs wurde als \"%1\" aufbewahrt."),
    QStringLiteral("The unsaved measurement of the last run was kept as \"%1\"."),
    QStringLiteral("La mesure non sauvegardée de la dernière session a été gardée sous \"%1\".")};
const LanguageText kRecoverFailedText{
    QStringLiteral("Die nicht gespeicherte Messung des letzten Laufs konnte nicht kopiert werden: %1\n"
                   "Ihre Daten sind weiterhin in \"%2\"; bitte diese Datei verschieben und das Programm neu starten, bevor Sie messen."),
    QStringLiteral("The unsaved measurement of the last run could not be copied: %1\n"
                   "Its data are still in \"%2\"; move that file and start the program again before measuring."),
    QStringLiteral("La mesure non sauvegardée de la dernière session n'a pas pu être copiée : %1\n"
                   "Ses données sont toujours dans \"%2\" ; déplacez ce fichier et redémarrez le programme avant de mesurer.")};

QLineEdit *figureBox(const QString &name, QWidget *parent, int width = 80)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFixedWidth(width);
    box->setAlignment(Qt::AlignRight);
    return box;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    // Header lines and units come from the instrument and the files:
    // shown as they are, never as markup.
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

Form1::Form1(UserDialogs &dialogs, Form1Environment environment, QWidget *parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_env(std::move(environment)),
      CMDialog1(dialogs), OpenLog(dialogs),
      // The graph is known here before its load runs, so the sensor
      // selection nested in the load finds it instead of making a second.
      m_graph([this] { return new Graph(live(), m_state, [this] { Sensorwahl_Click(); }); },
              [this](Graph *window) { window->setWindowIcon(windowIcon()); window->Form_Load(); }),
      m_deleteFiles([this] { return new DeleteFilesDialog(m_state, m_dialogs); },
                    [this](DeleteFilesDialog *dialog) { dialog->setWindowIcon(windowIcon()); dialog->load(); }),
      m_settingsDialog([this] { return makeSettingsDialog(); },
                [this](SettingsDialog *dialog) { dialog->setWindowIcon(windowIcon()); dialog->load(); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quendrel Data Recorder"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    if (m_env.programDir.isEmpty())
        m_env.programDir = QCoreApplication::applicationDirPath();
    if (m_env.settingsDir.isEmpty())
        m_env.settingsDir = m_env.programDir;

    m_measurement = new Measurement(m_state, m_dialogs, this);
        MSComm1 = &m_measurement->port();
    MSComm1->setPortDirectory(m_env.portDirectory.isEmpty() ? m_env.settingsDir : m_env.portDirectory);
    Timer1 = &m_measurement->headerTimer();

    buildControls();
    buildMenus();
    m_measurement->setNotesProvider([this] { return Text2->text(); });

    MeasurementFiles::Hooks hooks;
    hooks.MOpen_Click = [this] { MOpen_Click(); };
    hooks.clearTerm = [this] { m_measurement->clearReceived(); };
    hooks.refreshFileList = [this] { deleteFilesDialog()->refreshList(); };
    hooks.endProgram = [this] { if (m_env.endProgram) m_env.endProgram(); };
    m_files = new MeasurementFiles(m_state, workingFile(), *MSComm1, CMDialog1, m_dialogs, hooks, this);

    m_viewers = new Viewers(m_state, m_dialogs, CMDialog1,
                            [this](bool enabled) { cmdstart->setEnabled(enabled); }, this);
    m_viewers->setSettingsFolder(m_env.settingsDir);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(16); // at most one redraw per screen refresh

    wireEvents();
    startUp();
}

Form1::~Form1() = default;

// ---------------------------------------------------------------- controls

void Form1::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);

    auto pictureButton = [central](const QString &name, const QString &tip, const QString &icon) {
        auto *b = new HoverButton(central);
        b->setObjectName(name);
        b->setToolTip(tip);
        b->setIcon(QIcon(icon));
        b->setIconSize(QSize(28, 28));
        b->setFixedSize(twips(555) + 4, twips(525) + 4);
        return b;
    };
    Button1 = pictureButton(QStringLiteral("Button1"), QStringLiteral("Start / Stopp"), QStringLiteral(":/icons/startstop.svg"));
    Button2 = pictureButton(QStringLiteral("Button2"), QStringLiteral("Messdaten speichern"), QStringLiteral(":/icons/save.svg"));
    Button3 = pictureButton(QStringLiteral("Button3"), QStringLiteral("Messdaten öffnen"), QStringLiteral(":/icons/open.svg"));
    Button4 = pictureButton(QStringLiteral("Button4"), QStringLiteral("Messdaten löschen"), QStringLiteral(":/icons/delete.svg"));
    Button5 = pictureButton(QStringLiteral("Button5"), QStringLiteral("Programm beenden"), QStringLiteral(":/icons/exit.svg"));

    Image1 = new ClickableImage(central);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/graph.svg")).pixmap(twips(480), twips(480)));
    Image1->setFixedSize(twips(480), twips(480));
    Image1->setToolTip(QStringLiteral("Preview Graph"));
    Image1->setAccessibleName(QStringLiteral("Preview Graph"));
    Image1->setFocusPolicy(Qt::StrongFocus);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->hide();
    Image2 = new ClickableImage(central);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(QIcon(QStringLiteral(":/icons/graph-idle.svg")).pixmap(twips(480), twips(480)));
    Image2->setFixedSize(twips(480), twips(480));
    Image2->hide();
    Image3 = label(QStringLiteral("Image3"), QString(), central);
    Image3->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(32, 32));
    Image7 = label(QStringLiteral("Image7"), QString(), central);

    Label1 = label(QStringLiteral("Label1"), QString(), central);
    Term = new QPlainTextEdit(central);
    Term->setObjectName(QStringLiteral("Term"));
    Term->setReadOnly(true);
    // The text changes by appending and dropping its head; an undo history
    // of that would grow for as long as the program runs.
    Term->setUndoRedoEnabled(false);
    Term->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Term->setAccessibleName(tr("Received data"));
    Term->viewport()->installEventFilter(this);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    Term->setFont(mono);
    Label1->setFont(mono);

    Label2 = label(QStringLiteral("Label2"), QStringLiteral("Notizen"), central);
    Text2 = new QLineEdit(central);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->installEventFilter(this);
    Label2->setBuddy(Text2);

    Mess = label(QStringLiteral("Mess"), QStringLiteral("Data logging time.."), central);
    Secu = label(QStringLiteral("Secu"), QStringLiteral("s "), central);
    Secunden = figureBox(QStringLiteral("Secunden"), central);
    Secunden->setAccessibleName(QStringLiteral("Data logging time.."));
    Text8 = figureBox(QStringLiteral("Text8"), central);
    Text9 = figureBox(QStringLiteral("Text9"), central);
    Text10 = figureBox(QStringLiteral("Text10"), central);
    Text11 = figureBox(QStringLiteral("Text11"), central);
    Text12 = figureBox(QStringLiteral("Text12"), central);
    Text13 = figureBox(QStringLiteral("Text13"), central);
    const QStringList figureNames = {QStringLiteral("ACT 1"), QStringLiteral("MAX 1"), QStringLiteral("MIN 1"),
                                     QStringLiteral("ACT 2"), QStringLiteral("MAX 2"), QStringLiteral("MIN 2")};
    const std::array<QLineEdit *, 6> figures = {Text8, Text9, Text10, Text11, Text12, Text13};
    for (size_t i = 0; i < figures.size(); ++i)
        figures[i]->setAccessibleName(figureNames.at(int(i)));

    Label5 = label(QStringLiteral("Label5"), QString(), central);
    Label6 = label(QStringLiteral("Label6"), QString(), central);
    Label11 = label(QStringLiteral("Label11"), QString(), central);

    Label7 = label(QStringLiteral("Label7"), QStringLiteral("Ovl"), central);
    Label8 = label(QStringLiteral("Label8"), QStringLiteral("Ovl"), central);
    for (QLabel *ovl : {Label7, Label8}) {
        ovl->setStyleSheet(QStringLiteral("color: white; background: #c00000; font-weight: bold; padding: 1px;"));
        ovl->setAlignment(Qt::AlignCenter);
    }
    Label7->setAccessibleName(QStringLiteral("Ovl INP1"));
    Label8->setAccessibleName(QStringLiteral("Ovl INP2"));

    Bar1 = new LevelMeter(central);
    Bar1->setObjectName(QStringLiteral("Bar1"));
    Bar1->setFixedSize(twips(255), twips(2000));
    Bar1->setAccessibleName(QStringLiteral("INP1"));
    Bar1->setBarColor(QColor(0, 0, 200));
    Bar2 = new LevelMeter(central);
    Bar2->setObjectName(QStringLiteral("Bar2"));
    Bar2->setFixedSize(twips(255), twips(2000));
    Bar2->setAccessibleName(QStringLiteral("INP2"));
    Bar2->setBarColor(QColor(200, 0, 0));
    Label9 = new MeterScaleLabel(QStringLiteral("*"), central);
    Label9->setObjectName(QStringLiteral("Label9"));
    Label10 = new MeterScaleLabel(QStringLiteral("*"), central);
    Label10->setObjectName(QStringLiteral("Label10"));
    for (MeterScaleLabel *scale : {Label9, Label10}) {
        scale->setTextFormat(Qt::PlainText);
        scale->setScaleHeight(Bar1->height());
        scale->setWordWrap(true);
        scale->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QFont small = scale->font();
        small.setPointSizeF(small.pointSizeF() * 0.75);
        scale->setFont(small);
    }

    // Hidden helpers of the acquisition, kept as controls so their texts
    // can be inspected like the rest of the window.
    KopfLesen = new QPushButton(QStringLiteral("KopfLesen"), central);
    KopfLesen->setObjectName(QStringLiteral("KopfLesen"));
    KopfLesen->hide();
    Sensorwahl = new QPushButton(QStringLiteral("Sensor Typen"), central);
    Sensorwahl->setObjectName(QStringLiteral("Sensorwahl"));
    Sensorwahl->hide();
    Text1[0] = new QLineEdit(QStringLiteral("SK1"), central);
    Text1[0]->setObjectName(QStringLiteral("Text1_0"));
    Text1[1] = new QLineEdit(QStringLiteral("SK2"), central);
    Text1[1]->setObjectName(QStringLiteral("Text1_1"));
    for (QLineEdit *t : Text1)
        t->hide();
    txtPopStr = new QLineEdit(central);
    txtPopStr->setObjectName(QStringLiteral("txtPopStr"));
    txtPopStr->hide();
    lstPopStrings = new QListWidget(central);
    lstPopStrings->setObjectName(QStringLiteral("lstPopStrings"));
    lstPopStrings->hide();
    Check1 = new QCheckBox(QStringLiteral("Check1"), central);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(true);
    Check1->hide();

    // Arrangement: buttons on top, receive box with its column header on
    // the left, meters on the right, figures and header lines below.
    auto *buttons = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button2),
                       static_cast<QWidget *>(Button3), static_cast<QWidget *>(Button4),
                       static_cast<QWidget *>(Button5)})
        buttons->addWidget(w);
    buttons->addSpacing(16);
    buttons->addWidget(Image1);
    buttons->addWidget(Image2);
    buttons->addStretch();
    buttons->addWidget(Image7);
    buttons->addWidget(Image3);

    auto *termColumn = new QVBoxLayout;
    termColumn->addWidget(Label1);
    termColumn->addWidget(Term, 1);

    auto meterColumn = [](LevelMeter *bar, MeterScaleLabel *scale, QLabel *ovl) {
        auto *column = new QVBoxLayout;
        auto *row = new QHBoxLayout;
        // The meter starts where the caption's top value stands.
        auto *meter = new QVBoxLayout;
        meter->addSpacing(scale->scaleTop());
        meter->addWidget(bar);
        meter->addStretch();
        row->addLayout(meter);
        row->addWidget(scale, 0, Qt::AlignTop);
        column->addWidget(ovl);
        column->addLayout(row);
        column->addStretch();
        return column;
    };
    auto *middle = new QHBoxLayout;
    middle->addLayout(termColumn, 1);
    middle->addLayout(meterColumn(Bar1, Label9, Label7));
    middle->addLayout(meterColumn(Bar2, Label10, Label8));

    auto *figuresRow = new QHBoxLayout;
    figuresRow->addWidget(Mess);
    figuresRow->addWidget(Secunden);
    figuresRow->addWidget(Secu);
    for (QLineEdit *f : figures)
        figuresRow->addWidget(f);
    figuresRow->addStretch();

    auto *headerRow = new QHBoxLayout;
    headerRow->addWidget(Label5, 1);
    headerRow->addWidget(Label6, 1);
    headerRow->addWidget(Label11, 1);

    auto *notesRow = new QHBoxLayout;
    notesRow->addWidget(Label2);
    notesRow->addWidget(Text2, 1);

    auto *layout = new QVBoxLayout(central);
    layout->addLayout(buttons);
    layout->addLayout(middle, 1);
    layout->addLayout(figuresRow);
    layout->addLayout(headerRow);
    layout->addLayout(notesRow);
    resize(860, 560);

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Button5);
    setTabOrder(Button5, Image1);
    setTabOrder(Image1, Text2);
    setTabOrder(Text2, Term);
}

void Form1::buildMenus()
{
    auto action = [this](QMenu *menu, const QString &name, const QString &caption, bool visible, bool enabled) {
        auto *a = new QAction(caption, this);
        a->setObjectName(name);
        a->setVisible(visible);
        a->setEnabled(enabled);
        if (menu)
            menu->addAction(a);
        else
            menuBar()->addAction(a);
        return a;
    };
    Dateien = menuBar()->addMenu(QStringLiteral("&File"));
    Dateien->setObjectName(QStringLiteral("Dateien"));
    SSCommand2 = action(Dateien, QStringLiteral("SSCommand2"), QStringLiteral("&Start / Stop"), false, true);
    SScommand4 = action(Dateien, QStringLiteral("SScommand4"), QStringLiteral("&Save"), true, true);
    SScommand3 = action(Dateien, QStringLiteral("SScommand3"), QStringLiteral("&Open"), false, false);
    cmdstart = action(Dateien, QStringLiteral("cmdstart"), QStringLiteral("Daten Export --> Excel"), false, true);
    SSCommand6 = action(Dateien, QStringLiteral("SSCommand6"), QStringLiteral("Daten Export -->Notepad"), false, true);
    SSCommand1 = action(Dateien, QStringLiteral("SSCommand1"), QStringLiteral("&Exit"), true, true);
    MPort = menuBar()->addMenu(QStringLiteral("&Settings"));
    MPort->setObjectName(QStringLiteral("MPort"));
    MPort->menuAction()->setObjectName(QStringLiteral("MPortAction"));
    Path = action(MPort, QStringLiteral("Path"), QStringLiteral("&User settings"), true, true);
    MOpen = action(MPort, QStringLiteral("MOpen"), QStringLiteral("Port &Open"), false, false);
    MOpen->setCheckable(true);
    MSettings = action(MPort, QStringLiteral("MSettings"), QStringLiteral("&ComPort Settings..."), false, false);
    info = action(nullptr, QStringLiteral("info"), QStringLiteral("&Info"), true, true);
    Help = action(nullptr, QStringLiteral("Help"), QStringLiteral("&?"), true, true);
}

void Form1::wireEvents()
{
    connect(m_refreshTimer, &QTimer::timeout, this, &Form1::refreshView);
    connect(m_measurement, &Measurement::liveChanged, this, &Form1::scheduleRefresh);
    connect(m_measurement, &Measurement::displaysCleared, this, &Form1::clearDisplays);
    connect(m_measurement, &Measurement::portOpenChanged, MOpen, &QAction::setChecked);
    connect(m_measurement, &Measurement::stopped, this, &Form1::showStopped);
    connect(m_measurement, &Measurement::started, this, &Form1::showStarted);
    connect(m_measurement, &Measurement::headerReadStarted, this, [this] {
        for (QLineEdit *t : Text1)
            t->clear();
    });
    connect(m_measurement, &Measurement::printerLineRead, Label11, &QLabel::setText);
    connect(m_measurement, &Measurement::headerRead, this, &Form1::showHeader);
    connect(Check1, &QCheckBox::stateChanged, this, [this](int state) {
        m_measurement->processor().setCheck1State(Qt::CheckState(state));
    });

    connect(Button1, &QAbstractButton::clicked, this, &Form1::SSCommand2_Click);
    connect(Button2, &QAbstractButton::clicked, this, &Form1::SScommand4_Click);
    connect(Button3, &QAbstractButton::clicked, this, &Form1::SScommand3_Click);
    connect(Button4, &QAbstractButton::clicked, this, &Form1::Button4_Click);
    connect(Button5, &QAbstractButton::clicked, this, &Form1::SSCommand1_Click);
    connect(Image1, &ClickableImage::clicked, this, &Form1::Image1_Click);
    connect(KopfLesen, &QPushButton::clicked, this, &Form1::KopfLesen_Click);
    connect(Sensorwahl, &QPushButton::clicked, this, &Form1::Sensorwahl_Click);

    connect(SSCommand2, &QAction::triggered, this, &Form1::SSCommand2_Click);
    connect(SScommand4, &QAction::triggered, this, &Form1::SScommand4_Click);
    connect(SScommand3, &QAction::triggered, this, &Form1::SScommand3_Click);
    connect(cmdstart, &QAction::triggered, this, &Form1::cmdstart_Click);
    connect(SSCommand6, &QAction::triggered, this, &Form1::SSCommand6_Click);
    connect(SSCommand1, &QAction::triggered, this, &Form1::SSCommand1_Click);
    connect(Path, &QAction::triggered, this, &Form1::Path_Click);
    connect(MOpen, &QAction::triggered, this, &Form1::MOpen_Click);
    connect(MSettings, &QAction::triggered, this, &Form1::MSettings_Click);
    connect(info, &QAction::triggered, this, &Form1::info_Click);
    connect(Help, &QAction::triggered, this, &Form1::Help_Click);
}

// ---------------------------------------------------------------- start-up

void Form1::startUp()
{
    // Centre on the screen, the fraction dropped.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->geometry();
        move(available.left() + (available.width() - width()) / 2,
             available.top() + (available.height() - height()) / 2);
    }

    // Nine items; an item that cannot be read keeps the text before it and
    // is applied all the same, as the settings file was always read.
    SettingsItems items = SettingsFile(m_env.settingsDir).items();
    QString item;
    qint16 portNumber = 0;
    auto setColour = [this](const QString &text, QPalette::ColorRole role) {
        const std::optional<QColor> colour = colorForIndex(rules::roundHalfEven(rules::leadingNumber(text)));
        if (!colour)
            return;
        for (QWidget *w : {static_cast<QWidget *>(Term), static_cast<QWidget *>(Text2)}) {
            QPalette p = w->palette();
            p.setColor(role, *colour);
            w->setPalette(p);
        }
    };
    for (int i = 1; i <= 9; ++i) {
        items.next(item);
        switch (i) {
        case 2:
            if (const std::optional<qint16> port = rules::toInt16(rules::leadingNumber(item)))
                portNumber = *port;
            break;
        case 3: m_state.currentLanguage = item; break;
        case 4: setColour(item, QPalette::Text); break;
        case 5: setColour(item, QPalette::Base); break;
        case 6: MSComm1->setSettings(item + QStringLiteral(",n,8,1")); break;
        default: break;
        }
    }
    MSComm1->setCommPort(portNumber);
    Label1->setText(kColumnHeader);
    applyLanguageTexts();
    if (recoverLeftover())
        m_files->OpenWorkingFile();
    m_measurement->clearReceived();
}

void Form1::applyLanguageTexts()
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
    }, m_state.currentLanguage);

    // Setting the delete dialog's caption loads it.
    const LanguageText deleteCaption{keep, QStringLiteral(" Clean Measurement"), QStringLiteral(" Efface données")};
    const QString caption = deleteCaption.pick(m_state.currentLanguage);
    if (!caption.isNull())
        deleteFilesDialog()->setWindowTitle(caption);
}

bool Form1::recoverLeftover()
{
    // A measurement the last run could not finish (a crash, a kill, the
    // settings restart) is kept as a CSV file before the fresh working file
    // replaces it; one the user declined to save is replaced silently.
    const leftover::Found found = leftover::settle(WorkingFile::bareName(), QDateTime::currentDateTime());
    const QString &language = m_state.currentLanguage;
    switch (found.kind) {
    case leftover::Found::Kind::Nothing:
    case leftover::Found::Kind::Declined:
        return true;
    case leftover::Found::Kind::Kept:
        m_dialogs.message(kRecoveredText.pick(language, kRecoveredText.english).arg(found.keptName),
                          style::Information);
        return true;
    case leftover::Found::Kind::NotKept:
        // The working file is left as it is: it holds the only copy.
        m_dialogs.message(kRecoverFailedText.pick(language, kRecoverFailedText.english)
                              .arg(found.error, found.dataPath),
                          style::Exclamation);
        return false;
    }
    return true;
}

void Form1::Form_Load()
{
    Label7->hide();
    Label8->hide();
    Label9->setFixedSize(twips(615), twips(2715));
    Label10->setFixedSize(twips(615), twips(2715));
    // No close box: the program is left through Exit. The window manager's
    // close request is ignored in closeEvent().
    setWindowFlag(Qt::WindowCloseButtonHint, false);

    // Two values, read as items; a failed read keeps the value before it.
    SettingsItems items(resolveNameIn(m_env.settingsDir, sensorFileName()));
    QString item;
    qint16 value = 0;
    for (int counter = 1; counter <= 2; ++counter) {
        if (items.next(item))
            value = rules::toInt16(rules::leadingNumber(item)).value_or(value);
        const QString text = value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
        (counter == 1 ? m_state.inp1Header : m_state.inp2Header) = text;
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Only the program's own exit path ends it.
    event->ignore();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Term->viewport()) {
            m_measurement->clearReceived();
            refreshView();
            return true;
        }
        if (watched == Text2) {
            Text2->clear();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- view

void Form1::scheduleRefresh()
{
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void Form1::showTerm()
{
    const QString &text = live().Term.text;
    if (text == m_shownTerm)
        return;
    // The widget breaks lines itself: a CR LF pair (or a lone CR) is one break.
    auto forDisplay = [](QString s) {
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return s;
    };
    QScrollBar *bar = Term->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;

    // The receive box drops its oldest characters now and then and grows at
    // the end: find how much of what is shown was dropped, so only the
    // dropped head and the new tail change in the widget, not the whole text.
    qsizetype dropped = -1;
    const QStringView shown(m_shownTerm);
    for (qsizetype k = 0; k < shown.size(); k += 4096) {
        const QStringView kept = shown.mid(k);
        if (QStringView(text).startsWith(kept)) {
            dropped = k;
            break;
        }
    }
    const bool cutsLineEnd = dropped > 0 && shown.at(dropped - 1) == QLatin1Char('\r');
    if (m_shownTerm.isEmpty() || dropped < 0 || cutsLineEnd || m_shownTerm.endsWith(QLatin1Char('\r'))) {
        Term->setPlainText(forDisplay(text));
    } else {
        QTextCursor cursor(Term->document());
        if (dropped > 0) {
            cursor.movePosition(QTextCursor::Start);
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor,
                                int(forDisplay(m_shownTerm.left(dropped)).size()));
            cursor.removeSelectedText();
        }
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(forDisplay(text.mid(m_shownTerm.size() - dropped)));
    }
    m_shownTerm = text;
    if (atEnd)
        bar->setValue(bar->maximum());
}

void Form1::refreshView()
{
    m_refreshTimer->stop();
    if (m_shownRevision == live().revision)
        return;
    m_shownRevision = live().revision;
    showTerm();
    // The last word of a line carries its line end; a one-line box shows
    // the word without it.
    auto setText = [](QLineEdit *box, const QString &text) {
        QString shown = text;
        while (shown.endsWith(QLatin1Char('\n')) || shown.endsWith(QLatin1Char('\r')))
            shown.chop(1);
        if (box->text() != shown)
            box->setText(shown);
    };
    setText(txtPopStr, live().txtPopStr);
    setText(Secunden, live().Secunden);
    setText(Text8, live().Text8);
    setText(Text9, live().Text9);
    setText(Text10, live().Text10);
    setText(Text11, live().Text11);
    setText(Text12, live().Text12);
    setText(Text13, live().Text13);
    if (m_shownWords != live().lstPopStrings) {
        m_shownWords = live().lstPopStrings;
        lstPopStrings->clear();
        lstPopStrings->addItems(m_shownWords);
    }
    Bar1->setLevel(live().Bar1Level);
    Bar2->setLevel(live().Bar2Level);
    Bar1->setFullScale(live().Bar1FullScale);
    Bar2->setFullScale(live().Bar2FullScale);
    Label7->setVisible(live().Label7Visible);
    Label8->setVisible(live().Label8Visible);
    Image1->setVisible(live().Image1Visible);
    Image2->setVisible(live().Image2Visible);
}

// ---------------------------------------------------------------- serial port

void Form1::MOpen_Click()
{
    m_measurement->togglePort();
}

// ---------------------------------------------------------------- start and stop

void Form1::SSCommand2_Click()
{
    m_measurement->startStop();
}

void Form1::clearDisplays()
{
    m_graph.unload();
    for (QLabel *l : {static_cast<QLabel *>(Label9), static_cast<QLabel *>(Label10), Label5, Label6})
        l->clear();
    for (QLineEdit *t : Text1)
        t->clear();
    Text2->setReadOnly(false);
    refreshView();
}

void Form1::showStopped()
{
    MPort->menuAction()->setVisible(true);
    Button2->setVisible(true);
    m_files->AskSaveAfterStop();
}

void Form1::showStarted()
{
    MPort->menuAction()->setVisible(false);
    Button2->setVisible(false);
    Text2->setReadOnly(true);
    Label9->clear();
    Label10->clear();
}

void Form1::Timer1_Timer()
{
    KopfLesen_Click();
    Timer1->stop();
}

void Form1::KopfLesen_Click()
{
    m_measurement->readHeader();
}

void Form1::showHeader()
{
    Label5->setText(m_state.inp1Header);
    Text1[0]->setText(m_state.sr1Header);
    Label6->setText(m_state.inp2Header);
    Text1[1]->setText(m_state.sr2Header);
    const QString unit1 = headerUnit(m_state.inp1Header);
    const QString unit2 = headerUnit(m_state.inp2Header);
    graph()->Label7()->setText(unit1);
    graph()->Label6()->setText(unit1);
    graph()->Label8()->setText(unit2);
    graph()->Label4()->setText(unit2);
}

// ---------------------------------------------------------------- sensors and graph

void Form1::Sensorwahl_Click()
{
    SensorTargets targets;
    targets.setGraphLabel1 = [this](const QString &t) { graph()->Label1()->setText(t); };
    targets.setGraphLabel2 = [this](const QString &t) { graph()->Label2()->setText(t); };
    targets.setLabel9 = [this](const QString &t) { Label9->setText(t); };
    targets.setLabel10 = [this](const QString &t) { Label10->setText(t); };
    targets.setBar1FullScale = [this](qint16 v) { live().Bar1FullScale = v; live().touch(); scheduleRefresh(); };
    targets.setBar2FullScale = [this](qint16 v) { live().Bar2FullScale = v; live().touch(); scheduleRefresh(); };
    sensorSelection(Text1[0]->text(), Text1[1]->text(), m_state, targets);
}

void Form1::Image1_Click()
{
    m_graph.showInFront();
}

// ---------------------------------------------------------------- files and windows

void Form1::SScommand4_Click() { m_files->SScommand4_Click(); }
void Form1::SScommand3_Click() { m_viewers->SScommand3_Click(); }
void Form1::cmdstart_Click() { m_viewers->cmdstart_Click(); }
void Form1::SSCommand6_Click() { m_viewers->SSCommand6_Click(); }
void Form1::SSCommand1_Click() { m_files->SSCommand1_Click(); }

void Form1::Button4_Click()
{
    m_deleteFiles.showInFront();
}

SettingsDialog *Form1::makeSettingsDialog()
{
    SettingsDialog::Hooks hooks;
    hooks.programDir = m_env.programDir;
    hooks.settingsDir = m_env.settingsDir;
    hooks.closeFiles = [this] { workingFile().close(); };
    hooks.restart = [this] { return m_env.restart ? m_env.restart() : false; };
    hooks.endProgram = [this] { if (m_env.endProgram) m_env.endProgram(); };
    return new SettingsDialog(m_dialogs, hooks);
}

void Form1::Path_Click()
{
    m_settingsDialog.showInFront();
}

void Form1::Help_Click()
{
    // The manual is looked up in the current directory first, as a bare
    // name; then beside the program and in the installed documentation.
    QString commandLine = helpDocumentName();
    const QString found = findHelpDocument(m_env.programDir);
    if (!found.isEmpty() && found != commandLine)
        commandLine = QLatin1Char('"') + found + QLatin1Char('"');
    // Always as a document: a manual that carries the execute bit (as on
    // FAT or SMB media) is opened, never run.
    Module1::OpenDocument(commandLine);
}

void Form1::info_Click()
{
    m_dialogs.about(QStringLiteral("Quendrel/2"),
                    tr("Data recorder for the Quendrel/2 instrument") + QStringLiteral("\r\nVersion 2.1"));
}
