// The program runner, the shell start and the viewer commands, with a real
// stand-in viewer program started for every run.

#include "ProcessRunner.h"
#include "FileDialog.h"
#include "ShellStart.h"
#include "ProgramNames.h"
#include "ScriptedDialogs.h"
#include "StandInViewer.h"
#include "Viewers.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

/// Settings file "qvx.ini" in the current directory, first entry `program`.
void writeSettings(const QString &program)
{
    writeFile(QStringLiteral("qvx.ini"),
              QStringLiteral("%1\r\n2\r\nEnglish\r\n 3 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n")
                  .arg(program).toLatin1());
}

} // namespace

/// Everything a viewer command needs, wired as the main window wires it.
struct ViewerRig
{
    explicit ViewerRig(const QString &language = QString()) : language(language) {}

    QString language;
    QString saveTarget;
    ScriptedDialogs dialogs;
    FileDialog dialog{dialogs};
    QList<bool> exportEnabled;   // every change of the export entry
    Viewers viewers{language, saveTarget, dialogs, dialog, [this](bool on) { exportEnabled << on; }};
    QSignalSpy starting{&viewers, &Viewers::viewerStarting};
    QSignalSpy ended{&viewers, &Viewers::viewerEnded};
};

class ViewersTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandLineIsCutIntoProgramArgumentsAndFolder_data();
    void commandLineIsCutIntoProgramArgumentsAndFolder();
    void shellStartRunsAProgramWithItsArgumentAsOne();
    void shellStartOfAMissingDocumentFails();
    void failedShellStartNeverStartsAProgramCutAtABlank();
    void documentsAreOpenedAndOnlyProgramsRun_data();
    void documentsAreOpenedAndOnlyProgramsRun();

    void programSettingIsResolved_data();
    void programSettingIsResolved();
    void editorNamesBecomeAnInstalledEditor();
    void runnerIsTerminatedWhenNothingCouldStart_data();
    void runnerIsTerminatedWhenNothingCouldStart();

    void savedFileReachesTheViewerAsOneArgument_data();
    void savedFileReachesTheViewerAsOneArgument();
    void textEditorDependsOnFileSize_data();
    void textEditorDependsOnFileSize();
    void emptySpreadsheetEntryUsesWrite_data();
    void emptySpreadsheetEntryUsesWrite();
    void exportWithoutSavedFileShowsNoDataMessage_data();
    void exportWithoutSavedFileShowsNoDataMessage();
    void openShowsChosenFileAndKeepsSaveTarget();
    void openEndsQuietly_data();
    void openEndsQuietly();
    void eventsAreHandledWhileTheViewerIsOpen();
    void viewerStartedWhileWaitingNestsInside();

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_previousDir;
    QByteArray m_previousPath;
    StandInViewer *m_spreadsheet = nullptr;
    StandInViewer *m_editor = nullptr;
};

void ViewersTest::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    // The only text editor on the search path is a stand-in, so the
    // editor names never open a real window.
    QDir(m_dir->path()).mkdir(QStringLiteral("bin"));
    m_previousPath = qgetenv("PATH");
    qputenv("PATH", m_dir->filePath(QStringLiteral("bin")).toLocal8Bit() + ":/usr/bin:/bin");
    m_spreadsheet = new StandInViewer(m_dir->path(), QStringLiteral("calc viewer"));
    m_editor = new StandInViewer(m_dir->filePath(QStringLiteral("bin")), QStringLiteral("gedit"));
}

void ViewersTest::cleanup()
{
    // Let any stand-in still waiting end.
    m_spreadsheet->close();
    m_editor->close();
    delete m_spreadsheet;
    delete m_editor;
    qputenv("PATH", m_previousPath);
    QDir::setCurrent(m_previousDir);
    delete m_dir;
}

