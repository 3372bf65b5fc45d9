#pragma once
// The measurement session: it owns one measurement from Start to Save.
// Shaped like QProcess: start(), stop(), save() and discard() each make one
// transition and return; state() tells where the session is and
// stateChanged() announces every change; errorOccurred() and errorString()
// say what went wrong. It shows nothing and asks nothing: a controller
// above it asks the user and answers through retry() and abort() where
// the session waits for a decision.
//
// It holds the serial link, sends the start and stop characters, reads the
// instrument header 1.5 s after every start and stop and selects the
// sensor scales from it, processes every received block, and is through
// its folder the only owner of the working file and its companions.
//
//            start()                     stop()
//   Idle ───────────────> Measuring ───────────────> Stopped
//    ^  <─── discard() ──────┼───────────────────────┘  │
//    │                       │ port error      save() ──┘ (then start())
//    │                       v                    
//    │                  device gone                      device back
//    │              Measuring ──────> WaitingForDevice ──────────> Measuring (same file)
//    │                                  │ abort()     └── stop() ──> Stopped
//    │                                  v
//    │                    Paused ── start() ──> Measuring (same file)
//    │
//   Measuring ── write or sync refused ──> WriteFailed ── retry() (written) ──> Measuring
//                                                   └──── abort() (file closed) ──> Measuring

#include "InstrumentState.h"
#include "LanguageText.h"
#include "LiveModel.h"
#include "MeasurementFolder.h"
#include "SerialPort.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class SampleProcessor;

class Measurement : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,         ///< no measurement; the working file is empty (or could not be made)
        Measuring,    ///< the port is open and every block is recorded
        Paused,       ///< the port was closed after an error; start() records on into the same file
        WaitingForDevice, ///< the device is gone; recording goes on when it returns, abort() ends the wait, stop() the measurement
        WriteFailed,  ///< the working file refused a write or sync; retry() writes again, abort() stops recording
        Stopped       ///< stopped; the data wait to be saved or discarded
    };
    Q_ENUM(State)

    enum class Error {
        NoError,
        NoPortSet,            ///< no serial port is chosen in the settings
        PortOpenFailed,       ///< the port could not be opened (errorString() names device and reason)
        PortError,            ///< the open port reported an error (its device is gone: WaitingForDevice)
        FolderInUse,          ///< another copy of the program records in this folder
        WorkingFileUnusable,  ///< no working file could be made (errorString() says why)
        WorkingFileHeld,      ///< the working file cannot be emptied: something holds it
        StartRefused,         ///< a start found no working file to record into
        RecoverFailed,        ///< unsaved data could not be kept as a copy; they stay in the working file
        WriteFailed,          ///< writing a block to the working file failed
        SyncFailed,           ///< the disk refused to sync the working file
        TransmissionError,    ///< no "INP1" header line arrived after a start
        SaveRefused,          ///< the chosen name is another user's link or the working file
        SaveFailed            ///< the copy to the chosen name failed
    };
    Q_ENUM(Error)

    /// How taking the measurement folder at start-up ended.
    enum class FolderResult {
        Ready,      ///< the working file is claimed and empty
        Unready,    ///< claimed or not, but no fresh working file (reported)
        InUse       ///< another copy records here; nothing was touched (reported)
    };

    /// Delay from a start or stop to the header read.
    static constexpr int HeaderReadDelayMs = 1500;

    explicit Measurement(QObject *parent = nullptr);
    ~Measurement() override;

    /// The language of the program's texts; set once at start-up.
    void setLanguage(Language language);
    Language language() const { return m_language; }
    /// The serial port's number and line settings; set once at start-up.
    void setPortSettings(const PortSettings &settings);
    /// Where COM<N> links are looked up.
    void setPortDirectory(const QString &folder);
    /// A device opened instead of the settings' port, for this run only.
    void setDevicePath(const QString &path);
    /// The header texts shown until the first start (the start-up values).
    void setStartupHeader(qint16 inp1, qint16 inp2);
    /// Text of the notes box, written into the notes header.
    void setNotesProvider(std::function<QString()> notes);

    State state() const { return m_state; }
    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    /// While WaitingForDevice: the name the device is looked for by, and
    /// when it went away.
    QString lostDevice() const { return m_port->deviceName(); }
    QDateTime lostSince() const { return m_lostSince; }

    /// True while the port is open.
    bool isPortOpen() const { return m_port->isOpen(); }
    /// The serial port, for reading its settings and state.
    const SerialPort &port() const { return *m_port; }
    /// True when the working file holds received data that were neither
    /// saved nor discarded.
    bool hasUnsavedData() const;

    /// The header lines of the running measurement.
    const InstrumentHeader &header() const { return m_header; }
    /// The scales of both inputs, set by the sensor selection.
    const SensorRanges &ranges() const { return m_ranges; }
    /// The scale captions the sensor selection chose.
    const SensorScales &scales() const { return m_scales; }
    /// What the main window shows of the running measurement.
    const LiveModel &live() const { return m_live; }
    /// The working file, for reading its figures (bytes written and synced).
    const WorkingFile &workingFile() const { return m_folder.workingFile(); }
    /// Characters not yet sent to the instrument.
    qint64 pendingOutput() const { return m_port->bytesToWrite(); }

    /// Start-up: claims the working file of the current folder, keeps what
    /// the last run left in it (a measurement it could not finish becomes
    /// a CSV file, announced by recovered(); one the user declined is
    /// dropped) and empties it for the first measurement.
    FolderResult openFolder();

    /// Starts a measurement: sends the stop character, clears the displays,
    /// keeps unsaved data as a recovered copy, opens a fresh working file
    /// (or records on into the open one after a port error), opens the port
    /// and sends the start character. A port that cannot be opened makes
    /// it a stop (state Stopped, after errorOccurred()).
    void start();

    /// Stops the measurement: sends the stop character, clears the
    /// displays, closes the port and the working file. The data wait in
    /// the working file (state Stopped).
    void stop();

    /// Saves the recorded data as `csvPath` (the name already made final):
    /// a durable byte copy of the working file. On success saved() is
    /// emitted and the next measurement starts at once; on failure the data
    /// stay (state Stopped) and errorOccurred() says why. True when the CSV
    /// file was written.
    bool save(const QString &csvPath);

    /// Drops the recorded data and empties the working file for the next
    /// measurement (state Idle).
    void discard();

    /// Keeps the data in the closed working file and notes that the user
    /// declined them: the next run replaces them without a copy.
    void decline();

    /// The decision a waiting state asked for: WriteFailed writes the
    /// waiting data again, WaitingForDevice waits on.
    void retry();
    /// WriteFailed stops recording
    /// (the measurement goes on unrecorded); WaitingForDevice stops waiting
    /// (Paused: the port stays closed until the next start).
    void abort();

    /// Empties the receive box.
    void clearReceived();

    /// The program ends (or restarts): closes the port and gives the
    /// working file up; what was recorded stays in it.
    void finish();

