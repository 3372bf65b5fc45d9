#include "ProcessRunner.h"

#include "ProgramNames.h"

ProcessRunner::ProcessRunner(QObject *parent)
    : QObject(parent)
    , m_process(new QProcess)
{
    // The viewer talks to the user, not to us: its output goes where ours
    // goes (nothing piles up in our memory) and it reads no input from us.
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
}

ProcessRunner::~ProcessRunner()
{
    // A viewer still open when the run is discarded keeps running on its
    // own; only our handle on it is released once it ends (deleting a
    // running QProcess would kill the viewer and lose the user's work).
    if (m_process->state() == QProcess::NotRunning) {
        delete m_process;
        return;
    }
    connect(m_process, &QProcess::finished, m_process, &QObject::deleteLater);
}

void ProcessRunner::setProgram(const QString &name)
{
    m_programName = name;
}

void ProcessRunner::setArguments(const QString &argument)
{
    m_arguments = argument;
}

void ProcessRunner::start()
{
    const programs::ProgramCommand command = programs::resolve(m_programName);
    m_running = false;
    if (command.program.isEmpty())
        return;

    // Only a program is started: a document named as the program is never
    // run, whatever its execute bit says.
    const QString executable = programs::findProgram(command.program);
    if (executable.isEmpty())
        return;

    QStringList arguments = command.options;
    if (!m_arguments.isEmpty())
        arguments.append(m_arguments);
    m_process->start(executable, arguments);
    // The start reports its outcome quickly (the executable was found and
    // loaded, or not); a failed start leaves the runner terminated.
    m_running = m_process->waitForStarted();
}

bool ProcessRunner::hasEnded()
{
    if (!m_running || m_process->state() == QProcess::NotRunning)
        return true;
    if (m_process->waitForFinished(10) || m_process->state() == QProcess::NotRunning) {
        m_running = false;
        return true;
    }
    return false;
}
