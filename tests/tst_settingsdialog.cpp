// The user settings dialog: reading qvx.ini, the colour choice, choosing the
// spreadsheet program, leaving without saving and saving with a restart;
// the port chooser against two pseudo-terminals with made-up stable names
// in a stand-in for /dev/serial/by-id.

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
#include <QTreeWidget>
#include <memory>

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// A pseudo-terminal standing in for a plugged-in adapter: its device node
/// exists while the object lives.
class Pty
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_path = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~Pty() { if (m_master >= 0) ::close(m_master); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    QString path() const { return m_path; }

private:
    int m_master = -1;
    QString m_path;
};

const char *firstAdapter = "usb-FTDI_FT232R_USB_UART_A10KQ7Z3-if00-port0";
const char *secondAdapter = "usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0";
const char *unpluggedAdapter = "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_0001-if00-port0";

QString linkText(const QString &path)
{
    return QFileInfo(path).isSymLink() ? QFile::symLinkTarget(path) : QString();
}

} // namespace

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

    void devicesAreListedWithStableNamesAndUnpluggedOnes();
    void chosenDeviceBecomesThePortLinkOnSave();
    void existingLinkIsReplacedNotWrittenThrough();
    void linkOfAnotherUserIsLeftAlone();
    void danglingPortLinkIsShownAsNotConnected();
    void portFileIsNotReplaced();
    void leavingWithoutSavingMakesNoLink();
    void deviceTextsFollowTheLanguage();
    void refusedPortLinkIsReportedInTheDialogLanguage_data();
    void refusedPortLinkIsReportedInTheDialogLanguage();
    void plantedSettingsFileIsNeitherReadNorWrittenThrough_data();
    void plantedSettingsFileIsNeitherReadNorWrittenThrough();

private:
    /// A dialog whose hooks record their calls, loaded from the current folder.
    std::unique_ptr<SettingsDialog> loadedDialog(const QString &programDir = {});
    /// The stand-in by-id folder: two adapters on the two ptys, one unplugged.
    void makeByIdFolder();
    /// Picks the device whose text contains `name` in the port device box for port `port`.
    void chooseDevice(SettingsDialog *dialog, int port, const QString &name);
    QString byId(const char *name) const { return m_dir->filePath(QStringLiteral("by-id/") + QLatin1String(name)); }
    void writeIni(const QByteArray &bytes);
    QByteArray readIni() const;
    template<typename T> T *child(SettingsDialog *dialog, const char *name)
    {
        T *widget = dialog->findChild<T *>(QLatin1String(name));
        Q_ASSERT(widget);
        return widget;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Pty> m_pty1, m_pty2;
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
    m_pty1.reset();
    m_pty2.reset();
}

void TestSettingsDialog::makeByIdFolder()
{
    m_pty1 = std::make_unique<Pty>();
    m_pty2 = std::make_unique<Pty>();
    QVERIFY(!m_pty1->path().isEmpty() && !m_pty2->path().isEmpty());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("by-id")));
    QVERIFY(QFile::link(m_pty1->path(), byId(firstAdapter)));
    QVERIFY(QFile::link(m_pty2->path(), byId(secondAdapter)));
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB97-unplugged"), byId(unpluggedAdapter)));
}

void TestSettingsDialog::chooseDevice(SettingsDialog *dialog, int port, const QString &name)
{
    child<QComboBox>(dialog, "portBox")->setCurrentText(QString::number(port));
    QComboBox *devices = child<QComboBox>(dialog, "portDeviceBox");
    QVERIFY(devices->isEnabled());
    int index = -1;
    for (int i = 1; i < devices->count() && index < 0; ++i)
        if (devices->itemText(i).contains(name))
            index = i;
    QVERIFY2(index > 0, qPrintable(name + " is not offered"));
    devices->setCurrentIndex(index);
    emit devices->activated(index);
}

