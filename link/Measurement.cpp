#include "Measurement.h"

#include "PortEvents.h"
#include "HeaderRead.h"
#include "LanguageText.h"
#include "DurableFile.h"
#include "FilePaths.h"
#include "Leftover.h"
#include "SerialPort.h"
#include "SampleProcessor.h"
#include "SensorSelection.h"
#include "UserDialogs.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QLocale>
#include <QTime>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

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

/// Added to the port error when a lock file left by an ended program
/// holds the device.
const LanguageText kStaleLockHint{
    QStringLiteral("Die Schnittstelle ist durch die Sperrdatei \"%1\" des Benutzers %2 belegt, "
                   "die ein beendetes Programm hinterlassen hat. Entfernen mit: sudo rm %1"),
    QStringLiteral("The port is held by the lock file \"%1\" of the user %2, "
                   "left behind by a program that has ended. Remove it with: sudo rm %1"),
    QStringLiteral("Le port est bloqué par le fichier de verrou \"%1\" de l'utilisateur %2, "
                   "laissé par un programme terminé. Supprimez-le avec : sudo rm %1")};

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

const LanguageText kFolderInUseText{
    QStringLiteral("In diesem Ordner zeichnet bereits eine andere Kopie des Programms auf:\n%1\n"
                   "Bitte diese Kopie beenden oder das Programm in einem anderen Ordner starten."),
    QStringLiteral("Another copy of the program is already recording in this folder:\n%1\n"
                   "End that copy, or start the program in another folder."),
    QStringLiteral("Une autre copie du programme enregistre déjà dans ce dossier :\n%1\n"
                   "Fermez cette copie ou démarrez le programme dans un autre dossier.")};
const LanguageText kStartRefusedText{
    QStringLiteral("Im Ordner \"%1\" kann keine Messung aufgezeichnet werden:\n%2"),
    QStringLiteral("No measurement can be recorded in the folder \"%1\":\n%2"),
    QStringLiteral("Aucune mesure ne peut être enregistrée dans le dossier \"%1\" :\n%2")};

const LanguageText kForeignWorkingFileText{
    QStringLiteral("\"%1\" ist ein Verweis, ein Ordner oder die Datei eines anderen Benutzers; "
                   "das Programm zeichnet dort nicht auf.\n"
                   "Bitte diesen Eintrag entfernen oder das Programm in einem anderen Ordner starten."),
    QStringLiteral("\"%1\" is a link, a folder or another user's file; the program does not record into it.\n"
                   "Remove it, or start the program in another folder."),
    QStringLiteral("\"%1\" est un lien, un dossier ou le fichier d'un autre utilisateur ; "
                   "le programme n'y enregistre pas.\n"
                   "Supprimez-le ou démarrez le programme dans un autre dossier.")};
const LanguageText kForeignSaveTargetText{
    QStringLiteral("Die Messung wurde nicht gespeichert: \"%1\" ist ein Verweis eines anderen Benutzers.\n"
                   "Bitte einen anderen Namen wählen."),
    QStringLiteral("The measurement was not saved: \"%1\" is a link made by another user.\n"
                   "Please choose another name."),
    QStringLiteral("La mesure n'a pas été sauvegardée : \"%1\" est un lien créé par un autre utilisateur.\n"
                   "Choisissez un autre nom.")};
const LanguageText kWorkingFileTargetText{
    QStringLiteral("Die Messung wurde nicht gespeichert: \"%1\" führt zur Arbeitsdatei \"%2\".\n"
                   "Bitte einen anderen Namen wählen."),
    QStringLiteral("The measurement was not saved: \"%1\" leads to the working file \"%2\".\n"
                   "Please choose another name."),
    QStringLiteral("La mesure n'a pas été sauvegardée : \"%1\" mène au fichier de travail \"%2\".\n"
                   "Choisissez un autre nom.")};

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

    // A sync the disk refused is asked about like a failed write.
    m_workFile.setSyncFailureHandler([this](const QString &error) {
        return m_dialogs.message(error, Buttons::RetryCancel | Icon::Critical) == Answer::Retry;
    });

    m_workFile.setSyncObserver([this](qint64 syncedBytes) { emit synced(syncedBytes); });

    connect(m_port, &SerialPort::readyRead, this, &Measurement::readReceived);
    connect(m_port, &SerialPort::eventOccurred, this, &Measurement::handlePortEvent);
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

void Measurement::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool Measurement::isRunning() const
{
    return m_port->isOpen();
}

void Measurement::clearReceived()
{
    m_live.received.clear();
    m_live.touch();
    emit liveChanged();
}

qint64 Measurement::pendingOutput() const
{
    return m_port->bytesToWrite();
}

bool Measurement::hasUnsavedData() const
{
    return m_processor->hasUnsavedData();
}

