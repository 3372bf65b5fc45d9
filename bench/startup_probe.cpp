// The recorder's start-up as the installed program runs it (settings,
// single-instance check, main window, load event, show), stopped at the
// first painted frame of the main window: prints "startup_ms <ms> ms".
// Launched by bench_startup, which passes the launch time.

#include "Application.h"
#include "FirstFrame.h"

#include <QCoreApplication>

namespace {

// Runs inside the application object's constructor, before the recorder
// builds anything.
void watchForFirstFrame()
{
    FirstFrame::install(QStringLiteral("MainWindow"));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchForFirstFrame)

int main(int argc, char *argv[])
{
    return runApplication(argc, argv);
}