std::unique_ptr<SettingsDialog> TestSettingsDialog::loadedDialog(const QString &programDir)
{
    SettingsDialog::Hooks hooks;
    hooks.closeFiles = [this] { m_calls << QStringLiteral("closeFiles"); };
    hooks.restart = [this] { m_calls << QStringLiteral("restart"); return m_restartWorks; };
    hooks.endProgram = [this] { m_calls << QStringLiteral("endProgram"); };
    hooks.programDir = programDir.isNull() ? m_dir->path() : programDir;
    hooks.settingsDir = hooks.programDir;
    hooks.byIdFolder = m_dir->filePath(QStringLiteral("by-id"));
    auto dialog = std::make_unique<SettingsDialog>(m_dialogs, hooks);
    dialog->prepare();
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
    child<QLineEdit>(first.get(), "spreadsheetPathEdit")->setText(QStringLiteral("/opt/calc/bin/localc"));
    child<QComboBox>(first.get(), "portBox")->setCurrentText(QStringLiteral("5"));
    child<QComboBox>(first.get(), "languageBox")->setCurrentText(QStringLiteral("Francais"));
    child<QScrollBar>(first.get(), "foreColourBar")->setValue(15);
    child<QScrollBar>(first.get(), "backColourBar")->setValue(1);
    child<QCheckBox>(first.get(), "extendedModeBox")->click();
    // Bright white on blue in the preview and the samples.
    QLineEdit *preview = child<QLineEdit>(first.get(), "colourPreview");
    QCOMPARE(preview->text(), QStringLiteral(" Quendrel/2 "));
    QCOMPARE(textColor(preview), QColor(255, 255, 255));
    QCOMPARE(backColor(preview), QColor(0, 0, 128));
    QCOMPARE(backColor(child<QLineEdit>(first.get(), "foreColourSample")), QColor(255, 255, 255));
    QCOMPARE(backColor(child<QLineEdit>(first.get(), "backColourSample")), QColor(0, 0, 128));
    first->show();
    child<QToolButton>(first.get(), "saveButton")->click();

    QCOMPARE(m_calls, QStringList({"closeFiles", "restart", "endProgram"}));
    QVERIFY(!first->isVisible());
    QCOMPARE(readIni(), QByteArray("/opt/calc/bin/localc\r\n5\r\nFrancais\r\n 15 \r\n 1 \r\n\r\n\r\n1\r\nReady\r\n"));

    auto second = loadedDialog();
    QCOMPARE(child<QLineEdit>(second.get(), "spreadsheetPathEdit")->text(), QStringLiteral("/opt/calc/bin/localc"));
    QCOMPARE(child<QComboBox>(second.get(), "portBox")->currentText(), QStringLiteral("5"));
    QCOMPARE(child<QComboBox>(second.get(), "languageBox")->currentText(), QStringLiteral("Francais"));
    QCOMPARE(child<QScrollBar>(second.get(), "foreColourBar")->value(), 15);
    QCOMPARE(child<QScrollBar>(second.get(), "backColourBar")->value(), 1);
    QCOMPARE(textColor(child<QLineEdit>(second.get(), "colourPreview")), QColor(255, 255, 255));
    QVERIFY(child<QCheckBox>(second.get(), "extendedModeBox")->isChecked());
    QVERIFY(second->extendedMode());

    // Saved again unchanged: the same bytes, the baud-rate line still empty.
    const QByteArray before = readIni();
    child<QToolButton>(second.get(), "saveButton")->click();
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
    QCOMPARE(child<QScrollBar>(dialog.get(), "foreColourBar")->value(), expected);
    QCOMPARE(child<QScrollBar>(dialog.get(), "backColourBar")->value(), expected);
    const QColor color = colorIndexTable()[size_t(expected)];
    QCOMPARE(backColor(child<QLineEdit>(dialog.get(), "foreColourSample")), color);
    QCOMPARE(textColor(child<QLineEdit>(dialog.get(), "colourPreview")), color);
    QCOMPARE(backColor(child<QLineEdit>(dialog.get(), "colourPreview")), color);
}

void TestSettingsDialog::missingFileLeavesDesignChoices()
{
    auto dialog = loadedDialog();
    QCOMPARE(child<QLineEdit>(dialog.get(), "spreadsheetPathEdit")->text(), QString());
    QCOMPARE(child<QComboBox>(dialog.get(), "portBox")->currentText(), QStringLiteral("2"));
    QCOMPARE(child<QComboBox>(dialog.get(), "portBox")->count(), 9);
    QCOMPARE(child<QComboBox>(dialog.get(), "languageBox")->currentText(), QStringLiteral("Deutsch"));
    QVERIFY(!child<QCheckBox>(dialog.get(), "extendedModeBox")->isChecked());
    QVERIFY(!dialog->extendedMode());
    QCOMPARE(dialog->windowTitle(), QStringLiteral(" Einstellungen "));
}

