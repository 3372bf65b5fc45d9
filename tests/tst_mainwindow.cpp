// Start-up of the main window, the serial port toggle and the handling of
// communication events, over real files and a real pseudo-terminal.

#include "ClickableImage.h"
#include "DeleteFilesDialog.h"
#include "DeviceWaitNote.h"
#include "faults/RecorderChild.h"
#include "FilePaths.h"
#include "FileSizeLimit.h"
#include "HeaderRead.h"
#include "MeasurementPrompts.h"
#include "Viewers.h"
#include "GraphWindow.h"
#include "SettingsDialog.h"
#include "PictureButton.h"
#include "MeasurementFolder.h"
#include "LevelMeter.h"
#include "SerialPort.h"
#include "PtyLine.h"
#include "RecorderFixture.h"
#include "SampleProcessor.h"
#include "Simulator.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QScrollBar>
#include <QStatusBar>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <grp.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void settingsFileDrivesPortLanguageAndColours_data();
    void settingsFileDrivesPortLanguageAndColours();
    void languageTextsFollowTheSettings_data();
    void languageTextsFollowTheSettings();
    void notesFieldPointsOutWhatTheFileCannotHold_data();
    void notesFieldPointsOutWhatTheFileCannotHold();
    void deleteDialogCaptionFollowsTheSettings_data();
    void deleteDialogCaptionFollowsTheSettings();
    void startUpShowsOnlyTheCommandsInUse();
    void startUpCreatesAnEmptyWorkingFile();
    void settingsDialogAndViewersUseTheFileStartUpRead();
    void helpDocumentIsFoundInstalledBesideOrHere_data();
    void helpDocumentIsFoundInstalledBesideOrHere();
    void plantedEntriesOfTheSettingsFolderDecideNothing_data();
    void plantedEntriesOfTheSettingsFolderDecideNothing();
    void leftoverMeasurementIsKeptBeforeStartUpReplacesIt_data();
    void leftoverMeasurementIsKeptBeforeStartUpReplacesIt();
    void workingFileNameTakenByAFolderIsReportedOnce();
    void sensorIniGivesHeaderTexts_data();
    void sensorIniGivesHeaderTexts();
    void portOpensAndClosesOnTheSimulator();
    void buttonsKeepTheirPlacesWhileMeasuring();
    void portThatCannotBeOpenedIsReported();
    void portTheUserMayNotOpenNamesItsGroup_data();
    void portTheUserMayNotOpenNamesItsGroup();
    void staleLockFileOfThePortIsFound_data();
    void staleLockFileOfThePortIsFound();
    void portHeldByAStaleLockOfAnotherUserNamesIt();
    void receivedCharactersReachTheReceiveBox();
    void statusBarNamesTheVanishedDeviceWhileWaiting_data();
    void statusBarNamesTheVanishedDeviceWhileWaiting();
    void closeButtonAsksAsExitDoes_data();
    void closeButtonAsksAsExitDoes();
    void receiveBoxShowsTheTextAsItGrowsAndIsTrimmed();
    void runawayLinesLeaveTheWindowAsItWas();
    void receiveBoxFollowsTheEndUnlessScrolledBack_data();
    void receiveBoxFollowsTheEndUnlessScrolledBack();
    void commandsRouteToTheirOperations();
};

void TestMainWindow::settingsFileDrivesPortLanguageAndColours_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QColor>("base");

    const QColor defaultText = QPlainTextEdit().palette().color(QPalette::Text);
    QTest::newRow("written by the dialog")
        << RecorderFixture::settingsLines(QStringLiteral("English"), 3, 15, 1)
        << 3 << "English" << QColor(255, 255, 255) << QColor(0, 0, 128);
    QTest::newRow("colour 16 keeps the text colour")
        << RecorderFixture::settingsLines(QStringLiteral("Deutsch"), 2, 16, 4)
        << 2 << "Deutsch" << defaultText << QColor(128, 0, 0);
    QTest::newRow("port 2.5 rounds to the even 2")
        << QByteArray("\r\n2.5\r\nFrancais\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n")
        << 2 << "Francais" << QColor(0, 0, 0) << QColor(255, 255, 255);
    // Everything behind the comma becomes the next entry: the port reads
    // "Program Files\x.exe" (0) and the language reads "3".
    QTest::newRow("spreadsheet path with a comma")
        << QByteArray("C:\\a,Program Files\\x.exe\r\n3\r\nEnglish\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n")
        << 0 << "3" << QColor(0, 0, 0) << QColor(0, 0, 0);
    QTest::newRow("missing file") << QByteArray() << 0 << "" << QColor(0, 0, 0) << QColor(0, 0, 0);
    QTest::newRow("baud rate in entry 6")
        << QByteArray("\r\n1\r\nEnglish\r\n 0 \r\n 15 \r\n9600\r\n\r\n0\r\nReady\r\n")
        << 1 << "English" << QColor(0, 0, 0) << QColor(255, 255, 255);
}

void TestMainWindow::settingsFileDrivesPortLanguageAndColours()
{
    QFETCH(QByteArray, settings);
    QFETCH(int, port);
    QFETCH(QString, language);
    QFETCH(QColor, text);
    QFETCH(QColor, base);

    RecorderFixture fx;
    if (!settings.isEmpty())
        fx.writeFile(QStringLiteral("qvx.ini"), settings);
    MainWindow &w = fx.start();
    const PortSettings &portSettings = w.measurement().port().portSettings();
    QCOMPARE(int(portSettings.number), port);
    QCOMPARE(w.language(), languageFromText(language));
    // Entry 6 carries a baud rate only when written by hand; the line is
    // always 8 data bits, no parity, one stop bit.
    QCOMPARE(portSettings.baudRate, settings.contains("9600") ? 9600 : 2400);
    QCOMPARE(portSettings.dataBits, QSerialPort::Data8);
    QCOMPARE(portSettings.parity, QSerialPort::NoParity);
    QCOMPARE(portSettings.stopBits, QSerialPort::OneStop);
    QCOMPARE(control<ReceiveBox>(w, "receivedText")->palette().color(QPalette::Text), text);
    QCOMPARE(control<QLineEdit>(w, "notesEdit")->palette().color(QPalette::Text), text);
    QCOMPARE(control<ReceiveBox>(w, "receivedText")->palette().color(QPalette::Base), base);
    QCOMPARE(control<QLineEdit>(w, "notesEdit")->palette().color(QPalette::Base), base);
    QCOMPARE(control<QLabel>(w, "columnHeaderLabel")->text().size(), 85);
    QVERIFY(fx.dialogs.messages().isEmpty());
}

