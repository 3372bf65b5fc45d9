#include "SettingsDialog.h"

#include "Colors.h"
#include "PictureButton.h"
#include "WindowPlacement.h"
#include "WindowTexts.h"
#include "ui_SettingsDialog.h"
#include "Rules.h"
#include "SettingsFile.h"
#include "SettingsItems.h"
#include "LanguageText.h"
#include "UserDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <optional>

namespace {

/// Every language text of this window in one table.
const std::initializer_list<WindowText> windowTexts = {
    {"Pathpro", "windowTitle", {QStringLiteral(" Einstellungen "), QStringLiteral(" User Settings"), QStringLiteral(" Préférences")}},
    {"Label2", "text", {QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )"), QStringLiteral("Where is MS-Excel->( Path input )"), QStringLiteral("Ou est MS-Excel -> ( enterz repertoire )")}},
    {"Label3", "text", {QStringLiteral("RS 232 Port"), QStringLiteral("RS 232 Port"), QStringLiteral("Port RS232")}},
    {"Label4", "text", {QStringLiteral("Sprache"), QStringLiteral("Language"), QStringLiteral("Langage")}},
    {"Label5", "text", {QStringLiteral("Farben des Datensicht-Fensters"), QStringLiteral("Colours of data windows"), QStringLiteral("Couleurs de fenêtres de donneés")}},
    {"Text4", "toolTip", {QStringLiteral("Hintergrund Farbe"), QStringLiteral("BackColor"), QStringLiteral("Fond ")}},
    {"Text2", "toolTip", {QStringLiteral(" Vordergrund Farbe"), QStringLiteral("ForeColor"), QStringLiteral("Premier plan")}},
    {"Check1", "text", {QStringLiteral("Erweiterter Modus"), QStringLiteral("Extended Mod"), QStringLiteral("Extended Mod")}},
    {"Button1", "toolTip", {QStringLiteral("Änderungen abspeichern"), QStringLiteral("Save"), QStringLiteral("Sauver")}},
    {"Button2", "toolTip", {QStringLiteral("Verlassen ohne speichern"), QStringLiteral("Exit"), QStringLiteral("Fin")}},
    {"Button3", "toolTip", {QStringLiteral("Pfadangabe für EXCEL"), QStringLiteral("Save the EXCEL Path "), QStringLiteral("Sauver EXCEL repertoire  ")}},
};

/// The hint shown before the spreadsheet program is chosen.
const LanguageText noSpreadsheetHint = {
    QStringLiteral("Wenn auf Ihrem Rechner kein Excel installiert ist, Bitte Abbrechen wählen !\r\n"
                   "Es wird dann automatisch Notepad /Write /Wordpad angewählt !"),
    QStringLiteral("If Excel isn't installed on this PC, chose Cancel, \r\n"
                   " Notepad /Write / Wordpad will be chosen automatically"),
    QStringLiteral("Si Excel n'est pas installer, veuillez sélectionner Annule, \r\n"
                   " Notepad /Write /Wordpad sera sélectionné automatiquement"),
};

/// Caption of the dialog that looks for the spreadsheet program.
const LanguageText spreadsheetDialogTitle = {
    QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )"),
    QStringLiteral("Where is MS-Excel->( Path input )"),
    QStringLiteral("Ou est MS-Excel -> ( enter répertoire )"),
};

/// Shown when the settings are saved but the new copy could not be started.
const LanguageText restartFailed = {
    QStringLiteral("Die Einstellungen sind gespeichert, das Programm konnte aber nicht neu gestartet werden.\r\n"
                   "Bitte starten Sie es von Hand."),
    QStringLiteral("The settings are saved, but the program could not be started again.\r\n"
                   "Please start it by hand."),
    QStringLiteral("Les préférences sont sauvées, mais le programme n'a pas pu être relancé.\r\n"
                   "Veuillez le relancer à la main."),
};

/// File types offered when looking for the spreadsheet program: Excel,
/// and on other systems their installed spreadsheets too.
QString spreadsheetFilter()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Filetyp Exe(*.exe)|Excel.exe|");
#else
    return QStringLiteral("Filetyp Exe(*.exe)|Excel.exe|"
                          "Spreadsheet programs|localc libreoffice soffice gnumeric|");
#endif
}

