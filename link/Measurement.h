#pragma once
// The measurement session: it owns one measurement from Start to Save.
// It holds the serial link, sends the start and stop characters, reads
// the instrument header 1.5 s after Start/Stop and selects the sensor
// scales from it, processes every received block and is the only owner of
// the working file and of what is kept beside it (recovered copies, the
// note of a declined measurement). Saving and discarding are asked of it.
// It has no widgets: the windows follow it through its signals, and it
// asks the user through the dialog seam.
//
// States:
//   Idle       no measurement; the working file is empty (or could not be
//              made, and the next Start tries again)
//   Measuring  started: blocks are recorded (the port may have been closed
//              by Cancel in the communication error box; the next Start
//              then records on into the same file)
//   Stopped    stopped, and the recorded data are neither saved nor
//              discarded yet (the question is open, the save was cancelled
//              or failed); a Start first keeps them as a recovered copy

#include "InstrumentState.h"
#include "LanguageText.h"
#include "LiveModel.h"
#include "SerialPort.h"
#include "WorkingFile.h"

#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class SampleProcessor;
class UserDialogs;

class Measurement : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Measuring, Stopped };
    Q_ENUM(State)

    /// How taking the measurement folder at start-up ended.
    enum class FolderResult {
        Ready,      ///< the working file is claimed and empty
        Unready,    ///< claimed or not, but no fresh working file (reported)
        InUse       ///< another copy records here; nothing was touched (reported)
    };

    /// Delay from Start/Stop to the header read.
    static constexpr int HeaderReadDelayMs = 1500;

    /// `dialogs` answers the port, transmission and file questions.
    explicit Measurement(UserDialogs &dialogs, QObject *parent = nullptr);
    ~Measurement() override;

    /// The language of the program's texts; set once at start-up.
    void setLanguage(Language language);
    Language language() const { return m_language; }

    State state() const { return m_state; }

    /// The header lines of the running measurement.
    InstrumentHeader &header() { return m_header; }
    /// The scales of both inputs, set by the sensor selection.
    const SensorRanges &ranges() const { return m_ranges; }
    /// The scale captions the sensor selection chose.
    const SensorScales &scales() const { return m_scales; }

    /// The serial port (its object name is "MSComm1").
    SerialPort &port() { return *m_port; }
    /// The working file, for reading its figures (bytes written and synced).
    const WorkingFile &workingFile() const { return m_workFile; }
    /// What the main window shows of the running measurement.
    LiveModel &live() { return m_live; }
    /// The receive path.
    SampleProcessor &processor() { return *m_processor; }
    /// The one-shot timer of the header read (object name "Timer1").
    QTimer &headerTimer() { return *m_headerTimer; }

    /// Text of the notes box, written into the notes header.
    void setNotesProvider(std::function<QString()> notes);

    /// True while the port is open, i.e. a measurement is being received.
    bool isRunning() const;

    /// Start-up: claims the working file of the current folder, keeps what
    /// the last run left in it (a measurement it could not finish becomes
    /// a CSV file and the user is told; one the user declined is dropped)
    /// and empties it for the first measurement.
    FolderResult openFolder();

    /// Saves the recorded data as `csvPath` (the name already made final):
    /// a durable byte copy of the working file, which is then emptied; the
    /// receive box is cleared and the port opened again, so the next
    /// measurement starts at once. Failures are reported in a box; the data
    /// then stay in the working file (state Stopped). True when the CSV
    /// file was written.
    bool save(const QString &chosenCsvPath);

    /// Drops the recorded data and empties the working file for the next
    /// measurement. Failures are reported in a box.
    void discard();

    /// The user declined to keep the data at Exit: recording stops and the
    /// next start drops them without a word.
    void declineAtExit();

    /// Appends `bytes` to the working file exactly as given, past the
    /// receive path's rules (replaying a recorded stream). False when no
    /// file records or the write failed.
    bool recordRaw(const QByteArray &bytes);

    /// True when received data were neither saved nor discarded.
    bool hasUnsavedData() const;
    /// Saving or discarding decides about the received data.
    void setUnsavedData(bool unsaved);

    /// Empties the receive box.
    void clearReceived();

    /// Characters not yet sent to the instrument.
    qint64 pendingOutput() const;
    /// The program ends (or restarts): closes the port and stops recording;
    /// what was recorded stays in the working file.
    void finish();

public slots:
    /// Opens a closed port or closes an open one; a failure is reported in
    /// a box with the system's description.
    void togglePort();

    /// Start/Stop: sends the stop character, clears the displays, arms the
    /// header read and toggles the port. When the port closed, the
    /// measurement is over (stopped()); when it opened, the start character
    /// is sent and the notes header is written with the first block. A
    /// Start that finds no working file to record into is refused.
    void startStop();

    /// Reads the instrument header back from the working file and selects
    /// the sensor scales; without an "INP1" line reports a transmission
    /// error and runs Start/Stop again.
    void readHeader();

    /// Selects both inputs' scales from the sensor codes of the header.
    void selectSensors();

    /// What the port reported: line-state events pass silently, errors
    /// are shown with OK and Cancel (Cancel closes the port).
    void handlePortEvent(SerialPort::Event event);

signals:
    /// The live model changed; views redraw at their next refresh.
    void liveChanged();
    /// Start/Stop cleared the displays; views drop the header texts and
    /// show the live model now.
    void displaysCleared();
    /// The port was opened or closed.
    void portOpenChanged(bool open);
    /// The session moved to another state.
    void stateChanged(Measurement::State state);
    /// Start/Stop closed the port: the recorded data wait to be saved or
    /// discarded.
    void stopped();
    /// Start/Stop opened the port and sent the start character.
    void started();
    /// The working file reached the disk up to `syncedBytes`.
    void synced(qint64 syncedBytes);
    /// The recorded data were written to `csvPath`.
    void saved(const QString &csvPath);
    /// A header read begins.
    void headerReadStarted();
    /// The header read found a "Pri" line (the caption of Label11).
    void printerLineRead(const QString &line);
    /// The header read ended and the sensor scales were selected.
    void headerRead();

private:
    void setState(State state);
    void readReceived();
    QString portErrorText() const;
    bool openPort();
    bool prepareRecording();
    bool keepUnsavedData();
    bool freshWorkingFile();
    void reportOpenFailure(WorkingFile::OpenResult result);

    Language m_language = Language::English;
    State m_state = State::Idle;
    InstrumentHeader m_header;
    SensorRanges m_ranges;
    SensorScales m_scales;
    UserDialogs &m_dialogs;
    SerialPort *m_port = nullptr;
    WorkingFile m_workFile;
    LiveModel m_live;
    SampleProcessor *m_processor = nullptr;
    QTimer *m_headerTimer = nullptr;
    bool m_holdsUnsaved = false;     ///< the working file holds data nobody saved or dropped
    bool m_holdsDecided = false;     ///< it holds saved or declined data it could not be emptied of
};