void TestSettingsDialog::shortFileRepeatsItsLastEntry()
{
    // Items that cannot be read keep the last one read: "3" becomes both colours.
    writeIni("/usr/bin/gnumeric\r\n3");
    auto dialog = loadedDialog();
    QCOMPARE(child<QComboBox>(dialog.get(), "portBox")->currentText(), QStringLiteral("3"));
    QCOMPARE(child<QComboBox>(dialog.get(), "languageBox")->currentText(), QStringLiteral("Deutsch"));
    QCOMPARE(child<QScrollBar>(dialog.get(), "foreColourBar")->value(), 3);
    QCOMPARE(child<QScrollBar>(dialog.get(), "backColourBar")->value(), 3);
    QVERIFY(!child<QCheckBox>(dialog.get(), "extendedModeBox")->isChecked());
}

void TestSettingsDialog::pathWithCommaStaysOneEntry()
{
    auto first = loadedDialog();
    child<QLineEdit>(first.get(), "spreadsheetPathEdit")->setText(QStringLiteral("/opt/Tools, old/localc"));
    child<QComboBox>(first.get(), "portBox")->setCurrentText(QStringLiteral("4"));
    child<QToolButton>(first.get(), "saveButton")->click();
    QVERIFY(readIni().startsWith("\"/opt/Tools, old/localc\"\r\n4\r\n"));

    auto second = loadedDialog();
    QCOMPARE(child<QLineEdit>(second.get(), "spreadsheetPathEdit")->text(), QStringLiteral("/opt/Tools, old/localc"));
    QCOMPARE(child<QComboBox>(second.get(), "portBox")->currentText(), QStringLiteral("4"));
}

void TestSettingsDialog::spreadsheetChoiceAsksInTheDialogLanguage_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("hintStart");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("programs");      // the second entry of the type list
    QTest::newRow("Deutsch, cancelled") << QByteArray("Deutsch")
        << QStringLiteral("Wenn auf Ihrem Rechner kein Excel installiert ist, Bitte Abbrechen wählen !\r\nEs wird")
        << QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )") << QString() << QStringLiteral("Tabellenkalkulationen");
    QTest::newRow("English, chosen") << QByteArray("English")
        << QStringLiteral("If Excel isn't installed on this PC, chose Cancel, \r\n Notepad")
        << QStringLiteral("Where is MS-Excel->( Path input )") << QStringLiteral("/usr/bin/localc")
        << QStringLiteral("Spreadsheet programs");
    QTest::newRow("Francais, cancelled") << QByteArray("Francais")
        << QStringLiteral("Si Excel n'est pas installer, veuillez sélectionner Annule, \r\n Notepad")
        << QStringLiteral("Ou est MS-Excel -> ( enter répertoire )") << QString() << QStringLiteral("Tableurs");
    // A language the list does not hold leaves "Deutsch" selected.
    QTest::newRow("unknown stays German") << QByteArray("english")
        << QStringLiteral("Wenn auf Ihrem Rechner") << QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )")
        << QString() << QStringLiteral("Tabellenkalkulationen");
}

void TestSettingsDialog::spreadsheetChoiceAsksInTheDialogLanguage()
{
    QFETCH(QByteArray, language);
    QFETCH(QString, hintStart);
    QFETCH(QString, title);
    QFETCH(QString, chosen);
    writeIni("/old/excel\r\n2\r\n" + language + "\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n");
    auto dialog = loadedDialog();
    m_dialogs.answer(Answer::Ok);
    if (chosen.isNull())
        m_dialogs.cancelDialog();
    else
        m_dialogs.chooseFile(chosen);

    child<QToolButton>(dialog.get(), "chooseSpreadsheetButton")->click();

    QCOMPARE(m_dialogs.asked.size(), 2);
    const ScriptedDialogs::Asked hint = m_dialogs.asked.at(0);
    QCOMPARE(hint.kind, ScriptedDialogs::Kind::Message);
    QVERIFY2(hint.text.startsWith(hintStart), qPrintable(hint.text));
    QCOMPARE(hint.style, BoxStyle(Icon::Warning));
    QCOMPARE(hint.title, QString());
    const FileDialogRequest request = m_dialogs.asked.at(1).request;
    QCOMPARE(m_dialogs.asked.at(1).kind, ScriptedDialogs::Kind::Open);
    QCOMPARE(request.title, title);
    QFETCH(QString, programs);
    QCOMPARE(qtFileFilter(request.filters),
             QStringLiteral("Filetyp Exe(*.exe) (Excel.exe);;%1 (localc libreoffice soffice gnumeric)").arg(programs));
    QCOMPARE(request.initDir, m_dir->path());
    QCOMPARE(request.fileName, QString());
    QCOMPARE(child<QLineEdit>(dialog.get(), "spreadsheetPathEdit")->text(), chosen.isNull() ? QString() : chosen);
    QVERIFY(m_calls.isEmpty());
}