void ViewersTest::commandLineIsCutIntoProgramArgumentsAndFolder_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("workingFolder");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("rewritten");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("folder");

    const QChar win('\\'), nix('/');
    QTest::newRow("quoted path with blank")
        << R"("C:\Tools\a b.exe" -x)" << "" << win
        << R"(C:\Tools\a b.exe -x)" << R"(C:\Tools\a b.exe)" << "-x" << R"(C:\Tools)";
    QTest::newRow("drive root keeps separator")
        << R"(C:\x.exe)" << "" << win << R"(C:\x.exe)" << R"(C:\x.exe)" << "" << R"(C:\)";
    QTest::newRow("separator first") << R"(\x.exe)" << "" << win << R"(\x.exe)" << R"(\x.exe)" << "" << R"(\)";
    QTest::newRow("no separator uses current folder")
        << "Quendrel.pdf" << "" << win << "Quendrel.pdf" << "Quendrel.pdf" << "" << "CURRENT";
    QTest::newRow("first blank ends program, blanks before arguments dropped")
        << "notepad.exe   a b.txt" << "" << win << "notepad.exe   a b.txt" << "notepad.exe" << "a b.txt" << "CURRENT";
    QTest::newRow("unclosed quote: whole line is the program")
        << R"("C:\a b)" << "" << win << R"("C:\a b)" << R"("C:\a b)" << "" << R"("C:\)";
    QTest::newRow("given folder wins") << R"(C:\x\y.exe)" << "D:\\w" << win << R"(C:\x\y.exe)" << R"(C:\x\y.exe)" << "" << "D:\\w";
    QTest::newRow("linux path") << "/usr/bin/prog --a b" << "" << nix
        << "/usr/bin/prog --a b" << "/usr/bin/prog" << "--a b" << "/usr/bin";
    QTest::newRow("linux root kept") << "/prog" << "" << nix << "/prog" << "/prog" << "" << "/";
    QTest::newRow("linux quoted path with blank")
        << R"("/opt/my app/run" "x y")" << "" << nix
        << R"(/opt/my app/run "x y")" << "/opt/my app/run" << R"("x y")" << "/opt/my app";
    QTest::newRow("backslash is no separator on linux")
        << R"(C:\x.exe)" << "" << nix << R"(C:\x.exe)" << R"(C:\x.exe)" << "" << "CURRENT";
}

void ViewersTest::commandLineIsCutIntoProgramArgumentsAndFolder()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, workingFolder);
    QFETCH(QChar, separator);
    QFETCH(QString, rewritten);
    QFETCH(QString, program);
    QFETCH(QString, arguments);
    QFETCH(QString, folder);

    const shell::CommandLineParts parts =
        shell::splitCommandLine(commandLine, workingFolder, separator, QStringLiteral("CURRENT"));
    QCOMPARE(commandLine, rewritten);
    QCOMPARE(parts.program, program);
    QCOMPARE(parts.arguments, arguments);
    QCOMPARE(parts.folder, folder);
}

void ViewersTest::shellStartRunsAProgramWithItsArgumentAsOne()
{
    m_spreadsheet->close();   // the program ends as soon as it has recorded its run
    QString commandLine = QLatin1Char('"') + m_spreadsheet->program() + QStringLiteral("\" it's $(x) a;b");

    const int result = shell::executeCommandLine(commandLine, 1);

    QVERIFY2(result > 32, qPrintable(QString::number(result)));
    QCOMPARE(commandLine, m_spreadsheet->program() + QStringLiteral(" it's $(x) a;b"));
    const QList<QStringList> expected{{QStringLiteral("it's $(x) a;b")}};
    QTRY_COMPARE(m_spreadsheet->runs(), expected);
}

void ViewersTest::shellStartOfAMissingDocumentFails()
{
    QString commandLine = QStringLiteral("Quendrel.pdf");
    QCOMPARE(shell::executeCommandLine(commandLine, 4), int(shell::shellResult::FileNotFound));
}

void ViewersTest::failedShellStartNeverStartsAProgramCutAtABlank()
{
    // "<folder>/calc viewer-gone" does not exist; a program named by its
    // first word, "<folder>/calc", does and must not be started instead.
    StandInViewer decoy(m_dir->path(), QStringLiteral("calc"));
    decoy.close();
    const QString missing = m_dir->filePath(QStringLiteral("calc viewer-gone"));
    QString commandLine = QLatin1Char('"') + missing + QStringLiteral("\" data.csv");

    QCOMPARE(shell::executeCommandLine(commandLine, 1), int(shell::shellResult::FileNotFound));
    QTest::qWait(300);
    QVERIFY(decoy.runs().isEmpty());
}

