// The user settings dialog: reading qvx.ini, the colour choice, choosing the
// spreadsheet program, leaving without saving and saving with a restart.

#include "Colors.h"
#include "SettingsDialog.h"
#include "ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void savedSettingsReadBackUnchanged();
    void colourEntryIsTakenOnlyWhenItIsAnIndex_data();
    void colourEntryIsTakenOnlyWhenItIsAnIndex();
    void missingFileLeavesDesignChoices();
    void shortFileRepeatsItsLastEntry();
    void pathWithCommaStaysOneEntry();
    void spreadsheetChoiceAsksInTheDialogLanguage_data();
    void spreadsheetChoiceAsksInTheDialogLanguage();
    void leavingWithoutSavingKeepsChangesForTheNextShow();
    void unwritableSettingsFileIsReportedAndNothingEnds_data();
    void unwritableSettingsFileIsReportedAndNothingEnds();
    void failedRestartIsReportedBeforeTheEnd();
    void textsFollowTheSavedLanguage_data();
    void textsFollowTheSavedLanguage();

private:
    /// A dialog whose hooks record their calls, loaded from the current folder.
    std::unique_ptr<SettingsDialog> loadedDialog(const QString &programDir = {});
    void writeIni(const QByteArray &bytes);
    QByteArray readIni() const;
    template<typename T> T *child(SettingsDialog *dialog, const char *name)
    {
        T *widget = dialog->findChild<T *>(QLatin1String(name));
        Q_ASSERT(widget);
        return widget;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    ScriptedDialogs m_dialogs;
    QStringList m_calls;
    bool m_restartWorks = true;
};

void TestSettingsDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_dialogs = ScriptedDialogs();
    m_calls.clear();
    m_restartWorks = true;
}

void TestSettingsDialog::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

std::unique_ptr<SettingsDialog> TestSettingsDialog::loadedDialog(const QString &programDir)
{
    SettingsDialog::Hooks hooks;
    hooks.closeFiles = [this] { m_calls << QStringLiteral("closeFiles"); };
    hooks.restart = [this] { m_calls << QStringLiteral("restart"); return m_restartWorks; };
    hooks.endProgram = [this] { m_calls << QStringLiteral("endProgram"); };
    hooks.programDir = programDir.isNull() ? m_dir->path() : programDir;
    hooks.settingsDir = hooks.programDir;
    auto dialog = std::make_unique<SettingsDialog>(m_dialogs, hooks);
    dialog->load();
    return dialog;
}