void TestSettingsDialog::leavingWithoutSavingKeepsChangesForTheNextShow()
{
    writeIni("/old/excel\r\n2\r\nEnglish\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n");
    const QByteArray onDisk = readIni();
    auto dialog = loadedDialog();
    dialog->show();
    child<QLineEdit>(dialog.get(), "spreadsheetPathEdit")->setText(QStringLiteral("/new/calc"));
    child<QScrollBar>(dialog.get(), "foreColourBar")->setValue(12);
    child<QToolButton>(dialog.get(), "leaveButton")->click();
    QVERIFY(!dialog->isVisible());

    dialog->show();
    QCOMPARE(child<QLineEdit>(dialog.get(), "spreadsheetPathEdit")->text(), QStringLiteral("/new/calc"));
    QCOMPARE(child<QScrollBar>(dialog.get(), "foreColourBar")->value(), 12);
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
    m_dialogs.answer(Answer::Ok);

    child<QToolButton>(dialog.get(), "saveButton")->click();

    QCOMPARE(m_dialogs.messages().size(), 1);
    QCOMPARE(m_dialogs.messages().at(0).style, BoxStyle(Icon::Warning));
    QVERIFY(m_dialogs.messages().at(0).text.contains(QStringLiteral("qvx.ini")));
    QVERIFY(m_calls.isEmpty());
    QVERIFY(dialog->isVisible());
}

void TestSettingsDialog::failedRestartIsReportedBeforeTheEnd()
{
    m_restartWorks = false;
    auto dialog = loadedDialog();
    m_dialogs.answer(Answer::Ok);
    child<QToolButton>(dialog.get(), "saveButton")->click();

    QCOMPARE(m_dialogs.messages().size(), 1);
    QVERIFY(m_dialogs.messages().at(0).text.contains(QStringLiteral("von Hand")));
    QCOMPARE(m_calls, QStringList({"closeFiles", "restart", "endProgram"}));
    QVERIFY(readIni().endsWith("Ready\r\n"));
}

void TestSettingsDialog::textsFollowTheSavedLanguage_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QByteArray>("control");    // empty: the dialog itself
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");

    struct Row { const char *control, *property; const char *texts[3]; };
    const Row rows[] = {
        {"", "windowTitle", {" Einstellungen ", " User Settings", " Préférences"}},
        {"spreadsheetPathLabel", "text", {"Wo befindet sich Excel ->( Pfadangabe )", "Where is MS-Excel->( Path input )", "Ou est MS-Excel -> ( enterz repertoire )"}},
        {"portLabel", "text", {"RS 232 Port", "RS 232 Port", "Port RS232"}},
        {"languageLabel", "text", {"Sprache", "Language", "Langage"}},
        {"coloursLabel", "text", {"Farben des Datensicht-Fensters", "Colours of data windows", "Couleurs de fenêtres de donneés"}},
        {"backColourSample", "toolTip", {"Hintergrund Farbe", "BackColor", "Fond "}},
        {"foreColourSample", "toolTip", {" Vordergrund Farbe", "ForeColor", "Premier plan"}},
        {"extendedModeBox", "text", {"Erweiterter Modus", "Extended Mod", "Extended Mod"}},
        {"saveButton", "toolTip", {"Änderungen abspeichern", "Save", "Sauver"}},
        {"leaveButton", "toolTip", {"Verlassen ohne speichern", "Exit", "Fin"}},
        {"chooseSpreadsheetButton", "toolTip", {"Pfadangabe für EXCEL", "Save the EXCEL Path ", "Sauver EXCEL repertoire  "}},
        {"portDeviceLabel", "text", {"&Gerät an diesem Port", "&Device on this port", "&Appareil sur ce port"}},
        {"portDeviceBox", "accessibleName", {"Gerät an diesem Port", "Device on this port", "Appareil sur ce port"}},
        {"deviceList", "accessibleName", {"Serielle Geräte", "Serial devices", "Appareils série"}},
    };
    // A language not in the list leaves the list at "Deutsch", and so the texts.
    const std::pair<const char *, int> languages[] = {{"Deutsch", 0}, {"English", 1}, {"Francais", 2}, {"english", 0}};
    for (const auto &[language, column] : languages) {
        for (const Row &row : rows) {
            QTest::addRow("%s %s %s", language, *row.control ? row.control : "dialog", row.property)
                << QByteArray(language) << QByteArray(row.control) << QByteArray(row.property)
                << QString::fromUtf8(row.texts[column]);
        }
    }
}