void ViewersTest::documentsAreOpenedAndOnlyProgramsRun_data()
{
    QTest::addColumn<QString>("name");   // an executable script of that name
    QTest::addColumn<bool>("help");      // opened by the help command, else the shell start
    QTest::addColumn<bool>("runs");      // started as a program, else handed to the opener

    QTest::newRow("help: manual with the execute bit") << "Quendrel.pdf" << true << false;
    QTest::newRow("help: a program is still a document") << "tool" << true << false;
    QTest::newRow("shell start: manual with the execute bit") << "Quendrel.pdf" << false << false;
    QTest::newRow("shell start: CSV with the execute bit") << "data.csv" << false << false;
    QTest::newRow("shell start: program") << "tool" << false << true;
}

void ViewersTest::documentsAreOpenedAndOnlyProgramsRun()
{
    QFETCH(QString, name);
    QFETCH(bool, help);
    QFETCH(bool, runs);

    StandInViewer opener(m_dir->filePath(QStringLiteral("bin")), QStringLiteral("xdg-open"));
    opener.close();
    StandInViewer file(m_dir->path(), name);
    file.close();   // a run would end as soon as it has recorded itself

    QString commandLine = QLatin1Char('"') + file.program() + QLatin1Char('"');
    const int result = help ? shell::openDocument(commandLine) : shell::executeCommandLine(commandLine, 1);

    QCOMPARE(result, int(shell::shellResult::Started));
    if (runs) {
        QTRY_COMPARE(file.runs().size(), 1);
        QVERIFY(opener.runs().isEmpty());
    } else {
        QTRY_COMPARE(opener.runs(), QList<QStringList>{{file.program()}});
        QTest::qWait(300);
        QVERIFY(file.runs().isEmpty());
    }
}

void ViewersTest::programSettingIsResolved_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("options");

    QTest::newRow("empty") << "" << "" << QStringList();
    QTest::newRow("plain program") << "/opt/tool" << "/opt/tool" << QStringList();
    QTest::newRow("program with options") << R"(tool -a "b c")" << "tool" << QStringList{"-a", "b c"};
    QTest::newRow("libreoffice --calc")
        << "libreoffice --calc" << "libreoffice" << QStringList{"--nologo", "--calc"};
    QTest::newRow("libreoffice alone opens calc")
        << "/usr/bin/libreoffice" << "/usr/bin/libreoffice" << QStringList{"--nologo", "--calc"};
    QTest::newRow("localc") << "/usr/bin/localc" << "/usr/bin/localc" << QStringList{"--nologo"};
    QTest::newRow("soffice keeps own options")
        << "soffice --norestore --calc" << "soffice" << QStringList{"--nologo", "--norestore", "--calc"};
}

void ViewersTest::programSettingIsResolved()
{
    QFETCH(QString, setting);
    QFETCH(QString, program);
    QFETCH(QStringList, options);

    const programs::ProgramCommand command = programs::resolve(setting);
    QCOMPARE(command.program, program);
    QCOMPARE(command.options, options);
}

void ViewersTest::editorNamesBecomeAnInstalledEditor()
{
    // An existing program path with blanks is taken whole, not split.
    QCOMPARE(programs::resolve(m_spreadsheet->program()).program, m_spreadsheet->program());

    for (const QString name : {"Notepad", "Write", "WRITE", "notepad.exe"}) {
        const programs::ProgramCommand command = programs::resolve(name);
        QCOMPARE(command.program, m_editor->program());
        QCOMPARE(command.options, QStringList{"--wait"});
    }
    // Without any known editor the desktop's opener is asked.
    qputenv("PATH", m_dir->filePath(QStringLiteral("none")).toLocal8Bit());
    QCOMPARE(programs::resolve(QStringLiteral("Write")).program, QStringLiteral("xdg-open"));
}

