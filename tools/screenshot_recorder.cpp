// Takes the manual's pictures of one language from a real measurement: the
// recorder's main window on the simulated instrument, the preview graph,
// the settings dialog and the delete dialog, each grabbed as the window
// draws itself. Beside the pictures it writes texts.txt: each picture's
// window title and a button text read from the same run, so the manual's
// check can tell that the pictures are in their part's language.
//
//   screenshot_recorder LANGUAGE OUTDIR SIMULATOR SECONDS
//
// LANGUAGE is Deutsch, English or Francais. The run happens in a fresh
// folder named as a user would name it; its notes and file names are a
// user's, so no test names or test paths show.

#include "MainWindow.h"
#include "SettingsDialog.h"
#include "ScriptedDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <pty.h>
#include <unistd.h>

namespace {

/// The stable name of the USB adapter shown chosen in the settings.
const char kAdapterName[] = "usb-FTDI_FT232R_USB_UART_A10K3ZQ7-if00-port0";

struct Words
{
    QString folder, notes, firstFile, secondFile;
};

Words wordsFor(const QString &language)
{
    if (language == QLatin1String("Deutsch"))
        return {QStringLiteral("Messungen"), QStringLiteral("Pumpe 3, Ein- und Auslass, Prüfstand Halle B"),
                QStringLiteral("pumpe3-2026-12-03.csv"), QStringLiteral("verdichter-2026-12-04.csv")};
    if (language == QLatin1String("Francais"))
        return {QStringLiteral("Mesures"), QStringLiteral("Pompe 3, entrée et sortie, banc d'essai hall B"),
                QStringLiteral("pompe3-2026-12-03.csv"), QStringLiteral("compresseur-2026-12-04.csv")};
    return {QStringLiteral("Measurements"), QStringLiteral("Pump 3, inlet and outlet, test bench hall B"),
            QStringLiteral("pump3-2026-12-03.csv"), QStringLiteral("compressor-2026-12-04.csv")};
}

void wait(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/// The text of the first button of `window` that shows one (its text or tool tip).
QString buttonText(QWidget *window, const char *name)
{
    auto *button = window->findChild<QAbstractButton *>(QLatin1String(name));
    if (!button)
        return {};
    return button->text().isEmpty() ? button->toolTip() : button->text();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: screenshot_recorder LANGUAGE OUTDIR SIMULATOR SECONDS\n");
        return 2;
    }
    const QString language = QString::fromLocal8Bit(argv[1]);
    const QString outDir = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const QString simulator = QString::fromLocal8Bit(argv[3]);
    const int seconds = QString::fromLocal8Bit(argv[4]).toInt();
    QDir().mkpath(outDir);

    const Words words = wordsFor(language);
    QTemporaryDir home;
    const QString folder = QDir(home.path()).filePath(words.folder);
    QDir().mkpath(folder);
    QDir::setCurrent(folder);
    // Port 1, the language, black text on white.
    writeFile(QDir(folder).filePath(QStringLiteral("qvx.ini")),
              (QStringLiteral("\r\n1\r\n") + language + QStringLiteral("\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n")).toLatin1());
    writeFile(QDir(folder).filePath(QStringLiteral("sensor.ini")), "4\r\n45\r\n");
    // Two measurements saved earlier, for the delete dialog.
    writeFile(QDir(folder).filePath(words.firstFile), "\r\n");
    writeFile(QDir(folder).filePath(words.secondFile), "\r\n");

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simulator, {QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--dir"), folder,
                          QStringLiteral("--interval-ms"), QStringLiteral("250")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }

    // Nothing in this run should ask; a box is answered as a cautious user
    // would (the stop question with No: the pictures keep nothing).
    ScriptedDialogs dialogs;
    dialogs.setUnscripted(ScriptedDialogs::Unscripted::Cautious);
    MainWindowEnvironment environment;
    environment.programDir = folder;
    environment.endProgram = [] {};
    environment.restart = [] { return false; };
    MainWindow window(dialogs, environment);
    window.prepare();
    window.show();
    wait(300);

    if (auto *notes = window.findChild<QLineEdit *>(QStringLiteral("notesEdit")))
        notes->setText(words.notes);
    window.startStop();
    wait(1000);
    // The graph is open from the start of the measurement, as a user keeps it.
    window.showGraph();
    wait(seconds * 1000);

    QStringList texts;
    const auto shoot = [&](QWidget *w, const QString &name, const char *button) {
        w->grab().save(QDir(outDir).filePath(name + QStringLiteral(".png")));
        texts << name + QStringLiteral("\ttitle\t") + w->windowTitle().trimmed();
        const QString text = button ? buttonText(w, button).trimmed() : QString();
        if (!text.isEmpty())
            texts << name + QStringLiteral("\tbutton\t") + text;
    };
    shoot(&window, QStringLiteral("main-window"), "startStopButton");
    if (window.graph())
        shoot(window.graph(), QStringLiteral("graph-window"), nullptr);

    // The dialogs are shown while the measurement is stopped, as a user does.
    window.startStop();
    wait(500);
    // The settings show the computer as it is once the instrument's stand-in
    // is gone: its own serial ports, no link to a pseudo-terminal.
    sim.terminate();
    sim.waitForFinished(3000);
    QFile::remove(QDir(folder).filePath(QStringLiteral("COM1")));
    // A USB adapter is plugged in and chosen for port 1, as a user sets up
    // the instrument's cable; a pseudo-terminal stands in for the adapter.
    int adapter = -1, adapterSide = -1;
    char adapterPath[128] = {};
    const QString byId = QDir(home.path()).filePath(QStringLiteral("serial/by-id"));
    QDir().mkpath(byId);
    if (::openpty(&adapter, &adapterSide, adapterPath, nullptr, nullptr) == 0)
        QFile::link(QFile::decodeName(adapterPath), QDir(byId).filePath(QLatin1String(kAdapterName)));
    SettingsDialog::Hooks hooks;
    hooks.closeFiles = [] {};
    hooks.restart = [] { return false; };
    hooks.endProgram = [] {};
    hooks.programDir = folder;
    hooks.settingsDir = folder;
    hooks.byIdFolder = byId;
    SettingsDialog settings(dialogs, hooks);
    settings.setWindowIcon(window.windowIcon());
    settings.prepare();
    settings.show();
    wait(300);
    if (auto *devices = settings.findChild<QComboBox *>(QStringLiteral("portDeviceBox"))) {
        const int index = devices->findText(QLatin1String(kAdapterName), Qt::MatchContains);
        if (index > 0) {
            devices->setCurrentIndex(index);
            emit devices->activated(index);
        } else {
            std::fprintf(stderr, "the adapter is not offered in the settings\n");
        }
    }
    settings.resize(settings.sizeHint());
    wait(200);
    shoot(&settings, QStringLiteral("settings-dialog"), "saveButton");
    settings.hide();
    if (adapter >= 0) {
        ::close(adapter);
        ::close(adapterSide);
    }
    window.showDeleteDialog();
    wait(500);
    if (window.deleteFilesDialog())
        shoot(window.deleteFilesDialog(), QStringLiteral("delete-dialog"), "deleteButton");

    QFile list(QDir(outDir).filePath(QStringLiteral("texts.txt")));
    if (list.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream out(&list);
        out.setEncoding(QStringConverter::Utf8);
        out << "language\t" << language << "\n";
        for (const QString &line : std::as_const(texts))
            out << line << "\n";
    }
    sim.kill();
    sim.waitForFinished(2000);
    return 0;
}