void TestSettingsDialog::textsFollowTheSavedLanguage()
{
    QFETCH(QByteArray, language);
    QFETCH(QByteArray, control);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    writeIni(QByteArray("\r\n1\r\n") + language + "\r\n");
    auto dialog = loadedDialog();
    const QObject *target = control.isEmpty() ? static_cast<QObject *>(dialog.get())
                                              : child<QObject>(dialog.get(), control.constData());
    QCOMPARE(target->property(property.constData()).toString(), text);

    // Choosing another language changes nothing until the next load.
    const QString before = dialog->windowTitle();
    child<QComboBox>(dialog.get(), "languageBox")->setCurrentText(QStringLiteral("Francais"));
    QCOMPARE(dialog->windowTitle(), before);
    QCOMPARE(target->property(property.constData()).toString(), text);
}

void TestSettingsDialog::devicesAreListedWithStableNamesAndUnpluggedOnes()
{
    makeByIdFolder();
    auto dialog = loadedDialog();
    QTreeWidget *list = child<QTreeWidget>(dialog.get(), "deviceList");
    const auto row = [&](const char *name) -> QTreeWidgetItem * {
        const QList<QTreeWidgetItem *> found = list->findItems(QLatin1String(name), Qt::MatchExactly, 1);
        return found.isEmpty() ? nullptr : found.first();
    };
    QVERIFY(row(firstAdapter) && row(secondAdapter) && row(unpluggedAdapter));
    QVERIFY(row(firstAdapter)->toolTip(1).contains(m_pty1->path()));
    QVERIFY(!row(firstAdapter)->isDisabled());
    QCOMPARE(row(unpluggedAdapter)->text(2), QStringLiteral("nicht angeschlossen"));
    QVERIFY(row(unpluggedAdapter)->isDisabled());
    // Nothing is linked yet: no port number beside the adapters.
    QCOMPARE(row(firstAdapter)->text(0), QString());

    // The list to choose from holds the adapters present with their node, not the unplugged one.
    QComboBox *devices = child<QComboBox>(dialog.get(), "portDeviceBox");
    QStringList offered;
    for (int i = 0; i < devices->count(); ++i)
        offered << devices->itemText(i);
    const QString all = offered.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QLatin1String(firstAdapter) + QStringLiteral(" \u2013 ") + m_pty1->path()), qPrintable(all));
    QVERIFY(all.contains(QLatin1String(secondAdapter)));
    QVERIFY(!all.contains(QLatin1String(unpluggedAdapter)));
    // The first entry keeps what the port is now: port 2 is the system's second port.
    QCOMPARE(devices->currentIndex(), 0);
    QCOMPARE(offered.first(), QStringLiteral("Unverändert: /dev/ttyS1"));
    QVERIFY(child<QLabel>(dialog.get(), "portTargetLabel")->text().contains(QStringLiteral("/dev/ttyS1")));
}