void TestMainWindow::languageTextsFollowTheSettings_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");

    // Per control: German, English, French, and what a language the program
    // does not know (lower case) shows: the texts of the layout.
    struct Row { const char *control, *property; const char *texts[4]; };
    const Row rows[] = {
        {"notesLabel", "text", {"Notizen", "Notes", "Note", "Notizen"}},
        {"notesEdit", "toolTip", {"Notitzen für diese Messung", "Notes for this measurement", "Note mesure actuelle", ""}},
        {"notesEdit", "accessibleName", {"Notitzen für diese Messung", "Notes for this measurement", "Note mesure actuelle", ""}},
        {"fileMenu", "title", {"&Datei", "&File", "&File", "&File"}},
        {"saveAction", "text", {"&Speichern", "&Save", "&Sauver", "&Save"}},
        {"openAction", "text", {"&Öffnen", "&Open", "&Ouvrir", "&Open"}},
        {"settingsMenu", "title", {"&Einstellungen", "&Settings", "&Options", "&Settings"}},
        {"userSettingsAction", "text", {"&Programm Optionen", "&User settings", "&User Setting", "&User settings"}},
        {"startStopButton", "toolTip", {"Start / Stopp", "Start/Stop", "Start/Stop", "Start / Stopp"}},
        {"startStopButton", "accessibleName", {"Start / Stopp", "Start/Stop", "Start/Stop", "Start / Stopp"}},
        {"saveButton", "toolTip", {"Messdaten speichern", " Save the Measurement File", " Enregistrer la mesure", "Messdaten speichern"}},
        {"openButton", "toolTip", {"Messdaten öffnen", " Open Measurement Files", " Ouvre mesure", "Messdaten öffnen"}},
        {"deleteButton", "toolTip", {"Messdaten löschen", " Delete Measurement Files", " Efface données de mesure", "Messdaten löschen"}},
        {"exitButton", "toolTip", {"Programm beenden", " Exit", "Fin", "Programm beenden"}},
        {"graphPicture", "toolTip", {"Vorschau Grafik", "Preview Graph", "aprecu", "Preview Graph"}},
        {"graphPicture", "accessibleName", {"Vorschau Grafik", "Preview Graph", "aprecu", "Preview Graph"}},
        {"receivedText", "accessibleName", {"Empfangene Daten", "Received data", "Données reçues", "Received data"}},
    };
    const char *const languages[] = {"Deutsch", "English", "Francais", "english"};
    for (int l = 0; l < 4; ++l) {
        for (const Row &row : rows) {
            QTest::addRow("%s %s %s", languages[l], row.control, row.property)
                << QString::fromLatin1(languages[l]) << QByteArray(row.control) << QByteArray(row.property)
                << QString::fromUtf8(row.texts[l]);
        }
    }
}

void TestMainWindow::languageTextsFollowTheSettings()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, control);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);

    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(language));
    MainWindow &w = fx.start();
    const QObject *target = ::control<QObject>(w, control.constData());
    QCOMPARE(target->property(property.constData()).toString(), text);
    QCOMPARE(w.windowTitle(), QStringLiteral("Quendrel Data Recorder"));
}

void TestMainWindow::notesFieldPointsOutWhatTheFileCannotHold_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("warning");   // empty: nothing is pointed out

    QTest::newRow("euro and dashes are held") << "English" << u8"20 °C – 5 € „ok“" << "";
    QTest::newRow("English") << "English" << u8"ΔT Δ 日本"
                             << u8"The measurement file cannot hold these characters; they are written as \"?\": Δ 日 本";
    QTest::newRow("Deutsch") << "Deutsch" << u8"ΔT"
                             << u8"Diese Zeichen kann die Messdatei nicht aufnehmen, sie werden als \"?\" geschrieben: Δ";
    QTest::newRow("Francais") << "Francais" << u8"ΔT"
                              << u8"Le fichier de mesure ne peut pas contenir ces caractères ; ils seront écrits \"?\" : Δ";
    QTest::newRow("unknown language") << "english" << u8"ΔT"
                                      << u8"The measurement file cannot hold these characters; they are written as \"?\": Δ";
}

void TestMainWindow::notesFieldPointsOutWhatTheFileCannotHold()
{
    QFETCH(QString, language);
    QFETCH(QString, notes);
    QFETCH(QString, warning);

    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(language));
    MainWindow &w = fx.start();
    w.show();
    auto *field = control<QLineEdit>(w, "notesEdit");
    auto *sign = field->findChild<QAction *>(QStringLiteral("unstorableNotesSign"));
    QVERIFY(sign);
    QVERIFY(!sign->isVisible());

    // Typed as an input method commits what the keyboard cannot type.
    field->setFocus();
    QInputMethodEvent typed;
    typed.setCommitString(notes);
    QCoreApplication::sendEvent(field, &typed);
    QCOMPARE(field->text(), notes);
    QCOMPARE(sign->isVisible(), !warning.isEmpty());
    QCOMPARE(sign->toolTip(), warning);
    QCOMPARE(field->accessibleDescription(), warning);

    // Once the characters are gone, so is the warning.
    QTest::mouseDClick(field, Qt::LeftButton);
    QVERIFY(!sign->isVisible());
    QCOMPARE(field->accessibleDescription(), QString());
    QVERIFY(fx.dialogs.messages().isEmpty());
}

void TestMainWindow::deleteDialogCaptionFollowsTheSettings_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("deleteDialog");
    QTest::newRow("Deutsch") << "Deutsch" << "";
    QTest::newRow("English") << "English" << " Clean Measurement";
    QTest::newRow("Francais") << "Francais" << " Efface données";
    QTest::newRow("lower case") << "english" << "";
}

void TestMainWindow::deleteDialogCaptionFollowsTheSettings()
{
    QFETCH(QString, language);
    QFETCH(QString, deleteDialog);

    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(language));
    MainWindow &w = fx.start();
    // English and French load the delete dialog through its caption.
    QCOMPARE(w.deleteFilesDialogLoaded(), !deleteDialog.isEmpty());
    if (!deleteDialog.isEmpty())
        QCOMPARE(w.deleteFilesDialog()->windowTitle(), deleteDialog);
}

void TestMainWindow::startUpShowsOnlyTheCommandsInUse()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English")));
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The menus as a user opens them: what they list and what can be chosen.
    auto listed = [](const QMenu *menu) {
        QStringList texts;
        for (const QAction *action : menu->actions()) {
            if (action->isVisible())
                texts << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        return texts;
    };
    QCOMPARE(listed(control<QMenu>(w, "fileMenu")), QStringList({"&Save", "&Exit"}));
    QCOMPARE(listed(control<QMenu>(w, "settingsMenu")), QStringList({"&User settings"}));
    QStringList bar;
    for (const QAction *action : w.menuBar()->actions())
        bar << action->text();
    QCOMPARE(bar, QStringList({"&File", "&Settings", "&Info", "&?"}));

    // Before any data: no overload, no graph picture; the header read
    // waits for the first start.
    QVERIFY(!control<QLabel>(w, "inp1OverloadLabel")->isVisible());
    QVERIFY(!control<QLabel>(w, "inp2OverloadLabel")->isVisible());
    QVERIFY(!control<ClickableImage>(w, "graphPicture")->isVisible());
    QVERIFY(!control<QTimer>(w, "headerReadTimer")->isActive());
    QCOMPARE(control<QTimer>(w, "headerReadTimer")->interval(), 1500);
    w.show();
    QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
}

