// Saving a measurement: the CSV name, the copy, the overwrite question and
// what a failed save leaves behind.

#include "DurableFile.h"
#include "FilePaths.h"
#include "MeasurementRig.h"
#include "SaveName.h"

#include <QCoreApplication>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/stat.h>
#include <sys/mount.h>
#include <unistd.h>

using Kind = ScriptedDialogs::Kind;

class TestSave : public QObject
{
    Q_OBJECT

private slots:
    void csvNameChangesOnlyTheFileName_data();
    void csvNameChangesOnlyTheFileName();
    void saveCopiesByteForByteAndStartsAnew();
    void saveWritesWhereChosen_data();
    void saveWritesWhereChosen();
    void textsFollowTheLanguage_data();
    void textsFollowTheLanguage();
    void overwriteQuestionConcernsTheNameAsTyped_data();
    void overwriteQuestionConcernsTheNameAsTyped();
    void answeringNoShowsTheDialogAgain_data();
    void answeringNoShowsTheDialogAgain();
    void cancelledDialogLeavesTheRecordingRunning();
    void failedCopyIsReportedAndKeepsTheData();
    void failedNewWorkingFileIsReported();
    void fullDiskIsReportedWithTheFileAndTheReason();
    void linksAreNeverWrittenThroughSilently_data();
    void linksAreNeverWrittenThroughSilently();
    void failedDeleteIsReportedAndTheNextMeasurementStandsAlone_data();
    void failedDeleteIsReportedAndTheNextMeasurementStandsAlone();
    void saveNeedsNoNameBesideTheTarget_data();
    void saveNeedsNoNameBesideTheTarget();
};

void TestSave::csvNameChangesOnlyTheFileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");

    QTest::newRow("plain") << "Messung1" << "Messung1.csv";
    QTest::newRow("suffix") << "Messung1.csv" << "Messung1.csv";
    QTest::newRow("upper-case suffix") << "Messung1.CSV" << "Messung1.csv";
    QTest::newRow("two dots") << "a.b.csv" << "ab.csv";
    QTest::newRow("mixed-case suffix stays") << "data.Csv" << "dataCsv.csv";
    QTest::newRow("suffix without dot") << "datacsv" << "data.csv";
    QTest::newRow("other suffix") << "data.txt" << "datatxt.csv";
    QTest::newRow("folder with dots") << "/home/u/run.2/a.b.csv" << "/home/u/run.2/ab.csv";
    QTest::newRow("folder named csv") << "/data/csv/Messung1" << "/data/csv/Messung1.csv";
    QTest::newRow("dotted folder, bare name") << "/x.y/data" << "/x.y/data.csv";
    QTest::newRow("name only the suffix") << "/tmp/.csv" << "/tmp/.csv";
}

void TestSave::csvNameChangesOnlyTheFileName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(savename::csvName(chosen), saved);
}

void TestSave::saveCopiesByteForByteAndStartsAnew()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QByteArray data;
    for (int i = 32; i < 256; ++i)
        data.append(char(i));
    data.append("\r12.5 3 4 5\r");
    QVERIFY(rig.record(data, false));
    const QByteArray recorded = MeasurementRig::contents(QStringLiteral("Vindo.qvx"));
    QCOMPARE(recorded, rig.recorded(QByteArray(data).replace("\r", "\r\n")));

    // Saved from the menu while the measurement runs.
    const QString chosen = rig.path(QStringLiteral("Messung1"));
    rig.saveAs(chosen);

    QCOMPARE(MeasurementRig::contents(chosen + QStringLiteral(".csv")), recorded);
    QCOMPARE(rig.prompts.saveTarget(), chosen + QStringLiteral(".csv"));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray());
    QVERIFY(rig.workFile.isOpen());
    QVERIFY(!rig.measurement.hasUnsavedData());
    QCOMPARE(rig.calls, QStringList({"refreshFileList"}));
    QVERIFY(rig.measurement.isPortOpen());
    QCOMPARE(rig.measurement.state(), Measurement::State::Measuring);
    QCOMPARE(rig.dialogs.messages().size(), 0);

    // The dialog was set up for a CSV file in the program's folder.
    const FileDialogRequest request = rig.dialogs.asked.first().request;
    QCOMPARE(request.filters, FileFilters({{QStringLiteral("Filetyp Excel(*.csv)"), {QStringLiteral("*.csv")}}}));
    QCOMPARE(request.initDir, QCoreApplication::applicationDirPath());
    QCOMPARE(request.fileName, QString());

    // The next measurement began: its first block is its notes header, and
    // what follows goes to the new working file only.
    QVERIFY(rig.start());
    QVERIFY(rig.send("next"));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("next"));
    QVERIFY(rig.head.contains("Notes :  "));
    QCOMPARE(MeasurementRig::contents(chosen + QStringLiteral(".csv")), recorded);
}

