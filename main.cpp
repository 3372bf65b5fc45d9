#include "Application.h"
#include "CommandLine.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    // --help and --version are answered here, before Qt looks for a display.
    if (const auto text = commandline::answer(argc, argv)) {
        std::fputs(text->c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return runApplication(argc, argv);
}