void TestSettingsDialog::chosenDeviceBecomesThePortLinkOnSave()
{
    makeByIdFolder();
    const QString com2 = m_dir->filePath(QStringLiteral("COM2"));
    auto first = loadedDialog();
    chooseDevice(first.get(), 2, QLatin1String(firstAdapter));
    QVERIFY(child<QLabel>(first.get(), "portTargetLabel")->text().contains(byId(firstAdapter)));
    QVERIFY(!QFileInfo(com2).isSymLink());   // nothing made before saving
    child<QToolButton>(first.get(), "saveButton")->click();

    QCOMPARE(m_calls, QStringList({"closeFiles", "restart", "endProgram"}));
    // The link names the stable name, which reaches the first pty.
    QCOMPARE(linkText(com2), byId(firstAdapter));
    QCOMPARE(QFileInfo(com2).canonicalFilePath(), m_pty1->path());
    QVERIFY(readIni().startsWith("\r\n2\r\n"));

    // Shown on the next load, then replaced by the second adapter.
    auto second = loadedDialog();
    QTreeWidget *list = child<QTreeWidget>(second.get(), "deviceList");
    QCOMPARE(list->findItems(QLatin1String(firstAdapter), Qt::MatchExactly, 1).first()->text(0), QStringLiteral("2"));
    QVERIFY(child<QLabel>(second.get(), "portTargetLabel")->text().contains(m_pty1->path()));
    chooseDevice(second.get(), 2, QLatin1String(secondAdapter));
    child<QToolButton>(second.get(), "saveButton")->click();
    QCOMPARE(linkText(com2), byId(secondAdapter));
    QCOMPARE(QFileInfo(com2).canonicalFilePath(), m_pty2->path());
    // No temporary name is left behind.
    QStringList left = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    QCOMPARE(left, QStringList({"COM2", "by-id", "qvx.ini"}));
}

void TestSettingsDialog::existingLinkIsReplacedNotWrittenThrough()
{
    makeByIdFolder();
    // Someone linked port 3 to a file of theirs: it must stay as it was.
    const QString victim = m_dir->filePath(QStringLiteral("precious.txt"));
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
    }
    const QString com3 = m_dir->filePath(QStringLiteral("COM3"));
    QVERIFY(QFile::link(victim, com3));

    auto dialog = loadedDialog();
    chooseDevice(dialog.get(), 3, QLatin1String(secondAdapter));
    child<QToolButton>(dialog.get(), "saveButton")->click();

    QCOMPARE(linkText(com3), byId(secondAdapter));
    QFile file(victim);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me\n"));
    QVERIFY(QFileInfo(victim).isFile() && !QFileInfo(victim).isSymLink());
}

void TestSettingsDialog::linkOfAnotherUserIsLeftAlone()
{
    if (::geteuid() != 0)
        QSKIP("making a link of another user needs root");
    makeByIdFolder();
    const QString com4 = m_dir->filePath(QStringLiteral("COM4"));
    QVERIFY(QFile::link(byId(firstAdapter), com4));
    QCOMPARE(::lchown(QFile::encodeName(com4).constData(), 65534, 65534), 0);

    writeIni("\r\n4\r\nEnglish\r\n");
    auto dialog = loadedDialog();
    QCOMPARE(child<QComboBox>(dialog.get(), "portBox")->currentText(), QStringLiteral("4"));
    QVERIFY(!child<QComboBox>(dialog.get(), "portDeviceBox")->isEnabled());
    QVERIFY(child<QLabel>(dialog.get(), "portTargetLabel")->text().contains(QStringLiteral("belongs to another user")));

    PortLinkRefusal refusal;
    QVERIFY(!makePortLink(m_dir->path(), 4, byId(secondAdapter), &refusal));
    QCOMPARE(refusal.reason, PortLinkRefusal::Reason::OtherUsersLink);
    QCOMPARE(refusal.owner, QString::fromLocal8Bit(::getpwuid(65534)->pw_name));
    QCOMPARE(linkText(com4), byId(firstAdapter));
}

