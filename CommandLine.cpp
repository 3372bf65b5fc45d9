#include "CommandLine.h"

#include <string_view>

#ifndef QDR_VERSION
#define QDR_VERSION "unknown"
#endif

namespace commandline {

std::string helpText()
{
    return "Usage: quendrel2-recorder [--help | --version]\n"
           "\n"
           "The data recorder of the Quendrel/2 instrument: starts and stops measurements\n"
           "over a serial port, shows the live values, and saves each measurement as a\n"
           "CSV file. It takes no further arguments; everything is chosen in its window.\n"
           "\n"
           "  -h, --help     show this help and end\n"
           "  -V, --version  show the version and end\n"
           "\n"
           "The working file Vindo.qvx and the saved CSV files go to the current folder\n"
           "(from the menu: Quendrel2 in the documents folder). The settings qvx.ini and\n"
           "sensor.ini and the port links COM1 to COM9 are beside the program when its\n"
           "folder is writable, else in ~/.config/Quendrel2.\n"
           "\n"
           "quendrel2-sim simulates an instrument. The manual: menu ? in the program,\n"
           "and man quendrel2-recorder.\n";
}

std::string versionText()
{
    return "quendrel2-recorder " QDR_VERSION "\n";
}

std::optional<std::string> answer(int argc, const char *const argv[])
{
    if (argc != 2 || argv[1] == nullptr)
        return std::nullopt;
    const std::string_view argument(argv[1]);
    if (argument == "--help" || argument == "-h")
        return helpText();
    if (argument == "--version" || argument == "-V")
        return versionText();
    return std::nullopt;
}

} // namespace commandline