bool Measurement::recordRaw(const QByteArray &bytes)
{
    if (!m_workFile.write(bytes))
        return false;
    m_holdsUnsaved = true;
    return true;
}

void Measurement::setUnsavedData(bool unsaved)
{
    m_processor->setUnsavedData(unsaved);
}

// ---------------------------------------------------------------- the port

void Measurement::togglePort()
{
    if (m_port->isOpen())
        m_port->close();
    else if (!m_port->open())
        m_dialogs.message(portErrorText(), Icon::Warning);
    emit portOpenChanged(m_port->isOpen());
}

bool Measurement::openPort()
{
    if (!m_port->open())
        m_dialogs.message(portErrorText(), Icon::Warning);
    emit portOpenChanged(m_port->isOpen());
    return m_port->isOpen();
}

QString Measurement::portErrorText() const
{
    // A new user is usually not in the group that owns the serial devices.
    QString text = m_port->errorString();
    const QString group = m_port->deniedDeviceGroup();
    if (!group.isEmpty())
        text += QStringLiteral("\r\n") + kPortGroupHint.pick(m_language, kPortGroupHint.english).arg(group);
    const SerialPort::StaleLock lock = m_port->staleLock();
    if (!lock.path.isEmpty())
        text += QStringLiteral("\r\n")
                + kStaleLockHint.pick(m_language, kStaleLockHint.english).arg(lock.path, lock.owner);
    return text;
}

void Measurement::readReceived()
{
    m_processor->ProcessReceivedBlock(m_live.received, m_port->readAll());
    emit liveChanged();
}

void Measurement::handlePortEvent(SerialPort::Event event)
{
    const PortEventClass kind = classifyPortEvent(qint16(event));
    switch (kind.kind) {
    case PortEventClass::Receive:
        readReceived();
        return;
    case PortEventClass::Event:
    case PortEventClass::None:
        // Line-state events are consumed silently.
        return;
    case PortEventClass::Error:
        break;
    }
    m_dialogs.beep();
    // Cancel closes the port and nothing else: the measurement goes on
    // into the same working file at the next Start.
    if (m_dialogs.message(kind.text, Buttons::OkCancel, portErrorTitle()) == Answer::Cancel)
        m_port->close();
}

void Measurement::finish()
{
    m_port->close();
    // The next copy of the program (a restart) takes the folder over.
    m_workFile.release();
}

// ---------------------------------------------------------------- start and stop

void Measurement::startStop()
{
    const QString timeLabel = kStartTimeLabel.pick(m_language);
    const QString dateLabel = kStartDateLabel.pick(m_language);
    m_live.graphPictureShown = false;
    m_live.idlePictureShown = true;

    m_port->write(QByteArray(1, StopCharacter));
    m_header.inp1Header = QStringLiteral("INP1");
    m_header.inp2Header.clear();
    m_header.sr1Header.clear();
    m_header.sr2Header.clear();
    m_scales.meterCaption1 = QLatin1String("");
    m_scales.meterCaption2 = QLatin1String("");
    m_scales.graphCaption1.clear();
    m_scales.graphCaption2.clear();
    m_live.clearFigures();
    m_live.received.clear();
    m_headerTimer->start();
    emit displaysCleared();

    const QString dateText = shortDate();
    if (m_port->isOpen()) {
        // Stop: the data wait in the working file for the user's decision,
        // which may save them and start the next measurement at once.
        m_port->close();
        emit portOpenChanged(false);
        m_workFile.close();
        setState(State::Stopped);
        emit stopped();
    } else if (prepareRecording()) {
        // A port that cannot be opened makes the click a stop.
        if (!openPort()) {
            m_workFile.close();
            setState(State::Stopped);
            emit stopped();
        }
    }

    if (m_port->isOpen()) {
        m_port->write(QByteArray(1, StartCharacter));
        m_header.inp1Header.clear();
        m_processor->expectNotesHeader();
        m_holdsUnsaved = true;
        setState(State::Measuring);
        // The header read follows the start, also when a save question
        // came between the click and this start.
        m_headerTimer->start();
        emit started();
        m_live.received.append(timeLabel + timeOfDay() + dateLabel + dateText);
    } else if (!m_workFile.isOpen()) {
        m_live.received.append(dateLabel);
    }
    m_live.received.append(QStringLiteral("\r\n"));
    m_live.touch();
    emit liveChanged();
}

