#include "Application.h"
#include "CommandLine.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    // --help, --version and unknown arguments are answered here, before Qt
    // looks for a display.
    if (const auto answer = commandline::answer(argc, argv)) {
        std::FILE *out = answer->exitCode == 0 ? stdout : stderr;
        std::fputs(answer->text.c_str(), out);
        return std::fflush(out) == 0 ? answer->exitCode : 1;
    }
    // Read before QApplication takes its own options out of the command line.
    const commandline::Options chosen = commandline::options(argc, argv);
    RunOptions options;
    options.device = QString::fromLocal8Bit(chosen.device.c_str());
    options.simulated = chosen.simulated;
    return runApplication(argc, argv, options);
}