void TestMainWindow::startUpCreatesAnEmptyWorkingFile()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English")));
    MainWindow &w = fx.start();
    QVERIFY(w.workingFile().isOpen());
    QVERIFY(QFile::exists(fx.path(QStringLiteral("Vindo.qvx"))));
    QCOMPARE(QFileInfo(fx.path(QStringLiteral("Vindo.qvx"))).size(), 0);
    QVERIFY(fx.dialogs.messages().isEmpty());
}

void TestMainWindow::settingsDialogAndViewersUseTheFileStartUpRead()
{
    // Started from another folder that holds a settings file of its own.
    RecorderFixture fx;
    fx.separateProgramFolder();
    fx.writeProgramFile(QStringLiteral("QVX.INI"),
                        RecorderFixture::settingsLines(QStringLiteral("Francais"), 5, 15, 1, QStringLiteral("/opt/no-calc")));
    const QByteArray decoy = RecorderFixture::settingsLines(QStringLiteral("Deutsch"), 7, 0, 15, QStringLiteral("decoy"));
    fx.writeFile(QStringLiteral("qvx.ini"), decoy);
    MainWindow &w = fx.start();
    QCOMPARE(w.language(), Language::Francais);
    QCOMPARE(w.measurement().port().portSettings().number, qint16(5));

    w.prompts()->saveTarget() = fx.path(QStringLiteral("m.csv"));
    w.exportToSpreadsheet();
    QCOMPARE(w.viewers()->spreadsheetPath(), QStringLiteral("/opt/no-calc"));

    SettingsDialog *dialog = w.settingsDialog();
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("spreadsheetPathEdit"))->text(), QStringLiteral("/opt/no-calc"));
    QCOMPARE(dialog->findChild<QComboBox *>(QStringLiteral("portBox"))->currentText(), QStringLiteral("5"));
    QCOMPARE(dialog->findChild<QComboBox *>(QStringLiteral("languageBox"))->currentText(), QStringLiteral("Francais"));
    QCOMPARE(dialog->findChild<QScrollBar *>(QStringLiteral("foreColourBar"))->value(), 15);
    dialog->findChild<QComboBox *>(QStringLiteral("portBox"))->setCurrentText(QStringLiteral("6"));
    dialog->findChild<QComboBox *>(QStringLiteral("languageBox"))->setCurrentText(QStringLiteral("English"));
    dialog->findChild<QAbstractButton *>(QStringLiteral("saveButton"))->click();
    QCOMPARE(fx.restartCalls, 1);

    // Saved over the file start-up read, in its spelling; the other untouched.
    QCOMPARE(QDir(fx.programDir()).entryList({QStringLiteral("qvx.ini")}, QDir::Files), QStringList{"QVX.INI"});
    QCOMPARE(fx.readFile(QStringLiteral("qvx.ini")), decoy);
    fx.destroy();
    MainWindow &next = fx.start();
    QCOMPARE(next.language(), Language::English);
    QCOMPARE(next.measurement().port().portSettings().number, qint16(6));
    QCOMPARE(control<QLineEdit>(next, "notesEdit")->palette().color(QPalette::Text), QColor(255, 255, 255));
}

void TestMainWindow::helpDocumentIsFoundInstalledBesideOrHere_data()
{
    QTest::addColumn<QStringList>("copies");   // under the fixture folder: "current[:fifo|:nobody]", "prefix/..."
    QTest::addColumn<QString>("found");
    const QString beside = QStringLiteral("prefix/bin/Quendrel.pdf");
    const QString installed = QStringLiteral("prefix/share/doc/quendrel2-datarecorder/Quendrel.pdf");
    QTest::newRow("installed documentation first") << QStringList{"current", beside, installed} << installed;
    QTest::newRow("beside the program") << QStringList{"current", beside} << beside;
    QTest::newRow("current folder") << QStringList{"current"} << "Quendrel.pdf";
    QTest::newRow("none") << QStringList{} << "";
    QTest::newRow("FIFO in the current folder") << QStringList{"current:fifo"} << "";
    QTest::newRow("FIFO beside the program") << QStringList{beside + ":fifo", "current"} << "Quendrel.pdf";
    QTest::newRow("another user's in the current folder") << QStringList{"current:nobody"} << "";
}

void TestMainWindow::helpDocumentIsFoundInstalledBesideOrHere()
{
    QFETCH(QStringList, copies);
    QFETCH(QString, found);
    if (copies.join(QString()).contains(QLatin1String("nobody")) && ::geteuid() != 0)
        QSKIP("a file of another user needs root");
    RecorderFixture fx;
    const QDir root(fx.dir());
    QVERIFY(root.mkpath(QStringLiteral("prefix/bin")) && root.mkpath(QStringLiteral("current")));
    QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("current"))));
    for (const QString &copy : copies) {
        const QString name = copy.section(QLatin1Char(':'), 0, 0);
        const QString path = root.filePath(name == QLatin1String("current") ? QStringLiteral("current/Quendrel.pdf") : name);
        QVERIFY(root.mkpath(QFileInfo(path).path()));
        const QByteArray encoded = QFile::encodeName(path);
        if (copy.endsWith(QLatin1String(":fifo"))) {
            QCOMPARE(::mkfifo(encoded.constData(), 0666), 0);
            continue;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (copy.endsWith(QLatin1String(":nobody")))
            QCOMPARE(::chown(encoded.constData(), 65534, 65534), 0);
    }
    const QString result = findHelpDocument(root.filePath(QStringLiteral("prefix/bin")));
    QCOMPARE(result, found.isEmpty() || found == QLatin1String("Quendrel.pdf") ? found : root.filePath(found));
}