void TestSettingsDialog::danglingPortLinkIsShownAsNotConnected()
{
    makeByIdFolder();
    QVERIFY(QFile::link(byId(unpluggedAdapter), m_dir->filePath(QStringLiteral("COM5"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB98-gone"), m_dir->filePath(QStringLiteral("COM6"))));
    writeIni("\r\n5\r\nEnglish\r\n");
    auto dialog = loadedDialog();
    QCOMPARE(child<QLabel>(dialog.get(), "portTargetLabel")->text(),
             QStringLiteral("Port 5 points to %1: not connected.").arg(byId(unpluggedAdapter)));
    QCOMPARE(child<QComboBox>(dialog.get(), "portDeviceBox")->itemText(0),
             QStringLiteral("Unchanged: %1 (not connected)").arg(byId(unpluggedAdapter)));
    QTreeWidget *list = child<QTreeWidget>(dialog.get(), "deviceList");
    QCOMPARE(list->findItems(QLatin1String(unpluggedAdapter), Qt::MatchExactly, 1).first()->text(0), QStringLiteral("5"));
    const QList<QTreeWidgetItem *> gone = list->findItems(QStringLiteral("/dev/ttyUSB98-gone"), Qt::MatchExactly, 1);
    QCOMPARE(gone.size(), 1);
    QCOMPARE(gone.first()->text(0), QStringLiteral("6"));
    QCOMPARE(gone.first()->text(2), QStringLiteral("not connected"));

    // An unplugged port can be moved to an adapter that is there.
    chooseDevice(dialog.get(), 5, QLatin1String(firstAdapter));
    child<QToolButton>(dialog.get(), "saveButton")->click();
    QCOMPARE(QFileInfo(m_dir->filePath(QStringLiteral("COM5"))).canonicalFilePath(), m_pty1->path());
}

void TestSettingsDialog::portFileIsNotReplaced()
{
    makeByIdFolder();
    const QString com7 = m_dir->filePath(QStringLiteral("COM7"));
    {
        QFile file(com7);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a device stand-in");
    }
    writeIni("\r\n7\r\nDeutsch\r\n");
    auto dialog = loadedDialog();
    QVERIFY(!child<QComboBox>(dialog.get(), "portDeviceBox")->isEnabled());
    QVERIFY(child<QLabel>(dialog.get(), "portTargetLabel")->text().contains(QStringLiteral("bleibt, wie sie ist")));
    PortLinkRefusal refusal;
    QVERIFY(!makePortLink(m_dir->path(), 7, byId(firstAdapter), &refusal));
    QCOMPARE(refusal.reason, PortLinkRefusal::Reason::NotALink);
    QVERIFY(QFileInfo(com7).isFile() && !QFileInfo(com7).isSymLink());
}

void TestSettingsDialog::leavingWithoutSavingMakesNoLink()
{
    makeByIdFolder();
    auto dialog = loadedDialog();
    dialog->show();
    chooseDevice(dialog.get(), 8, QLatin1String(firstAdapter));
    child<QToolButton>(dialog.get(), "leaveButton")->click();
    QVERIFY(!QFileInfo(m_dir->filePath(QStringLiteral("COM8"))).isSymLink());
    QVERIFY(m_calls.isEmpty());

    // Shown again: the choice is still pending for port 8, and "Unchanged" drops it.
    dialog->show();
    child<QComboBox>(dialog.get(), "portBox")->setCurrentText(QStringLiteral("8"));
    QComboBox *devices = child<QComboBox>(dialog.get(), "portDeviceBox");
    QVERIFY(devices->currentText().contains(QLatin1String(firstAdapter)));
    devices->setCurrentIndex(0);
    emit devices->activated(0);
    m_dialogs.answer(Answer::Ok);
    child<QToolButton>(dialog.get(), "saveButton")->click();
    QVERIFY(!QFileInfo(m_dir->filePath(QStringLiteral("COM8"))).isSymLink());
}

void TestSettingsDialog::deviceTextsFollowTheLanguage()
{
    makeByIdFolder();
    writeIni("\r\n1\r\nFrancais\r\n");
    auto dialog = loadedDialog();
    QTreeWidget *list = child<QTreeWidget>(dialog.get(), "deviceList");
    QCOMPARE(list->headerItem()->text(4), QStringLiteral("Numéro de série"));
    QCOMPARE(child<QLabel>(dialog.get(), "portDeviceLabel")->text(), QStringLiteral("&Appareil sur ce port"));
    QCOMPARE(child<QLabel>(dialog.get(), "portTargetLabel")->text(),
             QStringLiteral("Le port 1 est le port série /dev/ttyS0 de l'ordinateur."));
    QCOMPARE(list->findItems(QLatin1String(unpluggedAdapter), Qt::MatchExactly, 1).first()->text(2),
             QStringLiteral("non branché"));
}

void TestSettingsDialog::refusedPortLinkIsReportedInTheDialogLanguage_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<bool>("foreignLink");   // else a file takes the name
    QTest::addColumn<QString>("reason");
    QTest::newRow("file, Deutsch") << QByteArray("Deutsch") << false << "COM2 ist kein Verweis; es bleibt, wie es ist";
    QTest::newRow("file, English") << QByteArray("English") << false << "COM2 is not a link; it is left as it is";
    QTest::newRow("file, Francais") << QByteArray("Francais") << false << "COM2 n'est pas un lien ; il reste tel quel";
    QTest::newRow("link of nobody, Deutsch") << QByteArray("Deutsch") << true << "COM2 gehört dem Benutzer nobody; es bleibt, wie es ist";
    QTest::newRow("link of nobody, Francais") << QByteArray("Francais") << true
        << "COM2 appartient à un autre utilisateur (nobody) ; il reste tel quel";
}

void TestSettingsDialog::refusedPortLinkIsReportedInTheDialogLanguage()
{
    QFETCH(QByteArray, language);
    QFETCH(bool, foreignLink);
    QFETCH(QString, reason);
    if (foreignLink && ::geteuid() != 0)
        QSKIP("making a link of another user needs root");
    makeByIdFolder();
    writeIni("\r\n2\r\n" + language + "\r\n");
    auto dialog = loadedDialog();
    chooseDevice(dialog.get(), 2, QLatin1String(firstAdapter));
    // COM2 is taken between the choice and the save.
    const QString com2 = m_dir->filePath(QStringLiteral("COM2"));
    if (foreignLink) {
        QVERIFY(QFile::link(byId(secondAdapter), com2));
        QCOMPARE(::lchown(QFile::encodeName(com2).constData(), 65534, 65534), 0);
    } else {
        QFile file(com2);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    m_dialogs.answer(Answer::Ok);
    child<QToolButton>(dialog.get(), "saveButton")->click();
    QCOMPARE(m_dialogs.messages().size(), 1);
    QVERIFY2(m_dialogs.messages().at(0).text.endsWith(m_dir->filePath(reason)), qPrintable(m_dialogs.messages().at(0).text));
    QVERIFY(m_calls.isEmpty());
}

void TestSettingsDialog::plantedSettingsFileIsNeitherReadNorWrittenThrough_data()
{
    QTest::addColumn<bool>("link");          // qvx.ini -> precious.txt, else a file
    QTest::addColumn<bool>("ofNobody");      // lchown'ed to nobody
    QTest::addColumn<QString>("shown");      // the spreadsheet the dialog shows
    QTest::newRow("own link to a file outside") << true << false << "evil-calc";
    QTest::newRow("link of another user") << true << true << "";
    QTest::newRow("file of another user") << false << true << "";
}

void TestSettingsDialog::plantedSettingsFileIsNeitherReadNorWrittenThrough()
{
    QFETCH(bool, link);
    QFETCH(bool, ofNobody);
    QFETCH(QString, shown);
    if (ofNobody && ::geteuid() != 0)
        QSKIP("planting a file of another user needs root");
    QTemporaryDir outside;
    const QByteArray planted("evil-calc\r\n1\r\nDeutsch\r\n");
    const QString precious = outside.filePath(QStringLiteral("precious.txt"));
    const QString ini = m_dir->filePath(QStringLiteral("qvx.ini"));
    {
        QFile file(link ? precious : ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(planted);
    }
    if (link)
        QVERIFY(QFile::link(precious, ini));
    if (ofNobody)
        QCOMPARE(::lchown(QFile::encodeName(ini).constData(), 65534, 65534), 0);

    auto dialog = loadedDialog();
    QCOMPARE(child<QLineEdit>(dialog.get(), "spreadsheetPathEdit")->text(), shown);
    child<QLineEdit>(dialog.get(), "spreadsheetPathEdit")->setText(QStringLiteral("mine"));
    child<QToolButton>(dialog.get(), "saveButton")->click();

    QCOMPARE(m_calls, QStringList({"closeFiles", "restart", "endProgram"}));
    QVERIFY(!QFileInfo(ini).isSymLink());
    QCOMPARE(QFileInfo(ini).ownerId(), ::geteuid());
    QVERIFY(readIni().startsWith("mine\r\n"));
    if (link) {
        QFile file(precious);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), planted);
    }
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
