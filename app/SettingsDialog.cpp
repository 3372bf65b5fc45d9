#include "SettingsDialog.h"

#include "Colors.h"
#include "PictureButton.h"
#include "WindowPlacement.h"
#include "WindowTexts.h"
#include "ui_SettingsDialog.h"
#include "SettingsFile.h"
#include "LanguageText.h"
#include "UserDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QFileInfo>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <optional>

namespace {


/// Column captions of the device list: port, device, description, manufacturer, serial number.
const LanguageText deviceColumns[] = {
    {QStringLiteral("Port"), QStringLiteral("Port"), QStringLiteral("Port")},
    {QStringLiteral("Gerät"), QStringLiteral("Device"), QStringLiteral("Appareil")},
    {QStringLiteral("Beschreibung"), QStringLiteral("Description"), QStringLiteral("Description")},
    {QStringLiteral("Hersteller"), QStringLiteral("Manufacturer"), QStringLiteral("Fabricant")},
    {QStringLiteral("Seriennummer"), QStringLiteral("Serial number"), QStringLiteral("Numéro de série")},
};

const LanguageText notConnected = {
    QStringLiteral("nicht angeschlossen"), QStringLiteral("not connected"), QStringLiteral("non branché")};
const LanguageText unchangedItem = {
    QStringLiteral("Unverändert: %1"), QStringLiteral("Unchanged: %1"), QStringLiteral("Inchangé : %1")};
const LanguageText portIsSystem = {
    QStringLiteral("Port %1 ist die serielle Schnittstelle %2 des Rechners."),
    QStringLiteral("Port %1 is the computer's serial port %2."),
    QStringLiteral("Le port %1 est le port série %2 de l'ordinateur.")};
const LanguageText portIsLink = {
    QStringLiteral("Port %1 ist %2 (%3)."),
    QStringLiteral("Port %1 is %2 (%3)."),
    QStringLiteral("Le port %1 est %2 (%3).")};
const LanguageText portIsDangling = {
    QStringLiteral("Port %1 zeigt auf %2: nicht angeschlossen."),
    QStringLiteral("Port %1 points to %2: not connected."),
    QStringLiteral("Le port %1 pointe vers %2 : non branché.")};
const LanguageText portIsFile = {
    QStringLiteral("Port %1 ist die Datei %2; sie bleibt, wie sie ist."),
    QStringLiteral("Port %1 is the file %2; it is left as it is."),
    QStringLiteral("Le port %1 est le fichier %2 ; il reste tel quel.")};
const LanguageText portIsForeign = {
    QStringLiteral("Der Verweis %1 gehört einem anderen Benutzer und wird nicht geändert."),
    QStringLiteral("The link %1 belongs to another user and is not changed."),
    QStringLiteral("Le lien %1 appartient à un autre utilisateur et n'est pas modifié.")};
const LanguageText portEntryNotUsed = {
    QStringLiteral("%1 gehört dem Benutzer %2; Start benutzt es nicht."),
    QStringLiteral("%1 belongs to the user %2; Start does not use it."),
    QStringLiteral("%1 appartient à l'utilisateur %2 ; Start ne l'utilise pas.")};
const LanguageText portWillBe = {
    QStringLiteral("Nach dem Speichern ist Port %1: %2"),
    QStringLiteral("After saving, port %1 is: %2"),
    QStringLiteral("Après l'enregistrement, le port %1 sera : %2")};
const LanguageText portLinkFailed = {
    QStringLiteral("Port %1 konnte nicht auf %2 gelegt werden:\r\n%3"),
    QStringLiteral("Port %1 could not be set to %2:\r\n%3"),
    QStringLiteral("Le port %1 n'a pas pu être affecté à %2 :\r\n%3")};

/// Why a port link was not made, by PortLinkRefusal::Reason.
const LanguageText refusedBadPortNumber = {
    QStringLiteral("Die Portnummer %1 liegt nicht zwischen 1 und 9"),
    QStringLiteral("Port number %1 is not 1 to 9"),
    QStringLiteral("Le numéro de port %1 n'est pas entre 1 et 9")};
const LanguageText refusedNoDevice = {
    QStringLiteral("Kein Gerät gewählt"), QStringLiteral("No device chosen"), QStringLiteral("Aucun appareil choisi")};
const LanguageText refusedNotALink = {
    QStringLiteral("%1 ist kein Verweis; es bleibt, wie es ist"),
    QStringLiteral("%1 is not a link; it is left as it is"),
    QStringLiteral("%1 n'est pas un lien ; il reste tel quel")};
const LanguageText refusedOtherUsersLink = {
    QStringLiteral("%1 gehört dem Benutzer %2; es bleibt, wie es ist"),
    QStringLiteral("%1 belongs to another user (%2); it is left as it is"),
    QStringLiteral("%1 appartient à un autre utilisateur (%2) ; il reste tel quel")};
const LanguageText refusedNoTemporaryName = {
    QStringLiteral("%1: kein freier vorläufiger Name"),
    QStringLiteral("%1: no free temporary name"),
    QStringLiteral("%1 : aucun nom provisoire libre")};
const LanguageText refusedUnsupported = {
    QStringLiteral("Port-Verweise gibt es auf diesem System nicht"),
    QStringLiteral("Port links are not supported on this system"),
    QStringLiteral("Les liens de port ne sont pas pris en charge sur ce système")};

/// The refusal in the dialog's language; the system's own description of
/// an error stays as the system gives it.
QString refusalText(const PortLinkRefusal &refusal, Language language)
{
    using Reason = PortLinkRefusal::Reason;
    switch (refusal.reason) {
    case Reason::BadPortNumber: return refusedBadPortNumber.pickOrEnglish(language).arg(refusal.port);
    case Reason::NoDevice: return refusedNoDevice.pickOrEnglish(language);
    case Reason::NotALink: return refusedNotALink.pickOrEnglish(language).arg(refusal.path);
    case Reason::OtherUsersLink: return refusedOtherUsersLink.pickOrEnglish(language).arg(refusal.path, refusal.owner);
    case Reason::SystemError: return refusal.path + QStringLiteral(": ") + refusal.systemText;
    case Reason::NoTemporaryName: return refusedNoTemporaryName.pickOrEnglish(language).arg(refusal.path);
    case Reason::Unsupported: return refusedUnsupported.pickOrEnglish(language);
    case Reason::None: break;
    }
    return QString();
}

/// A device as one line: its stable name (or node), then what it says of itself.
QString deviceLine(const SerialDevice &device, Language language)
{
    QString line = device.byIdPath.isEmpty() ? device.systemPath : QFileInfo(device.byIdPath).fileName();
    QStringList about;
    for (const QString &part : {device.description, device.manufacturer})
        if (!part.isEmpty() && !about.contains(part))
            about << part;
    if (!device.serialNumber.isEmpty())
        about << QStringLiteral("S/N ") + device.serialNumber;
    if (!device.byIdPath.isEmpty() && !device.systemPath.isEmpty())
        about << device.systemPath;
    if (!device.present)
        about << notConnected.pickOrEnglish(language);
    if (!about.isEmpty())
        line += QStringLiteral(" \u2013 ") + about.join(QStringLiteral(", "));
    return line;
}

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
const LanguageText spreadsheetProgramsFilter = {
    QStringLiteral("Tabellenkalkulationen"), QStringLiteral("Spreadsheet programs"),
    QStringLiteral("Tableurs")};

/// The chooser's type list: Excel by name, and on Linux the usual
/// spreadsheet programs, described in the dialog's language.
FileFilters spreadsheetFilter(Language language)
{
    FileFilters filters = {{QStringLiteral("Filetyp Exe(*.exe)"), {QStringLiteral("Excel.exe")}}};
#ifndef Q_OS_WIN
    filters.append({spreadsheetProgramsFilter.pickOrEnglish(language),
                    {QStringLiteral("localc"), QStringLiteral("libreoffice"), QStringLiteral("soffice"),
                     QStringLiteral("gnumeric")}});
#endif
    return filters;
}

const QString previewText = QStringLiteral(" Quendrel/2 ");

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
    , m_fileDialog(dialogs)
    , m_ui(std::make_unique<Ui::SettingsDialog>())
{
    m_ui->setupUi(this);
    m_ui->saveButton->setPicture(QStringLiteral("save"));
    m_ui->leaveButton->setPicture(QStringLiteral("exit"));
    m_ui->chooseSpreadsheetButton->setPicture(QStringLiteral("open"));

    connect(m_ui->foreColourBar, &QScrollBar::valueChanged, this, &SettingsDialog::showForeColour);
    connect(m_ui->backColourBar, &QScrollBar::valueChanged, this, &SettingsDialog::showBackColour);
    connect(m_ui->foreColourSample, &QLineEdit::textChanged, this, &SettingsDialog::previewForeColour);
    connect(m_ui->backColourSample, &QLineEdit::textChanged, this, &SettingsDialog::previewBackColour);
    connect(m_ui->extendedModeBox, &QCheckBox::clicked, this, &SettingsDialog::extendedModeChanged);
    connect(m_ui->saveButton, &QAbstractButton::clicked, this, &SettingsDialog::saveAndRestart);
    connect(m_ui->leaveButton, &QAbstractButton::clicked, this, &SettingsDialog::leaveWithoutSaving);
    connect(m_ui->chooseSpreadsheetButton, &QAbstractButton::clicked, this, &SettingsDialog::chooseSpreadsheetProgram);
    connect(m_ui->portBox, &QComboBox::currentIndexChanged, this, &SettingsDialog::showPortTarget);
    connect(m_ui->portDeviceBox, &QComboBox::activated, this, &SettingsDialog::chooseDeviceForPort);

    // The samples start in the colours of the scroll bars' first positions.
    showForeColour();
    showBackColour();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::prepare()
{
    resize(sizeHint());
    centreOnScreen(this);

    m_ui->languageBox->clear();
    m_ui->languageBox->addItems({QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Francais")});
    m_ui->languageBox->setCurrentIndex(0);

    m_ui->portBox->clear();
    for (int port = 1; port <= 9; ++port)
        m_ui->portBox->addItem(QString::number(port));
    m_ui->portBox->setCurrentIndex(1);

    extendedModeChanged();
    readSettingsFile();

    m_ui->colourPreview->setText(previewText);
    setForeColor(m_ui->colourPreview, backColor(m_ui->foreColourSample));
    setBackColor(m_ui->colourPreview, backColor(m_ui->backColourSample));

    applyLanguageTexts();
    m_loaded = true;
    refreshDevices();
}

void SettingsDialog::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Adapters come and go while the dialog is hidden.
    if (m_loaded)
        refreshDevices();
}

int SettingsDialog::shownPort() const
{
    return m_ui->portBox->currentText().toInt();
}

void SettingsDialog::refreshDevices()
{
    const Language language = m_textLanguage;
    m_devices = listSerialDevices(m_hooks.byIdFolder);

    QTreeWidget *list = m_ui->deviceList;
    QStringList captions;
    for (const LanguageText &caption : deviceColumns)
        captions << caption.pickOrEnglish(language);
    list->setHeaderLabels(captions);
    list->clear();

    // Which port numbers reach each device now, by its link text or its node.
    QList<PortAssignment> assignments;
    for (int port = 1; port <= 9; ++port)
        assignments << portAssignment(m_hooks.settingsDir, port);
    const auto portsOf = [&](const SerialDevice &device) {
        QStringList ports;
        const QString node = device.systemPath.isEmpty() ? QString() : QFileInfo(device.systemPath).canonicalFilePath();
        for (const PortAssignment &a : std::as_const(assignments)) {
            const bool viaLink = a.kind != PortAssignment::Kind::System
                && (a.target == device.byIdPath || a.target == device.systemPath
                    || (!node.isEmpty() && a.device == node));
            const bool viaSystem = a.kind == PortAssignment::Kind::System && !device.systemPath.isEmpty()
                && a.target == device.systemPath;
            if (viaLink || viaSystem)
                ports << QString::number(a.port);
        }
        return ports;
    };

    QStringList listedPorts;
    for (const SerialDevice &device : std::as_const(m_devices)) {
        const QStringList ports = portsOf(device);
        listedPorts << ports;
        auto *row = new QTreeWidgetItem(list);
        row->setText(0, ports.join(QStringLiteral(", ")));
        row->setText(1, device.byIdPath.isEmpty() ? device.systemPath : QFileInfo(device.byIdPath).fileName());
        row->setToolTip(1, device.byIdPath.isEmpty() ? device.systemPath : device.byIdPath + QStringLiteral(" \u2192 ") + device.systemPath);
        row->setText(2, device.present ? device.description : notConnected.pickOrEnglish(language));
        row->setText(3, device.manufacturer);
        row->setText(4, device.serialNumber);
        if (!device.present)
            row->setDisabled(true);
    }
    // Links that lead to no device listed: an adapter unplugged, a node gone.
    for (const PortAssignment &a : std::as_const(assignments)) {
        if (a.kind != PortAssignment::Kind::Dangling || listedPorts.contains(QString::number(a.port)))
            continue;
        auto *row = new QTreeWidgetItem(list);
        row->setText(0, QString::number(a.port));
        row->setText(1, a.target);
        row->setText(2, notConnected.pickOrEnglish(language));
        row->setDisabled(true);
    }
    for (int column = 0; column < list->columnCount(); ++column)
        list->resizeColumnToContents(column);

    showPortTarget();
}

void SettingsDialog::showPortTarget()
{
    if (!m_loaded)
        return;
    const Language language = m_textLanguage;
    const int port = shownPort();
    if (port < 1)
        return;
    const PortAssignment now = portAssignment(m_hooks.settingsDir, port);

    QString nowText;
    QString shortText = now.target;
    switch (now.kind) {
    case PortAssignment::Kind::System:
        nowText = portIsSystem.pickOrEnglish(language).arg(port).arg(now.target);
        break;
    case PortAssignment::Kind::Link:
        nowText = portIsLink.pickOrEnglish(language).arg(port).arg(now.target, now.device);
        break;
    case PortAssignment::Kind::Dangling:
        nowText = portIsDangling.pickOrEnglish(language).arg(port).arg(now.target);
        shortText += QStringLiteral(" (") + notConnected.pickOrEnglish(language) + QLatin1Char(')');
        break;
    case PortAssignment::Kind::File:
        nowText = portIsFile.pickOrEnglish(language).arg(port).arg(QDir::toNativeSeparators(now.linkPath));
        break;
    }
    if (!now.ownedByUser && now.kind != PortAssignment::Kind::File)
        nowText += QLatin1Char(' ') + portIsForeign.pickOrEnglish(language).arg(now.linkPath);
    if (!now.trusted)
        nowText += QLatin1Char(' ') + portEntryNotUsed.pickOrEnglish(language)
                       .arg(QDir::toNativeSeparators(now.linkPath), now.owner);

    QComboBox *choice = m_ui->portDeviceBox;
    const QSignalBlocker quiet(choice);
    choice->clear();
    choice->addItem(unchangedItem.pickOrEnglish(language).arg(shortText), QString());
    const bool changeable = now.kind != PortAssignment::Kind::File && now.ownedByUser;
    for (const SerialDevice &device : std::as_const(m_devices)) {
        if (device.present)
            choice->addItem(deviceLine(device, language), device.linkTarget());
    }
    choice->setEnabled(changeable && choice->count() > 1);

    const QString pending = m_chosenTargets.value(port);
    if (!pending.isEmpty()) {
        const int index = choice->findData(pending);
        if (index > 0) {
            choice->setCurrentIndex(index);
            nowText += QLatin1Char('\n') + portWillBe.pickOrEnglish(language).arg(port).arg(pending);
        } else {
            // The chosen adapter was unplugged meanwhile: the choice is dropped.
            m_chosenTargets.remove(port);
        }
    }
    m_ui->portTargetLabel->setText(nowText);
}

void SettingsDialog::chooseDeviceForPort(int index)
{
    const int port = shownPort();
    if (port < 1)
        return;
    const QString target = m_ui->portDeviceBox->itemData(index).toString();
    if (index <= 0 || target.isEmpty())
        m_chosenTargets.remove(port);
    else
        m_chosenTargets.insert(port, target);
    showPortTarget();
}

bool SettingsDialog::makeChosenPortLinks()
{
    for (auto it = m_chosenTargets.cbegin(); it != m_chosenTargets.cend(); ++it) {
        // A link that already points there is left alone.
        if (portAssignment(m_hooks.settingsDir, it.key()).target == it.value())
            continue;
        PortLinkRefusal refusal;
        if (!makePortLink(m_hooks.settingsDir, it.key(), it.value(), &refusal)) {
            m_dialogs.message(portLinkFailed.pickOrEnglish(m_textLanguage)
                                  .arg(it.key()).arg(it.value(), refusalText(refusal, m_textLanguage)),
                              Icon::Warning);
            return false;
        }
    }
    m_chosenTargets.clear();
    return true;
}

void SettingsDialog::readSettingsFile()
{
    // The file start-up read, so the dialog shows the settings in use and
    // saves them back in place. Entry 6 (a baud rate) is left to start-up:
    // the dialog does not touch the port, which may be recording.
    const Settings settings = SettingsFile(m_hooks.settingsDir).readForDialog();
    m_ui->spreadsheetPathEdit->setText(settings.spreadsheetPath);
    if (settings.port.number > 0)
        selectItem(m_ui->portBox, QString::number(settings.port.number));
    selectItem(m_ui->languageBox, languageName(settings.language));
    setColorIndex(m_ui->foreColourBar, settings.foreColorIndex);
    setColorIndex(m_ui->backColourBar, settings.backColorIndex);
    if (settings.extendedMode) {
        m_ui->extendedModeBox->setChecked(*settings.extendedMode);
        extendedModeChanged();
    }
}

void SettingsDialog::selectItem(QComboBox *list, const QString &item)
{
    const int index = list->findText(item, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        list->setCurrentIndex(index);
}

void SettingsDialog::setColorIndex(QScrollBar *bar, std::optional<int> index)
{
    if (!index || *index < bar->minimum() || *index > bar->maximum())
        return;
    // The samples follow the file even when the position does not move.
    const bool unchanged = bar->value() == *index;
    bar->setValue(*index);
    if (unchanged)
        bar == m_ui->foreColourBar ? showForeColour() : showBackColour();
}

void SettingsDialog::applyLanguageTexts()
{
    m_textLanguage = languageFromText(m_ui->languageBox->currentText());
    // Every language text of this window in one table.
    applyWindowTexts({
        {this, &QWidget::setWindowTitle, {QStringLiteral(" Einstellungen "), QStringLiteral(" User Settings"), QStringLiteral(" Préférences")}},
        {m_ui->spreadsheetPathLabel, &QLabel::setText, {QStringLiteral("Wo befindet sich Excel ->( Pfadangabe )"), QStringLiteral("Where is MS-Excel->( Path input )"), QStringLiteral("Ou est MS-Excel -> ( enterz repertoire )")}},
        {m_ui->portLabel, &QLabel::setText, {QStringLiteral("RS 232 Port"), QStringLiteral("RS 232 Port"), QStringLiteral("Port RS232")}},
        {m_ui->languageLabel, &QLabel::setText, {QStringLiteral("Sprache"), QStringLiteral("Language"), QStringLiteral("Langage")}},
        {m_ui->coloursLabel, &QLabel::setText, {QStringLiteral("Farben des Datensicht-Fensters"), QStringLiteral("Colours of data windows"), QStringLiteral("Couleurs de fenêtres de donneés")}},
        {m_ui->backColourSample, &QWidget::setToolTip, {QStringLiteral("Hintergrund Farbe"), QStringLiteral("BackColor"), QStringLiteral("Fond ")}},
        {m_ui->foreColourSample, &QWidget::setToolTip, {QStringLiteral(" Vordergrund Farbe"), QStringLiteral("ForeColor"), QStringLiteral("Premier plan")}},
        {m_ui->extendedModeBox, &QAbstractButton::setText, {QStringLiteral("Erweiterter Modus"), QStringLiteral("Extended Mod"), QStringLiteral("Extended Mod")}},
        {m_ui->saveButton, &QWidget::setToolTip, {QStringLiteral("Änderungen abspeichern"), QStringLiteral("Save"), QStringLiteral("Sauver")}},
        {m_ui->leaveButton, &QWidget::setToolTip, {QStringLiteral("Verlassen ohne speichern"), QStringLiteral("Exit"), QStringLiteral("Fin")}},
        {m_ui->chooseSpreadsheetButton, &QWidget::setToolTip, {QStringLiteral("Pfadangabe für EXCEL"), QStringLiteral("Save the EXCEL Path "), QStringLiteral("Sauver EXCEL repertoire  ")}},
        {m_ui->portDeviceLabel, &QLabel::setText, {QStringLiteral("&Gerät an diesem Port"), QStringLiteral("&Device on this port"), QStringLiteral("&Appareil sur ce port")}},
        {m_ui->portDeviceBox, &QWidget::setAccessibleName, {QStringLiteral("Gerät an diesem Port"), QStringLiteral("Device on this port"), QStringLiteral("Appareil sur ce port")}},
        {m_ui->deviceList, &QWidget::setAccessibleName, {QStringLiteral("Serielle Geräte"), QStringLiteral("Serial devices"), QStringLiteral("Appareils série")}},
    }, m_textLanguage);
}

void SettingsDialog::showForeColour()
{
    if (const std::optional<QColor> color = colorForIndex(m_ui->foreColourBar->value()))
        setBackColor(m_ui->foreColourSample, *color);
    setForeColor(m_ui->colourPreview, backColor(m_ui->foreColourSample));
}

void SettingsDialog::showBackColour()
{
    if (const std::optional<QColor> color = colorForIndex(m_ui->backColourBar->value()))
        setBackColor(m_ui->backColourSample, *color);
    setBackColor(m_ui->colourPreview, backColor(m_ui->backColourSample));
}

void SettingsDialog::previewForeColour()
{
    setForeColor(m_ui->colourPreview, backColor(m_ui->foreColourSample));
}

void SettingsDialog::previewBackColour()
{
    setBackColor(m_ui->colourPreview, backColor(m_ui->backColourSample));
}

void SettingsDialog::extendedModeChanged()
{
    m_extendedMode = m_ui->extendedModeBox->isChecked();
}

void SettingsDialog::chooseSpreadsheetProgram()
{
    const Language language = languageFromText(m_ui->languageBox->currentText());
    const QString hint = noSpreadsheetHint.pick(language);
    if (!hint.isEmpty())
        m_dialogs.message(hint, Icon::Warning);

    // A cancel empties the entry: the viewers then fall back to the editor.
    m_ui->spreadsheetPathEdit->setText(m_fileDialog.getOpenFileName(spreadsheetDialogTitle.pick(language), spreadsheetFilter(language),
                                                      m_hooks.programDir));
}

void SettingsDialog::leaveWithoutSaving()
{
    hide();
}

void SettingsDialog::saveAndRestart()
{
    Settings values;
    values.spreadsheetPath = m_ui->spreadsheetPathEdit->text();
    values.port.number = qint16(m_ui->portBox->currentText().toInt());
    values.language = languageFromText(m_ui->languageBox->currentText());
    values.foreColorIndex = m_ui->foreColourBar->value();
    values.backColorIndex = m_ui->backColourBar->value();
    values.extendedMode = m_extendedMode;

    // The port links first: a device that cannot be linked stops the save,
    // and the program goes on as it was.
    if (!makeChosenPortLinks())
        return;

    // Written before anything is closed: when the file cannot be written the
    // program goes on as it was, recording included, and says why.
    const SettingsFile file(m_hooks.settingsDir);
    QString error;
    if (!file.write(values, &error)) {
        m_dialogs.message(QDir::toNativeSeparators(file.path()) + QStringLiteral("\r\n") + error, Icon::Warning);
        return;
    }

    if (m_hooks.closeFiles)
        m_hooks.closeFiles();
    const bool restarted = m_hooks.restart && m_hooks.restart();
    if (!restarted)
        m_dialogs.message(restartFailed.pickOrEnglish(languageFromText(m_ui->languageBox->currentText())), Icon::Warning);
    close();
    if (m_hooks.endProgram)
        m_hooks.endProgram();
}
