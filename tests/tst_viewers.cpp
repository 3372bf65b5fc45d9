// The program runner, the shell start and the viewer commands, with a real
// stand-in viewer program started for every run.

#include "ProcessRunner.h"
#include "DesktopHandlers.h"
#include "FileDialog.h"
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

/// Writes an executable shell script.
void writeScript(const QString &path, const QByteArray &body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

/// The environment variables of the desktop database that the tests replace.
const char *const xdgVariables[] = {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                                    "XDG_CURRENT_DESKTOP"};

} // namespace

/// Everything a viewer command needs, wired as the main window wires it.
struct ViewerRig
{
    explicit ViewerRig(const QString &language = QString())
    {
        settings.language = languageFromText(language);
    }

    /// The settings file of the current directory, read as start-up reads it
    /// (the language of the rig kept).
    void readSettings()
    {
        const Language language = settings.language;
        settings = SettingsFile(QDir::currentPath()).readAtStartUp();
        settings.language = language;
    }

    Settings settings;
    QString saveTarget;
    ScriptedDialogs dialogs;
    FileDialog dialog{dialogs};
    QList<bool> exportEnabled;   // every change of the export entry
    Viewers viewers{settings, saveTarget, dialogs, dialog, [this](bool on) { exportEnabled << on; }};
    QSignalSpy starting{&viewers, &Viewers::viewerStarting};
    QSignalSpy ended{&viewers, &Viewers::viewerEnded};
};

class ViewersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void documentsAreNeverRun_data();
    void documentsAreNeverRun();

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

    void desktopEntryIsChosenAsTheDesktopWould_data();
    void desktopEntryIsChosenAsTheDesktopWould();
    void execLineBecomesTheCommand_data();
    void execLineBecomesTheCommand();
    void helpWithoutAnyViewerSaysSoOnce_data();
    void helpWithoutAnyViewerSaysSoOnce();
    void helpWithoutTheManualSaysWhereItLooked();
    void helpStartsTheDesktopEntryWithoutXdgOpen();
    void openWithoutAnyViewerSaysSoOnce_data();
    void openWithoutAnyViewerSaysSoOnce();

private:
    /// A desktop entry `id` in the test's system data folder.
    void addDesktopEntry(const QString &id, const QString &mimeTypes, const QString &exec,
                         const QByteArray &extra = QByteArray());
    /// A mimeapps.list in the test's user configuration folder.
    void writeMimeapps(const QByteArray &text);

    QTemporaryDir *m_dir = nullptr;
    QString m_previousDir;
    QByteArray m_previousPath;
    StandInViewer *m_spreadsheet = nullptr;
    StandInViewer *m_editor = nullptr;
    QHash<QByteArray, QByteArray> m_previousXdg;
    /// The MIME type database of the system, alone, in a folder of its
    /// own that lasts the whole run (Qt looks for it in $XDG_DATA_DIRS and
    /// keeps that folder for a few seconds).
    QTemporaryDir m_mimeShare;
};

void ViewersTest::initTestCase()
{
    QVERIFY(m_mimeShare.isValid());
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &folder : system.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QFileInfo::exists(folder + QStringLiteral("/mime/mime.cache"))) {
            QVERIFY(QFile::link(folder + QStringLiteral("/mime"), m_mimeShare.filePath(QStringLiteral("mime"))));
            break;
        }
    }
}

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
    // A desktop database of the test's own, empty until a test fills it.
    m_previousXdg.clear();
    for (const char *name : xdgVariables) {
        if (qEnvironmentVariableIsSet(name))
            m_previousXdg.insert(name, qgetenv(name));
        qunsetenv(name);
    }
    const QDir xdg(m_dir->filePath(QStringLiteral("xdg")));
    for (const char *folder : {"data/applications", "system/applications", "config", "etc"})
        QVERIFY(xdg.mkpath(QLatin1String(folder)));
    qputenv("XDG_DATA_HOME", xdg.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", (xdg.filePath(QStringLiteral("system")) + QLatin1Char(':') + m_mimeShare.path()).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", xdg.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", xdg.filePath(QStringLiteral("etc")).toLocal8Bit());
}

void ViewersTest::addDesktopEntry(const QString &id, const QString &mimeTypes, const QString &exec,
                                  const QByteArray &extra)
{
    writeFile(m_dir->filePath(QStringLiteral("xdg/system/applications/") + id),
              "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\nName[de]=x\nExec=" + exec.toUtf8()
                  + "\nMimeType=" + mimeTypes.toUtf8() + "\n" + extra);
}

