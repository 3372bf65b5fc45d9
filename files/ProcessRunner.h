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

    /// Starts the program. Only a program is started: a document named as
    /// the program (see programs::isProgramFile()) is not run. A start that
    /// fails or is refused is silent: hasEnded() is then true at once.
    void start();

    /// Waits up to 10 ms; true once the program has ended, or when it could
    /// not be started (or start() was never called).
    bool hasEnded();

    QString programName() const { return m_programName; }
    QString arguments() const { return m_arguments; }
    /// The executable actually started and all of its arguments.
    QString startedProgram() const { return m_process->program(); }
    QStringList startedArguments() const { return m_process->arguments(); }

private:
    QString m_programName;
    QString m_arguments;
    QProcess *m_process;   // outlives us while a viewer is still open
    bool m_running = false;
};
