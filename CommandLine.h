#pragma once
// The recorder's command line: --device PATH (and --simulated) choose the
// instrument's device for this run; --help and --version are answered, and
// anything it does not know is refused, before any window system is
// touched, so these work in a terminal without a display.

#include <optional>
#include <string>

namespace commandline {

/// What main() prints before it ends instead of starting the recorder.
struct Answer
{
    std::string text;
    /// 0 for --help and --version, whose text goes to standard output;
    /// UsageError for an unknown argument, whose text goes to standard error.
    int exitCode = 0;
};

/// The exit code of a command line the recorder does not understand.
constexpr int UsageError = 2;

/// The answer to the command line, or nothing when the recorder is to
/// start: no arguments, --device with its path, --simulated, or the window
/// system's own (such as -platform, -style or -session, which Qt takes).
/// The first of --help, --version, --device without a path or an unknown
/// argument decides.
std::optional<Answer> answer(int argc, const char *const argv[]);

/// What the command line chooses for a run that starts.
struct Options
{
    /// The device to open instead of the settings' port, for this run
    /// only (--device PATH or --device=PATH); empty: the settings' port.
    std::string device;
    /// The device is a simulated instrument (--simulated): the window
    /// title says so.
    bool simulated = false;
};

/// The options of a command line that answer() lets start.
Options options(int argc, const char *const argv[]);

/// The text of --help.
std::string helpText();
/// The text of --version.
std::string versionText();
/// The text for an unknown argument: what was not understood, the usage
/// line and where to read more.
std::string usageErrorText(const std::string &argument);
/// The text for an option given without its value.
std::string missingValueText(const std::string &option);

} // namespace commandline