void ViewersTest::writeMimeapps(const QByteArray &text)
{
    writeFile(m_dir->filePath(QStringLiteral("xdg/config/mimeapps.list")), text);
}

void ViewersTest::cleanup()
{
    // Let any stand-in still waiting end.
    m_spreadsheet->close();
    m_editor->close();
    delete m_spreadsheet;
    delete m_editor;
    qputenv("PATH", m_previousPath);
    for (const char *name : xdgVariables) {
        if (m_previousXdg.contains(name))
            qputenv(name, m_previousXdg.value(name));
        else
            qunsetenv(name);
    }
    QDir::setCurrent(m_previousDir);
    delete m_dir;
}

void ViewersTest::documentsAreNeverRun_data()
{
    QTest::addColumn<QString>("name");   // an executable script of that name

    QTest::newRow("manual with the execute bit") << "Quendrel.pdf";
    QTest::newRow("a program is still a document") << "tool";
}

void ViewersTest::documentsAreNeverRun()
{
    QFETCH(QString, name);

    StandInViewer opener(m_dir->filePath(QStringLiteral("bin")), QStringLiteral("xdg-open"));
    opener.close();
    addDesktopEntry(QStringLiteral("viewer.desktop"),
                    QStringLiteral("application/pdf;text/csv;application/x-shellscript;"), m_editor->program());
    StandInViewer file(m_dir->path(), name);
    file.close();   // a run would end as soon as it has recorded itself

    QCOMPARE(programs::openDocument(file.program()), programs::OpenResult::Started);
    QTRY_COMPARE(opener.runs(), QList<QStringList>{{file.program()}});
    QTest::qWait(300);
    QVERIFY(file.runs().isEmpty());
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
    rig.readSettings();
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
    rig.readSettings();
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
    rig.readSettings();

    toEditor ? rig.viewers.exportToNotepad() : rig.viewers.exportToSpreadsheet();

    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.dialogs.asked.at(0).text, text);
    QCOMPARE(rig.dialogs.asked.at(0).style, BoxStyle(Buttons::OkCancel));
    QVERIFY(rig.dialogs.asked.at(0).title.isEmpty());
    QCOMPARE(rig.starting.size(), 0);
    QVERIFY(rig.exportEnabled.isEmpty());
}

