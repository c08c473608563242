// veltrane-cli: the four tools of Veltrane from a terminal. See the --help text of each subcommand.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "cli/CliRun.h"
#include "fs/ArchiveSource.h"
#include "fs/FileOps.h"
#include "fs/PathParts.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define VELTRANE_ISATTY _isatty
#define VELTRANE_FILENO _fileno
#else
#include <unistd.h>
#define VELTRANE_ISATTY isatty
#define VELTRANE_FILENO fileno
#endif

#ifndef VELTRANE_VERSION
#define VELTRANE_VERSION "unknown"
#endif

namespace veltrane::cli {
namespace {

// Writes text and flushes it. False, with errno telling why, when not all of it got out.
bool Write(std::FILE* stream, const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
        if (errno == 0) {
            errno = EIO;
        }
        return false;
    }
    return true;
}

// --file when neither flag is given and PATH names an existing entry that is not a folder. An
// archive counts as a folder; an entry inside one is a file when it is one.
bool ResolveFileMode(const std::string& path, bool file, bool folder) {
    if (file || folder) {
        return file;
    }
    ArchivePath inArchive;
    if (SplitArchivePath(path, inArchive)) {
        CArchiveTree archive;
        return !inArchive.inner.empty() && archive.OpenFor(path) &&
               archive.KindOf(path) == CArchiveTree::Kind::File;
    }
    std::error_code ec;
    const auto status = std::filesystem::status(ToFsPath(path), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

int Main(int argc, char** argv) {
#ifndef _WIN32
    // Without TZ the C library looks at /etc/localtime again for every time it converts, and the
    // archive library converts one for each entry it lists. Naming the same zone once keeps it
    // loaded; the zone itself does not change.
    if (std::getenv("TZ") == nullptr) {
        setenv("TZ", ":/etc/localtime", 0);
    }
#endif
    CLI::App app{"Checks Poser content packages before they are published.", "veltrane-cli"};
    app.set_version_flag("--version", std::string("veltrane-cli ") + VELTRANE_VERSION);
    app.require_subcommand(1);

    std::string path;
    bool json = false;
    bool recursive = false;
    bool file = false;
    bool folder = false;
    bool fix = false;
    std::optional<std::string> output;
    std::vector<std::string> runtimes;

    CLI::App* names = app.add_subcommand("names", "Report file and folder names of 32 characters or more.");
    names->add_flag("--recursive", recursive, "Check every level below PATH (\"Entire directory\")");
    names->add_flag("--json", json, "Write one JSON object to stdout");
    names->add_option("PATH", path, "Folder or file to check")->required();

    CLI::App* paths = app.add_subcommand("paths", "Report texture paths that will not work on every system.");
    CLI::Option* pathsFile = paths->add_flag("--file", file, "Check the one Poser file PATH");
    CLI::Option* pathsFolder =
        paths->add_flag("--folder", folder, "Check every Poser file below the folder PATH");
    pathsFile->excludes(pathsFolder);
    paths->add_flag("--json", json, "Write one JSON object to stdout");
    paths->add_option("PATH", path, "Poser file or folder to check")->required();

    CLI::App* versions =
        app.add_subcommand("versions", "Find Poser files that declare a version above 4.0, and fix them.");
    CLI::Option* versionsFile = versions->add_flag("--file", file, "Check the one file PATH");
    CLI::Option* versionsFolder = versions->add_flag("--folder", folder, "Check every Poser file below PATH");
    versionsFile->excludes(versionsFolder);
    versions->add_flag("--fix", fix, "Rewrite the flagged files as version 4.0, keeping .old backups");
    versions->add_flag("--json", json, "Write one JSON object to stdout");
    versions->add_option("PATH", path, "Poser file or folder to check")->required();

    CLI::App* list = app.add_subcommand("list", "Make a packing list of every file below a folder.");
    list->add_option("--output", output, "Save the list to FILE (replacing it)")->type_name("FILE");
    list->add_flag("--json", json, "Write one JSON object to stdout");
    list->add_option("PATH", path, "Folder to list")->required();

    CLI::App* package = app.add_subcommand(
        "package",
        "Check that a package holds every file its Poser files refer to, with paths that load anywhere.");
    package->add_option("--runtime", runtimes, "Also look in this Poser runtime (repeatable)")
        ->type_name("DIR")
        ->allow_extra_args(false);
    package->add_flag("--json", json, "Write one JSON object to stdout");
    package->add_option("PATH", path, "Package folder (holding Runtime) or a Runtime folder")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);  // prints help, the version, or the error and a hint
        return code == 0 ? kExitClean : kExitUsage;
    }
    if (json && output && *output == "-") {
        std::fputs("veltrane-cli: --output - and --json would both write to standard output\n", stderr);
        return kExitUsage;
    }

    CliContext ctx;
    ctx.m_showProgress = !json && VELTRANE_ISATTY(VELTRANE_FILENO(stderr));
    InstallInterruptHandler();

    CliRun run;
    if (names->parsed()) {
        run = RunNamesCommand(path, recursive, ctx);
    } else if (paths->parsed()) {
        run = RunPathsCommand(path, ResolveFileMode(path, file, folder), ctx);
    } else if (versions->parsed()) {
        ctx.m_answerQuestionsOk = fix;
        run = RunVersionsCommand(path, ResolveFileMode(path, file, folder), fix, ctx);
    } else if (package->parsed()) {
        run = RunPackageCommand(path, runtimes, ctx);
    } else {
        run = RunListCommand(path, output, ctx);
    }
    ctx.EndProgressLine();

    if (!json) {
        run.findings.reset();  // the plain output is the report; a long list of findings need not stay
    }
    const bool written = Write(stdout, json ? JsonOutput(run) : PlainStdout(run));
    const std::error_code writeEc(errno, std::generic_category());
    if (!json) {
        Write(stderr, PlainStderr(run));
    }
    if (!written) {
        // Results nobody can read are no success: say so where it can still be seen.
        Write(stderr, "veltrane-cli: " + FileErrorText(writeEc, "standard output") + "\n");
        return kExitUsage;
    }
    return run.status;
}

}  // namespace
}  // namespace veltrane::cli

int main(int argc, char** argv) {
#ifdef _WIN32
    // The report carries its own "\r\n"; keep the C runtime from adding another "\r".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        return veltrane::cli::Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltrane-cli: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "veltrane-cli: unexpected failure\n");
    }
    return veltrane::cli::kExitUsage;
}