void TestSave::saveWritesWhereChosen_data()
{
    QTest::addColumn<QString>("workName");   // spelling of the working file on disk
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");

    QTest::newRow("working file in lower case") << "vindo.qvx" << "run" << "run.csv";
    QTest::newRow("folder with a dot") << "Vindo.qvx" << "run.2/a.b.csv" << "run.2/ab.csv";
}

void TestSave::saveWritesWhereChosen()
{
    QFETCH(QString, workName);
    QFETCH(QString, chosen);
    QFETCH(QString, written);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(QDir().mkdir(QStringLiteral("run.2")));
    MeasurementRig::put(workName, QByteArray());
    QVERIFY(rig.record("measured", false));

    rig.saveAs(rig.path(chosen));

    QCOMPARE(MeasurementRig::contents(rig.path(written)), rig.recorded("measured"));
    QCOMPARE(rig.prompts.saveTarget(), rig.path(written));
    QCOMPARE(rig.dialogs.messages().size(), 0);
    QCOMPARE(QDir().entryList({QStringLiteral("*.qvx")}, QDir::Files, QDir::IgnoreCase),
             QStringList{QStringLiteral("Vindo.qvx")});
    QVERIFY(rig.workFile.isOpen());
    QVERIFY(rig.measurement.isPortOpen());
}

void TestSave::textsFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("Deutsch") << "Deutsch" << QStringLiteral("Möchten Sie die Messung Speichern ?")
                             << "Soll die Datei  " << QStringLiteral(" überschreiben ?? ");
    // A question that decides about data always has its text: English
    // where the language is unknown; the dialog keeps its own title.
    QTest::newRow("lower case matches none") << "english" << ""
                                             << "Do you want to replace the file  " << " ";
}

void TestSave::textsFollowTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, title);
    QFETCH(QString, before);
    QFETCH(QString, after);

    MeasurementRig rig(language);
    QVERIFY(rig.ready());
    QVERIFY(rig.record("x", false));
    const QString chosen = rig.path(QStringLiteral("old.csv"));
    MeasurementRig::put(chosen, "old");

    rig.saveAs(chosen, {Answer::Yes});

    QCOMPARE(rig.dialogs.asked.size(), 2);
    QCOMPARE(rig.dialogs.asked[0].title, title);
    const auto question = rig.dialogs.asked[1];
    QCOMPARE(question.text, before + chosen + after);
    QCOMPARE(question.style, (Icon::Question | Buttons::YesNo));
    QCOMPARE(question.title, QString());
}

void TestSave::overwriteQuestionConcernsTheNameAsTyped_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("asked");   // the names the questions concern, in order
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("folder");   // measured in this subfolder (its name's bytes), if any

    QTest::newRow("dotted name asks about itself") << QStringList{"a.b.csv"} << "a.b.csv" << QStringList{"a.b.csv"} << "ab.csv"
                                                   << QByteArray();
    QTest::newRow("bare name asks about the file it replaces")
        << QStringList{"data.csv"} << "data" << QStringList{"data.csv"} << "data.csv" << QByteArray();
    QTest::newRow("normalised target exists") << QStringList{"ab.csv"} << "a.b.csv" << QStringList{"ab.csv"} << "ab.csv"
                                              << QByteArray();
    QTest::newRow("typed and final name exist")
        << QStringList{"a.b.csv", "ab.csv"} << "a.b.csv" << QStringList{"a.b.csv", "ab.csv"} << "ab.csv" << QByteArray();
    QTest::newRow("final name is the typed one") << QStringList{"data.csv"} << "data.csv" << QStringList{"data.csv"}
                                                 << "data.csv" << QByteArray();
    // The dialog spells a folder whose name is not UTF-8 as Qt does.
    QTest::newRow("folder not UTF-8, bare name") << QStringList{"data.csv"} << "data" << QStringList{"data.csv"}
                                                 << "data.csv" << QByteArray("Messung-\xe4");
    QTest::newRow("folder not UTF-8, both names exist")
        << QStringList{"a.b.csv", "ab.csv"} << "a.b.csv" << QStringList{"a.b.csv", "ab.csv"} << "ab.csv"
        << QByteArray("\xff run");
}

