#include "support/CliRunner.h"

#include <algorithm>
#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "fs/text/PathParts.h"
#include "support/TestTree.h"

namespace veltrane::test {

std::string ShellQuote(const std::string& text) {
#ifdef _WIN32
    return "\"" + text + "\"";
#else
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

CliOutcome RunCli(const std::string& args, const std::string& workDir) {
    TempDir io;
    std::string command;
#ifdef _WIN32
    if (!workDir.empty()) {
        command = "cd /d " + ShellQuote(workDir) + " && ";
    }
    command += ShellQuote(VELTRANE_CLI_PATH) + " " + args + " >" + ShellQuote(io.Path("out")) + " 2>" +
               ShellQuote(io.Path("err")) + " <NUL";
    // cmd /c drops the outermost pair of quotes: give it one to drop.
    const int status = std::system(("\"" + command + "\"").c_str());
#else
    if (!workDir.empty()) {
        command = "cd " + ShellQuote(workDir) + " && ";
    }
    command += ShellQuote(VELTRANE_CLI_PATH) + " " + args + " >" + ShellQuote(io.Path("out")) + " 2>" +
               ShellQuote(io.Path("err")) + " </dev/null";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    CliOutcome outcome{status, TempDir::ReadFile(io.Path("out")), TempDir::ReadFile(io.Path("err"))};
#ifdef _WIN32
    // The tool writes the platform's line ends; compare its output in one form everywhere.
    for (std::string* text : {&outcome.out, &outcome.err}) {
        std::string lf;
        for (size_t i = 0; i < text->size(); ++i) {
            if (!((*text)[i] == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n')) {
                lf += (*text)[i];
            }
        }
        *text = lf;
    }
#endif
    return outcome;
}

std::string Native(std::string rel) {
    std::replace(rel.begin(), rel.end(), '/', kSeparator);
    return rel;
}

}  // namespace veltrane::test
