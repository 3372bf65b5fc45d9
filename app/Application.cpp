#include "Application.h"

#include "FilePaths.h"
#include "MainWindow.h"
#include "QtUserDialogs.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

/// Qt's own translations for the standard buttons of boxes and dialogs.
void installQtTranslations(Language language)
{
    QString locale;
    switch (language) {
    case Language::Deutsch: locale = QStringLiteral("de"); break;
    case Language::Francais: locale = QStringLiteral("fr"); break;
    case Language::English: locale = QStringLiteral("en"); break;
    case Language::Other: break;
    }
    if (locale.isEmpty())
        return;
    auto *translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

/// Names the lock and the request channel after the user's id, which no
/// environment variable can change.
QString userKey()
{
    return QStringLiteral("Quendrel2_DataRecorder-") + QString::number(qulonglong(::getuid()));
}

/// Added to the window title when the instrument is simulated.
const LanguageText simulatedTitle{QStringLiteral(" (simuliertes Messgerät)"), QStringLiteral(" (simulated instrument)"),
                                  QStringLiteral(" (instrument simulé)")};

} // namespace

int runApplication(int argc, char *argv[], const RunOptions &options)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quendrel2_DataRecorder"));

    SingleInstance instance(SingleInstance::privateFolder(), userKey());
    QtUserDialogs dialogs;

    MainWindowEnvironment environment;
    environment.programDir = QCoreApplication::applicationDirPath();
    // Beside the program when its folder is writable, else per user.
    environment.settingsDir = settingsFolderFor(environment.programDir);
    // A device named on the command line is this run's only: the settings
    // keep their port, and a restart is given the same device.
    environment.device = options.device;
    QStringList runArguments;
    if (!options.device.isEmpty())
        runArguments << QStringLiteral("--device") << environment.device;
    if (options.simulated)
        runArguments << QStringLiteral("--simulated");
    environment.endProgram = [] {
        // Ends at once, running no further handler: files were closed by
        // the caller, and the serial port is released with the process.
        std::fflush(nullptr);
        std::_Exit(0);
    };
    environment.restart = [&instance, runArguments] {
        // The new copy must not find this one still running.
        instance.release();
        // Started directly rather than through a command line, so no folder
        // name (blanks, quotes) can cut the program path short. It runs in
        // this copy's current folder, where the working file and the saved
        // measurements are, so its start-up finds what this copy recorded.
        return QProcess::startDetached(QCoreApplication::applicationFilePath(), runArguments,
                                       reachablePath(QDir::currentPath()));
    };

    // The hand-over comes before this copy's start-up: the start-up would
    // otherwise re-create the working file that the running copy is
    // recording into.
    if (instance.previousInstance()) {
        if (instance.activatePrevious())
            return 0;
        dialogs.setApplicationTitle(QStringLiteral("Previous Instance"));
    } else {
        instance.listen();
    }

    MainWindow window(dialogs, environment);
    // Another copy records in this folder: nothing was touched, and the
    // box that says so is answered before the program ends.
    if (window.folderInUse()) {
        QCoreApplication::sendPostedEvents();
        return 1;
    }
    dialogs.setParent(&window);
    installQtTranslations(window.settings().language);
    if (options.simulated)
        window.setWindowTitle(window.windowTitle() + simulatedTitle.pickOrEnglish(window.settings().language));
    window.prepare();
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
        qInfo("Main window brought to the front for another copy of the program");
    });

    window.show();
    return app.exec();
}
