#include "Measurement.h"

#include "FilePaths.h"
#include "HeaderRead.h"
#include "MeasurementTexts.h"
#include "SafeOpen.h"
#include "SampleProcessor.h"
#include "SensorSelection.h"

#include <QDate>
#include <QDir>
#include <QLocale>
#include <QTime>
#include <QTimer>

namespace {

const char StartCharacter = '\x02';
const char StopCharacter = '\x03';

/// The text of the communication box for a vanished device.
const QString deviceLostText = QStringLiteral("Unknown error or event");

QString shortDate()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

Measurement::Measurement(QObject *parent)
    : QObject(parent)
{
    m_port = new SerialPort(this);
    m_processor = new SampleProcessor(m_ranges, m_live, m_folder.workingFile(), this);
    m_headerReadTimer = new QTimer(this);
    m_headerReadTimer->setObjectName(QStringLiteral("headerReadTimer"));
    m_headerReadTimer->setInterval(HeaderReadDelayMs);
    m_headerReadTimer->setSingleShot(true);

    // A refused write or sync waits for the user's decision (retry/abort);
    // blocks that arrive meanwhile wait behind it in the processor.
    m_processor->setWriteFailureHandler([this](const QString &error) { onWriteFailed(error); });
    m_processor->setIncompleteLineHandler([this] { emit lineIncomplete(); });
    m_folder.workingFile().setSyncFailureHandler([this](const QString &error) { onSyncFailed(error); });
    m_folder.workingFile().setSyncObserver([this](qint64 syncedBytes) { emit synced(syncedBytes); });

    connect(m_port, &SerialPort::readyRead, this, &Measurement::readReceived);
    connect(m_port, &SerialPort::deviceLost, this, &Measurement::handlePortError);
    connect(m_port, &SerialPort::deviceReturned, this, &Measurement::handleDeviceReturned);
    connect(m_headerReadTimer, &QTimer::timeout, this, &Measurement::readHeader);
}

Measurement::~Measurement() = default;

void Measurement::setLanguage(Language language)
{
    m_language = language;
    m_processor->setLanguage(language);
}

void Measurement::setPortSettings(const PortSettings &settings)
{
    m_port->setPortSettings(settings);
}

void Measurement::setPortDirectory(const QString &folder)
{
    m_port->setPortDirectory(folder);
}

void Measurement::setDevicePath(const QString &path)
{
    m_port->setDeviceOverride(path);
}

void Measurement::setStartupHeader(qint16 inp1, qint16 inp2)
{
    // A value that is not negative is shown with a leading blank.
    const auto text = [](qint16 value) {
        return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
    };
    m_header.inp1Header = text(inp1);
    m_header.inp2Header = text(inp2);
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

void Measurement::fail(Error error, const QString &text)
{
    m_error = error;
    m_errorString = text;
    emit errorOccurred(error);
}

bool Measurement::hasUnsavedData() const
{
    return m_holdsUnsaved && !m_holdsDecided && workingFile().writtenBytes() > 0;
}

void Measurement::clearReceived()
{
    m_live.received.clear();
    m_live.touch();
    emit liveChanged();
}

void Measurement::appendReceived(const QString &text)
{
    m_live.received.append(text);
    m_live.touch();
    emit liveChanged();
}

void Measurement::finish()
{
    m_headerReadTimer->stop();
    m_port->close();
    emit portOpenChanged(false);
    // The next copy of the program (a restart) takes the folder over.
    m_folder.release();
}

// ---------------------------------------------------------------- the port

QString Measurement::portErrorText() const
{
    switch (m_port->openError()) {
    case SerialPort::OpenError::NoPortNumber:
        return MeasurementTexts::noPortNumber.pickOrEnglish(m_language);
    case SerialPort::OpenError::AlreadyOpen:
        return MeasurementTexts::portAlreadyOpen.pickOrEnglish(m_language);
    case SerialPort::OpenError::NotSerialPort:
        return m_port->errorString() + QStringLiteral("\r\n")
               + MeasurementTexts::notSerialPort.pickOrEnglish(m_language).arg(m_port->devicePath(m_port->portSettings().number));
    case SerialPort::OpenError::UntrustedPortLink:
        return MeasurementTexts::untrustedPortLink.pickOrEnglish(m_language)
            .arg(QDir::toNativeSeparators(m_port->refusedPortLink().linkPath), m_port->refusedPortLink().owner);
    case SerialPort::OpenError::LinkLeadsNowhere:
        return MeasurementTexts::linkLeadsNowhere.pickOrEnglish(m_language)
            .arg(QDir::toNativeSeparators(m_port->brokenLink()), QDir::toNativeSeparators(m_port->brokenLinkTarget()));
    case SerialPort::OpenError::NoError:
    case SerialPort::OpenError::DeviceError:
        break;
    }
    // A new user is usually not in the group that owns the serial devices.
    QString text = m_port->errorString();
    const QString group = m_port->deniedDeviceGroup();
    if (!group.isEmpty())
        text += QStringLiteral("\r\n") + MeasurementTexts::portGroupHint.pickOrEnglish(m_language).arg(group);
    const SerialPort::PortLock lock = m_port->portLock();
    if (lock.running)
        text += QStringLiteral("\r\n")
                + MeasurementTexts::portInUseHint.pickOrEnglish(m_language)
                      .arg(lock.path, lock.owner, QString::number(lock.pid),
                           lock.program.isEmpty() ? QStringLiteral("?") : lock.program);
    else if (!lock.path.isEmpty())
        text += QStringLiteral("\r\n")
                + MeasurementTexts::staleLockHint.pickOrEnglish(m_language).arg(lock.path, lock.owner);
    return text;
}

void Measurement::readReceived()
{
    m_processor->processBlock(m_live.received, m_port->readAll());
    if (workingFile().isOpen())
        m_holdsUnsaved = true;
    emit liveChanged();
}

void Measurement::handlePortError()
{
    // The measurement does not end with its device: the port is closed
    // already, the device is looked for, and recording goes on into the
    // same working file when it returns. The box asks whether to wait.
    const bool measuring = m_state == State::Measuring;
    const bool writeWaits = m_state == State::WriteFailed && m_stateBeforeFailure == State::Measuring;
    if (!measuring && !writeWaits)
        return;
    m_lostSince = QDateTime::currentDateTime();
    m_port->waitForDevice();
    emit portOpenChanged(false);
    if (measuring)
        setState(State::WaitingForDevice);
    else
        m_stateBeforeFailure = State::WaitingForDevice;
    fail(Error::PortError, deviceLostText);
}

void Measurement::handleDeviceReturned()
{
    emit portOpenChanged(true);
    if (m_state == State::WaitingForDevice)
        setState(State::Measuring);
    else if (m_state == State::WriteFailed && m_stateBeforeFailure == State::WaitingForDevice)
        m_stateBeforeFailure = State::Measuring;
}

void Measurement::retry()
{
    switch (m_state) {
    case State::WaitingForDevice:
        // Waiting on: the device is still looked for.
        return;
    case State::WriteFailed:
        setState(m_stateBeforeFailure);
        if (m_syncFailed) {
            m_syncFailed = false;
            m_folder.workingFile().retrySync();
        } else {
            m_processor->retryWrites();
        }
        return;
    default:
        return;
    }
}

void Measurement::abort()
{
    switch (m_state) {
    case State::WaitingForDevice:
        // The wait ends; the next start opens the port again.
        m_port->close();
        setState(State::Paused);
        return;
    case State::WriteFailed:
        // Recording stops; what reached the file stays, later blocks are
        // shown but not recorded.
        setState(m_stateBeforeFailure);
        if (m_syncFailed) {
            m_syncFailed = false;
            m_folder.workingFile().abandonSync();
        } else {
            m_processor->dropWrites();
        }
        return;
    default:
        return;
    }
}

void Measurement::onWriteFailed(const QString &error)
{
    if (m_state != State::WriteFailed)
        m_stateBeforeFailure = m_state;
    m_syncFailed = false;
    setState(State::WriteFailed);
    fail(Error::WriteFailed, error);
}

void Measurement::onSyncFailed(const QString &error)
{
    if (m_state == State::WriteFailed)
        return;
    m_stateBeforeFailure = m_state;
    m_syncFailed = true;
    setState(State::WriteFailed);
    fail(Error::SyncFailed, error);
}

// ---------------------------------------------------------------- start and stop

void Measurement::clearForStartOrStop()
{
    m_live.graphPictureShown = false;
    m_live.idlePictureShown = true;
    m_port->write(QByteArray(1, StopCharacter));
    // Only a received "INP1" line satisfies the header read after a start;
    // the read after a stop passes silently.
    m_header.inp1Header = inp1Marker();
    m_header.inp2Header.clear();
    m_header.sr1Header.clear();
    m_header.sr2Header.clear();
    m_scales.meterCaption1 = QLatin1String("");
    m_scales.meterCaption2 = QLatin1String("");
    m_scales.graphCaption1.clear();
    m_scales.graphCaption2.clear();
    m_live.clearFigures();
    m_live.received.clear();
    m_headerReadTimer->start();
    emit displaysCleared();
}

void Measurement::start()
{
    if (m_state == State::Measuring || m_state == State::WriteFailed || m_state == State::WaitingForDevice)
        return;
    startMeasurement(false);
}

void Measurement::startMeasurement(bool afterSave)
{
    const QString dateText = shortDate();
    clearForStartOrStop();

    if (!prepareRecording()) {
        // Nothing to record into: the port stays closed.
        appendReceived((workingFile().isOpen() ? QString() : MeasurementTexts::startDateLabel.pick(m_language))
                       + QStringLiteral("\r\n"));
        return;
    }
    if (!m_port->open()) {
        // A port that cannot be opened makes the start a stop.
        const SerialPort::OpenError why = m_port->openError();
        emit portOpenChanged(false);
        fail(why == SerialPort::OpenError::NoPortNumber ? Error::NoPortSet : Error::PortOpenFailed, portErrorText());
        if (afterSave) {
            // The saved measurement is done; the next one waits for a start.
            setState(State::Idle);
        } else {
            m_folder.workingFile().close();
            setState(State::Stopped);
        }
        appendReceived(MeasurementTexts::startDateLabel.pick(m_language) + QStringLiteral("\r\n"));
        return;
    }
    emit portOpenChanged(true);
    m_port->write(QByteArray(1, StartCharacter));
    m_header.inp1Header.clear();
    m_processor->expectNotesHeader();
    m_holdsUnsaved = true;
    setState(State::Measuring);
    appendReceived(MeasurementTexts::startTimeLabel.pick(m_language) + timeOfDay()
                   + MeasurementTexts::startDateLabel.pick(m_language) + dateText + QStringLiteral("\r\n"));
}

void Measurement::stop()
{
    if (m_state == State::Idle || m_state == State::Stopped)
        return;
    clearForStartOrStop();
    m_port->close();
    emit portOpenChanged(false);
    m_processor->dropWrites();
    m_syncFailed = false;
    m_folder.workingFile().close();
    setState(State::Stopped);
    // The working file is closed: the line under the cleared box carries
    // the date label alone.
    appendReceived(MeasurementTexts::startDateLabel.pick(m_language) + QStringLiteral("\r\n"));
}

bool Measurement::prepareRecording()
{
    // After a port error the measurement goes on into the same file.
    if (workingFile().isOpen())
        return true;
    if (m_holdsUnsaved && !m_holdsDecided && !keepUnsavedData())
        return false;
    // Never record into nothing: without a file the port stays closed.
    return openFreshWorkingFile(OpenPurpose::Start);
}

bool Measurement::keepUnsavedData()
{
    // What the last measurement left unsaved (a cancelled or failed save)
    // is kept beside the working file, as at start-up. When no copy can be
    // made the start is refused: the working file holds the only copy.
    QString error;
    const QString kept = m_folder.keepCopy(QDateTime::currentDateTime(), &error);
    if (kept.isEmpty() && !error.isEmpty()) {
        fail(Error::RecoverFailed, MeasurementTexts::recoverFailedThisRunText.pickOrEnglish(m_language)
                                       .arg(error, m_folder.workingFileShown()));
        return false;
    }
    m_holdsUnsaved = false;
    if (!kept.isEmpty())
        emit recovered(kept, false);
    return true;
}

bool Measurement::openFreshWorkingFile(OpenPurpose purpose)
{
    const WorkingFile::OpenResult opened = m_folder.openFresh();
    if (opened != WorkingFile::OpenResult::Opened) {
        reportOpenFailure(opened, purpose);
        return false;
    }
    m_holdsUnsaved = m_holdsDecided = false;
    return true;
}

void Measurement::reportOpenFailure(WorkingFile::OpenResult result, OpenPurpose purpose)
{
    if (result == WorkingFile::OpenResult::Opened)
        return;
    const QString reason = result == WorkingFile::OpenResult::Foreign
        ? MeasurementTexts::foreignWorkingFileText.pickOrEnglish(m_language).arg(m_folder.errorString())
        : m_folder.errorString();
    switch (purpose) {
    case OpenPurpose::Start:
        fail(Error::StartRefused, MeasurementTexts::startRefusedText.pickOrEnglish(m_language)
                                      .arg(m_folder.folderShown(), reason));
        return;
    case OpenPurpose::AfterSave:
        // Saved, but the next measurement has no file yet: the next start
        // tries again and says why when it cannot.
        fail(Error::WorkingFileUnusable, reason);
        return;
    case OpenPurpose::StartUp:
        break;
    }
    switch (result) {
    case WorkingFile::OpenResult::DeleteFailed:
        fail(Error::WorkingFileHeld, reason);
        return;
    case WorkingFile::OpenResult::InUse:
        fail(Error::FolderInUse, MeasurementTexts::folderInUseText.pickOrEnglish(m_language).arg(reason));
        return;
    case WorkingFile::OpenResult::Opened:
    case WorkingFile::OpenResult::Foreign:
    case WorkingFile::OpenResult::ListingFailed:
    case WorkingFile::OpenResult::OpenFailed:
        fail(Error::WorkingFileUnusable, reason);
        return;
    }
}

// ---------------------------------------------------------------- save and discard

bool Measurement::save(const QString &chosenCsvPath)
{
    // A measurement may be saved while it runs; not while a decision about
    // the port or the file is open.
    if (m_state == State::WriteFailed)
        return false;
    // A name that is a link is saved at the file it leads to (the question
    // named that file); another user's link, and anything that leads to
    // the working file, are refused.
    const QString reachable = reachablePath(chosenCsvPath);
    const QString csvPath = linkTarget(reachable);
    const QString shownTarget = shownPath(reachable);
    if (isLinkOfAnotherUser(reachable)) {
        fail(Error::SaveRefused, MeasurementTexts::foreignSaveTargetText.pickOrEnglish(m_language).arg(shownTarget));
        return false;
    }
    if (m_folder.isWorkingFile(csvPath)) {
        fail(Error::SaveRefused, MeasurementTexts::workingFileTargetText.pickOrEnglish(m_language)
                                     .arg(shownTarget, m_folder.workingFileShown()));
        return false;
    }

    // Data saved or declined before, that the file could not be emptied
    // of, are not this measurement's: the copy is then empty.
    QString error;
    if (!m_folder.copyTo(csvPath, m_holdsDecided, &error)) {
        fail(Error::SaveFailed, error.isEmpty() ? m_folder.workingFileShown() : error);
        return false;
    }
    m_holdsUnsaved = false;
    m_holdsDecided = true;
    emit saved(csvPath);

    // The next measurement starts at once in a fresh working file. When
    // none can be made it waits (Idle); the next start tries again. While
    // the device is gone, the next measurement waits for a start as well.
    const bool deviceGone = m_state == State::WaitingForDevice;
    clearReceived();
    m_port->close();
    emit portOpenChanged(false);
    m_folder.workingFile().close();
    if (!openFreshWorkingFile(OpenPurpose::AfterSave) || deviceGone) {
        setState(State::Idle);
        appendReceived(MeasurementTexts::startDateLabel.pick(m_language) + QStringLiteral("\r\n"));
        return true;
    }
    startMeasurement(true);
    return true;
}

void Measurement::discard()
{
    if (m_state != State::Stopped)
        return;
    m_holdsUnsaved = false;
    if (openFreshWorkingFile(OpenPurpose::StartUp)) {
        // A working file records again: the line under the cleared box
        // loses its date label.
        m_live.received.clear();
        appendReceived(QStringLiteral("\r\n"));
    } else {
        // Declined all the same: the next start drops them without a copy.
        m_holdsDecided = true;
        m_folder.noteDeclined();
    }
    setState(State::Idle);
}

void Measurement::decline()
{
    m_headerReadTimer->stop();
    m_port->close();
    emit portOpenChanged(false);
    m_processor->dropWrites();
    m_folder.workingFile().close();
    m_holdsUnsaved = false;
    // The data stay in the closed working file; the next start replaces
    // them without keeping a copy, as the user chose.
    m_folder.noteDeclined();
}

// ---------------------------------------------------------------- header and sensors

void Measurement::readHeader()
{
    emit headerReadStarted();
    const HeaderReadResult header = m_folder.readHeader(m_header);
    if (!header.label11.isNull())
        emit printerLineRead(header.label11);

    // Without the instrument's header the measurement is stopped; a
    // language other than the three shows nothing and stops nothing. The
    // stop arms no second read.
    if (!m_header.inp1Header.startsWith(inp1Marker()) && m_language != Language::Other
        && m_state != State::Stopped && m_state != State::Idle) {
        fail(Error::TransmissionError, MeasurementTexts::transmissionError.pickOrEnglish(m_language));
        stop();
        m_headerReadTimer->stop();
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
    const WorkingFile::OpenResult claimed = m_folder.claim();
    if (claimed != WorkingFile::OpenResult::Opened) {
        reportOpenFailure(claimed, OpenPurpose::StartUp);
        return claimed == WorkingFile::OpenResult::InUse ? FolderResult::InUse : FolderResult::Unready;
    }

    // A measurement the last run could not finish (a crash, a kill, the
    // settings restart) is kept as a CSV file before the working file is
    // emptied; one the user declined to save is dropped silently.
    const MeasurementFolder::Found found = m_folder.settle(QDateTime::currentDateTime());
    switch (found.kind) {
    case MeasurementFolder::Found::Kind::Nothing:
    case MeasurementFolder::Found::Kind::Declined:
        break;
    case MeasurementFolder::Found::Kind::Kept:
        emit recovered(found.keptName, true);
        break;
    case MeasurementFolder::Found::Kind::NotKept:
        // The working file is left as it is: it holds the only copy.
        fail(Error::RecoverFailed,
             MeasurementTexts::recoverFailedText.pickOrEnglish(m_language).arg(found.error, found.dataPath));
        m_holdsUnsaved = true;
        return FolderResult::Unready;
    }
    return openFreshWorkingFile(OpenPurpose::StartUp) ? FolderResult::Ready : FolderResult::Unready;
}
