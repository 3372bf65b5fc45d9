#include "CommandLine.h"

#include <string_view>

#ifndef QDR_VERSION
#define QDR_VERSION "unknown"
#endif

namespace commandline {

namespace {

constexpr std::string_view UsageLine =
    "Usage: quendrel2-recorder [--help | --version | --device PATH [--simulated]]\n";

// The window system's options, which QApplication takes out of the command
// line itself: with one dash or two, the first group followed by a value
// (or joined to it by "="), the second on their own.
constexpr std::string_view QtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "style", "stylesheet", "display", "geometry", "name", "title",
    "qmljsdebugger"};
constexpr std::string_view QtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

/// How many arguments a window-system option takes up, counting itself:
/// 0 when `argument` is none.
int qtOptionLength(std::string_view argument)
{
    if (argument.size() < 2 || argument[0] != '-' || argument == "--")
        return 0;
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    const std::size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    for (const std::string_view option : QtOptionsWithValue)
        if (name == option)
            return equals == std::string_view::npos ? 2 : 1;
    if (equals == std::string_view::npos)
        for (const std::string_view flag : QtFlags)
            if (name == flag)
                return 1;
    return 0;
}

/// The device of `--device PATH` (two arguments: 2) or `--device=PATH`
/// (1); 0 when `argument` is not --device, -1 when its path is missing.
int deviceOption(int argc, const char *const argv[], int i, std::string *device)
{
    const std::string_view argument(argv[i]);
    if (argument.starts_with("--device=")) {
        *device = std::string(argument.substr(9));
        return device->empty() ? -1 : 1;
    }
    if (argument != "--device")
        return 0;
    if (i + 1 >= argc || argv[i + 1] == nullptr || *argv[i + 1] == '\0')
        return -1;
    *device = argv[i + 1];
    return 2;
}

} // namespace

std::string helpText()
{
    return std::string(UsageLine)
        + "\n"
          "The data recorder of the Quendrel/2 instrument: starts and stops measurements\n"
          "over a serial port, shows the live values, and saves each measurement as a\n"
          "CSV file. Everything else is chosen in its window.\n"
          "\n"
          "  --device PATH  open the instrument at PATH (a serial device or a link to\n"
          "                 one) for this run instead of the port of the settings;\n"
          "                 the settings are left as they are\n"
          "  --simulated    the device is a simulated instrument: the title says so\n"
          "  -h, --help     show this help and end\n"
          "  -V, --version  show the version and end\n"
          "\n"
          "The working file Vindo.qvx and the saved CSV files go to the current folder\n"
          "(from the menu: Quendrel2 in the documents folder). The settings qvx.ini and\n"
          "sensor.ini and the port links COM1 to COM9 are beside the program when its\n"
          "folder is writable, else in ~/.config/Quendrel2.\n"
          "\n"
          "quendrel2-sim simulates an instrument; the menu entry \"Start with a simulated\n"
          "instrument\" starts it on a device of its own and the recorder with --device.\n"
          "The manual: menu ? in the program,\n"
          "and man quendrel2-recorder.\n";
}

std::string versionText()
{
    return "quendrel2-recorder " QDR_VERSION "\n";
}

std::string usageErrorText(const std::string &argument)
{
    return "quendrel2-recorder: unknown argument '" + argument + "'\n" + std::string(UsageLine)
        + "Try 'quendrel2-recorder --help' for more information.\n";
}

std::string missingValueText(const std::string &option)
{
    return "quendrel2-recorder: '" + option + "' needs a device path\n" + std::string(UsageLine)
        + "Try 'quendrel2-recorder --help' for more information.\n";
}

std::optional<Answer> answer(int argc, const char *const argv[])
{
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h")
            return Answer{helpText(), 0};
        if (argument == "--version" || argument == "-V")
            return Answer{versionText(), 0};
        if (argument == "--simulated")
            continue;
        std::string device;
        const int deviceLength = deviceOption(argc, argv, i, &device);
        if (deviceLength < 0)
            return Answer{missingValueText(std::string(argument.substr(0, argument.find('=')))), UsageError};
        if (deviceLength > 0) {
            i += deviceLength - 1;
            continue;
        }
        const int length = qtOptionLength(argument);
        if (length == 0)
            return Answer{usageErrorText(std::string(argument)), UsageError};
        i += length - 1;
    }
    return std::nullopt;
}

Options options(int argc, const char *const argv[])
{
    Options chosen;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--simulated") {
            chosen.simulated = true;
            continue;
        }
        std::string device;
        const int deviceLength = deviceOption(argc, argv, i, &device);
        if (deviceLength > 0) {
            chosen.device = device;
            i += deviceLength - 1;
            continue;
        }
        const int length = qtOptionLength(argument);
        i += length > 1 ? length - 1 : 0;
    }
    return chosen;
}

} // namespace commandline