void ViewersTest::openShowsChosenFileAndKeepsSaveTarget()
{
    ViewerRig rig(QStringLiteral("Deutsch"));
    rig.saveTarget = QStringLiteral("last.csv");
    // A save dialog shown before, in a folder of its own.
    rig.dialogs.cancelDialog();
    QVERIFY(rig.dialog.getSaveFileName(QStringLiteral("save"), {}, QStringLiteral("/kept")).isNull());
    rig.dialogs.asked.clear();
    writeSettings(m_spreadsheet->program());
    rig.readSettings();
    const QString chosen = m_dir->filePath(QStringLiteral("chosen one.csv"));
    rig.dialogs.chooseFile(chosen);
    m_spreadsheet->close();

    rig.viewers.openMeasurement();

    const ScriptedDialogs::Asked open = rig.dialogs.asked.at(0);
    QCOMPARE(open.kind, ScriptedDialogs::Kind::Open);
    QCOMPARE(open.request.title, QStringLiteral("Dateien von sämtlichen Messungen"));
    QCOMPARE(open.request.filters, FileFilters({{QStringLiteral("Filetyp Excel(*.csv)"), {QStringLiteral("*.csv")}},
                                                {QStringLiteral("All Files (*.*)"), {QStringLiteral("*.*")}}}));
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
    rig.dialogs.cancelDialog();
    rig.dialog.getSaveFileName(QStringLiteral("earlier title"), {});
    rig.dialogs.asked.clear();
    if (!settings.isEmpty())
        writeFile(QStringLiteral("qvx.ini"), settings);
    rig.readSettings();
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
    rig.readSettings();
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
    rig.readSettings();
    rig.saveTarget = QStringLiteral("outer.csv");
    const QString inner = m_dir->filePath(QStringLiteral("inner.csv"));
    rig.dialogs.chooseFile(inner);

    // Once the outer viewer runs, the user opens a second file; the outer
    // viewer is closed first, the inner one later.
    StandInViewer innerViewer(m_dir->path(), QStringLiteral("inner viewer"));
    QObject::connect(&rig.viewers, &Viewers::viewerStarting, [&](const QString &, const QString &argument) {
        if (argument == QLatin1String("outer.csv")) {
            QTimer::singleShot(0, [&] {
                // The inner file goes to a viewer of its own.
                rig.settings.spreadsheetPath = innerViewer.program();
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

void ViewersTest::desktopEntryIsChosenAsTheDesktopWould_data()
{
    QTest::addColumn<QByteArray>("mimeapps");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");   // desktop id, "" for none
    QTest::addColumn<QString>("type");

    QTest::newRow("listed entries in name order") << QByteArray() << "a.pdf" << "a-viewer.desktop" << "application/pdf";
    QTest::newRow("the user's default first")
        << QByteArray("[Default Applications]\napplication/pdf=b-viewer.desktop;\n") << "a.pdf" << "b-viewer.desktop"
        << "application/pdf";
    QTest::newRow("a default that is not installed is passed over")
        << QByteArray("[Default Applications]\napplication/pdf=gone.desktop;b-viewer.desktop\n") << "a.pdf"
        << "b-viewer.desktop" << "application/pdf";
    QTest::newRow("added association")
        << QByteArray("[Added Associations]\napplication/pdf=editor.desktop;\n") << "a.pdf" << "editor.desktop"
        << "application/pdf";
    QTest::newRow("removed association")
        << QByteArray("[Removed Associations]\napplication/pdf=a-viewer.desktop;\n") << "a.pdf" << "b-viewer.desktop"
        << "application/pdf";
    QTest::newRow("entry whose program is missing") << QByteArray() << "a.odt" << "" << "";
    QTest::newRow("hidden entry") << QByteArray() << "a.png" << "" << "";
    QTest::newRow("CSV opened as text") << QByteArray() << "m.csv" << "editor.desktop" << "text/plain";
    QTest::newRow("nothing for the type") << QByteArray() << "a.zip" << "" << "";
}

void ViewersTest::desktopEntryIsChosenAsTheDesktopWould()
{
    QFETCH(QByteArray, mimeapps);
    QFETCH(QString, file);
    QFETCH(QString, expected);
    QFETCH(QString, type);
    const QString viewer = m_spreadsheet->program();
    addDesktopEntry(QStringLiteral("a-viewer.desktop"), QStringLiteral("application/pdf;"), QLatin1Char('"') + viewer + QStringLiteral("\" %f"));
    addDesktopEntry(QStringLiteral("b-viewer.desktop"), QStringLiteral("application/pdf;"), QLatin1Char('"') + viewer + QStringLiteral("\" %U"));
    addDesktopEntry(QStringLiteral("editor.desktop"), QStringLiteral("text/plain;"), QStringLiteral("gedit %F"));
    addDesktopEntry(QStringLiteral("writer.desktop"), QStringLiteral("application/vnd.oasis.opendocument.text;"),
                    QStringLiteral("no-such-writer %U"));
    addDesktopEntry(QStringLiteral("hidden.desktop"), QStringLiteral("image/png;"), QStringLiteral("gedit %f"),
                    "Hidden=true\n");
    if (!mimeapps.isEmpty())
        writeMimeapps(mimeapps);
    writeFile(file, "x");

    const std::optional<programs::DocumentHandler> handler = programs::documentHandler(file);
    QCOMPARE(handler.has_value(), !expected.isEmpty());
    if (handler) {
        QCOMPARE(handler->desktopId, expected);
        QCOMPARE(handler->mimeType, type);
    }
}

void ViewersTest::execLineBecomesTheCommand_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QStringList>("command");   // FILE and URL stand for the file
    QTest::newRow("file code") << "evince %f" << QStringList{"evince", "FILE"};
    QTest::newRow("url code") << "okular --unique %U" << QStringList{"okular", "--unique", "URL"};
    QTest::newRow("no code: file appended") << "viewer -x" << QStringList{"viewer", "-x", "FILE"};
    QTest::newRow("quoted program with a blank")
        << R"("/opt/my viewer/run" --a "b \"c\"" %F)" << QStringList{"/opt/my viewer/run", "--a", "b \"c\"", "FILE"};
    QTest::newRow("icon and other codes dropped, %% kept")
        << "app %i %c %k --rate=50%% %f" << QStringList{"app", "--rate=50%", "FILE"};
    QTest::newRow("code inside a word") << "app --file=%f" << QStringList{"app", "--file=FILE"};
    QTest::newRow("escaped blank of the value separates") << R"(my\sapp %f)" << QStringList{"my", "app", "FILE"};
    QTest::newRow("escaped backslash in quotes") << R"("a\\\\b" %f)" << QStringList{"a\\b", "FILE"};
    QTest::newRow("empty") << "" << QStringList();
}

void ViewersTest::execLineBecomesTheCommand()
{
    QFETCH(QString, exec);
    QFETCH(QStringList, command);
    const QString file = m_dir->filePath(QStringLiteral("a b.pdf"));
    for (QString &word : command) {
        word.replace(QLatin1String("FILE"), file);
        word.replace(QLatin1String("URL"), QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded));
    }
    QCOMPARE(programs::handlerCommand(exec, file), command);
}

void ViewersTest::helpWithoutAnyViewerSaysSoOnce_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<bool>("opener");   // a stand-in xdg-open on the search path

    QTest::newRow("Deutsch") << "Deutsch" << "Kein Programm kann das Handbuch anzeigen:"
        << "Bitte einen PDF-Betrachter installieren (zum Beispiel Evince oder Okular)." << true;
    QTest::newRow("English") << "English" << "No program can show the manual:"
        << "Please install a PDF viewer (for example Evince or Okular)." << true;
    QTest::newRow("Francais") << "Francais" << QStringLiteral("Aucun programme ne peut afficher le manuel :")
        << "Veuillez installer un lecteur PDF (par exemple Evince ou Okular)." << true;
    QTest::newRow("English, no xdg-open either") << "English" << "No program can show the manual:"
        << "Please install a PDF viewer (for example Evince or Okular)." << false;
    QTest::newRow("other language: English") << "klingon" << "No program can show the manual:"
        << "Please install a PDF viewer (for example Evince or Okular)." << true;
}

void ViewersTest::helpWithoutAnyViewerSaysSoOnce()
{
    QFETCH(QString, language);
    QFETCH(QString, first);
    QFETCH(QString, advice);
    QFETCH(bool, opener);
    StandInViewer xdgOpen(m_dir->filePath(opener ? QStringLiteral("bin") : QString()), QStringLiteral("xdg-open"));
    xdgOpen.close();
    if (!opener)
        qputenv("PATH", m_dir->filePath(QStringLiteral("nothing")).toLocal8Bit());
    writeFile(QStringLiteral("Quendrel.pdf"), "%PDF-1.4\n");
    ViewerRig rig(language);

    rig.viewers.showManual(m_dir->filePath(QStringLiteral("program")));

    const QString manual = m_dir->filePath(QStringLiteral("Quendrel.pdf"));
    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.dialogs.asked.at(0).kind, ScriptedDialogs::Kind::Message);
    QCOMPARE(rig.dialogs.asked.at(0).text, first + "\r\n" + manual + "\r\n" + advice);
    QCOMPARE(rig.dialogs.asked.at(0).style, (Buttons::Ok | Icon::Warning));
    QTest::qWait(200);
    QVERIFY(xdgOpen.runs().isEmpty());
}