bool Measurement::prepareRecording()
{
    // Recording goes on into the same file after the port was closed by
    // Cancel in the communication error box.
    if (m_workFile.isOpen())
        return true;
    if (m_holdsUnsaved && !keepUnsavedData())
        return false;
    const WorkingFile::OpenResult opened = m_workFile.open(WorkingFile::bareName());
    if (opened == WorkingFile::OpenResult::Opened) {
        leftover::clearNote(WorkingFile::bareName());
        m_holdsUnsaved = m_holdsDecided = false;
        return true;
    }
    // Never record into nothing: the port stays closed.
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    const QString reason = opened == WorkingFile::OpenResult::Foreign
        ? kForeignWorkingFileText.pick(m_language, kForeignWorkingFileText.english).arg(m_workFile.errorString())
        : m_workFile.errorString();
    m_dialogs.message(kStartRefusedText.pick(m_language, kStartRefusedText.english).arg(folder, reason),
                      Icon::Warning);
    return false;
}

bool Measurement::keepUnsavedData()
{
    // What the last measurement left unsaved (a cancelled or failed save)
    // is kept beside the working file, as at start-up.
    QString error;
    const QString kept = WorkingFile::recoverLeftover(WorkingFile::bareName(), QDateTime::currentDateTime(), &error);
    if (kept.isEmpty() && !error.isEmpty()) {
        const QString dataPath = QDir::toNativeSeparators(QFileInfo(resolveBareName(WorkingFile::bareName())).absoluteFilePath());
        m_dialogs.message(kRecoverFailedText.pick(m_language, kRecoverFailedText.english).arg(error, dataPath),
                          Icon::Warning);
        return false;
    }
    if (!kept.isEmpty())
        m_dialogs.message(kRecoveredText.pick(m_language, kRecoveredText.english).arg(kept), Icon::Information);
    m_holdsUnsaved = false;
    return true;
}

// ---------------------------------------------------------------- save and discard

bool Measurement::save(const QString &chosenCsvPath)
{
    // A name that is a link is saved at the file it leads to (the question
    // named that file); another user's link, and anything that leads to
    // the working file, are refused.
    const QString csvPath = linkTarget(chosenCsvPath);
    const QString shownTarget = QDir::toNativeSeparators(chosenCsvPath);
    struct stat chosen {};
    if (::lstat(QFile::encodeName(chosenCsvPath).constData(), &chosen) == 0 && S_ISLNK(chosen.st_mode)
        && chosen.st_uid != ::geteuid()) {
        m_dialogs.message(kForeignSaveTargetText.pick(m_language, kForeignSaveTargetText.english).arg(shownTarget),
                          Icon::Warning);
        return false;
    }
    if (m_workFile.isSameFile(csvPath)
        || QFileInfo(csvPath).absoluteFilePath().compare(QFileInfo(WorkingFile::bareName()).absoluteFilePath(),
                                                         Qt::CaseInsensitive) == 0) {
        m_dialogs.message(kWorkingFileTargetText.pick(m_language, kWorkingFileTargetText.english)
                              .arg(shownTarget, QDir::toNativeSeparators(QFileInfo(WorkingFile::bareName()).absoluteFilePath())),
                          Icon::Warning);
        return false;
    }

    // Data saved or declined before, that the file could not be emptied
    // of, are not this measurement's: the copy is then empty.
    const QString source = m_holdsDecided ? QProcess::nullDevice() : m_workFile.resolvedPath();
    QString error;
    // The copy is taken while the file may still record: no event runs
    // during it, so no block falls between the copy and the emptying.
    if (source.isEmpty() || !durable::copyFile(source, csvPath, &error)) {
        if (error.isEmpty())
            error = QDir::toNativeSeparators(QFileInfo(WorkingFile::bareName()).absoluteFilePath());
        m_dialogs.message(error, Icon::Warning);
        return false;
    }
    m_holdsUnsaved = false;
    m_holdsDecided = true;
    emit saved(csvPath);

    const WorkingFile::OpenResult opened = m_workFile.open(WorkingFile::bareName());
    if (opened != WorkingFile::OpenResult::Opened) {
        // Saved, but the next measurement has no file yet: the next Start
        // tries again and says why when it cannot.
        m_dialogs.message(opened == WorkingFile::OpenResult::Foreign
                              ? kForeignWorkingFileText.pick(m_language, kForeignWorkingFileText.english)
                                    .arg(m_workFile.errorString())
                              : m_workFile.errorString(),
                          Icon::Warning);
        setState(State::Idle);
        return true;
    }
    leftover::clearNote(WorkingFile::bareName());
    m_holdsDecided = false;
    clearReceived();
    setUnsavedData(false);

    // The port is opened again, so the next measurement is received at once.
    m_port->close();
    if (openPort()) {
        m_holdsUnsaved = true;
        setState(State::Measuring);
    } else {
        setState(State::Idle);
    }
    return true;
}

void Measurement::discard()
{
    m_workFile.close();
    m_holdsUnsaved = false;
    const WorkingFile::OpenResult opened = m_workFile.open(WorkingFile::bareName());
    if (opened == WorkingFile::OpenResult::Opened) {
        leftover::clearNote(WorkingFile::bareName());
        m_holdsDecided = false;
    } else {
        reportOpenFailure(opened);
        // Declined all the same: the next start drops them without a copy.
        m_holdsDecided = true;
        leftover::noteDeclined(WorkingFile::bareName());
    }
    setState(State::Idle);
}