void ViewersTest::runnerIsTerminatedWhenNothingCouldStart_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("exec");
    // Names in the test folder, "" for none.
    QTest::newRow("never started") << "calc viewer" << false;
    QTest::newRow("missing program") << "no such program" << true;
    QTest::newRow("empty program") << "" << true;
    QTest::newRow("not executable") << "qvx.ini" << true;
    QTest::newRow("document with the execute bit") << "Quendrel.pdf" << true;
}

void ViewersTest::runnerIsTerminatedWhenNothingCouldStart()
{
    QFETCH(QString, program);
    QFETCH(bool, exec);
    writeSettings(QStringLiteral("x"));
    StandInViewer document(m_dir->path(), QStringLiteral("Quendrel.pdf"));
    document.close();   // were it run, it would end at once

    ProcessRunner runner;
    runner.setProgram(program.isEmpty() ? program : m_dir->filePath(program));
    runner.setArguments(QStringLiteral("a.csv"));
    if (exec)
        runner.start();
    QVERIFY(runner.hasEnded());
    QVERIFY(m_spreadsheet->runs().isEmpty());
    QVERIFY(document.runs().isEmpty());
}

void ViewersTest::savedFileReachesTheViewerAsOneArgument_data()
{
    QTest::addColumn<QString>("saveTarget");
    QTest::newRow("blanks") << "/data/my measurement 1.csv";
    QTest::newRow("quotes") << R"(a "quoted" 'name'.csv)";
    QTest::newRow("semicolon") << "a.csv; touch hacked";
    QTest::newRow("command substitution") << "$(touch hacked).csv";
    QTest::newRow("backticks") << "`touch hacked`.csv";
    QTest::newRow("latin-1") << QStringLiteral("Meßdaten ä.csv");
}

void ViewersTest::savedFileReachesTheViewerAsOneArgument()
{
    QFETCH(QString, saveTarget);
    ViewerRig rig;
    writeSettings(m_spreadsheet->program());
    rig.saveTarget = saveTarget;
    m_spreadsheet->close();

    rig.viewers.exportToSpreadsheet();

    const QList<QStringList> expected{{saveTarget}};
    QCOMPARE(m_spreadsheet->runs(), expected);
    QCOMPARE(rig.viewers.spreadsheetPath(), m_spreadsheet->program());
    QVERIFY(rig.saveTarget.isEmpty());
    QCOMPARE(rig.exportEnabled, (QList<bool>{false, true}));
    QVERIFY(!QFile::exists(QStringLiteral("hacked")));
    QVERIFY(rig.dialogs.asked.isEmpty());
}

void ViewersTest::textEditorDependsOnFileSize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("viewer");
    QTest::newRow("empty") << 0 << "Notepad";
    QTest::newRow("59999 bytes") << 59999 << "Notepad";
    QTest::newRow("60000 bytes") << 60000 << "Write";
    QTest::newRow("missing file") << -1 << "Notepad";
}

void ViewersTest::textEditorDependsOnFileSize()
{
    QFETCH(int, size);
    QFETCH(QString, viewer);
    ViewerRig rig;
    rig.saveTarget = m_dir->filePath(QStringLiteral("saved 1.csv"));
    if (size >= 0)
        writeFile(rig.saveTarget, QByteArray(size, 'x'));
    m_editor->close();

    rig.viewers.exportToNotepad();

    QCOMPARE(rig.starting.size(), 1);
    QCOMPARE(rig.starting.at(0).at(0).toString(), viewer);
    const QList<QStringList> expected{{QStringLiteral("--wait"), m_dir->filePath(QStringLiteral("saved 1.csv"))}};
    QCOMPARE(m_editor->runs(), expected);
    QVERIFY(rig.saveTarget.isEmpty());
    QCOMPARE(rig.exportEnabled, (QList<bool>{false, true}));
}