void TestSave::overwriteQuestionConcernsTheNameAsTyped()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, chosen);
    QFETCH(QStringList, asked);
    QFETCH(QString, written);
    QFETCH(QByteArray, folder);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QString shownFolder = QFileInfo(rig.path(QStringLiteral("x"))).path();
    if (!folder.isEmpty()) {
        const QByteArray inside = QFile::encodeName(shownFolder) + '/' + folder;
        QVERIFY(::mkdir(inside.constData(), 0700) == 0 && ::chdir(inside.constData()) == 0);
        shownFolder += QLatin1Char('/') + displayedName(folder);
    }
    for (const QString &name : std::as_const(existing))
        MeasurementRig::put(name, "old content that is longer");
    QVERIFY(rig.record("new", false));

    rig.saveAs(QDir::currentPath() + QLatin1Char('/') + chosen, QList<Answer>(asked.size(), Answer::Yes));

    const auto messages = rig.dialogs.messages();
    QCOMPARE(messages.size(), asked.size());
    for (int i = 0; i < asked.size(); ++i)
        QCOMPARE(messages[i].text, QStringLiteral("Do you want to replace the file  ") + shownFolder + QLatin1Char('/')
                                       + asked[i] + QLatin1Char(' '));
    QVERIFY(!rig.dialogs.isAsking());
    QCOMPARE(MeasurementRig::contents(written), rig.recorded("new"));
}

void TestSave::answeringNoShowsTheDialogAgain_data()
{
    QTest::addColumn<QString>("existing");     // the file the questions are about
    QTest::addColumn<QString>("typed");        // typed in the dialog each time
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QString>("lastChoice");
    QTest::addColumn<QString>("written");

    QTest::newRow("No, then Yes") << "a.b.csv" << "a.b.csv" << QList<Answer>{Answer::No, Answer::Yes} << "a.b.csv"
                                  << "ab.csv";
    QTest::newRow("No twice, then a new name")
        << "a.b.csv" << "a.b.csv" << QList<Answer>{Answer::No, Answer::No} << "other" << "other.csv";
    QTest::newRow("final name: No, then Yes")
        << "data.csv" << "data" << QList<Answer>{Answer::No, Answer::Yes} << "data" << "data.csv";
    QTest::newRow("final name: No, then a new name")
        << "data.csv" << "data" << QList<Answer>{Answer::No} << "other" << "other.csv";
}