void Measurement::declineAtExit()
{
    m_workFile.close();
    m_holdsUnsaved = false;
    // The data stay in the closed working file; the next start replaces
    // them without keeping a copy, as the user chose.
    leftover::noteDeclined(WorkingFile::bareName());
}

// ---------------------------------------------------------------- header and sensors

void Measurement::readHeader()
{
    emit headerReadStarted();
    const HeaderReadResult header = readInstrumentHeader(m_header);
    if (!header.label11.isNull())
        emit printerLineRead(header.label11);

    if (!m_header.inp1Header.startsWith(QLatin1String("INP1"))) {
        const TransmissionErrorText message = transmissionErrorText(m_language);
        if (!message.text.isNull()) {
            m_dialogs.message(message.text, Buttons::Ok, message.title);
            startStop();
        }
    }
    selectSensors();
    emit headerRead();
}

void Measurement::selectSensors()
{
    SensorTargets targets;
    targets.setGraphCaption1 = [this](const QString &t) { m_scales.graphCaption1 = t; };
    targets.setGraphCaption2 = [this](const QString &t) { m_scales.graphCaption2 = t; };
    targets.setMeterCaption1 = [this](const QString &t) { m_scales.meterCaption1 = t; };
    targets.setMeterCaption2 = [this](const QString &t) { m_scales.meterCaption2 = t; };
    targets.setFullScale1 = [this](qint16 v) { m_live.inp1FullScale = v; };
    targets.setFullScale2 = [this](qint16 v) { m_live.inp2FullScale = v; };
    sensorSelection(m_header.sr1Header, m_header.sr2Header, m_ranges, targets);
    m_live.touch();
    emit liveChanged();
}

// ---------------------------------------------------------------- start-up

Measurement::FolderResult Measurement::openFolder()
{
    const WorkingFile::OpenResult claimed = m_workFile.claim(WorkingFile::bareName());
    if (claimed == WorkingFile::OpenResult::InUse) {
        m_dialogs.message(kFolderInUseText.pick(m_language, kFolderInUseText.english).arg(m_workFile.errorString()),
                          Icon::Warning);
        return FolderResult::InUse;
    }
    if (claimed != WorkingFile::OpenResult::Opened) {
        reportOpenFailure(claimed);
        return FolderResult::Unready;
    }

    // A measurement the last run could not finish (a crash, a kill, the
    // settings restart) is kept as a CSV file before the working file is
    // emptied; one the user declined to save is dropped silently.
    const leftover::Found found = leftover::settle(WorkingFile::bareName(), QDateTime::currentDateTime());
    switch (found.kind) {
    case leftover::Found::Kind::Nothing:
    case leftover::Found::Kind::Declined:
        break;
    case leftover::Found::Kind::Kept:
        m_dialogs.message(kRecoveredText.pick(m_language, kRecoveredText.english).arg(found.keptName),
                          Icon::Information);
        break;
    case leftover::Found::Kind::NotKept:
        // The working file is left as it is: it holds the only copy.
        m_dialogs.message(kRecoverFailedText.pick(m_language, kRecoverFailedText.english)
                              .arg(found.error, found.dataPath),
                          Icon::Warning);
        m_holdsUnsaved = true;
        return FolderResult::Unready;
    }

    const WorkingFile::OpenResult opened = m_workFile.open(WorkingFile::bareName());
    if (opened != WorkingFile::OpenResult::Opened) {
        reportOpenFailure(opened);
        return FolderResult::Unready;
    }
    leftover::clearNote(WorkingFile::bareName());
    return FolderResult::Ready;
}

void Measurement::reportOpenFailure(WorkingFile::OpenResult result)
{
    switch (result) {
    case WorkingFile::OpenResult::Opened:
        return;
    case WorkingFile::OpenResult::DeleteFailed:
        m_dialogs.message(closeSpreadsheetMessage, Icon::Question | Buttons::CancelTryContinue, infoCaption);
        return;
    case WorkingFile::OpenResult::InUse:
        m_dialogs.message(kFolderInUseText.pick(m_language, kFolderInUseText.english).arg(m_workFile.errorString()),
                          Icon::Warning);
        return;
    case WorkingFile::OpenResult::Foreign:
        m_dialogs.message(kForeignWorkingFileText.pick(m_language, kForeignWorkingFileText.english)
                              .arg(m_workFile.errorString()),
                          Icon::Warning);
        return;
    case WorkingFile::OpenResult::ListingFailed:
    case WorkingFile::OpenResult::OpenFailed:
        m_dialogs.message(m_workFile.errorString(), Icon::Warning);
        return;
    }
}
