#pragma once
// A recorder main window run as a child process of the fault tests, so that
// a test can kill it with SIGKILL, run it in a read-only folder, or run its
// start-up alone. The test executable starts itself with the first
// argument "--recorder-child"; the current directory is the recorder's
// folder (settings, working file and COM<N> links).
//
// Usage: <test> --recorder-child <mode> [--notes TEXT] [--until N] [--port-dir D]
//   startup   start-up and load event only, then end
//   port      start-up, open the port once (Port Open), then end
//   start     start-up, click Start once, report the port's state, then end
//   measure   start-up, click Start, report every block, run until killed
//   once      start-up, click Start, stop once N characters were shown, end
//   exit      start-up, click Start, click Exit once N characters were shown
//
// Everything is reported on standard output, one line per event, flushed
// at once so that a killed child leaves every line it wrote:
//   MESSAGE <style> <text>   a message box (line ends written as \r and \n)
//   FIRST <n>                characters the first block after Start showed
//   SHOWN <n>                characters all later blocks showed, summed
//   OPEN <0|1>               whether a working file is open
//   PORT <0|1>               whether the serial port is open
//   DONE                     the mode finished normally
//   END                      the program ended through its own exit path

#include "Controls.h"
#include "MainWindow.h"
#include "PictureButton.h"
#include "SerialPort.h"
#include "ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace faults {

/// Writes one report line and flushes it.
inline void report(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

/// Counts what every received block added to the receive box: the box drops
/// its oldest 4096 characters once it holds 16384, before a block is added.
class ShownCounter
{
public:
    explicit ShownCounter(MainWindow &window) : m_window(window) {}

    /// Called once Start has put its own line into the box.
    void started() { m_before = int(m_window.live().received.text.size()); m_blocks = 0; m_shown = 0; }

    /// Called after every receive event; returns the characters shown so
    /// far, the first block not counted.
    qint64 blockDone()
    {
        int before = m_before;
        if (before >= 16384)
            before -= 4096;
        const int now = int(m_window.live().received.text.size());
        const int added = now - before;
        m_before = now;
        if (added == 0)
            return m_shown;
        if (m_blocks++ == 0)
            report("FIRST " + QByteArray::number(added));
        else
            m_shown += added;
        report("SHOWN " + QByteArray::number(m_shown));
        return m_shown;
    }

private:
    MainWindow &m_window;
    int m_before = 0;
    int m_blocks = 0;
    qint64 m_shown = 0;
};

/// Runs the child; returns its exit code.
inline int runRecorderChild(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(2);
    auto option = [&args](const char *name) {
        const qsizetype i = args.indexOf(QLatin1String(name));
        return i > 0 ? args.value(i + 1) : QString();
    };

    // Boxes are answered as a cautious user would, and each one reported.
    ScriptedDialogs dialogs;
    dialogs.setUnscripted(ScriptedDialogs::Unscripted::Cautious);
    dialogs.onAsked = [](const ScriptedDialogs::Asked &box) {
        if (box.kind != ScriptedDialogs::Kind::Message)
            return;
        QByteArray shown = box.text.toUtf8();
        shown.replace('\r', "\\r").replace('\n', "\\n");
        report("MESSAGE " + describe(box.style) + ' ' + shown);
    };
    MainWindowEnvironment environment;
    environment.programDir = QDir::currentPath();
    environment.portDirectory = option("--port-dir");
    environment.endProgram = [] { report("END"); std::_Exit(0); };
    environment.restart = [] { return false; };

    // The boxes of the start-up and of a click are asked once the event
    // loop runs; the child answers them before it reports.
    const auto answerBoxes = [] {
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    };
    MainWindow window(dialogs, environment);
    window.prepare();
    answerBoxes();
    report("OPEN " + QByteArray(window.workingFile().isOpen() ? "1" : "0"));
    if (mode == QLatin1String("startup")) {
        report("DONE");
        return 0;
    }
    if (mode == QLatin1String("port") || mode == QLatin1String("start")) {
        control<PictureButton>(window, "startStopButton")->click();
        answerBoxes();
    }
    if (mode == QLatin1String("port")) {
        report("DONE");
        return 0;
    }
    if (mode == QLatin1String("start")) {
        report("PORT " + QByteArray(window.measurement().isPortOpen() ? "1" : "0"));
        report("OPEN " + QByteArray(window.workingFile().isOpen() ? "1" : "0"));
        report("DONE");
        return 0;
    }

    // A child that is never killed must not stay behind.
    QTimer::singleShot(60000, &app, [] { report("TIMEOUT"); std::_Exit(3); });

    const qint64 until = option("--until").toLongLong();
    ShownCounter counter(window);
    control<QLineEdit>(window, "notesEdit")->setText(option("--notes"));
    control<PictureButton>(window, "startStopButton")->click();
    counter.started();
    bool stopping = false;
    QObject::connect(&window.measurement(), &Measurement::liveChanged, &window, [&] {
        const qint64 shown = counter.blockDone();
        const bool exits = mode == QLatin1String("exit");
        if ((mode == QLatin1String("once") || exits) && shown >= until && !stopping) {
            stopping = true;
            QTimer::singleShot(0, &window, [&window, exits] {
                if (exits) {
                    control<PictureButton>(window, "exitButton")->click();   // Exit, answered No: the program ends here
                    return;
                }
                if (window.measurement().isPortOpen())
                    control<PictureButton>(window, "startStopButton")->click();   // stop
                report("OPEN " + QByteArray(window.workingFile().isOpen() ? "1" : "0"));
                report("DONE");
                QCoreApplication::exit(0);
            });
        }
    });
    return app.exec();
}

} // namespace faults

/// The main() of a test executable that also runs as a recorder child.
#define QDR_TEST_MAIN_WITH_RECORDER_CHILD(TestClass)                      \
    int main(int argc, char *argv[])                                      \
    {                                                                     \
        if (argc > 1 && qstrcmp(argv[1], "--recorder-child") == 0)        \
            return faults::runRecorderChild(argc, argv);                  \
        QApplication app(argc, argv);                                     \
        TestClass test;                                                   \
        QTEST_SET_MAIN_SOURCE_PATH                                        \
        return QTest::qExec(&test, argc, argv);                           \
    }