void TestSave::answeringNoShowsTheDialogAgain()
{
    QFETCH(QString, existing);
    QFETCH(QString, typed);
    QFETCH(QList<Answer>, answers);
    QFETCH(QString, lastChoice);
    QFETCH(QString, written);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    const QString existingPath = rig.path(existing);
    MeasurementRig::put(existingPath, "kept");
    QVERIFY(rig.record("measured", false));

    // Each No shows the dialog again, and the earlier file is untouched
    // while it is open.
    rig.prompts.saveMeasurement();
    QList<Kind> expected;
    for (int i = 0; i < answers.size(); ++i) {
        QVERIFY(rig.waitForQuestion());
        QCOMPARE(rig.dialogs.question().kind, Kind::Save);
        if (i > 0)
            QCOMPARE(MeasurementRig::contents(existingPath), QByteArray("kept"));
        rig.replyFile(rig.path(typed));
        QVERIFY(rig.waitForQuestion());
        QCOMPARE(rig.dialogs.question().kind, Kind::Message);
        rig.reply(answers[i]);
        expected << Kind::Save << Kind::Message;
    }
    if (answers.last() == Answer::No) {
        QVERIFY(rig.waitForQuestion());
        QCOMPARE(MeasurementRig::contents(existingPath), QByteArray("kept"));
        rig.replyFile(rig.path(lastChoice));
        expected << Kind::Save;
    }
    rig.settle();

    QList<Kind> kinds;
    for (const auto &a : rig.dialogs.asked)
        kinds << a.kind;
    QCOMPARE(kinds, expected);
    QVERIFY(!rig.dialogs.isAsking());
    QCOMPARE(MeasurementRig::contents(rig.path(written)), rig.recorded("measured"));
    QCOMPARE(MeasurementRig::contents(existingPath),
             written == existing ? rig.recorded("measured") : QByteArray("kept"));
    // Saved once.
    QCOMPARE(rig.calls, QStringList({"refreshFileList"}));
    QVERIFY(rig.measurement.isPortOpen());
}

void TestSave::cancelledDialogLeavesTheRecordingRunning()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("first ", false));
    rig.prompts.saveTarget() = QStringLiteral("earlier.csv");

    // The measurement goes on while the dialog is open.
    rig.prompts.saveMeasurement();
    QVERIFY(rig.waitForQuestion());
    QVERIFY(rig.send("while asked "));
    rig.replyFile(QString());

    QCOMPARE(rig.prompts.saveTarget(), QStringLiteral("earlier.csv"));
    QVERIFY(rig.calls.isEmpty());
    QVERIFY(rig.measurement.isPortOpen());
    QVERIFY(rig.workFile.isOpen());
    QVERIFY(rig.send("second"));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("first while asked second"));
}

void TestSave::failedCopyIsReportedAndKeepsTheData()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("precious", false));
    rig.prompts.saveTarget() = QStringLiteral("earlier.csv");

    rig.saveAs(rig.path(QStringLiteral("no-such-folder/run")));

    QVERIFY(rig.waitForQuestion());
    const auto told = rig.dialogs.question();
    QCOMPARE(told.style, BoxStyle(Icon::Warning));
    QVERIFY2(told.text.contains(QStringLiteral("run.csv")), qPrintable(told.text));
    QCOMPARE(rig.measurement.error(), Measurement::Error::SaveFailed);
    rig.reply(Answer::Ok);
    // Recording goes on into the same file: nothing received is lost.
    QVERIFY(rig.send(" and more"));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("precious and more"));
    QCOMPARE(rig.prompts.saveTarget(), QStringLiteral("earlier.csv"));
    QVERIFY(rig.calls.isEmpty());
    QCOMPARE(rig.measurement.state(), Measurement::State::Measuring);
}

void TestSave::failedNewWorkingFileIsReported()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("saved anyway", true));
    // While the file list refreshes, the working file is moved away and its
    // name turns into a link to a folder that does not exist, so no new
    // working file can be made.
    rig.onRefresh = [] {
        QFile::rename(QStringLiteral("Vindo.qvx"), QStringLiteral("moved.qvx"));
        QFile::link(QStringLiteral("gone/Vindo.qvx"), QStringLiteral("Vindo.qvx"));
    };
    const QByteArray sent = rig.sentToInstrument();

    rig.reply(Answer::Yes);
    rig.replyFile(rig.path(QStringLiteral("run")));

    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("run.csv"))), rig.recorded("saved anyway"));
    QVERIFY(rig.waitForQuestion());
    QCOMPARE(rig.dialogs.question().style, BoxStyle(Icon::Warning));
    QVERIFY(!rig.dialogs.question().text.isEmpty());
    QVERIFY(!rig.workFile.isOpen());
    // No measurement starts without a file to record into.
    QCOMPARE(rig.calls, QStringList{"refreshFileList"});
    QVERIFY(!rig.measurement.isPortOpen());
    QCOMPARE(rig.measurement.state(), Measurement::State::Idle);
    QVERIFY(!rig.sentToInstrument().mid(sent.size()).contains('\x02'));
}

