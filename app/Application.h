#pragma once

#include <QString>

/// What the command line chose for this run.
struct RunOptions
{
    QString device;          ///< opened instead of the settings' port (empty: that port)
    bool simulated = false;  ///< the device is a simulated instrument
};

/// Starts the recorder: the main window, its load event, the event loop.
int runApplication(int argc, char *argv[], const RunOptions &options = {});