void TestMainWindow::plantedEntriesOfTheSettingsFolderDecideNothing_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QByteArray>("language");   // of the user's own qvx.ini; empty: none
    QTest::addColumn<QString>("reported");      // in the child's output
    QTest::addColumn<bool>("portOpen");         // through the user's own COM1
    QTest::newRow("FIFO named qvx.ini") << "qvx.ini:fifo" << QByteArray() << "MESSAGE Warning/Ok No serial port is set" << false;
    QTest::newRow("FIFO named sensor.ini") << "sensor.ini:fifo" << QByteArray("English") << "DONE" << true;
    QTest::newRow("qvx.ini of nobody") << "qvx.ini:nobody" << QByteArray() << "MESSAGE Warning/Ok No serial port is set" << false;
    QTest::newRow("COM1 link of nobody, English") << "COM1:nobody" << QByteArray("English")
        << "The port is not opened: %1/COM1 belongs to the user nobody. Only your own port links and root's are used." << false;
    QTest::newRow("COM1 link of nobody, Deutsch") << "COM1:nobody" << QByteArray("Deutsch")
        << "Die Schnittstelle wird nicht geöffnet: %1/COM1 gehört dem Benutzer nobody." << false;
    QTest::newRow("COM1 link of nobody, Francais") << "COM1:nobody" << QByteArray("Francais")
        << "Le port n'est pas ouvert : %1/COM1 appartient à l'utilisateur nobody." << false;
}

void TestMainWindow::plantedEntriesOfTheSettingsFolderDecideNothing()
{
    QFETCH(QString, planted);
    QFETCH(QByteArray, language);
    QFETCH(QString, reported);
    QFETCH(bool, portOpen);
    if (planted.endsWith(QLatin1String(":nobody")) && ::geteuid() != 0)
        QSKIP("a file of another user needs root");
    QTemporaryDir dir;
    const QByteArray entry = QFile::encodeName(dir.filePath(planted.section(QLatin1Char(':'), 0, 0)));
    if (!language.isEmpty()) {
        QFile settings(dir.filePath(QStringLiteral("qvx.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(RecorderFixture::settingsLines(QString::fromLatin1(language), 1));
    }
    // Another user's pseudo-terminal: what it sends must not be recorded.
    PtyLine line;
    QVERIFY(line.ready());
    if (!planted.startsWith(QLatin1String("COM1")))
        QVERIFY(QFile::link(line.device(), dir.filePath(QStringLiteral("COM1"))));
    if (planted.endsWith(QLatin1String(":fifo"))) {
        QCOMPARE(::mkfifo(entry.constData(), 0666), 0);
    } else if (planted.startsWith(QLatin1String("COM1"))) {
        QVERIFY(QFile::link(line.device(), QFile::decodeName(entry)));
        QCOMPARE(::lchown(entry.constData(), 65534, 65534), 0);
    } else {
        QFile file(QFile::decodeName(entry));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(RecorderFixture::settingsLines(QStringLiteral("Deutsch"), 1));
        QCOMPARE(::chown(entry.constData(), 65534, 65534), 0);
    }

    // A start-up that waits on a FIFO would never end: it runs in a child.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(dir.path());
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--recorder-child"), QStringLiteral("start")});
    if (!child.waitForFinished(20000)) {
        child.kill();
        child.waitForFinished();
        QFAIL("the start-up hangs");
    }
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(output.contains(QStringLiteral("DONE")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("PORT ") + QLatin1Char(portOpen ? '1' : '0')), qPrintable(output));
    QVERIFY2(output.contains(reported.contains(QLatin1String("%1")) ? reported.arg(dir.path()) : reported), qPrintable(output));
}

void TestMainWindow::leftoverMeasurementIsKeptBeforeStartUpReplacesIt_data()
{
    QTest::addColumn<QString>("ending");   // how the last run left the working file
    QTest::addColumn<int>("copies");       // recovered copies made
    QTest::addColumn<bool>("replaced");    // a new empty working file is open

    QTest::newRow("crash") << "crash" << 1 << true;
    QTest::newRow("declined at exit") << "declined" << 0 << true;
    QTest::newRow("declined, then written to") << "declined, then written" << 1 << true;
    QTest::newRow("copy fails") << "copy fails" << 0 << false;
    // What someone else left in a shared folder decides nothing.
    QTest::newRow("note of another user") << "note of another user" << 1 << true;
    QTest::newRow("note is a FIFO") << "note is a FIFO" << 1 << true;
    QTest::newRow("recovered names taken by links") << "links" << 1 << true;
}

void TestMainWindow::leftoverMeasurementIsKeptBeforeStartUpReplacesIt()
{
    QFETCH(QString, ending);
    QFETCH(int, copies);
    QFETCH(bool, replaced);

    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English")));
    const QByteArray recorded("  Time: 10:00:00\r  Date: 1.1.26\rNotes :  run 7\r    1   12.5\r\n");
    fx.writeFile(QStringLiteral("Vindo.qvx"), recorded);
    const QString vindo = fx.path(QStringLiteral("Vindo.qvx"));
    // The last run declined what the file holds, and gave the folder up.
    const auto declineLastRun = [&fx] {
        MeasurementFolder lastRun(fx.dir());
        QCOMPARE(lastRun.claim(), MeasurementFolder::OpenResult::Opened);
        lastRun.noteDeclined();
    };
    if (ending.startsWith(QLatin1String("declined")))
        declineLastRun();
    if (ending == QLatin1String("declined, then written")) {
        QFile file(vindo);
        QVERIFY(file.open(QIODevice::Append));
        file.write("    2   12.6\r\n");
    }
    const QByteArray note = QFile::encodeName(fx.path(MeasurementFolder::noteName()));
    if (ending == QLatin1String("note of another user")) {
        if (::geteuid() != 0)
            QSKIP("needs root to make a file that belongs to another user");
        declineLastRun();
        QVERIFY(::chown(note.constData(), 65534, 65534) == 0);
    }
    if (ending == QLatin1String("note is a FIFO"))
        QVERIFY(::mkfifo(note.constData(), 0666) == 0);
    // Links that lead out of the folder under every name the next minute's
    // recovered copy could take.
    const QString outside = fx.path(QStringLiteral("outside/authorized_keys"));
    if (ending == QLatin1String("links")) {
        QVERIFY(QDir(fx.dir()).mkdir(QStringLiteral("outside")));
        const QDateTime now = QDateTime::currentDateTime();
        for (int second = 0; second < 60; ++second) {
            const QString stem = QStringLiteral("Vindo-recovered-") + now.addSecs(second).toString(QStringLiteral("yyyyMMdd-HHmmss"));
            for (const QString &name : {stem + QStringLiteral(".csv"), stem + QStringLiteral("-2.csv")})
                QVERIFY(QFile::link(outside, fx.path(name)));
        }
    }
    if (copies || !replaced)
        fx.dialogs.answer(Answer::Ok);
    const QByteArray left = fx.readFile(QStringLiteral("Vindo.qvx"));
    MainWindow *w = nullptr;
    {
        std::optional<FileSizeLimit> limit;
        if (ending == QLatin1String("copy fails"))
            limit.emplace(10);
        w = &fx.start();
    }

    const QStringList kept = QDir(fx.dir()).entryList({QStringLiteral("Vindo-recovered-*.csv")});
    QCOMPARE(kept.size(), copies);
    const auto boxes = fx.dialogs.messages();
    QCOMPARE(boxes.size(), int(copies || !replaced));
    if (copies) {
        QCOMPARE(fx.readFile(kept.first()), left);
        QVERIFY(boxes.first().text.contains(kept.first()));
    }
    if (!replaced) {
        // The only copy stays where it is, and the box says where.
        QCOMPARE(fx.readFile(QStringLiteral("Vindo.qvx")), left);
        QVERIFY2(boxes.first().text.contains(QDir::toNativeSeparators(vindo)), qPrintable(boxes.first().text));
        QCOMPARE(boxes.first().style, BoxStyle(Icon::Warning));
    } else {
        QCOMPARE(QFileInfo(vindo).size(), 0);
    }
    QCOMPARE(w->workingFile().isOpen(), replaced);
    if (ending == QLatin1String("note of another user"))
        QVERIFY(QFileInfo::exists(fx.path(MeasurementFolder::noteName())));   // not this user's to remove
    else if (ending != QLatin1String("note is a FIFO"))
        QVERIFY(!QFile::exists(fx.path(MeasurementFolder::noteName())));
    QVERIFY(!QFileInfo::exists(outside));
    if (copies)
        QVERIFY(!QFileInfo(fx.path(kept.first())).isSymLink());
}

void TestMainWindow::workingFileNameTakenByAFolderIsReportedOnce()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English")));
    QDir(fx.dir()).mkpath(QStringLiteral("Vindo.qvx/held"));
    fx.dialogs.answer(Answer::Ok);
    MainWindow &w = fx.start();
    const auto boxes = fx.dialogs.messages();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().text.startsWith(QLatin1Char('"') + QDir::toNativeSeparators(fx.path(QStringLiteral("Vindo.qvx")))
                                           + QLatin1String("\" is a link, a folder or another user's file")),
             qPrintable(boxes.first().text));
    QCOMPARE(boxes.first().style, BoxStyle(Icon::Warning));
    QVERIFY(!w.workingFile().isOpen());
    QVERIFY(QFileInfo(fx.path(QStringLiteral("Vindo.qvx/held"))).isDir());
}

void TestMainWindow::sensorIniGivesHeaderTexts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("inp1");
    QTest::addColumn<QString>("inp2");
    QTest::newRow("two lines") << QByteArray("4\r\n8\r\n") << " 4" << " 8";
    QTest::newRow("one line with a comma") << QByteArray("4,8\r\n") << " 4" << " 8";
    QTest::newRow("negative") << QByteArray("-3\r\n7\r\n") << "-3" << " 7";
    QTest::newRow("one value") << QByteArray("12\r\n") << " 12" << " 12";
    QTest::newRow("missing") << QByteArray() << " 0" << " 0";
}

