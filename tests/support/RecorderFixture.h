#pragma once
// A recorder main window in a fresh folder: that folder is the current
// directory and the program directory, holds the settings file and the
// COM<N> links, and the boxes are answered by a script.

#include "Form1.h"
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

    /// Creates the main window (start-up and load event).
    Form1 &start();
    Form1 &window() { return *m_window; }
    void destroy();

    ScriptedDialogs dialogs;
    int endProgramCalls = 0;
    int restartCalls = 0;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    std::unique_ptr<Form1> m_window;
};
