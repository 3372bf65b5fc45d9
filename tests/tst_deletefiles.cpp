// The delete dialog on real files in a test folder, with the picture
// buttons clicked as the user clicks them.

#include "FileListBox.h"
#include "DeleteFilesDialog.h"
#include "PictureButton.h"
#include "ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("1;2;3\r\n");
}

QStringList listed(const FileListBox *list)
{
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

} // namespace

class DeleteFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadListsCsvFilesOfCurrentFolder();
    void deleteWithNothingSelectedAsksNothing();
    void answerDecidesTheDeletion_data();
    void answerDecidesTheDeletion();
    void failedDeletionIsReportedAndListIsRefreshed_data();
    void failedDeletionIsReportedAndListIsRefreshed();
    void refreshListsNewFilesOfTheLoadFolderOnly();
    void folderNameThatIsNotUtf8IsListedAndDeletedIn();
    void closeHidesAndKeepsTheList();
    void tooltipsFollowLanguage_data();
    void tooltipsFollowLanguage();
    void buttonPicturesAreBuiltIn();

private:
    /// The dialog again, with the texts of `language`.
    void useLanguage(const QString &language)
    {
        delete m_form;
        m_form = new DeleteFilesDialog(languageFromText(language), *m_dialogs);
    }
    ScriptedDialogs *m_dialogs = nullptr;
    DeleteFilesDialog *m_form = nullptr;
    FileListBox *files() const { return m_form->findChild<FileListBox *>(QStringLiteral("fileList")); }
    PictureButton *button(const char *name) const { return m_form->findChild<PictureButton *>(QLatin1String(name)); }
    QTemporaryDir *m_dir = nullptr;
    QString m_previousDir;
};

void DeleteFilesTest::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    for (const char *name : {"b.csv", "A.CSV", "notes.txt", "c.csv"})
        touch(QLatin1String(name));
    QDir().mkdir(QStringLiteral("folder.csv"));

    m_dialogs = new ScriptedDialogs;
    m_form = new DeleteFilesDialog(Language::English, *m_dialogs);
}

void DeleteFilesTest::cleanup()
{
    delete m_form;
    delete m_dialogs;
    QDir::setCurrent(m_previousDir);
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    delete m_dir;
}

void DeleteFilesTest::loadListsCsvFilesOfCurrentFolder()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("  Meßdaten löschen"));
    QVERIFY(!m_form->findChild<QLabel *>(QStringLiteral("appPicture"))->pixmap().isNull());

    m_form->prepare();

    QCOMPARE(listed(files()), (QStringList{"A.CSV", "b.csv", "c.csv"}));
    QVERIFY(files()->selectedFileName().isEmpty());
}

void DeleteFilesTest::folderNameThatIsNotUtf8IsListedAndDeletedIn()
{
    QVERIFY(::mkdir("Messung-\xe4", 0700) == 0 && ::chdir("Messung-\xe4") == 0);
    for (const char *name : {"run1.csv", "run2.csv"})
        touch(QLatin1String(name));
    m_form->prepare();
    QCOMPARE(listed(files()), (QStringList{"run1.csv", "run2.csv"}));

    files()->setCurrentRow(0);
    m_dialogs->answer(Answer::Yes);
    button("deleteButton")->click();
    QVERIFY(!QFile::exists(QStringLiteral("run1.csv")));
    QCOMPARE(listed(files()), QStringList{"run2.csv"});
    QCOMPARE(m_dialogs->asked.size(), 1);
}

void DeleteFilesTest::deleteWithNothingSelectedAsksNothing()
{
    m_form->prepare();
    button("deleteButton")->click();

    QVERIFY(m_dialogs->asked.isEmpty());
    QCOMPARE(listed(files()).size(), 3);
}

void DeleteFilesTest::answerDecidesTheDeletion_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("deleted");

    QTest::newRow("English, No") << "English" << Answer::No
        << "Do you want to delete the selected file ?" << " delete the selected file" << false;
    QTest::newRow("English, Yes") << "English" << Answer::Yes
        << "Do you want to delete the selected file ?" << " delete the selected file" << true;
    QTest::newRow("Deutsch, Yes") << "Deutsch" << Answer::Yes
        << QStringLiteral("Wollen sie die Datei löschen !") << QStringLiteral(" Datei löschen !") << true;
    QTest::newRow("Francais, No") << "Francais" << Answer::No
        << QStringLiteral(" Efface données de mesure ?") << QStringLiteral(" Efface données de mesure") << false;
    // A question that decides about data always has its text.
    QTest::newRow("other language: English question, Yes") << "Dansk" << Answer::Yes
        << "Do you want to delete the selected file ?" << "" << true;
}

void DeleteFilesTest::answerDecidesTheDeletion()
{
    QFETCH(QString, language);
    QFETCH(Answer, answer);
    QFETCH(QString, question);
    QFETCH(QString, caption);
    QFETCH(bool, deleted);
    useLanguage(language);
    m_form->prepare();
    files()->setCurrentRow(1);   // b.csv
    m_dialogs->answer(answer);

    button("deleteButton")->click();

    QCOMPARE(m_dialogs->asked.size(), 1);
    QCOMPARE(m_dialogs->asked.at(0).text, question);
    QCOMPARE(m_dialogs->asked.at(0).title, caption);
    QCOMPARE(m_dialogs->asked.at(0).style, Icon::Question | Buttons::YesNo);
    QCOMPARE(QFile::exists(QStringLiteral("b.csv")), !deleted);
    const QStringList expected = deleted ? QStringList{"A.CSV", "c.csv"} : QStringList{"A.CSV", "b.csv", "c.csv"};
    QCOMPARE(listed(files()), expected);
}