void TestMainWindow::sensorIniGivesHeaderTexts()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, inp1);
    QFETCH(QString, inp2);
    RecorderFixture fx;
    if (!content.isEmpty())
        fx.writeFile(QStringLiteral("sensor.ini"), content);
    MainWindow &w = fx.start();
    QCOMPARE(w.measurement().header().inp1Header, inp1);
    QCOMPARE(w.measurement().header().inp2Header, inp2);
}

void TestMainWindow::portOpensAndClosesOnTheSimulator()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 4));
    Simulator sim;
    QVERIFY(sim.start(fx.dir(), 4));
    MainWindow &w = fx.start();
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(w.measurement().isPortOpen());
    QVERIFY(control<QAction>(w, "portOpenAction")->isChecked());
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(!w.measurement().isPortOpen());
    QVERIFY(!control<QAction>(w, "portOpenAction")->isChecked());
    QTRY_VERIFY(fx.dialogs.isAsking());
    QCOMPARE(fx.dialogs.question().text, QStringLiteral("Do you want to save the datafile ?"));
    fx.dialogs.reply(Answer::No);
    QCOMPARE(fx.dialogs.messages().size(), 1);
}

void TestMainWindow::buttonsKeepTheirPlacesWhileMeasuring()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 4));
    Simulator sim;
    QVERIFY(sim.start(fx.dir(), 4));
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto places = [&w] {
        QCoreApplication::processEvents();
        QList<int> x;
        for (const char *name : {"startStopButton", "openButton", "deleteButton", "exitButton"})
            x << control<PictureButton>(w, name)->mapTo(&w, QPoint(0, 0)).x();
        return x;
    };
    const QList<int> idle = places();

    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(w.measurement().isPortOpen());
    QVERIFY(!control<PictureButton>(w, "saveButton")->isVisible());
    QCOMPARE(places(), idle);

    control<PictureButton>(w, "startStopButton")->click();
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.reply(Answer::No);
    QVERIFY(control<PictureButton>(w, "saveButton")->isVisible());
    QCOMPARE(places(), idle);
}

void TestMainWindow::portThatCannotBeOpenedIsReported()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 9));
    QFile::link(fx.path(QStringLiteral("no-such-device")), fx.path(QStringLiteral("COM9")));
    MainWindow &w = fx.start();
    control<PictureButton>(w, "startStopButton")->click();
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.reply(Answer::Ok);
    QVERIFY(!w.measurement().isPortOpen());
    QVERIFY(!control<QAction>(w, "portOpenAction")->isChecked());
    const auto boxes = fx.dialogs.messages();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.first().style, BoxStyle(Icon::Warning));
    QVERIFY(!boxes.first().text.isEmpty());
    // The start became a stop: the save question follows the report.
    QCOMPARE(boxes.last().text, QStringLiteral("Do you want to save the datafile ?"));
}

void TestMainWindow::staleLockFileOfThePortIsFound_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("lockName");
    QTest::addColumn<bool>("processGone");
    QTest::addColumn<bool>("found");

    QTest::newRow("left by an ended program") << "/dev/ttyUSB7" << "LCK..ttyUSB7" << true << true;
    QTest::newRow("device in a sub-folder") << "/dev/pts/77" << "LCK..pts_77" << true << true;
    QTest::newRow("its program still runs") << "/dev/ttyUSB7" << "LCK..ttyUSB7" << false << false;
    QTest::newRow("another device's lock") << "/dev/ttyUSB7" << "LCK..ttyUSB8" << true << false;
}