signals:
    void stateChanged(Measurement::State state);
    /// Something went wrong; errorString() says what, in the program's language.
    void errorOccurred(Measurement::Error error);
    /// The live model changed; views redraw at their next refresh.
    void liveChanged();
    /// A start or stop cleared the displays.
    void displaysCleared();
    /// The port was opened or closed.
    void portOpenChanged(bool open);
    /// A block arrived while no complete line is known yet.
    void lineIncomplete();
    /// Unsaved data were kept under `name` beside the working file: those
    /// the last run left (at start-up), or those of this run (at a start).
    void recovered(const QString &name, bool ofLastRun);
    /// The recorded data were written to `csvPath`.
    void saved(const QString &csvPath);
    /// The working file reached the disk up to `syncedBytes`.
    void synced(qint64 syncedBytes);
    /// A header read begins.
    void headerReadStarted();
    /// The header read found a "Pri" line.
    void printerLineRead(const QString &line);
    /// The header read ended and the sensor scales were selected.
    void headerRead();

private:
    void setState(State state);
    void fail(Error error, const QString &text);
    void readReceived();
    void handlePortError();
    void handleDeviceReturned();
    void clearForStartOrStop();
    void startMeasurement(bool afterSave);
    void appendReceived(const QString &text);
    /// Why a fresh working file was wanted, for the report when none opens.
    enum class OpenPurpose {
        StartUp,   ///< the folder is taken, or a discard empties the file
        Start,     ///< a start needs a file to record into
        AfterSave  ///< the next measurement after a save
    };
    bool prepareRecording();
    bool keepUnsavedData();
    bool openFreshWorkingFile(OpenPurpose purpose);
    void reportOpenFailure(WorkingFile::OpenResult result, OpenPurpose purpose);
    QString portErrorText() const;
    void onWriteFailed(const QString &error);
    void onSyncFailed(const QString &error);
    void readHeader();
    void selectSensors();

    Language m_language = Language::English;
    State m_state = State::Idle;
    State m_stateBeforeFailure = State::Measuring;
    Error m_error = Error::NoError;
    QString m_errorString;
    InstrumentHeader m_header;
    SensorRanges m_ranges;
    SensorScales m_scales;
    SerialPort *m_port = nullptr;
    MeasurementFolder m_folder;
    LiveModel m_live;
    SampleProcessor *m_processor = nullptr;
    QTimer *m_headerReadTimer = nullptr;
    QDateTime m_lostSince;
    bool m_syncFailed = false;       ///< the failed write is a refused sync
    bool m_holdsUnsaved = false;     ///< the working file holds data nobody saved or dropped
    bool m_holdsDecided = false;     ///< it holds saved or declined data it could not be emptied of
};