void ViewersTest::helpWithoutTheManualSaysWhereItLooked()
{
    ViewerRig rig(QStringLiteral("Deutsch"));
    const QString program = m_dir->filePath(QStringLiteral("prefix/bin"));

    rig.viewers.showManual(program);

    QCOMPARE(rig.dialogs.messages().size(), 1);
    QCOMPARE(rig.dialogs.asked.at(0).text,
             QStringLiteral("Das Handbuch Quendrel.pdf wurde nicht gefunden, gesucht in:\r\n")
                 + m_dir->filePath(QStringLiteral("prefix/share/doc/quendrel2-datarecorder")) + "\r\n" + program
                 + "\r\n" + m_dir->path());
}

void ViewersTest::helpStartsTheDesktopEntryWithoutXdgOpen()
{
    // No xdg-open (a minimal system without xdg-utils): the desktop entry's
    // own command shows the manual.
    qputenv("PATH", m_dir->filePath(QStringLiteral("nothing")).toLocal8Bit());
    addDesktopEntry(QStringLiteral("org.example.Viewer.desktop"), QStringLiteral("application/pdf;"),
                    QLatin1Char('"') + m_spreadsheet->program() + QStringLiteral("\" --page 1 %U"));
    const QString folder = m_dir->filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(folder));
    const QString manual = QDir(folder).filePath(QStringLiteral("Quendrel.pdf"));
    writeFile(manual, "%PDF-1.4\n");
    m_spreadsheet->close();
    ViewerRig rig(QStringLiteral("English"));

    rig.viewers.showManual(folder);

    const QList<QStringList> expected{{"--page", "1", QUrl::fromLocalFile(manual).toString(QUrl::FullyEncoded)}};
    QTRY_COMPARE(m_spreadsheet->runs(), expected);
    QVERIFY(rig.dialogs.asked.isEmpty());
}

