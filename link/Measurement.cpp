#include "Measurement.h"

#include "CommEvents.h"
#include "HeaderRead.h"
#include "LanguageText.h"
#include "Leftover.h"
#include "SerialPort.h"
#include "SampleProcessor.h"
#include "UserDialogs.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <QTimer>

namespace {

const char StartCharacter = '\x02';
const char StopCharacter = '\x03';

/// Time and date labels that Start writes into the receive box.
const LanguageText kStartTimeLabel{QStringLiteral("    Uhrzeit: "), QStringLiteral("  Time: "), QStringLiteral("  Temps: ")};
const LanguageText kStartDateLabel{QStringLiteral("    Datum: "), QStringLiteral("  Date: "), QStringLiteral("  Date: ")};

/// Added to the port error when the user may not open the device.
const LanguageText kPortGroupHint{
    QStringLiteral("Nur Mitglieder der Gruppe \"%1\" dürfen diese Schnittstelle öffnen: "
                   "sudo usermod -aG %1 $USER eingeben und sich neu anmelden."),
    QStringLiteral("Only members of the group \"%1\" may open this port: "
                   "run sudo usermod -aG %1 $USER and log in again."),
    QStringLiteral("Seuls les membres du groupe \"%1\" peuvent ouvrir ce port : "
                   "lancez sudo usermod -aG %1 $USER puis reconnectez-vous.")};

const LanguageText kRecoveredText{
    QStringLiteral("Die nicht gespeicherte Messung des letzten Laufs wurde als \"%1\" aufbewahrt."),
    QStringLiteral("The unsaved measurement of the last run was kept as \"%1\"."),
    QStringLiteral("La mesure non sauvegardée de la dernière session a été gardée sous \"%1\".")};
const LanguageText kRecoverFailedText{
    QStringLiteral("Die nicht gespeicherte Messung des letzten Laufs konnte nicht kopiert werden: %1\n"
                   "Ihre Daten sind weiterhin in \"%2\"; bitte diese Datei verschieben und das Programm neu starten, bevor Sie messen."),
    QStringLiteral("The unsaved measurement of the last run could not be copied: %1\n"
                   "Its data are still in \"%2\"; move that file and start the program again before measuring."),
    QStringLiteral("La mesure non sauvegardée de la dernière session n'a pas pu être copiée : %1\n"
                   "Ses données sont toujours dans \"%2\" ; déplacez ce fichier et redémarrez le programme avant de mesurer.")};

// Shown in both languages whatever the setting: the usual reason is the
// spreadsheet program still holding the file open.
const QString closeSpreadsheetMessage =
    QStringLiteral("Please close Microsoft EXCEL ! \r\nBitte Microsoft EXCEL schließen ! ");
const QString infoCaption = QStringLiteral(" Quendrel Data Recorder Info ");

QString shortDate()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

Measurement::Measurement(UserDialogs &dialogs, QObject *parent)
    : QObject(parent), m_dialogs(dialogs)
{
    m_port = new SerialPort(this);
    m_port->setObjectName(QStringLiteral("MSComm1"));
    m_processor = new SampleProcessor(m_ranges, m_live, m_workFile, this);
    m_processor->setDialogs(&m_dialogs);
    m_headerTimer = new QTimer(this);
    m_headerTimer->setObjectName(QStringLiteral("Timer1"));
    m_headerTimer->setInterval(HeaderReadDelayMs);
    m_headerTimer->setSingleShot(true);

    connect(m_port, &SerialPort::OnComm, this, &Measurement::handleCommEvent);
    // The timer is stopped after the read, so a Start/Stop run by a
    // transmission error does not arm a second read.
    connect(m_headerTimer, &QTimer::timeout, this, [this] {
        readHeader();
        m_headerTimer->stop();
    });
}

Measurement::~Measurement() = default;

void Measurement::setLanguage(const QString &language)
{
    m_language = language;
    m_processor->setLanguage(language);
}

void Measurement::setNotesProvider(std::function<QString()> notes)
{
    m_processor->setNotesProvider(std::move(notes));
}

bool Measurement::isRunning() const
{
    return m_port->PortOpen();
}

void Measurement::clearReceived()
{
    m_live.Term.clear();
    m_live.touch();
    emit liveChanged();
}

void Measurement::reopenPort()
{
    // Closing first makes the toggle open the port, whatever its state was.
    m_port->setPortOpen(false);
    togglePort();
}

void Measurement::closePort()
{
    m_port->setPortOpen(false);
}

qint64 Measurement::pendingOutput() const
{
    return m_port->OutBufferCount();
}

bool Measurement::hasUnsavedData() const
{
    return m_processor->hasUnsavedData();
}

void Measurement::setUnsavedData(bool unsaved)
{
    m_processor->setUnsavedData(unsaved);
}

void Measurement::togglePort()
{
    if (!m_port->setPortOpen(!m_port->PortOpen()))
        m_dialogs.message(portErrorText(), style::Exclamation);
    emit portOpenChanged(m_port->PortOpen());
}

QString Measurement::portErrorText() const
{
    // A new user is usually not in the group that owns the serial devices.
    QString text = m_port->errorString();
    const QString group = m_port->deniedDeviceGroup();
    if (!group.isEmpty())
        text += QStringLiteral("\r\n") + kPortGroupHint.pick(m_language, kPortGroupHint.english).arg(group);
    return text;
}

void Measurement::handleCommEvent()
{
    const CommClass event = classifyCommEvent(m_port->CommEvent());
    switch (event.kind) {
    case CommClass::Receive:
        m_processor->ProcessReceivedBlock(m_live.Term, m_port->Input());
        emit liveChanged();
        return;
    case CommClass::Event:
        m_commEventText = event.text;
        break;
    case CommClass::Error:
        m_commErrorText = event.text;
        break;
    case CommClass::None:
        return;
    }
    if (!m_commEventText.isEmpty()) {
        // Line-state events are consumed silently.
        m_commEventText.clear();
        return;
    }
    if (!m_commErrorText.isEmpty()) {
        m_dialogs.beep();
        const QString text = m_commErrorText;
        m_commErrorText.clear();
        if (m_dialogs.message(text, style::OkCancel, commErrorTitle()) == answer::Cancel)
            m_port->setPortOpen(false);
    }
}

void Measurement::startStop()
{
    m_timeLabel = kStartTimeLabel.pick(m_language);
    m_dateLabel = kStartDateLabel.pick(m_language);
    m_live.Image1Visible = false;
    m_live.Image2Visible = true;

    m_port->Output(QByteArray(1, StopCharacter));
    m_header.inp1Header = QStringLiteral("INP1");
    m_header.inp2Header.clear();
    m_header.sr1Header.clear();
    m_header.sr2Header.clear();
    m_live.clearFigures();
    m_live.Term.clear();
    m_headerTimer->start();
    emit displaysCleared();

    const QString dateText = shortDate();
    togglePort();

    // A save after the stop re-opens the port, so a new measurement may
    // already be running when the question returns.
    if (!m_port->PortOpen())
        emit stopped();
    if (m_port->PortOpen()) {
        m_port->Output(QByteArray(1, StartCharacter));
        m_header.inp1Header.clear();
        m_processor->expectNotesHeader();
        emit started();
        m_live.Term.append(m_timeLabel + timeOfDay() + m_dateLabel + dateText);
    } else if (!m_workFile.isOpen()) {
        m_live.Term.append(m_dateLabel);
    }
    m_live.Term.append(QStringLiteral("\r\n"));
    m_live.touch();
    emit liveChanged();
}

void Measurement::readHeader()
{
    emit headerReadStarted();
    const HeaderReadResult header = readInstrumentHeader(m_header);
    if (!header.label11.isNull())
        emit printerLineRead(header.label11);

    if (!m_header.inp1Header.startsWith(QLatin1String("INP1"))) {
        const TransmissionErrorText message = transmissionErrorText(m_language);
        if (!message.text.isNull()) {
            m_dialogs.message(message.text, style::OkOnly, message.title);
            startStop();
        }
    }
    emit headerRead();
}

bool Measurement::openWorkingFile(const QString &workFilePath)
{
    const WorkingFile::OpenResult opened = m_workFile.open(workFilePath);
    if (opened != WorkingFile::OpenResult::Opened) {
        reportOpenFailure(opened);
        return false;
    }
    leftover::clearNote(workFilePath);
    return true;
}

void Measurement::reportOpenFailure(WorkingFile::OpenResult result)
{
    switch (result) {
    case WorkingFile::OpenResult::Opened:
        return;
    case WorkingFile::OpenResult::DeleteFailed:
        m_dialogs.message(closeSpreadsheetMessage, style::Question | style::CancelTryContinue, infoCaption);
        return;
    case WorkingFile::OpenResult::ListingFailed:
    case WorkingFile::OpenResult::OpenFailed:
        m_dialogs.message(m_workFile.errorString(), style::Exclamation);
        m_workFile.close();
        return;
    }
}

bool Measurement::settleLeftover()
{
    // A measurement the last run could not finish (a crash, a kill, the
    // settings restart) is kept as a CSV file before the fresh working file
    // replaces it; one the user declined to save is replaced silently.
    const leftover::Found found = leftover::settle(WorkingFile::bareName(), QDateTime::currentDateTime());
    const QString &language = m_language;
    switch (found.kind) {
    case leftover::Found::Kind::Nothing:
    case leftover::Found::Kind::Declined:
        return true;
    case leftover::Found::Kind::Kept:
        m_dialogs.message(kRecoveredText.pick(language, kRecoveredText.english).arg(found.keptName),
                          style::Information);
        return true;
    case leftover::Found::Kind::NotKept:
        // The working file is left as it is: it holds the only copy.
        m_dialogs.message(kRecoverFailedText.pick(language, kRecoverFailedText.english)
                              .arg(found.error, found.dataPath),
                          style::Exclamation);
        return false;
    }
    return true;
}
