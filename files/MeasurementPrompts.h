#pragma once
// The questions around a measurement: after a stop, whether to save; at
// Save, the file name and the overwrite question; at Exit, whether to save
// before the program ends; and the boxes of what the measurement reports
// (a port or file error with its decision, a recovered copy). The
// measurement itself asks nothing: this controller follows its signals,
// asks through the dialog seam and answers through save(), discard(),
// retry() and abort().
//
// Questions come one at a time and in the order their causes happened: a
// question that arrives while another is open waits for it to be answered.

#include "LanguageText.h"
#include "Measurement.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class FileDialog;
class UserDialogs;

class MeasurementPrompts : public QObject
{
    Q_OBJECT
public:
    /// Operations of the other windows and of the program that these
    /// prompts trigger. Either may be left empty.
    struct Hooks
    {
        std::function<void()> refreshFileList; ///< refreshes the delete dialog's file list
        std::function<void()> endProgram;      ///< ends the program at once
    };

    MeasurementPrompts(Language language, Measurement &measurement, FileDialog &fileDialog,
                       UserDialogs &dialogs, Hooks hooks, QObject *parent = nullptr);

    /// The CSV file the last save wrote (empty once a viewer has shown it).
    QString &saveTarget() { return m_saveTarget; }

    /// Save: asks for a name and the overwrite question, then has the
    /// measurement saved as "<name>.csv" (it starts the next one at once).
    void saveMeasurement();

    /// Exit: asks whether to save. No ends the program at once, keeping
    /// the data in the working file; Yes saves, then ends the program.
    void exit();

    /// The main window closing: runs Exit when received data were neither
    /// saved nor discarded, else ends the program as Exit's last step does.
    void closeProgram();

    /// How long the end of the program waits for unsent output before asking.
    void setDrainTimeoutMs(int ms) { m_drainTimeoutMs = ms; }
    int drainTimeoutMs() const { return m_drainTimeoutMs; }

    /// True while one of these questions is open.
    bool isAsking() const { return m_busy; }

private:
    using Done = std::function<void()>;
    using Task = std::function<void(Done)>;

    void run(Task task);
    void runNext();
    void report(Measurement::Error error);
    void askAfterStop(Done done);
    void askForName(Done done);
    void confirmReplace(QStringList existing, const QString &chosen, Done done);
    void finishProgram();
    bool outputSent();

    Language m_language;
    QString m_saveTarget;
    Measurement &m_measurement;
    FileDialog &m_fileDialog;
    UserDialogs &m_dialogs;
    Hooks m_hooks;
    QList<Task> m_tasks;
    bool m_busy = false;      ///< a task's question is open
    bool m_starting = false;  ///< a task is being started by runNext()
    quint64 m_ticket = 0;     ///< the running task's number
    int m_drainTimeoutMs = 10000;
};
