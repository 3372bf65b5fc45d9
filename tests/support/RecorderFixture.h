#pragma once
// A recorder main window in a fresh folder: that folder is the current
// directory and the program directory, holds the settings file and the
// COM<N> links, and the boxes are answered by a script. With
// separateProgramFolder() the program folder (settings file, sensor.ini,
// COM<N> links) is another fresh folder, as for an installed program.

#include "MainWindow.h"
#include "Controls.h"
#include "ScriptedDialogs.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <memory>

class RecorderFixture
{
public:
    /// Nine settings lines in the dialog's format (CR LF each).
    static QByteArray settingsLines(const QString &language, int port = 1, int fore = 0, int back = 15,
                                    const QString &spreadsheet = QString());

    RecorderFixture();
    ~RecorderFixture();

    /// Writes a file into the folder.
    void writeFile(const QString &name, const QByteArray &bytes);
    QByteArray readFile(const QString &name) const;
    QString path(const QString &name) const;
    QString dir() const { return m_dir.path(); }

    /// From now on the program folder is a folder of its own.
    void separateProgramFolder();
    /// The program folder: dir() unless separated.
    QString programDir() const { return m_programDir ? m_programDir->path() : dir(); }
    /// Writes a file into the program folder.
    void writeProgramFile(const QString &name, const QByteArray &bytes);

    /// Creates the main window (start-up and load event).
    MainWindow &start();
    MainWindow &window() { return *m_window; }
    void destroy();

    ScriptedDialogs dialogs;
    int endProgramCalls = 0;
    int restartCalls = 0;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_programDir;
    QString m_previousDir;
    std::unique_ptr<MainWindow> m_window;
};