const QString previewText = QStringLiteral(" Quendrel/2 ");

/// An item read as a whole number (halves to even); nothing when the item
/// is not a number at all (such a value is refused).
std::optional<int> wholeNumber(const QString &item)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(item.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    const std::optional<qint16> number = rules::toInt16(value);
    if (!number)
        return std::nullopt;
    return int(*number);
}

QColor backColor(const QWidget *box) { return box->palette().color(QPalette::Base); }

void setBackColor(QWidget *box, const QColor &color)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, color);
    box->setPalette(palette);
}

void setForeColor(QWidget *box, const QColor &color)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, color);
    box->setPalette(palette);
}

} // namespace

SettingsDialog::SettingsDialog(UserDialogs &dialogs, Hooks hooks, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
    , m_cmDialog1(dialogs)
    , m_ui(std::make_unique<Ui::SettingsDialog>())
{
    m_ui->setupUi(this);
    m_ui->Button1->setPicture(QStringLiteral("save"));
    m_ui->Button2->setPicture(QStringLiteral("exit"));
    m_ui->Button3->setPicture(QStringLiteral("open"));

    connect(m_ui->Fore, &QScrollBar::valueChanged, this, &SettingsDialog::showForeColour);
    connect(m_ui->Back, &QScrollBar::valueChanged, this, &SettingsDialog::showBackColour);
    connect(m_ui->Text2, &QLineEdit::textChanged, this, &SettingsDialog::previewForeColour);
    connect(m_ui->Text4, &QLineEdit::textChanged, this, &SettingsDialog::previewBackColour);
    connect(m_ui->Check1, &QCheckBox::clicked, this, &SettingsDialog::extendedModeChanged);
    connect(m_ui->Button1, &QAbstractButton::clicked, this, &SettingsDialog::saveAndRestart);
    connect(m_ui->Button2, &QAbstractButton::clicked, this, &SettingsDialog::leaveWithoutSaving);
    connect(m_ui->Button3, &QAbstractButton::clicked, this, &SettingsDialog::chooseSpreadsheetProgram);

    // The samples start in the colours of the scroll bars' first positions.
    showForeColour();
    showBackColour();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::load()
{
    resize(sizeHint());
    centreOnScreen(this);

    m_ui->Sprache->clear();
    m_ui->Sprache->addItems({QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Francais")});
    m_ui->Sprache->setCurrentIndex(0);

    m_ui->text3->clear();
    for (int port = 1; port <= 9; ++port)
        m_ui->text3->addItem(QString::number(port));
    m_ui->text3->setCurrentIndex(1);

    extendedModeChanged();
    readSettingsFile();

    m_ui->Text5->setText(previewText);
    setForeColor(m_ui->Text5, backColor(m_ui->Text2));
    setBackColor(m_ui->Text5, backColor(m_ui->Text4));

    applyLanguageTexts();
}

void SettingsDialog::readSettingsFile()
{
    // The file start-up read and the viewers read, so the dialog shows the
    // settings in use and saves them back in place.
    SettingsItems items = SettingsFile(m_hooks.settingsDir).items();
    // One shared text: an item that cannot be read keeps the one before it.
    QString item;
    for (int entry = 1; entry <= 11; ++entry) {
        items.next(item);
        switch (entry) {
        case 1: m_ui->Text1->setText(item); break;
        case 2: selectItem(m_ui->text3, item); break;
        case 3: selectItem(m_ui->Sprache, item); break;
        case 4: setColorIndex(m_ui->Fore, item); break;
        case 5: setColorIndex(m_ui->Back, item); break;
        case 8:
            if (const std::optional<int> state = wholeNumber(item); state == 0 || state == 1) {
                m_ui->Check1->setChecked(*state == 1);
                extendedModeChanged();
            }
            break;
        // Entry 6 (a baud rate) is left to start-up: the dialog does not touch
        // the port, which may be recording. Entries 7 and 9 to 11 carry nothing.
        default: break;
        }
    }
}

void SettingsDialog::selectItem(QComboBox *list, const QString &item)
{
    const int index = list->findText(item, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        list->setCurrentIndex(index);
}

void SettingsDialog::setColorIndex(QScrollBar *bar, const QString &item)
{
    const std::optional<int> index = wholeNumber(item);
    if (!index || *index < bar->minimum() || *index > bar->maximum())
        return;
    // The samples follow the file even when the position does not move.
    const bool unchanged = bar->value() == *index;
    bar->setValue(*index);
    if (unchanged)
        bar == m_ui->Fore ? showForeColour() : showBackColour();
}

void SettingsDialog::applyLanguageTexts()
{
    applyWindowTexts(this, windowTexts, m_ui->Sprache->currentText());
}

void SettingsDialog::showForeColour()
{
    if (const std::optional<QColor> color = colorForIndex(m_ui->Fore->value()))
        setBackColor(m_ui->Text2, *color);
    setForeColor(m_ui->Text5, backColor(m_ui->Text2));
}

void SettingsDialog::showBackColour()
{
    if (const std::optional<QColor> color = colorForIndex(m_ui->Back->value()))
        setBackColor(m_ui->Text4, *color);
    setBackColor(m_ui->Text5, backColor(m_ui->Text4));
}

void SettingsDialog::previewForeColour()
{
    setForeColor(m_ui->Text5, backColor(m_ui->Text2));
}

void SettingsDialog::previewBackColour()
{
    setBackColor(m_ui->Text5, backColor(m_ui->Text4));
}

void SettingsDialog::extendedModeChanged()
{
    m_extendedModeText = m_ui->Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void SettingsDialog::chooseSpreadsheetProgram()
{
    const QString language = m_ui->Sprache->currentText();
    const QString hint = noSpreadsheetHint.pick(language);
    if (!hint.isEmpty())
        m_dialogs.message(hint, style::Exclamation);

    m_cmDialog1.DialogTitle = spreadsheetDialogTitle.pick(language);
    m_cmDialog1.Filter = spreadsheetFilter();
    m_cmDialog1.InitDir = m_hooks.programDir;
    m_cmDialog1.FileName.clear();
    m_cmDialog1.ShowOpen();
    // A cancel leaves FileName empty: the viewers then fall back to the editor.
    m_ui->Text1->setText(m_cmDialog1.FileName);
}

void SettingsDialog::leaveWithoutSaving()
{
    hide();
}

void SettingsDialog::saveAndRestart()
{
    SettingsValues values;
    values.spreadsheetPath = m_ui->Text1->text();
    values.portNumber = m_ui->text3->currentText();
    values.language = m_ui->Sprache->currentText();
    values.foreColorIndex = m_ui->Fore->value();
    values.backColorIndex = m_ui->Back->value();
    values.extendedMode = m_extendedModeText;

    // Written before anything is closed: when the file cannot be written the
    // program goes on as it was, recording included, and says why.
    const SettingsFile file(m_hooks.settingsDir);
    QString error;
    if (!file.write(values, &error)) {
        m_dialogs.message(QDir::toNativeSeparators(file.path()) + QStringLiteral("\r\n") + error, style::Exclamation);
        return;
    }

    if (m_hooks.closeFiles)
        m_hooks.closeFiles();
    const bool restarted = m_hooks.restart && m_hooks.restart();
    if (!restarted)
        m_dialogs.message(restartFailed.pick(m_ui->Sprache->currentText(), restartFailed.english), style::Exclamation);
    close();
    if (m_hooks.endProgram)
        m_hooks.endProgram();
}