void TestMainWindow::staleLockFileOfThePortIsFound()
{
    QFETCH(QString, device);
    QFETCH(QString, lockName);
    QFETCH(bool, processGone);
    QFETCH(bool, found);

    QTemporaryDir locks;
    QVERIFY(locks.isValid());
    // Above the largest process id the kernel hands out: never running.
    const qint64 pid = processGone ? 4194304 + 1 : QCoreApplication::applicationPid();
    const QString lock = locks.filePath(lockName);
    QFile file(lock);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(pid).rightJustified(10, ' ') + "\n");
    file.close();
    const bool otherOwner = ::geteuid() == 0 && ::chown(QFile::encodeName(lock).constData(), 65534, 65534) == 0;

    const SerialPort::PortLock stale = SerialPort::findPortLock(device, {QStringLiteral("/nonexistent"), locks.path()});
    QCOMPARE(!stale.path.isEmpty() && !stale.running, found);
    if (found) {
        QCOMPARE(stale.path, lock);
        QCOMPARE(stale.ownedByUser, !otherOwner);
        if (otherOwner)
            QCOMPARE(stale.owner, QString::fromLocal8Bit(::getpwuid(65534)->pw_name));
    }
}

/// A recorder folder that the user nobody may use, with `language` set and
/// port 3 linked to `device`, and a child process that runs there; started
/// by the caller as nobody.
static bool prepareFolderForNobody(const QTemporaryDir &dir, const QString &language, const QString &device,
                                   QProcess &child)
{
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
    QFile settings(dir.filePath(QStringLiteral("qvx.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write(RecorderFixture::settingsLines(language, 3));
    settings.close();
    if (!QFile::link(device, dir.filePath(QStringLiteral("COM3")))
        || ::chown(QFile::encodeName(dir.path()).constData(), 65534, 65534) != 0)
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), dir.path());
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(dir.path());
    return true;
}

void TestMainWindow::portHeldByAStaleLockOfAnotherUserNamesIt()
{
    // A lock file that a crashed run of another account (here root) left in
    // the lock folder, which a user cannot remove from that sticky folder.
    if (::getuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()
        || QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--mount"), QStringLiteral("true")}) != 0)
        QSKIP("needs root, setpriv and a private mount namespace for a lock folder of its own");
    PtyLine line;
    QVERIFY(line.ready());
    const QString device = line.device();
    QVERIFY(::chmod(QFile::encodeName(device).constData(), 0666) == 0);
    const QString lockName = QStringLiteral("LCK..") + device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));

    QTemporaryDir dir;
    QProcess child;
    QVERIFY(prepareFolderForNobody(dir, QStringLiteral("English"), device, child));
    // The lock names a process id above the kernel's largest: it has ended.
    child.start(QStringLiteral("unshare"), {
        QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
        QStringLiteral("sh"), QStringLiteral("-c"),
        QStringLiteral("mount -t tmpfs -o mode=1777 tmpfs /run/lock && printf '%10d\\n' 4194305 > \"/run/lock/$0\" "
                       "&& exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$@\""),
        lockName, QCoreApplication::applicationFilePath(), QStringLiteral("--recorder-child"), QStringLiteral("port")});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(output.contains(QStringLiteral("DONE")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("The port is held by the lock file \"/var/lock/%1\" of the user root, "
                                            "left behind by a program that has ended. Remove it with: sudo rm /var/lock/%1")
                                 .arg(lockName)),
             qPrintable(output));
}

void TestMainWindow::portTheUserMayNotOpenNamesItsGroup_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("hint");
    QTest::newRow("English") << "English" << "Only members of the group \"dialout\" may open this port: "
                                             "run sudo usermod -aG dialout $USER and log in again.";
    QTest::newRow("Deutsch") << "Deutsch" << QString::fromUtf8(
        "Nur Mitglieder der Gruppe \"dialout\" dürfen diese Schnittstelle öffnen: "
        "sudo usermod -aG dialout $USER eingeben und sich neu anmelden.");
}

void TestMainWindow::portTheUserMayNotOpenNamesItsGroup()
{
    QFETCH(QString, language);
    QFETCH(QString, hint);
    // A serial device as Debian sets it up: group dialout, read and write
    // for the group; opened by a user outside that group.
    const struct group *dialout = ::getgrnam("dialout");
    if (::getuid() != 0 || !dialout || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root, the group dialout and setpriv to open a device as another user");
    PtyLine line;
    QVERIFY(line.ready());
    const QByteArray device = QFile::encodeName(line.device());
    QVERIFY(::chown(device.constData(), 0, dialout->gr_gid) == 0);
    QVERIFY(::chmod(device.constData(), 0660) == 0);

    QTemporaryDir dir;
    QProcess child;
    QVERIFY(prepareFolderForNobody(dir, language, QString::fromLocal8Bit(device), child));

    // Its own lock folder for the serial port where the system allows it,
    // as a stale lock of another test's device could otherwise stand in the way.
    const QStringList asUser{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                             QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                             QStringLiteral("--recorder-child"), QStringLiteral("port")};
    const QStringList unshare{QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private")};
    if (QProcess::execute(QStringLiteral("unshare"), unshare + QStringList{QStringLiteral("true")}) == 0)
        child.start(QStringLiteral("unshare"), unshare + QStringList{
            QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("mount -t tmpfs -o mode=1777 tmpfs /run/lock && exec setpriv \"$@\""),
            QStringLiteral("sh")} + asUser);
    else
        child.start(QStringLiteral("setpriv"), asUser);
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(output.contains(QStringLiteral("DONE")), qPrintable(output));
    const QString expected = QStringLiteral("MESSAGE Warning/Ok %1: Permission denied\\r\\n%2")
                                 .arg(QString::fromLocal8Bit(device), hint);
    QVERIFY2(output.contains(expected), qPrintable(output));
}

void TestMainWindow::receivedCharactersReachTheReceiveBox()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 6));
    Simulator sim;
    QVERIFY(sim.start(fx.dir(), 6, {QStringLiteral("--interval-ms"), QStringLiteral("20")}));
    MainWindow &w = fx.start();
    control<PictureButton>(w, "startStopButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.live().received.text.contains(QStringLiteral("INP1 = ")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.live().inp1Actual.isEmpty(), 5000);
    w.refreshView();
    QVERIFY(control<ReceiveBox>(w, "receivedText")->toPlainText().contains(QStringLiteral("INP1 = ")));
    // A double-click empties the receive box.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseDClick(control<ReceiveBox>(w, "receivedText")->viewport(), Qt::LeftButton);
    QVERIFY(control<ReceiveBox>(w, "receivedText")->toPlainText().size() < 200);
}

void TestMainWindow::statusBarNamesTheVanishedDeviceWhileWaiting_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("note");          // %1 the device, %2 the time it went
    QTest::addColumn<QString>("noteName");
    QTest::addColumn<QString>("saveQuestion");

    QTest::newRow("Deutsch") << "Deutsch"
        << QString::fromUtf8("%1 ist seit %2 getrennt. Die Aufzeichnung geht weiter, sobald es zurück ist; "
                             "Start/Stop beendet die Messung.")
        << QString::fromUtf8("Messgerät getrennt") << QString::fromUtf8("Wollen Sie die Meßdaten speichern ? ");
    QTest::newRow("English") << "English"
        << "%1 is gone since %2. Recording goes on when it is back; Start/Stop ends the measurement."
        << "Instrument gone" << "Do you want to save the datafile ?";
    QTest::newRow("Francais") << "Francais"
        << QString::fromUtf8("%1 est absent depuis %2. L'enregistrement reprend à son retour ; "
                             "Start/Stop termine la mesure.")
        << "Instrument absent" << "Voulez vous sauvegarder les donnes ?";
}

