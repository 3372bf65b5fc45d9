#include "RecorderFixture.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>

QByteArray RecorderFixture::settingsLines(const QString &language, int port, int fore, int back,
                                          const QString &spreadsheet)
{
    const QStringList lines = {spreadsheet, QString::number(port), language,
                               QStringLiteral(" %1 ").arg(fore), QStringLiteral(" %1 ").arg(back),
                               QString(), QString(), QStringLiteral("0"), QStringLiteral("Ready")};
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1();
}

RecorderFixture::RecorderFixture()
{
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
}

RecorderFixture::~RecorderFixture()
{
    destroy();
    QDir::setCurrent(m_previousDir);
}

void RecorderFixture::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(path(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray RecorderFixture::readFile(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void RecorderFixture::separateProgramFolder()
{
    m_programDir = std::make_unique<QTemporaryDir>();
}

void RecorderFixture::writeProgramFile(const QString &name, const QByteArray &bytes)
{
    QFile file(QDir(programDir()).filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QString RecorderFixture::path(const QString &name) const
{
    return QDir(m_dir.path()).filePath(name);
}

MainWindow &RecorderFixture::start()
{
    MainWindowEnvironment environment;
    environment.programDir = programDir();
    environment.portDirectory = programDir();
    environment.endProgram = [this] { ++endProgramCalls; };
    environment.restart = [this] { ++restartCalls; return true; };
    m_window = std::make_unique<MainWindow>(dialogs, environment);
    m_window->prepare();
    // The boxes of the start-up are asked as soon as the event loop runs.
    QCoreApplication::sendPostedEvents();
    return *m_window;
}

void RecorderFixture::destroy()
{
    m_window.reset();
}
