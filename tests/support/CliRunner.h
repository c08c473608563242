#pragma once

#include <string>

namespace veltrane::test {

// What one run of veltrane-cli printed and returned.
struct CliOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Quotes one argument for the shell that RunCli uses (sh on POSIX, cmd on Windows).
std::string ShellQuote(const std::string& text);

// Runs the real veltrane-cli with args (quoted with ShellQuote where needed) in the folder
// workDir (the current folder when empty), with no input, capturing both output streams. On Windows
// the output's CR LF line ends come back as LF, so expected texts are written once.
CliOutcome RunCli(const std::string& args, const std::string& workDir = {});

// rel with "/" turned into the native separator.
std::string Native(std::string rel);

}  // namespace veltrane::test
