#include "ProcessRunner.h"

#include "DesktopHandlers.h"
#include "ProgramNames.h"

#include <QEventLoop>
#include <QFileInfo>

ProcessRunner::ProcessRunner(QObject *parent)
    : QObject(parent)
    , m_process(new QProcess)
{
    // The viewer talks to the user, not to us: its output goes where ours
    // goes (nothing piles up in our memory) and it reads no input from us.
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::finished, this, [this] { endRun(); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            endRun();
    });
}

void ProcessRunner::endRun()
{
    if (!m_running)
        return;
    m_running = false;
    emit ended();
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
    m_outcome = Outcome::ProgramMissing;
    if (command.program.isEmpty())
        return;

    // Only a program is started: a document named as the program is never
    // run, whatever its execute bit says.
    m_executable = programs::findProgram(command.program);
    if (m_executable.isEmpty())
        return;
    // The desktop's opener would only print on stderr that nothing opens
    // the file: asked first, the desktop tells.
    if (isDesktopOpener() && !m_arguments.isEmpty() && QFileInfo(m_arguments).isFile()
        && !programs::documentHandler(m_arguments)) {
        m_outcome = Outcome::NoHandler;
        return;
    }

    QStringList arguments = command.options;
    if (!m_arguments.isEmpty())
        arguments.append(m_arguments);
    m_process->start(m_executable, arguments);
    // The start reports its outcome quickly (the executable was found and
    // loaded, or not); a failed start leaves the runner terminated.
    m_running = m_process->waitForStarted();
    m_outcome = m_running ? Outcome::Started : Outcome::StartFailed;
}

bool ProcessRunner::isDesktopOpener() const
{
    return QFileInfo(m_executable).fileName() == QLatin1String("xdg-open");
}

bool ProcessRunner::endedWithError() const
{
    return m_outcome == Outcome::Started && m_process->state() == QProcess::NotRunning
        && (m_process->exitStatus() == QProcess::CrashExit || m_process->exitCode() != 0);
}

bool ProcessRunner::hasEnded() const
{
    return !m_running || m_process->state() == QProcess::NotRunning;
}

void ProcessRunner::waitUntilEnded()
{
    if (hasEnded())
        return;
    // Events go on being handled meanwhile: the measurement records, and a
    // viewer started from here nests and ends before this wait returns.
    QEventLoop loop;
    connect(this, &ProcessRunner::ended, &loop, &QEventLoop::quit);
    if (!hasEnded())
        loop.exec();
}