void ViewersTest::emptySpreadsheetEntryUsesWrite_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("viaOpen");
    const QByteArray emptyFirst = "\r\n2\r\nDeutsch\r\n";
    QTest::newRow("export, empty entry") << emptyFirst << false;
    QTest::newRow("open, empty entry") << emptyFirst << true;
    QTest::newRow("export, quoted empty entry") << QByteArray("\"\",2,English\r\n") << false;
    QTest::newRow("export, no settings file") << QByteArray() << false;
}

void ViewersTest::emptySpreadsheetEntryUsesWrite()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, viaOpen);
    ViewerRig rig;
    if (!settings.isEmpty())
        writeFile(QStringLiteral("qvx.ini"), settings);
    const QString file = m_dir->filePath(QStringLiteral("m.csv"));
    m_editor->close();

    if (viaOpen) {
        rig.dialogs.chooseFile(file);
        rig.viewers.openMeasurement();
    } else {
        rig.saveTarget = file;
        rig.viewers.exportToSpreadsheet();
    }

    QCOMPARE(rig.viewers.spreadsheetPath(), QStringLiteral("WRITE"));
    QCOMPARE(rig.starting.size(), 1);
    QCOMPARE(rig.starting.at(0).at(0).toString(), QStringLiteral("WRITE"));
    const QList<QStringList> expected{{QStringLiteral("--wait"), file}};
    QCOMPARE(m_editor->runs(), expected);
}

void ViewersTest::exportWithoutSavedFileShowsNoDataMessage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("toEditor");
    QTest::addColumn<QString>("text");

    QTest::newRow("Deutsch, spreadsheet") << "Deutsch" << false
        << "Es sind keine Daten vorhanden,\r\n Bitte die Messung erst speichern !  ";
    QTest::newRow("English, spreadsheet") << "English" << false
        << "Data for export missing,\r\n Please save the measurement first !";
    QTest::newRow("Francais, spreadsheet") << "Francais" << false
        << QStringLiteral("Donnes pour export manque,\r\n Veuillez sauvegarder la mesure d´abord !");
    QTest::newRow("Deutsch, editor") << "Deutsch" << true
        << " Es sind keine Daten vorhanden,\r\n Bitte die Messung erst speichern !  ";
    QTest::newRow("English, editor") << "English" << true
        << " Data for export missing,\r\n Please save the measurement first !";
    QTest::newRow("Francais, editor") << "Francais" << true
        << QStringLiteral(" Donnes pour export manque,\r\n Veuillez sauvegarder la mesure d´abord !");
    QTest::newRow("other language") << "english" << false << "\r\n";
}

void ViewersTest::exportWithoutSavedFileShowsNoDataMessage()
{
    QFETCH(QString, language);
    QFETCH(bool, toEditor);
    QFETCH(QString, text);
    ViewerRig rig(language);
    writeSettings(m_spreadsheet->program());

    toEditor ? rig.viewers.exportToNotepad() : rig.viewers.exportToSpreadsheet();

    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.dialogs.asked.at(0).text, text);
    QCOMPARE(rig.dialogs.asked.at(0).style, 1);
    QVERIFY(rig.dialogs.asked.at(0).title.isEmpty());
    QCOMPARE(rig.starting.size(), 0);
    QVERIFY(rig.exportEnabled.isEmpty());
}

void ViewersTest::openShowsChosenFileAndKeepsSaveTarget()
{
    ViewerRig rig(QStringLiteral("Deutsch"));
    rig.saveTarget = QStringLiteral("last.csv");
    rig.dialog.InitDir = QStringLiteral("/kept");
    rig.dialog.FileName = QStringLiteral("Vindo.qvx");
    writeSettings(m_spreadsheet->program());
    const QString chosen = m_dir->filePath(QStringLiteral("chosen one.csv"));
    rig.dialogs.chooseFile(chosen);
    m_spreadsheet->close();

    rig.viewers.openMeasurement();

    const ScriptedDialogs::Asked open = rig.dialogs.asked.at(0);
    QCOMPARE(open.kind, ScriptedDialogs::Kind::Open);
    QCOMPARE(open.request.title, QStringLiteral("Dateien von sämtlichen Messungen"));
    QCOMPARE(open.request.filter, QStringLiteral("Filetyp Excel(*.csv)|*.csv|All Files (*.*)|*.*"));
    QCOMPARE(open.request.initDir, QStringLiteral("/kept"));
    QVERIFY(open.request.fileName.isEmpty());
    const QList<QStringList> expected{{chosen}};
    QCOMPARE(m_spreadsheet->runs(), expected);
    QCOMPARE(rig.saveTarget, QStringLiteral("last.csv"));
    QCOMPARE(rig.exportEnabled, (QList<bool>{false, true}));
}

