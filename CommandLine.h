#pragma once
// The recorder's command line: it takes no arguments of its own, but
// answers --help and --version, and refuses anything it does not know,
// before any window system is touched, so all three work in a terminal
// without a display.

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
/// start: no arguments, or only the window system's own (such as
/// -platform, -style or -session, which Qt takes). The first of --help,
/// --version or an unknown argument decides.
std::optional<Answer> answer(int argc, const char *const argv[]);

/// The text of --help.
std::string helpText();
/// The text of --version.
std::string versionText();
/// The text for an unknown argument: what was not understood, the usage
/// line and where to read more.
std::string usageErrorText(const std::string &argument);

} // namespace commandline