void ViewersTest::openWithoutAnyViewerSaysSoOnce_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("setting");    // the spreadsheet program of the settings
    QTest::addColumn<QString>("path");       // search path: "none", "opener", "failing opener"
    QTest::addColumn<bool>("viaOpen");       // Open, else the export of the last saved file
    QTest::addColumn<QString>("why");

    const QString noProgram = QStringLiteral("No program for this kind of file is installed.");
    QTest::newRow("no editor, no xdg-open") << "English" << "WRITE" << "none" << true << noProgram;
    QTest::newRow("xdg-open without a program for CSV") << "English" << "WRITE" << "opener" << true << noProgram;
    QTest::newRow("export: xdg-open without a program") << "English" << "" << "opener" << false << noProgram;
    QTest::newRow("xdg-open that fails") << "English" << "WRITE" << "failing opener" << true << noProgram;
    QTest::newRow("spreadsheet of the settings missing")
        << "English" << "localc" << "none" << true << "The program \"localc\" could not be started.";
    QTest::newRow("Deutsch") << "Deutsch" << "localc" << "none" << false
        << QStringLiteral("Das Programm \"localc\" ließ sich nicht starten.");
    QTest::newRow("Francais") << "Francais" << "WRITE" << "none" << true
        << QStringLiteral("Aucun programme n'est installé pour ce type de fichier.");
}

void ViewersTest::openWithoutAnyViewerSaysSoOnce()
{
    QFETCH(QString, language);
    QFETCH(QString, setting);
    QFETCH(QString, path);
    QFETCH(bool, viaOpen);
    QFETCH(QString, why);
    // Only what the row names is on the search path: no text editor.
    const QString bin = m_dir->filePath(QStringLiteral("only"));
    QVERIFY(QDir().mkpath(bin));
    qputenv("PATH", bin.toLocal8Bit());
    const QString opened = m_dir->filePath(QStringLiteral("opened"));
    if (path == QLatin1String("opener"))
        writeScript(QDir(bin).filePath(QStringLiteral("xdg-open")), "echo \"$@\" >> '" + opened.toLocal8Bit() + "'\n");
    if (path == QLatin1String("failing opener")) {
        // The desktop knows a program for text, but xdg-open finds none.
        writeScript(QDir(bin).filePath(QStringLiteral("xdg-open")),
                    "echo \"$@\" >> '" + opened.toLocal8Bit() + "'\necho 'xdg-open: no method available' >&2\nexit 3\n");
        addDesktopEntry(QStringLiteral("text.desktop"), QStringLiteral("text/plain;"), QStringLiteral("/bin/cat %f"));
    }
    writeSettings(setting);
    const QString file = m_dir->filePath(QStringLiteral("my measurement.csv"));
    writeFile(file, "1;2\r\n");
    ViewerRig rig(language);
    rig.readSettings();

    if (viaOpen) {
        rig.dialogs.chooseFile(file);
        rig.viewers.openMeasurement();
    } else {
        rig.saveTarget = file;
        rig.viewers.exportToSpreadsheet();
    }

    const QList<ScriptedDialogs::Asked> messages = rig.dialogs.messages();
    QCOMPARE(messages.size(), 1);
    const QStringList lines = messages.at(0).text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(1), file);
    QCOMPARE(lines.at(2), why);
    QVERIFY2(lines.at(3).contains(QLatin1String("LibreOffice Calc")), qPrintable(lines.at(3)));
    QCOMPARE(messages.at(0).style, (Buttons::Ok | Icon::Warning));
    QCOMPARE(rig.exportEnabled, (QList<bool>{false, true}));
    // xdg-open is only asked when the desktop has a program for the file.
    QCOMPARE(QFile::exists(opened), path == QLatin1String("failing opener"));
}

QTEST_MAIN(ViewersTest)
#include "tst_viewers.moc"