void TestSettingsDialog::writeIni(const QByteArray &bytes)
{
    QFile file(m_dir->filePath(QStringLiteral("qvx.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray TestSettingsDialog::readIni() const
{
    QFile file(m_dir->filePath(QStringLiteral("qvx.ini")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static QColor textColor(QLineEdit *box) { return box->palette().color(QPalette::Text); }
static QColor backColor(QLineEdit *box) { return box->palette().color(QPalette::Base); }

void TestSettingsDialog::savedSettingsReadBackUnchanged()
{
    auto first = loadedDialog();
    child<QLineEdit>(first.get(), "Text1")->setText(QStringLiteral("/opt/calc/bin/localc"));
    child<QComboBox>(first.get(), "text3")->setCurrentText(QStringLiteral("5"));
    child<QComboBox>(first.get(), "Sprache")->setCurrentText(QStringLiteral("Francais"));
    child<QScrollBar>(first.get(), "Fore")->setValue(15);
    child<QScrollBar>(first.get(), "Back")->setValue(1);
    child<QCheckBox>(first.get(), "Check1")->click();
    // Bright white on blue in the preview and the samples.
    QLineEdit *preview = child<QLineEdit>(first.get(), "Text5");
    QCOMPARE(preview->text(), QStringLiteral(" Quendrel/2 "));
    QCOMPARE(textColor(preview), QColor(255, 255, 255));
    QCOMPARE(backColor(preview), QColor(0, 0, 128));
    QCOMPARE(backColor(child<QLineEdit>(first.get(), "Text2")), QColor(255, 255, 255));
    QCOMPARE(backColor(child<QLineEdit>(first.get(), "Text4")), QColor(0, 0, 128));
    first->show();
    child<QToolButton>(first.get(), "Button1")->click();

    QCOMPARE(m_calls, QStringList({"closeFiles", "restart", "endProgram"}));
    QVERIFY(!first->isVisible());
    QCOMPARE(readIni(), QByteArray("/opt/calc/bin/localc\r\n5\r\nFrancais\r\n 15 \r\n 1 \r\n\r\n\r\n1\r\nReady\r\n"));

    auto second = loadedDialog();
    QCOMPARE(child<QLineEdit>(second.get(), "Text1")->text(), QStringLiteral("/opt/calc/bin/localc"));
    QCOMPARE(child<QComboBox>(second.get(), "text3")->currentText(), QStringLiteral("5"));
    QCOMPARE(child<QComboBox>(second.get(), "Sprache")->currentText(), QStringLiteral("Francais"));
    QCOMPARE(child<QScrollBar>(second.get(), "Fore")->value(), 15);
    QCOMPARE(child<QScrollBar>(second.get(), "Back")->value(), 1);
    QCOMPARE(textColor(child<QLineEdit>(second.get(), "Text5")), QColor(255, 255, 255));
    QVERIFY(child<QCheckBox>(second.get(), "Check1")->isChecked());
    QCOMPARE(second->extendedModeText(), QStringLiteral("1"));

    // Saved again unchanged: the same bytes, the baud-rate line still empty.
    const QByteArray before = readIni();
    child<QToolButton>(second.get(), "Button1")->click();
    QCOMPARE(readIni(), before);
}

void TestSettingsDialog::colourEntryIsTakenOnlyWhenItIsAnIndex_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << QByteArray("9") << 9;
    QTest::newRow("blanks around") << QByteArray(" 7 ") << 7;
    QTest::newRow("half to even down") << QByteArray("12.5") << 12;
    QTest::newRow("half to even up") << QByteArray("13.5") << 14;
    QTest::newRow("above the table") << QByteArray("16") << 0;
    QTest::newRow("negative") << QByteArray("-1") << 0;
    QTest::newRow("no number") << QByteArray("blue") << 0;
    QTest::newRow("number then letters") << QByteArray("7x") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
}

void TestSettingsDialog::colourEntryIsTakenOnlyWhenItIsAnIndex()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, expected);
    writeIni("p\r\n3\r\nEnglish\r\n" + entry + "\r\n" + entry + "\r\n\r\n\r\n0\r\nReady\r\n");
    auto dialog = loadedDialog();
    QCOMPARE(child<QScrollBar>(dialog.get(), "Fore")->value(), expected);
    QCOMPARE(child<QScrollBar>(dialog.get(), "Back")->value(), expected);
    const QColor color = colorIndexTable()[size_t(expected)];
    QCOMPARE(backColor(child<QLineEdit>(dialog.get(), "Text2")), color);
    QCOMPARE(textColor(child<QLineEdit>(dialog.get(), "Text5")), color);
    QCOMPARE(backColor(child<QLineEdit>(dialog.get(), "Text5")), color);
}

void TestSettingsDialog::missingFileLeavesDesignChoices()
{
    auto dialog = loadedDialog();
    QCOMPARE(child<QLineEdit>(dialog.get(), "Text1")->text(), QString());
    QCOMPARE(child<QComboBox>(dialog.get(), "text3")->currentText(), QStringLiteral("2"));
    QCOMPARE(child<QComboBox>(dialog.get(), "text3")->count(), 9);
    QCOMPARE(child<QComboBox>(dialog.get(), "Sprache")->currentText(), QStringLiteral("Deutsch"));
    QVERIFY(!child<QCheckBox>(dialog.get(), "Check1")->isChecked());
    QCOMPARE(dialog->extendedModeText(), QStringLiteral("0"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral(" Einstellungen "));
}

void TestSettingsDialog::shortFileRepeatsItsLastEntry()
{
    // Items that cannot be read keep the last one read: "3" becomes both colours.
    writeIni("/usr/bin/gnumeric\r\n3");
    auto dialog = loadedDialog();
    QCOMPARE(child<QComboBox>(dialog.get(), "text3")->currentText(), QStringLiteral("3"));
    QCOMPARE(child<QComboBox>(dialog.get(), "Sprache")->currentText(), QStringLiteral("Deutsch"));
    QCOMPARE(child<QScrollBar>(dialog.get(), "Fore")->value(), 3);
    QCOMPARE(child<QScrollBar>(dialog.get(), "Back")->value(), 3);
    QVERIFY(!child<QCheckBox>(dialog.get(), "Check1")->isChecked());
}

void TestSettingsDialog::pathWithCommaStaysOneEntry()
{
    auto first = loadedDialog();
    child<QLineEdit>(first.get(), "Text1")->setText(QStringLiteral("/opt/Tools, old/localc"));
    child<QComboBox>(first.get(), "text3")->setCurrentText(QStringLiteral("4"));
    child<QToolButton>(first.get(), "Button1")->click();
    QVERIFY(readIni().startsWith("\"/opt/Tools, old/localc\"\r\n4\r\n"));

    auto second = loadedDialog();
    QCOMPARE(child<QLineEdit>(second.get(), "Text1")->text(), QStringLiteral("/opt/Tools, old/localc"));
    QCOMPARE(child<QComboBox>(second.get(), "text3")->currentText(), QStringLiteral("4"));
}

void TestSettingsDialog::spreadsheetChoiceAsksInTheDialogLanguage_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("hintStart");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("Deutsch, cancelled") << QByteArray("Deutsch")
        << QStringLiteral("Wenn auf Ihrem Rechner kein Excel installiert ist, Bitte Abbrechen wählen !\r\nEs wird")
        << QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )") << QString();
    QTest::newRow("English, chosen") << QByteArray("English")
        << QStringLiteral("If Excel isn't installed on this PC, chose Cancel, \r\n Notepad")
        << QStringLiteral("Where is MS-Excel->( Path input )") << QStringLiteral("/usr/bin/localc");
    QTest::newRow("Francais, cancelled") << QByteArray("Francais")
        << QStringLiteral("Si Excel n'est pas installer, veuillez sélectionner Annule, \r\n Notepad")
        << QStringLiteral("Ou est MS-Excel -> ( enter répertoire )") << QString();
    // A language the list does not hold leaves "Deutsch" selected.
    QTest::newRow("unknown stays German") << QByteArray("english")
        << QStringLiteral("Wenn auf Ihrem Rechner") << QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )")
        << QString();
}

void TestSettingsDialog::spreadsheetChoiceAsksInTheDialogLanguage()
{
    QFETCH(QByteArray, language);
    QFETCH(QString, hintStart);
    QFETCH(QString, title);
    QFETCH(QString, chosen);
    writeIni("/old/excel\r\n2\r\n" + language + "\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n");
    auto dialog = loadedDialog();
    m_dialogs.answer(answer::OK);
    if (chosen.isNull())
        m_dialogs.cancelDialog();
    else
        m_dialogs.chooseFile(chosen);

    child<QToolButton>(dialog.get(), "Button3")->click();

    QCOMPARE(m_dialogs.asked.size(), 2);
    const ScriptedDialogs::Asked hint = m_dialogs.asked.at(0);
    QCOMPARE(hint.kind, ScriptedDialogs::Kind::Message);
    QVERIFY2(hint.text.startsWith(hintStart), qPrintable(hint.text));
    QCOMPARE(hint.style, 48);
    QCOMPARE(hint.title, QString());
    const FileDialogRequest request = m_dialogs.asked.at(1).request;
    QCOMPARE(m_dialogs.asked.at(1).kind, ScriptedDialogs::Kind::Open);
    QCOMPARE(request.title, title);
    QVERIFY(request.filter.startsWith(QStringLiteral("Filetyp Exe(*.exe)|Excel.exe|")));
    QCOMPARE(request.initDir, m_dir->path());
    QCOMPARE(request.fileName, QString());
    QCOMPARE(child<QLineEdit>(dialog.get(), "Text1")->text(), chosen.isNull() ? QString() : chosen);
    QVERIFY(m_calls.isEmpty());
}

void TestSettingsDialog::leavingWithoutSavingKeepsChangesForTheNextShow()
{
    writeIni("/old/excel\r\n2\r\nEnglish\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n");
    const QByteArray onDisk = readIni();
    auto dialog = loadedDialog();
    dialog->show();
    child<QLineEdit>(dialog.get(), "Text1")->setText(QStringLiteral("/new/calc"));
    child<QScrollBar>(dialog.get(), "Fore")->setValue(12);
    child<QToolButton>(dialog.get(), "Button2")->click();
    QVERIFY(!dialog->isVisible());

    dialog->show();
    QCOMPARE(child<QLineEdit>(dialog.get(), "Text1")->text(), QStringLiteral("/new/calc"));
    QCOMPARE(child<QScrollBar>(dialog.get(), "Fore")->value(), 12);
    QCOMPARE(readIni(), onDisk);
    QVERIFY(m_calls.isEmpty());
}

void TestSettingsDialog::unwritableSettingsFileIsReportedAndNothingEnds_data()
{
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QString>("blocker");
    QTest::newRow("folder missing") << QStringLiteral("gone/away") << QString();
    QTest::newRow("qvx.ini is a folder") << QStringLiteral("prog") << QStringLiteral("prog/qvx.ini");
}

void TestSettingsDialog::unwritableSettingsFileIsReportedAndNothingEnds()
{
    QFETCH(QString, programDir);
    QFETCH(QString, blocker);
    if (!blocker.isEmpty())
        QVERIFY(QDir(m_dir->path()).mkpath(blocker));
    auto dialog = loadedDialog(m_dir->filePath(programDir));
    dialog->show();
    m_dialogs.answer(answer::OK);

    child<QToolButton>(dialog.get(), "Button1")->click();

    QCOMPARE(m_dialogs.messages().size(), 1);
    QCOMPARE(m_dialogs.messages().at(0).style, 48);
    QVERIFY(m_dialogs.messages().at(0).text.contains(QStringLiteral("qvx.ini")));
    QVERIFY(m_calls.isEmpty());
    QVERIFY(dialog->isVisible());
}

void TestSettingsDialog::failedRestartIsReportedBeforeTheEnd()
{
    m_restartWorks = false;
    auto dialog = loadedDialog();
    m_dialogs.answer(answer::OK);
    child<QToolButton>(dialog.get(), "Button1")->click();

    QCOMPARE(m_dialogs.messages().size(), 1);
    QVERIFY(m_dialogs.messages().at(0).text.contains(QStringLiteral("von Hand")));
    QCOMPARE(m_calls, QStringList({"closeFiles", "restart", "endProgram"}));
    QVERIFY(readIni().endsWith("Ready\r\n"));
}

void TestSettingsDialog::textsFollowTheSavedLanguage_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QStringList>("texts");   // caption, Label2, Label5, Check1, Button1 tip, Text4 tip
    const QStringList german{" Einstellungen ", "Wo befindet sich Excel ->( Pfadangabe )",
                             "Farben des Datensicht-Fensters", "Erweiterter Modus",
                             "Änderungen abspeichern", "Hintergrund Farbe"};
    QTest::newRow("Deutsch") << QByteArray("Deutsch") << german;
    QTest::newRow("English") << QByteArray("English") << QStringList{
        " User Settings", "Where is MS-Excel->( Path input )", "Colours of data windows",
        "Extended Mod", "Save", "BackColor"};
    QTest::newRow("Francais") << QByteArray("Francais") << QStringList{
        " Préférences", "Ou est MS-Excel -> ( enterz repertoire )", "Couleurs de fenêtres de donneés",
        "Extended Mod", "Sauver", "Fond "};
    // Not in the list: the list keeps "Deutsch", and so do the texts.
    QTest::newRow("lower case") << QByteArray("english") << german;
}

void TestSettingsDialog::textsFollowTheSavedLanguage()
{
    QFETCH(QByteArray, language);
    QFETCH(QStringList, texts);
    writeIni(QByteArray("\r\n1\r\n") + language + "\r\n");
    auto dialog = loadedDialog();
    const QStringList shown{dialog->windowTitle(), child<QLabel>(dialog.get(), "Label2")->text(),
                            child<QLabel>(dialog.get(), "Label5")->text(),
                            child<QCheckBox>(dialog.get(), "Check1")->text(),
                            child<QToolButton>(dialog.get(), "Button1")->toolTip(),
                            child<QLineEdit>(dialog.get(), "Text4")->toolTip()};
    QCOMPARE(shown, texts);

    // Choosing another language changes nothing until the next load.
    child<QComboBox>(dialog.get(), "Sprache")->setCurrentText(QStringLiteral("Francais"));
    QCOMPARE(dialog->windowTitle(), texts.at(0));
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
