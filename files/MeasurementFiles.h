#pragma once
// What happens to a recorded measurement: saving it as a CSV file, the
// save-or-discard question after a stop, the exit question and the orderly
// end of the program (waiting for the port's output, closing port and file).

#include "LanguageText.h"

#include <QObject>
#include <QString>
#include <functional>

class FileDialog;
class Measurement;
class UserDialogs;

class MeasurementFiles : public QObject
{
    Q_OBJECT
public:
    /// Operations of the other windows and of the program that these
    /// prompts trigger. Either may be left empty.
    struct Hooks
    {
        std::function<void()> refreshFileList; ///< refreshes `File1` of the delete dialog
        std::function<void()> endProgram;      ///< ends the program at once
    };

    /// `measurement` is saved, discarded and ended; `fileDialog` asks for
    /// the name to save under.
    MeasurementFiles(Language language, Measurement &measurement, FileDialog &fileDialog,
                     UserDialogs &dialogs, Hooks hooks, QObject *parent = nullptr);

    /// The CSV file the last save wrote (empty once a viewer has shown it).
    QString &saveTarget() { return m_saveTarget; }

    /// Save: asks for a name and the overwrite question, then has the
    /// measurement saved as "<name>.csv" (it starts the next one at once).
    void saveMeasurement();

    /// After a measurement stop: asks whether to save; No has the
    /// measurement discard the data.
    void askSaveAfterStop();

    /// Exit: asks whether to save. No ends the program at once; Yes saves,
    /// then runs closeProgram().
    void exit();

    /// The main window closing. Runs Exit first when data were received
    /// since the last save or discard, waits for the port's output to be
    /// sent, closes port and working file and ends the program. Returns
    /// true (`cancel`) when the user chose to keep the program running.
    bool closeProgram();

    /// How long closeProgram() waits for unsent output before asking.
    void setDrainTimeoutMs(int ms) { m_drainTimeoutMs = ms; }
    int drainTimeoutMs() const { return m_drainTimeoutMs; }

private:
    enum class Drain { Sent, Ignored, Aborted };

    Drain waitForOutput();
    void endProgram();

    Language m_language;
    QString m_saveTarget;
    Measurement &m_measurement;
    FileDialog &m_fileDialog;
    UserDialogs &m_dialogs;
    Hooks m_hooks;
    int m_drainTimeoutMs = 10000;
    bool m_ended = false;
};