void TestSave::failedDeleteIsReportedAndTheNextMeasurementStandsAlone_data()
{
    QTest::addColumn<bool>("lockedFile");     // else the folder cannot lose files
    QTest::addColumn<QByteArray>("second");   // what the second save writes

    QTest::newRow("emptied instead") << false << QByteArray("second run");
    QTest::newRow("neither deleted nor emptied") << true << QByteArray();
}

void TestSave::failedDeleteIsReportedAndTheNextMeasurementStandsAlone()
{
    QFETCH(bool, lockedFile);
    QFETCH(QByteArray, second);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("first run", false));
    if (lockedFile ? !rig.lockFile(QStringLiteral("Vindo.qvx")) : !rig.lockFolder())
        QSKIP("this file system cannot protect files from deletion");
    QTemporaryDir saves;
    QVERIFY(saves.isValid());

    rig.saveAs(saves.filePath(QStringLiteral("run1")));

    QCOMPARE(MeasurementRig::contents(saves.filePath(QStringLiteral("run1.csv"))), rig.recorded("first run"));
    // A folder that cannot lose files still lets the file be emptied.
    QCOMPARE(rig.quiet(), !lockedFile);
    if (lockedFile) {
        QCOMPARE(rig.dialogs.question().style, BoxStyle(Icon::Warning));
        QVERIFY2(rig.dialogs.question().text.contains(QStringLiteral("Vindo.qvx")), qPrintable(rig.dialogs.question().text));
        rig.reply(Answer::Ok);
        QVERIFY(!rig.workFile.isOpen());
    } else {
        // The next measurement is recorded on its own.
        QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray());
        QVERIFY(rig.workFile.isOpen());
        QVERIFY(rig.start());
        QVERIFY(rig.send("second run"));
        QCOMPARE(rig.calls, QStringList({"refreshFileList"}));
    }

    // The saved measurement never reappears under the next name.
    rig.saveAs(saves.filePath(QStringLiteral("run2")));
    QCOMPARE(MeasurementRig::contents(saves.filePath(QStringLiteral("run2.csv"))),
             second.isEmpty() ? second : rig.recorded(second));
}

void TestSave::fullDiskIsReportedWithTheFileAndTheReason()
{
    if (::geteuid() != 0)
        QSKIP("needs root to mount a small file system");
    MeasurementRig rig;
    QVERIFY(rig.ready());
    // A file system of 64 kB of its own, seen by this test process only.
    QVERIFY(QDir().mkdir(QStringLiteral("small")));
    const QByteArray small = QFile::encodeName(rig.path(QStringLiteral("small")));
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("tmpfs", small.constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("this machine cannot mount a file system in a private namespace");
    const QByteArray data(200 * 1024, 'x');
    QVERIFY(rig.record(data, false));

    rig.saveAs(rig.path(QStringLiteral("small/run")));
    QVERIFY(rig.waitForQuestion());
    const auto told = rig.dialogs.question();
    ::umount(small.constData());

    QCOMPARE(told.style, BoxStyle(Icon::Warning));
    QVERIFY2(told.text.contains(rig.path(QStringLiteral("small/run.csv"))), qPrintable(told.text));
    QVERIFY2(told.text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(told.text));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded(data));
}

void TestSave::linksAreNeverWrittenThroughSilently_data()
{
    QTest::addColumn<QString>("leadsTo");     // where the chosen name's link leads
    QTest::addColumn<bool>("othersLink");     // the link belongs to another user
    QTest::addColumn<bool>("saved");          // the measurement reaches the link's target

    QTest::newRow("own link to a file elsewhere") << "outside/bashrc" << false << true;
    QTest::newRow("another user's link") << "outside/bashrc" << true << false;
    QTest::newRow("own link that leads nowhere") << "outside/new.csv" << false << true;
    QTest::newRow("link to the working file") << "Vindo.qvx" << false << false;
}