void DeleteFilesTest::failedDeletionIsReportedAndListIsRefreshed_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("reason");        // empty: nothing to report
    QTest::addColumn<QStringList>("after");
    QTest::newRow("file in a read-only folder") << "read-only folder" << "Permission denied"
                                                << QStringList{"A.CSV", "b.csv", "c.csv"};
    // Someone put a folder where the file was: it cannot go as a file.
    QTest::newRow("a folder took the file's name") << "folder" << "" << QStringList{"A.CSV", "c.csv"};
    // Gone already: what the user asked for is done.
    QTest::newRow("file already gone") << "gone" << "" << QStringList{"A.CSV", "c.csv"};
}

void DeleteFilesTest::failedDeletionIsReportedAndListIsRefreshed()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, reason);
    QFETCH(QStringList, after);
    m_form->prepare();
    files()->setCurrentRow(1);   // b.csv
    m_dialogs->answer(Answer::Yes);

    if (obstacle == QLatin1String("read-only folder")) {
        QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(QStringLiteral("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("This user may change read-only folders");
        }
    } else {
        QFile::remove(QStringLiteral("b.csv"));
        if (obstacle == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(QStringLiteral("b.csv/inside")));
    }

    button("deleteButton")->click();

    const bool reported = obstacle != QLatin1String("gone");
    QCOMPARE(m_dialogs->asked.size(), reported ? 2 : 1);
    if (reported) {
        const ScriptedDialogs::Asked told = m_dialogs->asked.at(1);
        QCOMPARE(told.style, BoxStyle(Icon::Warning));
        QVERIFY2(told.text.startsWith(QStringLiteral("The file could not be deleted:\r\n")
                                      + QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("b.csv"))) + QStringLiteral(":\n")),
                 qPrintable(told.text));
        if (!reason.isEmpty())
            QVERIFY2(told.text.endsWith(reason), qPrintable(told.text));
    }
    QCOMPARE(listed(files()), after);
}

void DeleteFilesTest::refreshListsNewFilesOfTheLoadFolderOnly()
{
    m_form->prepare();
    const QString loadFolder = QDir::currentPath();
    QDir().mkdir(QStringLiteral("other"));
    touch(QStringLiteral("other/elsewhere.csv"));
    touch(QStringLiteral("d.csv"));

    // The list stays on the folder of the load, even when the current
    // directory changes afterwards, and deletes there.
    QDir::setCurrent(QStringLiteral("other"));
    touch(QStringLiteral("b.csv"));
    m_form->refreshList();
    QCOMPARE(listed(files()), (QStringList{"A.CSV", "b.csv", "c.csv", "d.csv"}));

    files()->setCurrentRow(1);
    m_dialogs->answer(Answer::Yes);
    button("deleteButton")->click();
    QVERIFY(!QFile::exists(loadFolder + QStringLiteral("/b.csv")));
    QVERIFY(QFile::exists(QStringLiteral("b.csv")));
}

void DeleteFilesTest::closeHidesAndKeepsTheList()
{
    m_form->prepare();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    files()->setCurrentRow(2);

    QTest::mouseClick(button("closeButton"), Qt::LeftButton);
    QVERIFY(!m_form->isVisible());

    touch(QStringLiteral("new.csv"));
    m_form->show();
    QCOMPARE(listed(files()), (QStringList{"A.CSV", "b.csv", "c.csv"}));
    QCOMPARE(files()->selectedFileName(), QStringLiteral("c.csv"));
}

void DeleteFilesTest::tooltipsFollowLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("deleteTip");
    QTest::addColumn<QString>("closeTip");
    QTest::newRow("Deutsch") << "Deutsch" << QStringLiteral("Datei löschen") << "Verlassen ohne speichern";
    QTest::newRow("English") << "English" << "Delete file" << "Exit";
    QTest::newRow("Francais") << "Francais" << QStringLiteral("Efface données") << "Fin";
    QTest::newRow("other") << "FRANCAIS" << "" << "";
}

void DeleteFilesTest::tooltipsFollowLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, deleteTip);
    QFETCH(QString, closeTip);
    useLanguage(language);

    m_form->prepare();

    QCOMPARE(button("deleteButton")->toolTip(), deleteTip);
    QCOMPARE(button("closeButton")->toolTip(), closeTip);
    // Screen readers find the buttons by what the tool tip says.
    QCOMPARE(button("deleteButton")->accessibleName(), deleteTip);
    QCOMPARE(button("closeButton")->accessibleName(), closeTip);
    QVERIFY(!button("deleteButton")->isCheckable());
}

void DeleteFilesTest::buttonPicturesAreBuiltIn()
{
    // Every window names its pictures by resource path; all must be there
    // without any picture button having been created first.
    for (const char *name : {"startstop", "save", "open", "delete", "exit", "graph", "graph-idle", "app"})
        QVERIFY2(QFile::exists(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))), name);
}

QTEST_MAIN(DeleteFilesTest)
#include "tst_deletefiles.moc"
