// The yardstick of the start-up time: the least a Qt widgets program does
// to show a window. Prints "startup_ms <ms> ms" at its first painted frame.

#include "FirstFrame.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FirstFrame::install(QString());
    QWidget window;
    window.resize(860, 560);
    window.show();
    return app.exec();
}
