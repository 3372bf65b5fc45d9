#pragma once
// The recorder's command line: it takes no arguments, but answers --help
// and --version, before any window system is touched, so both work in a
// terminal without a display.

#include <optional>
#include <string>

namespace commandline {

/// What the command line asks for when it is one of the two questions: the
/// text to print on standard output, and the exit code 0. Nothing for any
/// other command line: the recorder starts (other arguments are left to
/// Qt, which takes its own such as -platform, and are otherwise ignored).
std::optional<std::string> answer(int argc, const char *const argv[]);

/// The text of --help.
std::string helpText();
/// The text of --version.
std::string versionText();

} // namespace commandline
