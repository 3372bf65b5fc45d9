#include "Measurement.h"

#include "PortEvents.h"
#include "HeaderRead.h"
#include "MeasurementTexts.h"
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

void Measurement::setLanguage(Language language)
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
    switch (m_port->openError()) {
    case SerialPort::OpenError::NoPortNumber:
        return MeasurementTexts::noPortNumber.pickOrEnglish(m_language);
    case SerialPort::OpenError::AlreadyOpen:
        return MeasurementTexts::portAlreadyOpen.pickOrEnglish(m_language);
    case SerialPort::OpenError::NoError:
    case SerialPort::OpenError::DeviceError:
        break;
    }
    // A new user is usually not in the group that owns the serial devices.
    QString text = m_port->errorString();
    const QString group = m_port->deniedDeviceGroup();
    if (!group.isEmpty())
        text += QStringLiteral("\r\n") + MeasurementTexts::portGroupHint.pickOrEnglish(m_language).arg(group);
    const SerialPort::StaleLock lock = m_port->staleLock();
    if (!lock.path.isEmpty())
        text += QStringLiteral("\r\n")
                + MeasurementTexts::staleLockHint.pickOrEnglish(m_language).arg(lock.path, lock.owner);
    return text;
}

void Measurement::readReceived()
{
    m_processor->processBlock(m_live.received, m_port->readAll());
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
    const QString timeLabel = MeasurementTexts::startTimeLabel.pick(m_language);
    const QString dateLabel = MeasurementTexts::startDateLabel.pick(m_language);
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
        ? MeasurementTexts::foreignWorkingFileText.pickOrEnglish(m_language).arg(m_workFile.errorString())
        : m_workFile.errorString();
    m_dialogs.message(MeasurementTexts::startRefusedText.pickOrEnglish(m_language).arg(folder, reason),
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
        m_dialogs.message(MeasurementTexts::recoverFailedText.pickOrEnglish(m_language).arg(error, dataPath),
                          Icon::Warning);
        return false;
    }
    if (!kept.isEmpty())
        m_dialogs.message(MeasurementTexts::recoveredText.pickOrEnglish(m_language).arg(kept), Icon::Information);
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
        m_dialogs.message(MeasurementTexts::foreignSaveTargetText.pickOrEnglish(m_language).arg(shownTarget),
                          Icon::Warning);
        return false;
    }
    if (m_workFile.isSameFile(csvPath)
        || QFileInfo(csvPath).absoluteFilePath().compare(QFileInfo(WorkingFile::bareName()).absoluteFilePath(),
                                                         Qt::CaseInsensitive) == 0) {
        m_dialogs.message(MeasurementTexts::workingFileTargetText.pickOrEnglish(m_language)
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
                              ? MeasurementTexts::foreignWorkingFileText.pickOrEnglish(m_language)
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
        if (m_language != Language::Other) {
            m_dialogs.message(MeasurementTexts::transmissionError.pick(m_language), Buttons::Ok,
                              MeasurementTexts::transmissionErrorTitle.pick(m_language));
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
        m_dialogs.message(MeasurementTexts::folderInUseText.pickOrEnglish(m_language).arg(m_workFile.errorString()),
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
        m_dialogs.message(MeasurementTexts::recoveredText.pickOrEnglish(m_language).arg(found.keptName),
                          Icon::Information);
        break;
    case leftover::Found::Kind::NotKept:
        // The working file is left as it is: it holds the only copy.
        m_dialogs.message(MeasurementTexts::recoverFailedText.pickOrEnglish(m_language)
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
        m_dialogs.message(MeasurementTexts::folderInUseText.pickOrEnglish(m_language).arg(m_workFile.errorString()),
                          Icon::Warning);
        return;
    case WorkingFile::OpenResult::Foreign:
        m_dialogs.message(MeasurementTexts::foreignWorkingFileText.pickOrEnglish(m_language)
                              .arg(m_workFile.errorString()),
                          Icon::Warning);
        return;
    case WorkingFile::OpenResult::ListingFailed:
    case WorkingFile::OpenResult::OpenFailed:
        m_dialogs.message(m_workFile.errorString(), Icon::Warning);
        return;
    }
}
