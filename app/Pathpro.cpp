#include "Pathpro.h"

#include "Colors.h"
#include "HoverButton.h"
#include "WindowTexts.h"
#include "Rules.h"
#include "SettingsFile.h"
#include "SettingsItems.h"
#include "SharedState.h"
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

/// File types offered when looking for the spreadsheet program. Besides
/// the original entry, other systems offer their installed spreadsheets.
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
/// is not a number at all, as the old runtime refused such a value.
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

/// A picture button: click and tool tip are all the dialog uses.
QAbstractButton *pictureButton(const char *name, const QString &picture, QWidget *parent)
{
    auto *button = new HoverButton(picture, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

Pathpro::Pathpro(UserDialogs &dialogs, Hooks hooks, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
    , m_cmDialog1(dialogs)
{
    setObjectName(QStringLiteral("Pathpro"));
    setWindowTitle(QStringLiteral(" User Settings"));
    buildControls();

    connect(m_fore, &QScrollBar::valueChanged, this, &Pathpro::Fore_Change);
    connect(m_back, &QScrollBar::valueChanged, this, &Pathpro::Back_Change);
    connect(m_text2, &QLineEdit::textChanged, this, &Pathpro::Text2_Change);
    connect(m_text4, &QLineEdit::textChanged, this, &Pathpro::Text4_Change);
    connect(m_check1, &QCheckBox::clicked, this, &Pathpro::Check1_Click);
    connect(m_button1, &QAbstractButton::clicked, this, &Pathpro::Button1_Click);
    connect(m_button2, &QAbstractButton::clicked, this, &Pathpro::Button2_Click);
    connect(m_button3, &QAbstractButton::clicked, this, &Pathpro::Button3_Click);

    // The samples start in the colours of the scroll bars' design positions.
    Fore_Change();
    Back_Change();
}

void Pathpro::buildControls()
{
    auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto lineEdit = [this](const char *name, const QString &text) {
        auto *e = new QLineEdit(text, this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    auto colorBar = [this](const char *name) {
        auto *bar = new QScrollBar(Qt::Horizontal, this);
        bar->setObjectName(QLatin1String(name));
        bar->setRange(0, 15);
        bar->setPageStep(1);
        return bar;
    };

    m_label2 = label("Label2", QStringLiteral("Label2"));
    m_label3 = label("Label3", QStringLiteral("RS 232 Port"));
    m_label4 = label("Label4", QStringLiteral("Label4"));
    m_label5 = label("Label5", QStringLiteral("Label5"));
    m_text1 = lineEdit("Text1", QStringLiteral("MS Excel ??"));
    m_text2 = lineEdit("Text2", QString());
    m_text4 = lineEdit("Text4", QString());
    m_text5 = lineEdit("Text5", previewText);
    m_text5->setReadOnly(true);
    m_text5->setAlignment(Qt::AlignCenter);
    m_text3 = new QComboBox(this);
    m_text3->setObjectName(QStringLiteral("text3"));
    m_sprache = new QComboBox(this);
    m_sprache->setObjectName(QStringLiteral("Sprache"));
    m_fore = colorBar("Fore");
    m_back = colorBar("Back");
    m_check1 = new QCheckBox(QStringLiteral("Extendet"), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_button1 = pictureButton("Button1", QStringLiteral("save"), this);
    m_button2 = pictureButton("Button2", QStringLiteral("exit"), this);
    m_button3 = pictureButton("Button3", QStringLiteral("open"), this);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_label2, 0, 0, 1, 3);
    grid->addWidget(m_text1, 1, 0, 1, 2);
    grid->addWidget(m_button3, 1, 2);
    grid->addWidget(m_label3, 2, 0);
    grid->addWidget(m_text3, 3, 0);
    grid->addWidget(m_label4, 2, 1);
    grid->addWidget(m_sprache, 3, 1);
    grid->addWidget(m_label5, 4, 0, 1, 3);
    grid->addWidget(m_fore, 5, 0);
    grid->addWidget(m_text2, 5, 1);
    grid->addWidget(m_back, 6, 0);
    grid->addWidget(m_text4, 6, 1);
    grid->addWidget(m_text5, 7, 0, 1, 2);
    grid->addWidget(m_check1, 8, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_button1);
    buttons->addWidget(m_button2);
    grid->addLayout(buttons, 9, 0, 1, 3);
}

void Pathpro::Form_Load()
{
    centreOnScreen();

    m_sprache->clear();
    m_sprache->addItems({QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Francais")});
    m_sprache->setCurrentIndex(0);

    m_text3->clear();
    for (int port = 1; port <= 9; ++port)
        m_text3->addItem(QString::number(port));
    m_text3->setCurrentIndex(1);

    Check1_Click();
    readSettingsFile();

    m_text5->setText(previewText);
    setForeColor(m_text5, backColor(m_text2));
    setBackColor(m_text5, backColor(m_text4));

    applyLanguageTexts();
}

void Pathpro::centreOnScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    resize(sizeHint());
    const QRect area = screen->geometry();
    const int top = int(rules::roundHalfEven(area.height() - height())) / 2;
    const int left = int(rules::roundHalfEven(area.width() - width())) / 2;
    move(area.x() + left, area.y() + top);
}

void Pathpro::readSettingsFile()
{
    // The file start-up read and the viewers read, so the dialog shows the
    // settings in use and saves them back in place.
    SettingsItems items = SettingsFile(m_hooks.settingsDir).items();
    // One shared text: an item that cannot be read keeps the one before it.
    QString item;
    for (int entry = 1; entry <= 11; ++entry) {
        items.next(item);
        switch (entry) {
        case 1: m_text1->setText(item); break;
        case 2: selectItem(m_text3, item); break;
        case 3: selectItem(m_sprache, item); break;
        case 4: setColorIndex(m_fore, item); break;
        case 5: setColorIndex(m_back, item); break;
        case 8:
            if (const std::optional<int> state = wholeNumber(item); state == 0 || state == 1) {
                m_check1->setChecked(*state == 1);
                Check1_Click();
            }
            break;
        // Entry 6 (a baud rate) is left to start-up: the dialog does not touch
        // the port, which may be recording. Entries 7 and 9 to 11 carry nothing.
        default: break;
        }
    }
}

void Pathpro::selectItem(QComboBox *list, const QString &item)
{
    const int index = list->findText(item, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        list->setCurrentIndex(index);
}

void Pathpro::setColorIndex(QScrollBar *bar, const QString &item)
{
    const std::optional<int> index = wholeNumber(item);
    if (!index || *index < bar->minimum() || *index > bar->maximum())
        return;
    // The samples follow the file even when the position does not move.
    const bool unchanged = bar->value() == *index;
    bar->setValue(*index);
    if (unchanged)
        bar == m_fore ? Fore_Change() : Back_Change();
}

void Pathpro::applyLanguageTexts()
{
    applyWindowTexts(this, windowTexts, m_sprache->currentText());
}

void Pathpro::Fore_Change()
{
    if (const std::optional<QColor> color = colorForIndex(m_fore->value()))
        setBackColor(m_text2, *color);
    setForeColor(m_text5, backColor(m_text2));
}

void Pathpro::Back_Change()
{
    if (const std::optional<QColor> color = colorForIndex(m_back->value()))
        setBackColor(m_text4, *color);
    setBackColor(m_text5, backColor(m_text4));
}

void Pathpro::Text2_Change()
{
    setForeColor(m_text5, backColor(m_text2));
}

void Pathpro::Text4_Change()
{
    setBackColor(m_text5, backColor(m_text4));
}

void Pathpro::Check1_Click()
{
    m_extendedModeText = m_check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void Pathpro::Button3_Click()
{
    const QString language = m_sprache->currentText();
    const QString hint = noSpreadsheetHint.pick(language);
    if (!hint.isEmpty())
        m_dialogs.message(hint, style::Exclamation);

    m_cmDialog1.DialogTitle = spreadsheetDialogTitle.pick(language);
    m_cmDialog1.Filter = spreadsheetFilter();
    m_cmDialog1.InitDir = m_hooks.programDir;
    m_cmDialog1.FileName.clear();
    m_cmDialog1.ShowOpen();
    // A cancel leaves FileName empty: the viewers then fall back to the editor.
    m_text1->setText(m_cmDialog1.FileName);
}

void Pathpro::Button2_Click()
{
    hide();
}

void Pathpro::Button1_Click()
{
    SettingsValues values;
    values.spreadsheetPath = m_text1->text();
    values.portNumber = m_text3->currentText();
    values.language = m_sprache->currentText();
    values.foreColorIndex = m_fore->value();
    values.backColorIndex = m_back->value();
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
        m_dialogs.message(restartFailed.pick(m_sprache->currentText(), restartFailed.english), style::Exclamation);
    close();
    if (m_hooks.endProgram)
        m_hooks.endProgram();
}