void TestMainWindow::statusBarNamesTheVanishedDeviceWhileWaiting()
{
    QFETCH(QString, language);
    QFETCH(QString, note);
    QFETCH(QString, noteName);
    QFETCH(QString, saveQuestion);

    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(language, 4));
    auto line = std::make_unique<PtyLine>(fx.dir(), 4);
    QVERIFY(line->ready());
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *label = control<QLabel>(*w.statusBar(), "deviceWaitNote");
    QCOMPARE(label->accessibleName(), noteName);
    QVERIFY(!label->isVisible());

    control<PictureButton>(w, "startStopButton")->click();
    QCOMPARE(w.measurement().state(), Measurement::State::Measuring);
    QVERIFY(line->write("\r"));
    QTRY_VERIFY_WITH_TIMEOUT(w.workingFile().writtenBytes() > 0, 5000);
    QVERIFY(!label->isVisible());

    // The device goes, twice: it returns after the first time; after the
    // second, Start/Stop ends the measurement.
    const QString device = fx.path(QStringLiteral("COM4"));
    for (const bool returns : {true, false}) {
        const QDateTime beforeLoss = QDateTime::currentDateTime();
        QFile::remove(device);
        line.reset();
        QTRY_COMPARE_WITH_TIMEOUT(w.measurement().state(), Measurement::State::WaitingForDevice, 5000);
        const QDateTime since = w.measurement().lostSince();
        QVERIFY(since >= beforeLoss && since <= QDateTime::currentDateTime());
        QVERIFY(label->isVisible());
        QVERIFY(label->width() > 0 && w.statusBar()->isVisible());
        QCOMPARE(label->text(), note.arg(device, since.toString(QStringLiteral("hh:mm:ss"))));
        // The vanished-device box, answered: waiting on.
        QTRY_VERIFY(fx.dialogs.isAsking());
        QCOMPARE(fx.dialogs.question().text, QStringLiteral("Unknown error or event"));
        fx.dialogs.reply(Answer::Ok);
        QCOMPARE(w.measurement().state(), Measurement::State::WaitingForDevice);
        QVERIFY(label->isVisible());

        if (returns) {
            line = std::make_unique<PtyLine>(fx.dir(), 4);
            QVERIFY(line->ready());
            QTRY_COMPARE_WITH_TIMEOUT(w.measurement().state(), Measurement::State::Measuring, 5000);
            QVERIFY(!label->isVisible());
            QVERIFY(label->text().isEmpty());
            const qint64 before = w.workingFile().writtenBytes();
            QVERIFY(line->write("INP1 = bar\r"));
            QTRY_COMPARE_WITH_TIMEOUT(w.workingFile().writtenBytes(), before + 12, 5000);
            continue;
        }
        // Start/Stop while waiting: the stop's save question, no attempt to
        // open the device that is not there.
        const qsizetype asked = fx.dialogs.asked.size();
        control<PictureButton>(w, "startStopButton")->click();
        QCOMPARE(w.measurement().state(), Measurement::State::Stopped);
        QVERIFY(!label->isVisible());
        QTRY_VERIFY(fx.dialogs.isAsking());
        QCOMPARE(fx.dialogs.question().text, saveQuestion);
        QCOMPARE(fx.dialogs.asked.size(), asked + 1);
        QVERIFY(!w.measurement().isPortOpen());
        fx.dialogs.reply(Answer::No);
        QCOMPARE(w.measurement().state(), Measurement::State::Idle);
        QVERIFY(!label->isVisible());
    }
    QCOMPARE(fx.dialogs.unexpected, 0);
}

void TestMainWindow::closeButtonAsksAsExitDoes_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("saveAs");   // the save dialog's answer; null: cancelled
    QTest::addColumn<bool>("saved");

    QTest::newRow("no: ends keeping the working file") << Answer::No << QString() << false;
    QTest::newRow("yes, save dialog cancelled: ends") << Answer::Yes << QString() << false;
    QTest::newRow("yes, named: saves and ends") << Answer::Yes << QStringLiteral("closed") << true;
}

void TestMainWindow::closeButtonAsksAsExitDoes()
{
    QFETCH(Answer, answer);
    QFETCH(QString, saveAs);
    QFETCH(bool, saved);

    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English")));
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The close request as the window manager sends it.
    w.windowHandle()->close();
    QVERIFY(w.isVisible());
    QVERIFY(fx.dialogs.isAsking());
    QCOMPARE(fx.dialogs.question().text, QStringLiteral("Do you want to save the datafile ?"));
    QCOMPARE(fx.dialogs.question().style, BoxStyle(Icon::Question | Buttons::YesNo));
    QCOMPARE(fx.endProgramCalls, 0);

    if (answer == Answer::Yes)
        fx.dialogs.chooseFile(saveAs.isNull() ? QString() : fx.path(saveAs));
    fx.dialogs.reply(answer);
    QTRY_COMPARE(fx.endProgramCalls, 1);
    QCOMPARE(QFile::exists(fx.path(saveAs + QStringLiteral(".csv"))), saved);
    QCOMPARE(fx.dialogs.unexpected, 0);
}

void TestMainWindow::runawayLinesLeaveTheWindowAsItWas()
{
    // A megabyte-long header line and one as a sample line: the window
    // keeps its size, and draws its labels and receive box.
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 7));
    PtyLine line(fx.dir(), 7);
    QVERIFY(line.ready());
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QSize size = w.size();
    QSignalSpy headerRead(&w.measurement(), &Measurement::headerRead);
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(w.measurement().isPortOpen());
    QVERIFY(line.write("\r"));
    QTRY_VERIFY(w.workingFile().writtenBytes() > 0);
    const QByteArray sent = "INP1 = bar " + QByteArray(1 << 20, 'W') + "\r\nSR1 = 100 07\r\n"
        + QByteArray(1 << 20, '7') + "\r\n";
    const qint64 head = w.workingFile().writtenBytes();
    QVERIFY(line.write(sent.left(sent.size() / 2)));
    QTRY_VERIFY_WITH_TIMEOUT(!headerRead.isEmpty(), 10000);
    QVERIFY(line.write(sent.mid(sent.size() / 2)));
    QTRY_COMPARE_WITH_TIMEOUT(w.workingFile().writtenBytes(), head + sent.size(), 10000);
    w.refreshView();
    QVERIFY(!w.grab().isNull());

    QCOMPARE(w.size(), size);
    QCOMPARE(control<QLabel>(w, "inp1HeaderLabel")->text().size(), HeaderLineLimit);
    QVERIFY(control<ReceiveBox>(w, "receivedText")->toPlainText().size() <= SampleProcessor::ReceivedCap);
    QCOMPARE(control<QLineEdit>(w, "sampleTimeValue")->text(), QString(SampleProcessor::LineBufferLimit, QLatin1Char('7')));
}