void ViewersTest::openEndsQuietly_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("dialog cancelled") << true << QByteArray("x\r\n2\r\nEnglish\r\n");
    QTest::newRow("no settings file") << false << QByteArray();
    QTest::newRow("fewer than three entries") << false << QByteArray("x\r\n2\r\n");
}

void ViewersTest::openEndsQuietly()
{
    QFETCH(bool, cancel);
    QFETCH(QByteArray, settings);
    ViewerRig rig(QStringLiteral("klingon"));
    rig.dialog.DialogTitle = QStringLiteral("earlier title");
    if (!settings.isEmpty())
        writeFile(QStringLiteral("qvx.ini"), settings);
    if (cancel)
        rig.dialogs.cancelDialog();
    else
        rig.dialogs.chooseFile(m_dir->filePath(QStringLiteral("a.csv")));

    rig.viewers.openMeasurement();

    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.dialogs.asked.at(0).request.title, QStringLiteral("earlier title"));
    QCOMPARE(rig.starting.size(), 0);
    QVERIFY(rig.exportEnabled.isEmpty());
    QVERIFY(m_editor->runs().isEmpty());
}

void ViewersTest::eventsAreHandledWhileTheViewerIsOpen()
{
    ViewerRig rig;
    writeSettings(m_spreadsheet->program());
    rig.saveTarget = QStringLiteral("m.csv");

    int ticks = 0;
    bool disabledWhileOpen = false;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 5) {
            disabledWhileOpen = rig.exportEnabled == QList<bool>{false};
            m_spreadsheet->close();
        }
    });
    timer.start();

    rig.viewers.exportToSpreadsheet();

    QVERIFY(ticks >= 5);
    QVERIFY(disabledWhileOpen);
    QCOMPARE(rig.ended.size(), 1);
    QCOMPARE(m_spreadsheet->runs().size(), 1);
}

void ViewersTest::viewerStartedWhileWaitingNestsInside()
{
    ViewerRig rig;
    writeSettings(m_spreadsheet->program());
    rig.saveTarget = QStringLiteral("outer.csv");
    const QString inner = m_dir->filePath(QStringLiteral("inner.csv"));
    rig.dialogs.chooseFile(inner);

    // Once the outer viewer runs, the user opens a second file; the outer
    // viewer is closed first, the inner one later.
    StandInViewer innerViewer(m_dir->path(), QStringLiteral("inner viewer"));
    QObject::connect(&rig.viewers, &Viewers::viewerStarting, [&](const QString &, const QString &argument) {
        if (argument == QLatin1String("outer.csv")) {
            QTimer::singleShot(0, [&] {
                writeSettings(innerViewer.program());
                rig.viewers.openMeasurement();
            });
        } else {
            QTimer::singleShot(0, [&] {
                m_spreadsheet->close();
                QTimer::singleShot(50, [&] { innerViewer.close(); });
            });
        }
    });

    rig.viewers.exportToSpreadsheet();

    QCOMPARE(rig.ended.size(), 2);
    QCOMPARE(rig.ended.at(0).at(1).toString(), inner);
    QCOMPARE(rig.ended.at(1).at(1).toString(), QStringLiteral("outer.csv"));
    QCOMPARE(innerViewer.runs(), (QList<QStringList>{{inner}}));
    QCOMPARE(rig.exportEnabled, (QList<bool>{false, false, true, true}));
    QVERIFY(rig.saveTarget.isEmpty());
    innerViewer.close();
}

QTEST_MAIN(ViewersTest)
#include "tst_viewers.moc"