void TestSave::linksAreNeverWrittenThroughSilently()
{
    QFETCH(QString, leadsTo);
    QFETCH(bool, othersLink);
    QFETCH(bool, saved);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(QDir().mkdir(QStringLiteral("outside")));
    MeasurementRig::put(QStringLiteral("outside/bashrc"), "rc");
    QVERIFY(rig.record("measured", false));
    const QString target = rig.path(leadsTo);
    QVERIFY(QFile::link(target, QStringLiteral("result.csv")));
    if (othersLink) {
        if (::geteuid() != 0)
            QSKIP("needs root to make a link that belongs to another user");
        QVERIFY(::lchown("result.csv", 65534, 65534) == 0);
    }

    rig.saveAs(rig.path(QStringLiteral("result.csv")), {Answer::Yes});

    // The question names the file that would really be replaced.
    const auto asked = rig.dialogs.messages();
    QVERIFY(!asked.isEmpty());
    QCOMPARE(asked.first().text, QStringLiteral("Do you want to replace the file  ") + target + QLatin1Char(' '));
    QVERIFY(QFileInfo(QStringLiteral("result.csv")).isSymLink());
    if (saved) {
        QCOMPARE(MeasurementRig::contents(target), rig.recorded("measured"));
        QVERIFY(rig.quiet());
    } else {
        QVERIFY(rig.waitForQuestion());
        QCOMPARE(rig.dialogs.question().style, BoxStyle(Icon::Warning));
        QVERIFY2(rig.dialogs.question().text.contains(rig.path(QStringLiteral("result.csv"))),
                 qPrintable(rig.dialogs.question().text));
        QCOMPARE(MeasurementRig::contents(QStringLiteral("outside/bashrc")), QByteArray("rc"));
        // The measurement is still there, and still recorded.
        QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("measured"));
        QVERIFY(rig.workFile.isOpen());
    }
    QCOMPARE(rig.dialogs.unexpected, 0);
}

void TestSave::saveNeedsNoNameBesideTheTarget_data()
{
    QTest::addColumn<int>("nameLength");      // of the saved file's name
    QTest::addColumn<bool>("plantedNames");   // names a predictable temporary file would take
    QTest::addColumn<bool>("unnamed");        // the file system has files without a name

    QTest::newRow("252 characters") << 252 << false << true;
    QTest::newRow("255 characters") << 255 << false << true;
    QTest::newRow("planted temporary names") << 20 << true << true;
    QTest::newRow("252 characters, named temporary file") << 252 << false << false;
    QTest::newRow("planted temporary names, named temporary file") << 20 << true << false;
}

void TestSave::saveNeedsNoNameBesideTheTarget()
{
    QFETCH(int, nameLength);
    QFETCH(bool, plantedNames);
    QFETCH(bool, unnamed);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(QDir().mkdir(QStringLiteral("saves")));
    QVERIFY(QDir().mkdir(QStringLiteral("outside")));
    MeasurementRig::put(QStringLiteral("outside/bashrc"), "rc");
    const QString name = QString(nameLength - 4, QLatin1Char('m')) + QStringLiteral(".csv");
    if (plantedNames) {
        // Every name built from the process number and a counter is a link
        // out of the folder.
        for (int n = 0; n < 100; ++n)
            QVERIFY(QFile::link(rig.path(QStringLiteral("outside/bashrc")),
                                QStringLiteral("saves/.%1.tmp-%2-%3").arg(name).arg(::getpid()).arg(n)));
    }
    const QStringList before = QDir(QStringLiteral("saves")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                                            | QDir::NoDotAndDotDot);
    durable::setUnnamedTemporariesAllowed(unnamed);
    QVERIFY(rig.record("measured", false));

    rig.saveAs(rig.path(QStringLiteral("saves/") + name));
    durable::setUnnamedTemporariesAllowed(true);

    QVERIFY(rig.quiet());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("saves/") + name), rig.recorded("measured"));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("outside/bashrc")), QByteArray("rc"));
    // No temporary file stays behind.
    QStringList after = QDir(QStringLiteral("saves")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                                   | QDir::NoDotAndDotDot);
    after.removeOne(name);
    QCOMPARE(after, before);
}

QTEST_MAIN(TestSave)
#include "tst_save.moc"
