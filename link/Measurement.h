#pragma once
// One measurement with the instrument: the serial link, the start and stop
// characters, the header read 1.5 s after Start/Stop, the working file and
// the processing of every received block. It has no widgets: the windows
// follow it through its signals and it asks the user through the dialog
// seam.

#include "InstrumentState.h"
#include "LiveModel.h"
#include "WorkingFile.h"

#include <QObject>
#include <QString>
#include <functional>

class SerialPort;
class QTimer;
class SampleProcessor;
class UserDialogs;

class Measurement : public QObject
{
    Q_OBJECT
public:
    /// Delay from Start/Stop to the header read.
    static constexpr int HeaderReadDelayMs = 1500;

    /// `dialogs` answers the port, transmission and write-error questions.
    explicit Measurement(UserDialogs &dialogs, QObject *parent = nullptr);

    /// The language of the program's texts; set once at start-up.
    void setLanguage(const QString &language);
    QString language() const { return m_language; }

    /// The header lines of the running measurement.
    InstrumentHeader &header() { return m_header; }
    /// The scales of both inputs, set by the sensor selection.
    SensorRanges &ranges() { return m_ranges; }
    ~Measurement() override;

    /// The serial port (its object name is "MSComm1").
    SerialPort &port() { return *m_port; }
    /// The working file the received blocks are recorded in.
    WorkingFile &workingFile() { return m_workFile; }
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

    /// Empties the receive box.
    void clearReceived();

    /// What the last run left in the working file: a measurement it could
    /// not finish is kept as a CSV file (and the user told), one the user
    /// declined is dropped. False when the leftover could not be kept: the
    /// working file then holds the only copy and must not be replaced.
    bool settleLeftover();

    /// Creates the working file `workFilePath` empty (replacing an old one)
    /// and opens it for recording; a failure is reported in a box.
    bool openWorkingFile(const QString &workFilePath = WorkingFile::bareName());

    /// True when received data were neither saved nor discarded.
    bool hasUnsavedData() const;
    /// Saving or discarding decides about the received data.
    void setUnsavedData(bool unsaved);

    /// Characters not yet sent to the instrument.
    qint64 pendingOutput() const;
    /// Closes the port (the program is ending).
    void closePort();

public slots:
    /// Opens a closed port or closes an open one; a failure is reported in
    /// a box with the system's description.
    void togglePort();

    /// Closes the port and opens it again: after a save the next
    /// measurement starts at once.
    void reopenPort();

    /// Start/Stop: sends the stop character, clears the displays, arms the
    /// header read and toggles the port. When the port closed, the
    /// measurement is over (stopped()); when it opened, the start character
    /// is sent and the notes header is written with the first block.
    void startStop();

    /// Reads the instrument header back from the working file; without an
    /// "INP1" line reports a transmission error and runs Start/Stop again.
    void readHeader();

signals:
    /// The live model changed; views redraw at their next refresh.
    void liveChanged();
    /// Start/Stop cleared the displays; views drop the header texts and
    /// show the live model now.
    void displaysCleared();
    /// The port was opened or closed.
    void portOpenChanged(bool open);
    /// Start/Stop closed the port: the recorded data wait to be saved or
    /// discarded.
    void stopped();
    /// Start/Stop opened the port and sent the start character.
    void started();
    /// A header read begins.
    void headerReadStarted();
    /// The header read found a "Pri" line (the caption of Label11).
    void printerLineRead(const QString &line);
    /// The header read ended; the header lines are in the shared state.
    void headerRead();

private:
    void handleCommEvent();
    QString portErrorText() const;
    void reportOpenFailure(WorkingFile::OpenResult result);

    QString m_language;
    InstrumentHeader m_header;
    SensorRanges m_ranges;
    UserDialogs &m_dialogs;
    SerialPort *m_port = nullptr;
    WorkingFile m_workFile;
    LiveModel m_live;
    SampleProcessor *m_processor = nullptr;
    QTimer *m_headerTimer = nullptr;
    QString m_timeLabel, m_dateLabel;
    QString m_commEventText, m_commErrorText;
};
