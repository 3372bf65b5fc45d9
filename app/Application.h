#pragma once

/// Starts the recorder: the main window, its load event, the event loop.
int runApplication(int argc, char *argv[]);
