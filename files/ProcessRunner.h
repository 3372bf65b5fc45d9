#pragma once
// Program runner of the viewers: starts one program with one argument text
// and tells when it has ended. One object per viewer run.

#include <QObject>
#include <QProcess>
#include <QString>

class ProcessRunner : public QObject
{
    Q_OBJECT
public:
    explicit ProcessRunner(QObject *parent = nullptr);
    ~ProcessRunner() override;

    /// The program to start: a path, a bare program name, or a program with
    /// leading options ("libreoffice --calc"); see programs::resolve().
    void setProgram(const QString &name);
    /// The argument text, handed to the program as one argument (a file
    /// name with blanks, quotes or shell characters arrives unchanged).
    void setArguments(const QString &argument);

    /// What start() did.
    enum class Outcome {
        NotStarted,       ///< start() was not called
        Started,          ///< the program runs (or ran)
        ProgramMissing,   ///< no program of that name is installed (or it is a document)
        NoHandler,        ///< the desktop's opener was to show the file, but no program opens its type
        StartFailed       ///< the program is there but did not start
    };

    /// Starts the program. Only a program is started: a document named as
    /// the program (see programs::isProgramFile()) is not run. A start that
    /// fails or is refused starts nothing: hasEnded() is then true at once,
    /// and outcome() tells why. The desktop's opener (xdg-open) is only
    /// started when the desktop has a program for the file's type.
    void start();
    Outcome outcome() const { return m_outcome; }
    /// True when the program is the desktop's opener rather than a viewer.
    bool isDesktopOpener() const;
    /// True once the started program has ended with an error: a non-zero
    /// exit code or a crash.
    bool endedWithError() const;

    /// True once the program has ended, or when it could not be started
    /// (or start() was never called).
    bool hasEnded() const;

    /// Returns once the program has ended (at once when it never started),
    /// handling events meanwhile.
    void waitUntilEnded();

    QString programName() const { return m_programName; }
    QString arguments() const { return m_arguments; }
    /// The executable actually started and all of its arguments.
    QString startedProgram() const { return m_process->program(); }
    QStringList startedArguments() const { return m_process->arguments(); }

signals:
    /// The started program has ended (or failed to start).
    void ended();

private:
    void endRun();

    QString m_programName;
    QString m_arguments;
    QProcess *m_process;   // outlives us while a viewer is still open
    bool m_running = false;
    Outcome m_outcome = Outcome::NotStarted;
    QString m_executable;
};