void TestMainWindow::receiveBoxShowsTheTextAsItGrowsAndIsTrimmed()
{
    RecorderFixture fx;
    MainWindow &w = fx.start();
    auto display = [](QString s) {
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return s;
    };
    // Lines of varying length, some ended by a lone carriage return, so the
    // trimmed head sometimes ends inside a line end; the widget is redrawn
    // at irregular intervals, as the screen refresh would.
    auto *box = control<ReceiveBox>(w, "receivedText");
    ReceivedText term;
    for (int i = 0; i < 3000; ++i) {
        if (term.text.size() >= 16384)
            term.text.remove(0, 4096);
        term.append(QStringLiteral("%1 %2").arg(i).arg(QString(i % 37, QLatin1Char('x')))
                    + (i % 5 == 0 ? QStringLiteral("\r") : QStringLiteral("\r\n")));
        if (i % 7 == 0 || i % 11 == 0)
            box->showText(term.text);
    }
    box->showText(term.text);
    QCOMPARE(box->toPlainText(), display(term.text));
    // No undo history builds up over a day of appending.
    QCOMPARE(control<ReceiveBox>(w, "receivedText")->document()->availableUndoSteps(), 0);
}

void TestMainWindow::receiveBoxFollowsTheEndUnlessScrolledBack_data()
{
    QTest::addColumn<int>("linesPerRedraw");
    QTest::newRow("one line") << 1;
    QTest::newRow("a few lines") << 3;
    QTest::newRow("more than the box shows") << 60;
    QTest::newRow("past a trim of the head") << 400;
}

void TestMainWindow::receiveBoxFollowsTheEndUnlessScrolledBack()
{
    QFETCH(int, linesPerRedraw);
    RecorderFixture fx;
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *box = control<ReceiveBox>(w, "receivedText");
    // Dark text on a light ground, so the pictures compared below show it.
    QPalette colours = box->palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    box->setPalette(colours);
    auto endInView = [box] {
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        return box->viewport()->rect().contains(box->cursorRect(end).center());
    };
    int line = 0;
    ReceivedText term;
    auto feed = [&] {
        for (int i = 0; i < linesPerRedraw; ++i, ++line) {
            if (term.text.size() >= 16384)
                term.text.remove(0, 4096);
            term.append(QStringLiteral("%1 sample line of seventy-odd characters, as the instrument sends\r\n")
                            .arg(line, 5));
        }
        box->showText(term.text);
    };
    // What the window shows (its backing store, drawn piece by piece as
    // lines arrive) is what drawing the box whole gives.
    auto shownAsDrawnWhole = [&] {
        QCoreApplication::processEvents();
        const QPoint at = box->mapTo(&w, QPoint(0, 0));
        const QImage shown = w.screen()->grabWindow(w.winId(), at.x(), at.y(), box->width(), box->height()).toImage();
        return shown.convertToFormat(QImage::Format_RGB32) == box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    for (int round = 0; round < 12; ++round) {
        feed();
        QVERIFY(shownAsDrawnWhole());
        QScrollBar *bar = box->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(endInView());
        // The last line shown is the last line received.
        const QTextBlock last = box->document()->lastBlock().previous();
        QVERIFY(last.text().startsWith(QStringLiteral("%1 ").arg(line - 1, 5)));
    }
    // Scrolled back to the top, the view stays there while lines arrive.
    box->verticalScrollBar()->setValue(0);
    const QString top = box->cursorForPosition(QPoint(2, 2)).block().text();
    feed();
    QVERIFY(shownAsDrawnWhole());
    QCOMPARE(box->verticalScrollBar()->value(), 0);
    if (linesPerRedraw < 60)
        QCOMPARE(box->cursorForPosition(QPoint(2, 2)).block().text(), top);
    QCOMPARE(box->toPlainText().count(QLatin1Char('\n')), term.text.count(QLatin1Char('\n')));
}

void TestMainWindow::commandsRouteToTheirOperations()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English")));
    MainWindow &w = fx.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    using Kind = ScriptedDialogs::Kind;
    auto lastAsked = [&fx] { return fx.dialogs.asked.isEmpty() ? Kind::Beep : fx.dialogs.asked.last().kind; };

    control<PictureButton>(w, "deleteButton")->click();
    QVERIFY(w.deleteFilesDialog()->isVisible());
    control<QAction>(w, "userSettingsAction")->trigger();
    QVERIFY(w.settingsDialog()->isVisible());
    control<QAction>(w, "aboutAction")->trigger();
    QCOMPARE(lastAsked(), Kind::About);
    QVERIFY(fx.dialogs.asked.last().text.contains(QStringLiteral("Version 2.1")));

    control<PictureButton>(w, "saveButton")->click();           // save: the save dialog, cancelled
    QCOMPARE(lastAsked(), Kind::Save);
    QCOMPARE(fx.dialogs.asked.last().title, QStringLiteral("Do you want to save the measurement ?"));
    fx.dialogs.replyFile(QString());
    fx.dialogs.cancelDialog();
    control<PictureButton>(w, "openButton")->click();           // open: the open dialog, cancelled
    QCOMPARE(lastAsked(), Kind::Open);
    QCOMPARE(fx.dialogs.asked.last().title, QStringLiteral("Measurment Files"));

    QVERIFY(!w.graphLoaded());
    QTest::mouseClick(control<ClickableImage>(w, "graphPicture"), Qt::LeftButton);
    QVERIFY(w.graphLoaded());
    QVERIFY(w.graph()->isVisible());

    // A double-click empties the notes.
    control<QLineEdit>(w, "notesEdit")->setText(QStringLiteral("notes"));
    QTest::mouseDClick(control<QLineEdit>(w, "notesEdit"), Qt::LeftButton);
    QVERIFY(control<QLineEdit>(w, "notesEdit")->text().isEmpty());

    control<PictureButton>(w, "exitButton")->click();           // exit: the question, then the end
    QCOMPARE(fx.dialogs.asked.last().text, QStringLiteral("Do you want to save the datafile ?"));
    fx.dialogs.reply(Answer::No);
    QCOMPARE(fx.endProgramCalls, 1);
    QCOMPARE(fx.dialogs.unexpected, 0);
}

QDR_TEST_MAIN_WITH_RECORDER_CHILD(TestMainWindow)
#include "tst_mainwindow.moc"
